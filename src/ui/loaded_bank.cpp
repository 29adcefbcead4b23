// SPDX-License-Identifier: MIT
#include "ui/loaded_bank.h"

#include "tti/tti_reader.h"
#include "writers/sf2_writer.h"

namespace vantrel {
namespace {

// SoundFont 2.01 generator operators read back from a zone's generators.
constexpr std::uint16_t kKeyRange = 43;
constexpr std::uint16_t kVelRange = 44;
constexpr std::uint16_t kSampleModes = 54;
constexpr std::uint16_t kOverridingRootKey = 58;

}  // namespace

std::shared_ptr<const LoadedBank> LoadedBank::load(const std::string& ttiPath) {
  std::shared_ptr<LoadedBank> loaded(new LoadedBank());
  loadBank(ttiPath, loaded->bank_, {.zones = &loaded->zones_, .pcm = true});
  return loaded;
}

std::vector<ZonePlay> LoadedBank::zonesOf(std::uint16_t sample) const {
  // A zone is taken as a SoundFont file of the bank writes it, so that the
  // ranges shown are those a player of the converted bank uses: ranges are
  // low byte first key or velocity, high byte last.
  std::vector<ZonePlay> out;
  for (std::uint16_t z = 0; z < zones_.zoneCount; ++z) {
    if (bank_.zoneSample[z] != sample) continue;
    ZonePlay play;
    for (const GenRecord& g : convertval(bank_, zones_, z)) {
      switch (g.oper) {
        case kKeyRange:
          play.keyLow = g.amount & 0xFF;
          play.keyHigh = g.amount >> 8;
          break;
        case kVelRange:
          play.velLow = g.amount & 0xFF;
          play.velHigh = g.amount >> 8;
          break;
        case kSampleModes: play.looped = g.amount == 1; break;
        case kOverridingRootKey: play.rootKey = static_cast<std::int16_t>(g.amount); break;
        default: break;
      }
    }
    out.push_back(play);
  }
  return out;
}

bool LoadedBank::playsLooped(std::uint16_t sample) const {
  for (const ZonePlay& z : zonesOf(sample))
    if (z.looped) return true;
  return false;
}

}  // namespace vantrel
