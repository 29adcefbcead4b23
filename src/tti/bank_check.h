// SPDX-License-Identifier: MIT
#pragma once
// What a user should know about a bank before converting it: its problems
// (samples whose bytes the file does not hold or that hold no frame, loops
// outside their sample, reversed or empty, zones that never sound because
// no key or velocity reaches them or their sample has no frames, zones
// whose sample does not exist) and, apart from them, notes on what is
// sound (the samples the stereo conversion joins). Works on a loaded bank;
// reads nothing.

#include <cstdint>
#include <string>
#include <vector>

#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel {

// The sum of the samples' lengths in bytes.
std::uint64_t sampleBytes(const SampleBank& bank);

// One UTF-8 line per problem, in bank order: samples first, then zones.
// bank.pcm must hold the PCM data area (its size is what the file holds);
// `zones` are the bank's decoded zones.
std::vector<std::string> bankProblems(const SampleBank& bank, const ZoneArticulation& zones);
// One UTF-8 line per note: the left/right pairs that stereo mode joins,
// which are no fault of the bank.
std::vector<std::string> bankNotes(const SampleBank& bank);

// Whether sample `index` needs bytes and the PCM data area holds none of
// them: its WAV file would be nothing but silence the bank never held.
bool hasNoData(const SampleBank& bank, std::uint32_t index);

// The warning for sample `index` when its whole frames need bytes the PCM
// data area does not hold ("<bank>: sample 3 "PAD R.WAV" is cut short:
// 79,512 of 88,200 bytes missing, written as silence", or for one that
// holds none "<bank>: sample 3 "X" has no data in the file"); empty when
// it needs none.
std::string cutShortWarning(const SampleBank& bank, std::uint32_t index);

}  // namespace vantrel
