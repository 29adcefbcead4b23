// SPDX-License-Identifier: MIT
// The directory and parameter walks of a bank held in memory.

#include <benchmark/benchmark.h>

#include <cstdio>

#include "bank_builder.h"
#include "tti/tti_reader.h"

using namespace vantrel;

namespace {

std::vector<std::uint8_t> bankOf(std::size_t samples) {
  testing::BankDesc d;
  for (std::size_t i = 0; i < samples; ++i) {
    testing::SampleDesc s;
    s.name = "BENCH\\SAMPLE " + std::to_string(i % 50) + ".WAV";
    s.pcm.assign(64, 0);
    s.zones = {static_cast<std::uint8_t>(i & 0xFF)};
    d.samples.push_back(std::move(s));
  }
  d.zones.resize(256);
  return testing::buildBank(d);
}

void BM_DirectoryWalk(benchmark::State& state) {
  auto bytes = bankOf(static_cast<std::size_t>(state.range(0)));
  SampleBank bank;
  for (auto _ : state) {
    MemorySource src(bytes.data(), bytes.size());
    readDirectory(src, bank);
    benchmark::DoNotOptimize(bank.sampleCount);
  }
}
BENCHMARK(BM_DirectoryWalk)->Arg(256)->Arg(4096);

void BM_ParameterWalk(benchmark::State& state) {
  auto bytes = bankOf(static_cast<std::size_t>(state.range(0)));
  SampleBank bank;
  ZoneArticulation zones;
  for (auto _ : state) {
    MemorySource src(bytes.data(), bytes.size());
    readValues(src, bank, {&zones, true});
    benchmark::DoNotOptimize(bank.pcm.size);
  }
}
BENCHMARK(BM_ParameterWalk)->Arg(256)->Arg(4096);

// What a click on a bank in the file list costs: the directory walk and the
// parameter walk of a 256-sample bank file in the page cache, each opening
// the file as the click does.
void BM_ClickBank256(benchmark::State& state) {
  const std::string path = "/tmp/vantrel-bench-click.tti";
  testing::writeBytes(path, bankOf(256));
  SampleBank bank;
  for (auto _ : state) {
    FileSource names(path);
    readDirectory(names, bank);
    FileSource values(path);
    readValues(values, bank, {});
    benchmark::DoNotOptimize(bank.pcmLength[255]);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_ClickBank256)->Unit(benchmark::kMicrosecond);

}  // namespace
