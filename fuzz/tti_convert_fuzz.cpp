// SPDX-License-Identifier: MIT
// Converts arbitrary bytes as a bank into every kind of output file (a mono
// file per sample under the name the bank gives it, a stereo file per two
// neighbours, the SFZ text, the SoundFont) in a temporary folder, and checks
// that nothing is left half-written, nothing lands outside the output folder
// and no sample takes another's file. Every other input is written as on a
// file system without unnamed files (O_TMPFILE refused), through part
// files. File sizes are limited so that a bank promising gigabytes of
// samples ends in "Disk full" quickly.

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tti/tti_reader.h"
#include "writers/sf2_writer.h"
#include "writers/dspreset_writer.h"
#include "writers/sfz_writer.h"
#include "writers/wav_writer.h"

namespace fs = std::filesystem;

namespace {

// While set, openat() refuses O_TMPFILE as FAT does: output goes through
// part files.
bool noTmpfile = false;

}  // namespace

extern "C" int openat(int folder, const char* path, int flags, ...) {
  using OpenAt = int (*)(int, const char*, int, ...);
  static const auto real = reinterpret_cast<OpenAt>(::dlsym(RTLD_NEXT, "openat"));
  if (noTmpfile && (flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
  va_end(args);
  return real(folder, path, flags, mode);
}
extern "C" int openat64(int folder, const char* path, int flags, ...) __attribute__((alias("openat")));

namespace {

struct Sandbox {
  fs::path root, in, out, bank;
  Sandbox() {
    const char* base = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string tmpl = std::string(base) + "/vantrel-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    root = tmpl;
    in = root / "in";
    out = root / "out";
    fs::create_directory(in);
    bank = in / "FUZZ.TTI";
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
};

Sandbox& sandbox() {
  static Sandbox box;
  return box;
}

// A temporary file's name: ".vantrel-<pid>-<16 hex digits>.part". A sample
// may well be named ".vantrel-X.part": that is an output like any other.
bool temporaryName(const std::string& name) {
  const std::string head = ".vantrel-", tail = ".part";
  if (name.size() < head.size() + tail.size() + 18 || name.rfind(head, 0) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string middle = name.substr(head.size(), name.size() - head.size() - tail.size());
  const std::size_t dash = middle.find('-');
  if (dash == 0 || dash == std::string::npos || middle.size() - dash - 1 != 16) return false;
  for (std::size_t k = 0; k < middle.size(); ++k) {
    const char c = middle[k];
    const bool ok = k < dash ? (c >= '0' && c <= '9')
                             : k == dash || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    if (!ok) return false;
  }
  return true;
}

// No temporary file may survive a conversion, finished or failed.
void checkNoPartFiles(const fs::path& dir) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (temporaryName(name)) {
      std::fprintf(stderr, "left behind: %s\n", it->path().c_str());
      __builtin_trap();
    }
  }
}

// The source folder holds the bank alone, and the sandbox only in/ and out/.
void checkNothingOutside(const Sandbox& box) {
  for (const auto& e : fs::directory_iterator(box.in))
    if (e.path() != box.bank) __builtin_trap();
  for (const auto& e : fs::directory_iterator(box.root))
    if (e.path() != box.in && e.path() != box.out) __builtin_trap();
}

// Every line of an .sfz text is empty, a comment, "<region>" or one
// "opcode=value" whose value holds no '<', '>' or '=' and no comment.
void checkSfzLines(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.empty() || line.rfind("//", 0) == 0 || line == "<region>") continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0 || line.find_first_of("<>=", eq + 1) != std::string::npos ||
        line.find("//") != std::string::npos) {
      std::fprintf(stderr, "bad .sfz line: %s\n", line.c_str());
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel;
  Sandbox& box = sandbox();
  {
    std::ofstream f(box.bank, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::error_code ec;
  fs::remove_all(box.out, ec);
  fs::create_directory(box.out);
  const std::string out = box.out.string();
  noTmpfile = size % 2 == 1;
  std::vector<std::uint8_t> buffer;
  const Progress none;
  try {
    SampleBank bank;
    ZoneArticulation zones;
    loadBank(BankRef::file(box.bank.string()), bank, {&zones, true});
    const std::vector<ZonePlay> plays = interpretZones(bank, zones);
    // Each sample under the name the bank gives it: all of them distinct
    // files, whatever the names hold.
    const std::string named = joinPath(out, "named");
    fs::create_directory(named);
    std::size_t written = 0;
    for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
      const auto k = static_cast<std::uint16_t>(i);
      try {
        writeWavFile(bank, {false, k, k, std::nullopt}, joinPath(named, latin1ToUtf8(bank.outputName[i])), buffer,
                     none);
        ++written;
        if (i % 2 == 1) {
          // Pairs as faithful output writes them.
          const auto left = static_cast<std::uint16_t>(k - 1);
          writeWavFile(bank, {true, left, k, faithfulSmpl(firstZoneOf(plays, left))},
                       joinPath(out, "s" + std::to_string(i) + ".wav"), buffer, none);
        }
      } catch (const RunError&) {
      }
    }
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(named)) files += e.is_regular_file() && !e.is_symlink();
    if (files != written) {
      std::fprintf(stderr, "%zu samples written, %zu files\n", written, files);
      __builtin_trap();
    }
    const std::vector<std::string> names = sfzSampleNames(bank);
    checkSfzLines(sfzText(bank, plays, names));
    try {
      writeTextFile(sfzText(bank, plays, names), joinPath(out, bankFileNameFor(bank.ttiPath, "sfz")));
      writeTextFile(dspresetText(bank, plays, names), joinPath(out, bankFileNameFor(bank.ttiPath, "dspreset")));
    } catch (const RunError&) {
    }
    writeSf2(bank, plays, joinPath(out, sf2FileNameFor(bank.ttiPath)), buffer, none);
    writeSf2(bank, plays, joinPath(out, "faithful.sf2"), buffer, none, nullptr, nullptr, true);
  } catch (const RunError&) {
  } catch (const std::bad_alloc&) {
  }
  noTmpfile = false;
  checkNoPartFiles(box.out);
  checkNothingOutside(box);
  return 0;
}
