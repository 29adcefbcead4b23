// vantrel-cli info: the bank as the reader sees it.

#include <cinttypes>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "tti/tti_reader.h"

namespace vantrel::cli {
namespace {

std::string jsonString(std::string_view utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void printJson(const std::string& file, const SampleBank& bank, const ZoneArticulation& art) {
  std::string s = "{\"file\": " + jsonString(file) +
                  ", \"sampleCount\": " + std::to_string(bank.sampleCount) + ",\n \"samples\": [";
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    s += i ? ",\n  " : "\n  ";
    s += "{\"index\":" + std::to_string(i) +
         ", \"name\":" + jsonString(latin1ToUtf8(bank.sampleName[i])) +
         ", \"outputName\":" + jsonString(latin1ToUtf8(bank.outputName[i])) +
         ", \"pcmStart\":" + std::to_string(bank.pcmStart[i]) +
         ", \"pcmEnd\":" + std::to_string(bank.pcmEnd[i]) +
         ", \"pcmLength\":" + std::to_string(bank.pcmLength[i]) +
         ", \"loopStart\":" + std::to_string(bank.loopStart[i]) +
         ", \"loopEnd\":" + std::to_string(bank.loopEnd[i]) + "}";
  }
  s += "],\n \"zones\": [";
  for (std::size_t z = 0; z < art.zoneCount; ++z) {
    s += z ? ",\n  " : "\n  ";
    s += "{\"keyLow\":" + std::to_string(art.zoneKeyLow[z]) +
         ", \"keyHigh\":" + std::to_string(art.zoneKeyHigh[z]) +
         ", \"velLow\":" + std::to_string(art.zoneVelLow[z]) +
         ", \"velHigh\":" + std::to_string(art.zoneVelHigh[z]) +
         ", \"volume\":" + std::to_string(art.zoneVolume[z]) +
         ", \"fineTune\":" + std::to_string(art.zoneFineTune[z]) +
         ", \"rootKey\":" + std::to_string(art.zoneRootKey[z]) +
         ", \"looped\":" + std::to_string(art.zoneLooped[z]) +
         ", \"panLeft\":" + std::to_string(art.zonePanLeft[z]) +
         ", \"panRight\":" + std::to_string(art.zonePanRight[z]) +
         ", \"attack\":" + std::to_string(art.zoneAttack[z]) +
         ", \"sustain\":" + std::to_string(art.zoneSustain[z]) +
         ", \"decay\":" + std::to_string(art.zoneDecay[z]) +
         ", \"release\":" + std::to_string(art.zoneRelease[z]) +
         ", \"sample\":" + std::to_string(bank.zoneSample[z]) + "}";
  }
  s += "]}\n";
  std::fputs(s.c_str(), stdout);
}

void printText(const std::string& file, const SampleBank& bank, const ZoneArticulation& art) {
  std::printf("%s: %" PRIu32 " samples, %u zones\n", file.c_str(), bank.sampleCount,
              static_cast<unsigned>(art.zoneCount));
  if (bank.sampleCount) {
    std::printf("\n%5s  %-24s %-24s %10s %10s %10s %10s\n", "index", "name", "output name", "bytes",
                "frames", "loop start", "loop end");
  }
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    std::printf("%5" PRIu32 "  %-24s %-24s %10" PRIu32 " %10" PRIu32 " %10" PRId32 " %10" PRId32 "\n",
                i, latin1ToUtf8(bank.sampleName[i]).c_str(), latin1ToUtf8(bank.outputName[i]).c_str(),
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

int runInfo(const Options& options) {
  if (options.positional.size() != 1) throw UsageError("info takes one bank file");
  const std::string& file = options.positional[0];
  SampleBank bank;
  ZoneArticulation zones;
  try {
    loadBank(file, bank, {&zones, false});
  } catch (const RunError& e) {
    reportError(file, e.message());
    return 1;
  }
  if (options.json) printJson(file, bank, zones);
  else printText(file, bank, zones);
  return 0;
}

}  // namespace vantrel::cli
