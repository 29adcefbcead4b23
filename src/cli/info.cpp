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
#include "tti/zone_play.h"

namespace vantrel::cli {
namespace {

const char* silenceWord(Silence s) {
  switch (s) {
    case Silence::None: return "none";
    case Silence::EmptyKeys: return "emptyKeys";
    case Silence::EmptyVelocities: return "emptyVelocities";
    case Silence::NoFrames: return "noFrames";
    case Silence::OneFrame: return "oneFrame";
    case Silence::NoSample: return "noSample";
  }
  return "";
}

const char* loopWord(LoopPlay l) {
  switch (l) {
    case LoopPlay::None: return "none";
    case LoopPlay::Forward: return "forward";
    case LoopPlay::Outside: return "outside";
    case LoopPlay::Reversed: return "reversed";
    case LoopPlay::EmptySample: return "emptySample";
  }
  return "";
}

// The first velocity that sounds a zone: velocity 0 is no note.
int firstVelocity(const ZonePlay& p) { return p.velLow < 1 ? 1 : p.velLow; }

// How a zone plays: the keys and velocities that sound it (or why none
// do), its root key, tuning and loop.
nlohmann::ordered_json playsJson(const ZonePlay& p) {
  return {{"sounds", p.sounds()},
          {"silence", silenceWord(p.silence)},
          {"keyLow", p.keyLow},
          {"keyHigh", p.keyHigh},
          {"velLow", firstVelocity(p)},
          {"velHigh", p.velHigh},
          {"rootKey", p.rootKey},
          {"tuningCents", p.tuningCents},
          {"loop", loopWord(p.loop)},
          {"loopStart", p.loopStart},
          {"loopEnd", p.loopEnd}};
}

// Fields in a fixed order; every text UTF-8 (names are Latin-1 bytes, a
// path that is not UTF-8 is taken as Latin-1 too).
void printJson(const std::string& file, const SampleBank& bank, const ZoneArticulation& art,
               const std::vector<ZonePlay>& plays) {
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
                     {"sample", bank.zoneSample[z]},
                     {"plays", playsJson(plays[z])}});
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
void printText(const std::string& file, const SampleBank& bank, const ZoneArticulation& art,
               const std::vector<ZonePlay>& plays) {
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
  if (art.zoneCount) {
    std::printf("\nhow the zones play:\n%5s  %-22s %8s %8s %4s %6s  %s\n", "zone", "sounds", "keys", "vel", "root",
                "cents", "loop");
  }
  for (const ZonePlay& p : plays) {
    static const char* const why[] = {"yes", "no: empty key range", "no: empty velocities", "no: no frames",
                                      "no: one frame", "no: no sample"};
    const std::string keys = std::to_string(p.keyLow) + "-" + std::to_string(p.keyHigh);
    const std::string vel = std::to_string(firstVelocity(p)) + "-" + std::to_string(p.velHigh);
    const std::string frames = std::to_string(p.loopStart) + " to " + std::to_string(p.loopEnd);
    std::string loop;
    switch (p.loop) {
      case LoopPlay::None: loop = "none"; break;
      case LoopPlay::Forward: loop = "frames " + frames; break;
      case LoopPlay::Outside: loop = "none: " + frames + " outside " + std::to_string(p.frames) + " frames"; break;
      case LoopPlay::Reversed: loop = "none: " + frames + " reversed"; break;
      case LoopPlay::EmptySample: loop = "none: no frames to loop"; break;
    }
    std::printf("%5u  %-22s %8s %8s %4d %6d  %s\n", static_cast<unsigned>(p.zone),
                why[static_cast<int>(p.silence)], keys.c_str(), vel.c_str(), p.rootKey, p.tuningCents, loop.c_str());
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
  const std::vector<ZonePlay> plays = interpretZones(bank, zones);
  if (args.json) printJson(file, bank, zones, plays);
  else printText(file, bank, zones, plays);
  return finishOutput(0);
}

}  // namespace vantrel::cli
