// SPDX-License-Identifier: MIT
#pragma once
// Reading an output file back from the disk and comparing it with the bank
// it came from. Each check returns what differs, in a few words ("frame
// 1234 differs", "loop end 99, expected 100"), or an empty string when the
// file holds exactly what the bank gives. A file that cannot be read is a
// difference too. The checks read with their own code (libsndfile for WAV,
// the RIFF reader here for SoundFont), never with the writers'.

#include <map>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel::verify {

// A WAV file of sample `left` alone (mono) or of the pair left, right
// (stereo): 16-bit PCM at 44.1 kHz, the frames of the sample (for a pair,
// left then right in each frame, both as long as the left sample), and a
// forward loop over the sample's loop points. The bank's PCM data must be
// held. Faithful output (`faithful`: the bank's zones) says instead what
// expectedSmpl gives: the left sample's pitch and a loop only where its
// first zone plays one.
std::string checkWav(const std::string& path, const SampleBank& bank, bool stereo, std::uint16_t left,
                     std::uint16_t right, const ZoneArticulation* faithful = nullptr);
// The same for a file already open for reading. `read`, when given, holds
// sample bytes as they were read from the bank's PCM data area for the
// file: the file is compared with those of them that lie where the check
// finds the samples' bytes, and with the bank's area for the rest.
std::string checkWav(const File& file, const SampleBank& bank, bool stereo, std::uint16_t left,
                     std::uint16_t right, const PcmReadCopy* read = nullptr,
                     const ZoneArticulation* faithful = nullptr);

// A SoundFont of the whole bank: the chunk tree and its sizes, every
// sample's header and data, and the generators of every instrument zone.
// Faithful output holds the sounding zones with faithfulGenerators, the
// faithful sample names, pitches and pairs, loop points only within their
// sample, at least 46 zero frames after each sample, the bank's and this
// program's name in INFO and zero terminal modulators.
std::string checkSoundFont(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones,
                           bool faithful = false);

// An SFZ instrument of the whole bank: one region per zone the SoundFont
// holds, and the sample file of every region that plays, checked as a mono
// WAV file of the zone's sample.
// `checked`, when given, receives the paths of the sample files checked.
// A sample file that `verified` names with the region's sample (checked as
// the mono WAV file of that sample already) is only looked for.
// `faithful`: the sample files are faithful WAV files.
std::string checkSfz(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones,
                     std::vector<std::string>* checked = nullptr,
                     const std::map<std::string, std::uint16_t>* verified = nullptr, bool faithful = false);

}  // namespace vantrel::verify
