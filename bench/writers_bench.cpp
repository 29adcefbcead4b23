// Whole-bank conversion of a 64 MiB bank of 256 samples (128 left/right
// pairs) in each output mode, into a temporary folder.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "bank_builder.h"
#include "jobs/bank_conversion.h"
#include "jobs/job_context.h"
#include "tti/tti_reader.h"

using namespace vantrel;

namespace {

constexpr std::size_t kSamples = 256;
constexpr std::size_t kBankBytes = 64u << 20;
constexpr std::size_t kSampleBytes = kBankBytes / kSamples;

// The bank file, written once into a temporary folder that is removed at
// exit.
class BenchBank {
 public:
  BenchBank() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    folder_ = pattern;
    testing::BankDesc d;
    for (std::size_t i = 0; i < kSamples; ++i) {
      testing::SampleDesc s;
      char name[32];
      std::snprintf(name, sizeof name, "SAMPLE%03zu %c.WAV", i / 2, i % 2 ? 'R' : 'L');
      s.name = name;
      s.pcm = testing::noisePcm(kSampleBytes / 2, static_cast<std::uint32_t>(i / 2 + 1));
      s.loopStartFrame = 1000;
      s.loopEndFrame = static_cast<std::uint32_t>(kSampleBytes / 2);
      s.zones = {static_cast<std::uint8_t>(i)};
      d.samples.push_back(std::move(s));
    }
    d.zones.resize(kSamples);
    for (std::size_t z = 0; z < kSamples; ++z) {
      d.zones[z].keyLow = static_cast<std::uint8_t>(z / 2);
      d.zones[z].keyHigh = static_cast<std::uint8_t>(z / 2 + 1);
    }
    path_ = (folder_ / "BENCH.TTI").string();
    testing::writeBank(path_, d);
  }
  ~BenchBank() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::string& path() const { return path_; }
  std::filesystem::path output() const { return folder_ / "out"; }

 private:
  std::filesystem::path folder_;
  std::string path_;
};

// chattr +T where the file system has it; nothing elsewhere.
void markTopFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags |= FS_TOPDIR_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  ::close(fd);
}

const BenchBank& bank() {
  static const BenchBank b;
  return b;
}

void BM_ConvertBank(benchmark::State& state) {
  const BenchBank& b = bank();
  JobListener quiet;
  JobContext ctx(quiet);
  ctx.outputMode = static_cast<int>(state.range(0));
  ctx.bank.ttiPath = b.path();
  getttidata(ctx);
  // Every iteration writes into a folder of its own, emptied (not removed)
  // afterwards: ext4 without a journal creates files slowly for minutes in
  // a block group where many were removed, which would time the file
  // system instead of the conversion. The folder holding them is marked as
  // a top folder so the file system spreads them over its block groups.
  std::filesystem::create_directory(b.output());
  markTopFolder(b.output());
  int serial = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::filesystem::path out = b.output() / std::to_string(++serial);
    std::filesystem::create_directory(out);
    ctx.destinationFolder = out.string() + "/";
    state.ResumeTiming();
    extracttti(ctx);
    state.PauseTiming();
    for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
      if (e.is_regular_file()) std::filesystem::resize_file(e.path(), 0);
    }
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBankBytes));
  state.SetLabel(ctx.outputMode == kModeMono ? "mono" : ctx.outputMode == kModeStereo ? "stereo" : "sf2");
}
BENCHMARK(BM_ConvertBank)->Arg(kModeMono)->Arg(kModeStereo)->Arg(kModeSf2)->Unit(benchmark::kMillisecond);

}  // namespace
