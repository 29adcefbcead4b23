// SPDX-License-Identifier: MIT
#pragma once
// DecentSampler writer: a bank as a .dspreset, an XML file that maps the
// samples, kept as mono WAV files in a "samples" folder beside it (the same
// files and names as the SFZ output's), to key and velocity ranges. Every
// value is the zone's as the SoundFont and the SFZ instrument play it
// (ZonePlay), in DecentSampler's units.

#include <string>
#include <vector>

#include "tti/sample_bank.h"
#include "tti/zone_play.h"

namespace vantrel {

// The .dspreset text (UTF-8, LF line ends) of the bank's zones: one group
// holding one <sample> element per zone the SoundFont holds, in the same
// order, each on its own line after a comment naming its zone and sample.
// `zones` are interpretZones' for the bank; `sampleNames` are the UTF-8
// file names of sfzSampleNames, by sample. A zone that can never sound (an
// empty key or velocity range, a sample of no frames, a sample whose name is
// empty as it has no file) keeps its place as a comment saying why, and a loop that does not lie within its sample is
// played as no loop. Attributes:
//   path         "samples/" + the sample's file name
//   rootNote     the key that plays the sample unchanged, at least 1 (the
//                player's range is 1-127)
//   loNote, hiNote, loVel, hiVel   the SFZ region's lokey, hikey, lovel, hivel
//   tuning       fine tune in semitones, and a semitone up for a root key
//                of 0 written as 1
//   volume       in decibels, with the "dB" suffix (0.4 dB per centibel)
//   pan          -100 (left) ... 100 (right)
//   loopEnabled  "true" with loopStart and loopEnd (frames, end played),
//                as the WAV file's smpl chunk has them; else "false"
//   attack, decay, release   seconds (0 for the shortest time)
//   sustain      linear level, 0 ... 1
std::string dspresetText(const SampleBank& bank, const std::vector<ZonePlay>& zones,
                         const std::vector<std::string>& sampleNames);

}  // namespace vantrel
