// SPDX-License-Identifier: MIT
#pragma once
// Small banks and folder trees for the job tests.

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bank_builder.h"
#include "jobs/job_context.h"
#include "platform/folders.h"
#include "test_support.h"

namespace vantrel::testing {

// A sample of `frames` 16-bit frames whose bytes depend on `seed`, with a
// loop over its second half.
inline SampleDesc jobSample(const std::string& name, std::size_t frames, std::uint8_t seed = 1) {
  SampleDesc s;
  s.name = name;
  s.pcm.resize(frames * 2);
  for (std::size_t k = 0; k < s.pcm.size(); ++k) s.pcm[k] = static_cast<std::uint8_t>(k * 13 + seed);
  s.loopStartFrame = static_cast<std::uint32_t>(frames / 2);
  s.loopEndFrame = static_cast<std::uint32_t>(frames);
  s.zones = {0};
  return s;
}

// A bank of the named samples, each `frames` frames long.
inline void writeJobBank(const std::string& path, const std::vector<std::string>& names,
                         std::size_t frames = 8) {
  BankDesc d;
  std::uint8_t seed = 1;
  for (const auto& n : names) d.samples.push_back(jobSample(n, frames, seed++));
  writeBank(path, d);
}

// A bank whose directory reads but whose sample data is cut short, so that
// converting it fails with "Read beyond end of file" before anything of it
// is written.
inline void writeTruncatedBank(const std::string& path) {
  BankDesc d;
  d.samples.push_back(jobSample("CUT.WAV", 8));
  std::vector<std::uint8_t> bytes = buildBank(d);
  // Cut the file where the "TTKL" block begins: the directory and the
  // parameter block read, the search for the sample data runs off the end.
  const char tag[] = "TTKL";
  auto at = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
  bytes.erase(at, bytes.end());
  writeBytes(path, bytes);
}

inline void makeFolders(const std::string& path) { std::filesystem::create_directories(path); }

inline std::vector<std::string> filesBelow(const std::string& root) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(root)) {
    out.push_back(std::filesystem::relative(e.path(), root).string() +
                  (e.is_directory() ? "/" : ""));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Names in a folder in the byte order of the names, as `ls -A` prints them
// in the C locale, whatever order the file system keeps: the reference
// order the jobs must follow.
inline std::vector<std::string> directoryOrder(const std::string& folder) {
  auto r = runCommand({"/usr/bin/env", "LC_ALL=C", "/bin/ls", "-A", folder});
  std::vector<std::string> names;
  std::string line;
  for (char c : r.out) {
    if (c == '\n') {
      names.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  return names;
}

// A tmpfs mounted for one test, where the system allows it (root).
class TmpfsMount {
 public:
  explicit TmpfsMount(const std::string& at) : at_(at) {
    std::filesystem::create_directories(at);
    mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=4m") == 0;
  }
  ~TmpfsMount() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string at_;
  bool mounted_ = false;
};

}  // namespace vantrel::testing
