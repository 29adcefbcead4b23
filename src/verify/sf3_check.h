// SPDX-License-Identifier: MIT
#pragma once
// Reading an SF3 file back (a SoundFont whose samples are Ogg Vorbis
// streams) and comparing it with the bank it came from, like the other
// checks (verify/checks.h). It shares the SoundFont check's reading of the
// presets, instruments and zones (verify/sf2_check.cpp).

#include <string>

#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel::verify {

// An SF3 file of the whole bank: version 3 in "ifil", every instrument zone
// as checkSoundFont has it, and every sample header as there but for its
// positions and its compressed flag 0x10: start and end the bytes of one
// Ogg stream in the sample data, loop points counted from the sample's
// first frame; each stream decoded by libsndfile holds as many frames as the
// sample, at its level (the energy within 1 dB, or both below 1% of full
// scale).
std::string checkSf3(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones,
                     bool faithful = false);

}  // namespace vantrel::verify
