// SPDX-License-Identifier: MIT
// Generates the inputs of bench/run:
//   make-bench-data bank PATH MIB SAMPLES   one bank of about MIB MiB
//   make-bench-data banks DIR COUNT         COUNT small banks in DIR
//   make-bench-data tree DIR FOLDERS        a folder tree with a bank in every 1000th folder

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bank_builder.h"

using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

BankDesc bank(std::size_t samples, std::size_t bytesPerSample, bool pairs) {
  BankDesc d;
  for (std::size_t i = 0; i < samples; ++i) {
    SampleDesc s;
    const std::size_t frames = bytesPerSample / 2;
    // Pairs "NAME L.WAV"/"NAME R.WAV" of equal length and loop.
    s.name = "SAMPLE " + std::to_string(pairs ? i / 2 : i) + (pairs ? (i % 2 ? " R.WAV" : " L.WAV") : ".WAV");
    s.pcm = noisePcm(frames, static_cast<std::uint32_t>(i + 1));
    s.loopStartFrame = static_cast<std::uint32_t>(frames / 4);
    s.loopEndFrame = static_cast<std::uint32_t>(frames);
    s.zones = {static_cast<std::uint8_t>(i & 0xFF)};
    d.samples.push_back(std::move(s));
  }
  d.zones.resize(std::min<std::size_t>(samples ? samples : 1, 256));
  for (std::size_t z = 0; z < d.zones.size(); ++z) {
    d.zones[z].keyLow = static_cast<std::uint8_t>(z % 128);
    d.zones[z].keyHigh = static_cast<std::uint8_t>(z % 128);
  }
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 4) {
    std::fprintf(stderr, "usage: make-bench-data bank PATH MIB SAMPLES | banks DIR COUNT | tree DIR FOLDERS\n");
    return 2;
  }
  const std::string what = argv[1];
  if (what == "bank" && argc == 5) {
    const std::size_t mib = std::strtoul(argv[3], nullptr, 10);
    const std::size_t samples = std::strtoul(argv[4], nullptr, 10);
    const std::size_t per = (mib * 1024 * 1024 / samples) & ~std::size_t{1};
    writeBank(argv[2], bank(samples, per, true));
    return 0;
  }
  if (what == "banks" && argc == 4) {
    fs::create_directories(argv[2]);
    const std::size_t count = std::strtoul(argv[3], nullptr, 10);
    for (std::size_t k = 0; k < count; ++k)
      writeBank((fs::path(argv[2]) / ("BANK" + std::to_string(k) + ".TTI")).string(), bank(8, 4096, true));
    return 0;
  }
  if (what == "tree" && argc == 4) {
    const std::size_t folders = std::strtoul(argv[3], nullptr, 10);
    const BankDesc small = bank(2, 64, true);
    // Ten folders per level, so the tree is a few levels deep.
    for (std::size_t k = 0; k < folders; ++k) {
      fs::path p = argv[2];
      for (std::size_t rest = k; ; rest /= 10) {
        p /= "d" + std::to_string(rest % 10);
        if (rest < 10) break;
      }
      fs::create_directories(p);
      if (k % 1000 == 0) writeBank((p / "B.TTI").string(), small);
    }
    return 0;
  }
  std::fprintf(stderr, "make-bench-data: bad arguments\n");
  return 2;
}
