// SPDX-License-Identifier: MIT
#pragma once
// SFZ writer: a bank as a text instrument that maps its samples, kept as
// mono WAV files in a "samples" folder beside it, to key and velocity
// ranges. Every value comes from how the zone plays (ZonePlay), the record
// the SoundFont writer reads too, so both outputs agree.

#include <string>
#include <vector>

#include "tti/zone_play.h"
#include "tti/sample_bank.h"

namespace vantrel {

// The folder, relative to the .sfz file, that holds the sample files.
inline constexpr const char* kSfzSampleFolder = "samples";

// The sample file names of the SFZ output, one per sample of the bank, in
// UTF-8. Each starts from the sample's mono WAV file name (outputName):
//  - characters an SFZ line cannot carry unambiguously become '_': control
//    characters (C0, DEL, C1), '<' and '>' (headers), '=' (a space and
//    "word=" would start the next opcode), '/' and '\' (path separators,
//    "//" starts a comment), a leading or trailing space or no-break space
//    (readers trim them);
//  - ".wav" is added unless the name ends in ".wav" in any letter case,
//    since players choose the reader by the extension;
//  - a name too long for the file system is shortened before its extension;
//  - a name already taken by an earlier sample gets "_2", "_3", ... before
//    its extension.
std::vector<std::string> sfzSampleNames(const SampleBank& bank);

// The .sfz text (UTF-8, LF line ends) of the bank's zones: one <region> per
// zone the SoundFont holds, in the same order, each opcode on its own line.
// `sampleNames` are those of sfzSampleNames. A zone that can never sound
// (an empty key or velocity range, a sample of no frames, a sample whose
// name is empty as it has no file) keeps its place as comment lines, and a loop outside its sample is played as no loop;
// see the README's SFZ section.
std::string sfzText(const SampleBank& bank, const std::vector<ZonePlay>& zones,
                    const std::vector<std::string>& sampleNames);

}  // namespace vantrel
