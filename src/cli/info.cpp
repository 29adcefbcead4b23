// SPDX-License-Identifier: MIT
// vantrel-cli info: the bank as the reader sees it.

#include <cinttypes>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "tti/tti_reader.h"

namespace vantrel::cli {
namespace {

// Fields in a fixed order; every text UTF-8 (names are Latin-1 bytes, a
// path that is not UTF-8 is taken as Latin-1 too).
void printJson(const std::string& file, const SampleBank& bank, const ZoneArticulation& art) {
  using nlohmann::ordered_json;
  ordered_json samples = ordered_json::array();
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    samples.push_back({{"index", i},
                       {"name", latin1ToUtf8(bank.sampleName[i])},
                       {"outputName", latin1ToUtf8(bank.outputName[i])},
                       {"pcmStart", bank.pcmStart[i]},
                       {"pcmEnd", bank.pcmEnd[i]},
                       {"pcmLength", bank.pcmLength[i]},
                       {"loopStart", bank.loopStart[i]},
                       {"loopEnd", bank.loopEnd[i]}});
  }
  ordered_json zones = ordered_json::array();
  for (std::size_t z = 0; z < art.zoneCount; ++z) {
    zones.push_back({{"keyLow", art.zoneKeyLow[z]},
                     {"keyHigh", art.zoneKeyHigh[z]},
                     {"velLow", art.zoneVelLow[z]},
                     {"velHigh", art.zoneVelHigh[z]},
                     {"volume", art.zoneVolume[z]},
                     {"fineTune", art.zoneFineTune[z]},
                     {"rootKey", art.zoneRootKey[z]},
                     {"looped", art.zoneLooped[z]},
                     {"panLeft", art.zonePanLeft[z]},
                     {"panRight", art.zonePanRight[z]},
                     {"attack", art.zoneAttack[z]},
                     {"sustain", art.zoneSustain[z]},
                     {"decay", art.zoneDecay[z]},
                     {"release", art.zoneRelease[z]},
                     {"sample", bank.zoneSample[z]}});
  }
  const ordered_json dump = {{"formatVersion", 1},
                             {"file", utf8OrLatin1(file)},
                             {"sampleCount", bank.sampleCount},
                             {"samples", std::move(samples)},
                             {"zones", std::move(zones)}};
  const std::string text = dump.dump(2) + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// Names and the path with their control characters escaped, so that none
// reaches the terminal.
void printText(const std::string& file, const SampleBank& bank, const ZoneArticulation& art) {
  std::printf("%s: %" PRIu32 " samples, %u zones\n", escapeControls(file).c_str(), bank.sampleCount,
              static_cast<unsigned>(art.zoneCount));
  if (bank.sampleCount) {
    std::printf("\n%5s  %-24s %-24s %10s %10s %10s %10s\n", "index", "name", "output name", "bytes",
                "frames", "loop start", "loop end");
  }
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    std::printf("%5" PRIu32 "  %-24s %-24s %10" PRIu32 " %10" PRIu32 " %10" PRId32 " %10" PRId32 "\n",
                i, escapeControls(latin1ToUtf8(bank.sampleName[i])).c_str(),
                escapeControls(latin1ToUtf8(bank.outputName[i])).c_str(),
                bank.pcmLength[i], bank.pcmLength[i] / 2, bank.loopStart[i], bank.loopEnd[i]);
  }
  if (art.zoneCount) {
    std::printf("\n%5s %8s %8s %4s %5s %4s %4s %5s %6s %6s %5s %5s %5s %6s\n", "zone", "keys",
                "vel", "vol", "tune", "root", "loop", "panL", "panR", "attack", "sus", "decay",
                "rel", "sample");
  }
  for (std::size_t z = 0; z < art.zoneCount; ++z) {
    std::printf("%5zu %3u-%-4u %3u-%-4u %4u %5d %4d %4u %5u %6u %6u %5u %5u %5u %6u\n", z,
                art.zoneKeyLow[z], art.zoneKeyHigh[z], art.zoneVelLow[z], art.zoneVelHigh[z],
                art.zoneVolume[z], art.zoneFineTune[z], art.zoneRootKey[z], art.zoneLooped[z],
                art.zonePanLeft[z], art.zonePanRight[z], art.zoneAttack[z], art.zoneSustain[z],
                art.zoneDecay[z], art.zoneRelease[z], static_cast<unsigned>(bank.zoneSample[z]));
  }
}

}  // namespace

int runInfo(const InfoArgs& args) {
  const std::string& file = args.bank;
  SampleBank bank;
  ZoneArticulation zones;
  try {
    loadBank(fileSystemBanks().bankAt(file), bank, {&zones, false});
  } catch (const RunError& e) {
    reportError(file, e.message());
    return 1;
  }
  if (args.json) printJson(file, bank, zones);
  else printText(file, bank, zones);
  return finishOutput(0);
}

}  // namespace vantrel::cli
