// SPDX-License-Identifier: MIT
#include "ui/loaded_bank.h"

#include "tti/tti_reader.h"

namespace vantrel {

std::shared_ptr<const LoadedBank> LoadedBank::load(const std::string& ttiPath) {
  std::shared_ptr<LoadedBank> loaded(new LoadedBank());
  ZoneArticulation art;
  loadBank(fileSystemBanks().bankAt(ttiPath), loaded->bank_, {.zones = &art, .pcm = true});
  loaded->zones_ = interpretZones(loaded->bank_, art);
  return loaded;
}

std::vector<ZonePlay> LoadedBank::zonesOf(std::uint16_t sample) const {
  std::vector<ZonePlay> out;
  for (const ZonePlay& z : zones_) {
    if (z.sample == sample && z.sampleInBank()) out.push_back(z);
  }
  return out;
}

bool LoadedBank::playsLooped(std::uint16_t sample) const {
  for (const ZonePlay& z : zonesOf(sample))
    if (z.looped) return true;
  return false;
}

}  // namespace vantrel
