// SPDX-License-Identifier: MIT
#pragma once
// Reading a Bitwig/PreSonus multisample back and comparing it with the bank
// it came from, like the other checks (verify/checks.h): the zip archive
// and the XML are read with code of their own, and the values expected are
// the zone's SoundFont generators (verify/expected.h), never the writer's.

#include <string>

#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel::verify {

// A .multisample of the whole bank: a zip archive whose entries are all
// stored (method 0) with the CRC-32 and sizes of their bytes, the first
// "multisample.xml"; in it, one <sample> per zone that sounds and whose
// sample holds data, in zone order, with the zone's keys, velocities, root
// key, tuning, gain and loop. A zone on the left sample of a stereo pair
// whose right sample a later zone plays alike (the same generators but for
// the sample and the pan) stands for both, with the pair's stereo file.
// Each WAV file is checked as faithful WAV output of its sample or pair.
// Returns what differs in a few words, or "" when the file matches.
std::string checkMultisample(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones);

}  // namespace vantrel::verify
