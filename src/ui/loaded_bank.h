// SPDX-License-Identifier: MIT
#pragma once
// A bank loaded on its own for listening and looking: its sample tables,
// its decoded zones and its PCM data area (the bank file, held open). The
// window's job state is left as it is; nothing is written.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tti/articulation.h"
#include "tti/zone_play.h"
#include "tti/sample_bank.h"

namespace vantrel {

class LoadedBank {
 public:
  // Loads the bank file at `ttiPath` (directory, parameters, zones and the
  // PCM data area). Throws RunError as the conversions do.
  static std::shared_ptr<const LoadedBank> load(const std::string& ttiPath);

  const SampleBank& bank() const noexcept { return bank_; }
  // The zones that play `sample`, in zone order.
  std::vector<ZonePlay> zonesOf(std::uint16_t sample) const;
  // Whether a zone plays `sample` looped.
  bool playsLooped(std::uint16_t sample) const;

 private:
  LoadedBank() = default;

  SampleBank bank_;
  std::vector<ZonePlay> zones_;
};

}  // namespace vantrel
