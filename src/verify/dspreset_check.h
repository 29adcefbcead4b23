// SPDX-License-Identifier: MIT
#pragma once
// Reading a DecentSampler preset back and comparing it with the bank it
// came from, like the other checks (verify/checks.h): the values expected
// are the zone's SoundFont generators (verify/expected.h) in DecentSampler
// units, worked out here, never taken from the writer.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel::verify {

// A .dspreset of the whole bank: the XML declaration, <DecentSampler>,
// <groups> and one <group> holding, for every zone the SoundFont holds and
// in its order, either a <sample> element with the zone's values or, for a
// zone that can never sound, a comment "zone Z, sample S: never sounds...";
// and the sample file of every <sample>, checked as a mono WAV file of the
// zone's sample. Returns what differs in a few words ("zone 3: volume
// -12.2dB, expected -12.24dB"), or "" when the preset matches.
// `checked`, when given, receives the paths of the sample files checked.
// A sample file that `verified` names with the zone's sample (checked as
// the mono WAV file of that sample already) is only looked for.
// `faithful`: the sample files are faithful WAV files.
std::string checkDsPreset(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones,
                          std::vector<std::string>* checked = nullptr,
                          const std::map<std::string, std::uint16_t>* verified = nullptr, bool faithful = false);

}  // namespace vantrel::verify
