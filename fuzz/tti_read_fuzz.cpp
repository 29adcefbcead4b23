// SPDX-License-Identifier: MIT
// Reads arbitrary bytes as a bank: directory walk, parameter walk with the
// PCM data, and the zone articulation.

#include <cstddef>
#include <cstdint>

#include "platform/errors.h"
#include "tti/tti_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel;
  static SampleBank bank;
  static ZoneArticulation zones;
  try {
    MemorySource source(data, size, "fuzz.tti");
    readDirectory(source, bank);
    source.rewind();
    readValues(source, bank, {&zones, true});
    // Everything the writers take from the bank must lie inside the tables.
    for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
      if (bank.outputName[i].empty()) __builtin_trap();
    }
    if (zones.zoneCount > kMaxZones) __builtin_trap();
  } catch (const RunError&) {
  }
  bank.releasePcm();
  return 0;
}
