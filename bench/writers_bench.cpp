// SPDX-License-Identifier: MIT
// Whole-bank conversion of a 64 MiB bank of 256 samples (128 left/right
// pairs) in each output mode, into a temporary folder: the bank read with
// its PCM data, then its files written as the conversion job writes them
// (WAV files several at a time, the SoundFont with a second thread).

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
#include "jobs/wav_file_writers.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tti/tti_reader.h"
#include "writers/sf2_writer.h"

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

enum Mode { kMono, kStereo, kSf2 };

// Writes the bank's files into `out` in mode `mode`.
void convert(const std::string& path, int mode, const std::string& out, std::vector<std::uint8_t>& buffer) {
  SampleBank bank;
  ZoneArticulation zones;
  loadBank(BankRef::file(path), bank, {mode == kSf2 ? &zones : nullptr, true});
  if (mode == kSf2) {
    writeSf2(bank, interpretZones(bank, zones), joinPath(out, sf2FileNameFor(path)), buffer, {});
    return;
  }
  std::vector<WavFileTask> files;
  std::uint64_t bytes = 0;
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    const auto k = static_cast<std::uint16_t>(i);
    const bool pair = mode == kStereo && i + 1 < bank.sampleCount && stereoPairOf(bank, i, i + 1);
    const auto right = static_cast<std::uint16_t>(pair ? i + 1 : i);
    files.push_back({joinPath(out, latin1ToUtf8(bank.outputName[i])), {pair, k, right, std::nullopt}});
    bytes += (pair ? 2u : 1u) * static_cast<std::uint64_t>(bank.pcmLength[i]);
    if (pair) ++i;
  }
  const std::size_t count = files.size();
  WavFileWriters writers(bank, std::move(files), WavFileWriters::threadsFor(count, bytes), {}, buffer);
  for (std::size_t k = 0; k < count; ++k) {
    bool headerWritten;
    writers.settle(k, headerWritten);
  }
}

void BM_ConvertBank(benchmark::State& state) {
  const BenchBank& b = bank();
  const int mode = static_cast<int>(state.range(0));
  std::vector<std::uint8_t> buffer;
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
    state.ResumeTiming();
    convert(b.path(), mode, out.string(), buffer);
    state.PauseTiming();
    for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
      if (e.is_regular_file()) std::filesystem::resize_file(e.path(), 0);
    }
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBankBytes));
  state.SetLabel(mode == kMono ? "mono" : mode == kStereo ? "stereo" : "sf2");
}
BENCHMARK(BM_ConvertBank)->Arg(kMono)->Arg(kStereo)->Arg(kSf2)->Unit(benchmark::kMillisecond);

}  // namespace
