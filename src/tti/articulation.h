// SPDX-License-Identifier: MIT
#pragma once
// Zone articulation decoded from a bank's parameter block ("TTIP" body).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tti/sample_bank.h"

namespace vantrel {

struct ZoneArticulation {
  ZoneArticulation()
      : zoneKeyLow(kMaxZones), zoneKeyHigh(kMaxZones), zoneVelLow(kMaxZones),
        zoneVelHigh(kMaxZones), zoneVolume(kMaxZones), zoneFineTune(kMaxZones),
        zoneRootKey(kMaxZones), zoneLooped(kMaxZones), zonePanLeft(kMaxZones),
        zonePanRight(kMaxZones), zoneAttack(kMaxZones), zoneSustain(kMaxZones),
        zoneDecay(kMaxZones), zoneRelease(kMaxZones) {}

  std::uint16_t zoneCount = 0;
  std::vector<std::uint8_t> zoneKeyLow;    // raw low key, 0-127
  std::vector<std::uint8_t> zoneKeyHigh;   // high key, 0-127
  std::vector<std::uint8_t> zoneVelLow;    // raw low velocity, 0-127
  std::vector<std::uint8_t> zoneVelHigh;   // high velocity, 0-127
  std::vector<std::uint8_t> zoneVolume;    // 0-127
  std::vector<std::int8_t> zoneFineTune;   // -96 to +31
  std::vector<std::int8_t> zoneRootKey;    // 64 minus the transposition
  std::vector<std::uint8_t> zoneLooped;    // 1 looped, 0 not
  std::vector<std::uint8_t> zonePanLeft;   // raw left level, 0-31
  std::vector<std::uint8_t> zonePanRight;  // raw right level, 0-127
  std::vector<std::uint8_t> zoneAttack;    // 127 - attack rate
  std::vector<std::uint8_t> zoneSustain;   // sustain level, 0-63
  std::vector<std::uint8_t> zoneDecay;     // 127 - decay rate
  std::vector<std::uint8_t> zoneRelease;   // 127 - release rate
};

// Decodes the parameter block (little-endian 16-bit words) into `art`,
// which may hold an earlier bank's zones: afterwards it holds exactly what a
// new table would, so one table serves bank after bank.
// A zone directory that does not end within kMaxZones entries, or a position
// outside the block, is an invalid bank: RunError(kInvalidBank, path); `art`
// is then a new, empty table.
void getsf2values(const std::uint8_t* paramBlock, std::size_t paramBlockSize,
                  ZoneArticulation& art, const std::string& path);

}  // namespace vantrel
