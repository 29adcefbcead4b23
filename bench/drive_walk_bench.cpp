// SPDX-License-Identifier: MIT
// The drive walk over a tree of 10,000 folders, against find -xdev over the
// same tree. (Folder runs over many small banks are timed by bench/run
// through vantrel-cli, against tar -x of the same output.)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bank_builder.h"
#include "platform/folders.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFolders = 10000;

BankDesc smallBank(std::size_t samples, std::size_t bytes) {
  BankDesc d;
  for (std::size_t i = 0; i < samples; ++i) {
    SampleDesc s;
    s.name = "SAMPLE " + std::to_string(i / 2) + (i % 2 ? " R.WAV" : " L.WAV");
    s.pcm = noisePcm(bytes / 2, static_cast<std::uint32_t>(i + 1));
    s.loopStartFrame = static_cast<std::uint32_t>(bytes / 8);
    s.loopEndFrame = static_cast<std::uint32_t>(bytes / 2);
    s.zones = {static_cast<std::uint8_t>(i)};
    d.samples.push_back(std::move(s));
  }
  return d;
}

// Generated once per process below the system's temporary folder.
struct Inputs {
  fs::path base;
  fs::path tree;
  Inputs() {
    base = fs::temp_directory_path() / ("vantrel-bench-" + std::to_string(::getpid()));
    tree = base / "tree";
    // Ten folders per level, a bank in every 50th folder, a hidden folder
    // with a bank in every 500th.
    const BankDesc tiny = smallBank(2, 64);
    for (std::size_t k = 0; k < kFolders; ++k) {
      fs::path p = tree;
      for (std::size_t rest = k;; rest /= 10) {
        p /= "d" + std::to_string(rest % 10);
        if (rest < 10) break;
      }
      fs::create_directories(p);
      if (k % 50 == 0) writeBank((p / "B.TTI").string(), tiny);
      if (k % 500 == 0) {
        fs::create_directories(p / ".hidden");
        writeBank((p / ".hidden" / "H.TTI").string(), tiny);
      }
    }
  }
  ~Inputs() {
    std::error_code ec;
    fs::remove_all(base, ec);
  }
};

Inputs& inputs() {
  static Inputs in;
  return in;
}

int runQuietly(const std::vector<std::string>& argv) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

void BM_DriveWalk(benchmark::State& state) {
  const std::string root = inputs().tree.string();
  std::size_t found = 0;
  for (auto _ : state) {
    std::vector<std::string> list;
    listTtiFilesBelow(root, list);
    found = list.size();
    benchmark::DoNotOptimize(list.data());
  }
  state.counters["banks"] = static_cast<double>(found);
  state.counters["folders"] = static_cast<double>(kFolders);
}
BENCHMARK(BM_DriveWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

// find as a separate process, as it is used from a shell.
void BM_FindXdev(benchmark::State& state) {
  const std::string root = inputs().tree.string();
  for (auto _ : state) runQuietly({"find", root, "-xdev", "-iname", "*.tti"});
}
BENCHMARK(BM_FindXdev)->Unit(benchmark::kMillisecond)->UseRealTime();

// What starting find costs by itself, to read the figure above.
void BM_FindStartOnly(benchmark::State& state) {
  const std::string empty = inputs().base.string() + "/empty";
  fs::create_directories(empty);
  for (auto _ : state) runQuietly({"find", empty, "-xdev", "-iname", "*.tti"});
}
BENCHMARK(BM_FindStartOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
