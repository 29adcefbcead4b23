// SPDX-License-Identifier: MIT
#pragma once
// Reading a DLS file back and comparing it with the bank it came from, like
// the other checks (verify/checks.h): the RIFF tree is read with the reader
// here, and the values expected are the zone's SoundFont generators
// (verify/expected.h) in DLS units, never taken from the writer.

#include <string>

#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel::verify {

// A DLS file of the whole bank: one instrument holding one region per zone
// that sounds and whose sample holds data, in zone order, each with the
// zone's key and velocity range, unity note, fine tune, attenuation, loop,
// envelope and pan; the wave pool holding the whole frames of every sample
// a region plays, in sample order, as 16-bit mono PCM at 44.1 kHz, the pool
// table pointing at each. Returns what differs in a few words, or "".
std::string checkDls(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones);

}  // namespace vantrel::verify
