// The drive walk over a tree of 10,000 folders, against find -xdev over the
// same tree, and a folder run over 200 small banks.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bank_builder.h"
#include "jobs/drive_job.h"
#include "jobs/folder_jobs.h"
#include "jobs/job_context.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFolders = 10000;
constexpr std::size_t kBanks = 200;

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
  fs::path banks;
  Inputs() {
    base = fs::temp_directory_path() / ("vantrel-bench-" + std::to_string(::getpid()));
    tree = base / "tree";
    banks = base / "banks";
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
    fs::create_directories(banks);
    const BankDesc bank = smallBank(8, 4096);
    for (std::size_t k = 0; k < kBanks; ++k)
      writeBank((banks / ("BANK" + std::to_string(k) + ".TTI")).string(), bank);
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
  JobListener quiet;
  JobContext ctx(quiet);
  std::size_t found = 0;
  for (auto _ : state) {
    std::vector<std::string> list;
    ReadDirectoryNames(ctx, root, list);
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

void BM_FolderRun200Banks(benchmark::State& state) {
  const std::string source = inputs().banks.string();
  const fs::path out = inputs().base / "out";
  JobListener quiet;
  JobContext ctx(quiet);
  ctx.outputMode = static_cast<int>(state.range(0));
  getlastdir(ctx, source);
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    fs::create_directories(out);
    state.ResumeTiming();
    completeClick(ctx, source, out.string());
  }
  state.counters["banks"] = static_cast<double>(kBanks);
}
BENCHMARK(BM_FolderRun200Banks)
    ->Arg(kModeMono)
    ->Arg(kModeStereo)
    ->Arg(kModeSf2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
