// SPDX-License-Identifier: MIT
#pragma once
// Extraction of chosen samples from the sample list (wavlist): one sample as
// a mono WAV file, or two picked samples as one stereo WAV file. The window
// calls these from its list and button handlers; `targetFolder` is always
// the folder the target folder list (destin) shows.

#include <cstdint>
#include <string>

#include "jobs/job_context.h"

namespace vantrel {

// Two different picks can form a stereo file when their lengths and loop
// points agree; the names play no part. Picks outside the loaded bank never
// pass.
bool stereoPickTest(const SampleBank& bank, std::uint16_t a, std::uint16_t b);

// Forgets the picks: only picks made in the list of the bank shown count.
void clearPicks(JobContext& ctx);

// A press in the sample list, after the list has made the pressed entry its
// current item (`currentItem`, -1 when it has none). In multi-selection
// state the press shifts the two picks, keeps exactly them selected and
// tells whether they can be extracted as a stereo file.
void wavlistMouseDown(JobContext& ctx, int currentItem, bool multiSelection);

// A double click in the sample list: extracts the current item as a mono
// file unless the output mode is stereo.
void wavlistDblClick(JobContext& ctx, int currentItem, const std::string& targetFolder);

// The wavextr button: only while it is on; the picked pair in stereo mode,
// the current item as a mono file otherwise.
void wavextrClick(JobContext& ctx, int currentItem, const std::string& targetFolder);

// Writes sample `currentItem` as a mono WAV file into the mono folder of the
// bank below the target folder.
void singlextr(JobContext& ctx, int currentItem, const std::string& targetFolder);

// Writes the picks pickCurrent and pickPrevious as one stereo WAV file, the
// smaller index as the left channel, into the bank's stereo folder.
// `currentItem` is the list's current item, shown while the job runs.
// Returns false when the picks were refused (the same entry twice, or a
// pair failing the stereo pick test): then nothing is written.
bool doublextr(JobContext& ctx, int currentItem, const std::string& targetFolder);

}  // namespace vantrel
