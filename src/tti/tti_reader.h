// SPDX-License-Identifier: MIT
#pragma once
// Reading a TTI bank in two walks over its bytes: the directory walk (names)
// and the parameter walk (offsets, loops, zone map, parameter block, PCM
// data). The reader fills a SampleBank and, when asked, the decoded zones;
// it knows nothing of gauges, lists or windows. A walk that fails leaves the
// bank as it was.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tti/articulation.h"
#include "tti/bank_source.h"
#include "tti/byte_source.h"
#include "tti/sample_bank.h"

namespace vantrel {

// Sample name from a 256-byte name field: the bytes up to the first zero (or
// the end of the field), keeping only what follows the last backslash.
std::string sampleNameFromField(const std::uint8_t* field, std::size_t size);

// Output names for names[0..n): made safe as file names, then unique within
// the bank without regard to letter case (caseFolded). The k-th repeat of a
// name gets "_k" inserted before its last four characters (repeatedName);
// when that still equals an earlier output name, k is raised.
void makeOutputNames(const std::vector<std::string>& names, std::uint32_t n,
                     std::vector<std::string>& outputNames);

// Directory walk from the start of `source`: sets sampleCount, sampleName
// and outputName.
void readDirectory(ByteSource& source, SampleBank& bank);

// What the parameter walk keeps besides offsets, loops and the zone map.
struct ValuesToRead {
  // Decode the parameter block into these zones (null: the block is read
  // but not decoded, so a block the decoder refuses does not matter).
  ZoneArticulation* zones = nullptr;
  // Hand the PCM data area over to the bank (bank.pcm).
  bool pcm = false;
};

// Called at the walk's checkpoints: once at its start, once per directory
// entry and, when the PCM data is taken, once before that. It may throw to
// stop the walk.
using ReadCheckpoint = std::function<void()>;

// Parameter walk from the start of `source`.
void readValues(ByteSource& source, SampleBank& bank, const ValuesToRead& what,
                const ReadCheckpoint& checkpoint = {});

// Bounds the silence written for bytes the bank's samples claim and its
// file does not hold (SampleBank::claimedLength); readValues calls it when
// it loads the PCM data.
void boundSilence(SampleBank& bank);

// Both walks over the bank, opened once.
void loadBank(const BankRef& bank, SampleBank& into, const ValuesToRead& what);

}  // namespace vantrel
