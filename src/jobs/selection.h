// SPDX-License-Identifier: MIT
#pragma once
// Extraction of chosen samples from the sample list (wavlist): one sample as
// a mono WAV file, or two picked samples as one stereo WAV file. The window
// calls these from its list and button handlers; `targetFolder` is always
// the folder the target folder list (destin) shows.

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/job_context.h"
#include "tti/bank_source.h"

namespace vantrel {

// The last two picks in the sample list of the bank shown (stereo
// selection), kNoPick until the user has picked. The front end keeps them.
struct StereoPicks {
  static constexpr std::uint16_t kNoPick = 0xFFFF;
  std::uint16_t current = kNoPick;
  std::uint16_t previous = kNoPick;
  // Forgets the picks: only picks made in the list of the bank shown count.
  void clear() noexcept { current = previous = kNoPick; }
};

// Two different picks can form a stereo file when their lengths and loop
// points agree; the names play no part. Picks outside the loaded bank never
// pass.
bool stereoPickTest(const SampleBank& bank, std::uint16_t a, std::uint16_t b);

// A press in the sample list of the bank `shown` (its directory and values
// read), after the list has made the pressed entry its current item
// (`currentItem`, -1 when it has none). In multi-selection state the press
// shifts the two picks, keeps exactly them selected and tells whether they
// can be extracted as a stereo file. Switches the wavextr button.
void wavlistMouseDown(JobListener& ui, const SampleBank& shown, StereoPicks& picks, int currentItem,
                      bool multiSelection);

// A double click in the sample list of `bank`: extracts the current item as
// a mono file unless the output format is stereo.
void wavlistDblClick(JobContext& ctx, const BankRef& bank, int currentItem, const std::string& targetFolder);

// The wavextr button (`buttonOn`: whether it is on): the picked pair in
// stereo mode, the current item as a mono file otherwise.
void wavextrClick(JobContext& ctx, const BankRef& bank, bool buttonOn, StereoPicks picks, int currentItem,
                  const std::string& targetFolder);

// Plain entry points: sample `index` of `bank` as a mono WAV file into the
// bank's mono folder below the target folder, and the pair of `picks` as
// one stereo WAV file (see doublextr). Each reads the bank's directory
// first, without touching the front end's sample list.
void extractSample(JobContext& ctx, const BankRef& bank, int index, const std::string& targetFolder);
bool extractPair(JobContext& ctx, const BankRef& bank, StereoPicks picks, int currentItem,
                 const std::string& targetFolder);
// Each of the samples `indexes` (in that order) as extractSample writes
// it, the bank's directory read once; the status ends with "N samples
// extracted" for more than one, counting only the files written, and
// ", M already there" for those found already extracted. Returns how many
// were asked for.
std::size_t extractSamples(JobContext& ctx, const BankRef& bank, const std::vector<int>& indexes,
                           const std::string& targetFolder);

// Writes sample `currentItem` of the bank whose directory ctx holds as a
// mono WAV file into the mono folder of the bank below the target folder.
// Returns whether it wrote the file (not when it was already there).
bool singlextr(JobContext& ctx, int currentItem, const std::string& targetFolder);

// Writes the picks as one stereo WAV file, the smaller index as the left
// channel, into the bank's stereo folder. `currentItem` is the list's
// current item, shown while the job runs. Returns false when the picks
// were refused (the same entry twice, or a pair failing the stereo pick
// test): then nothing is written.
bool doublextr(JobContext& ctx, StereoPicks picks, int currentItem, const std::string& targetFolder);

}  // namespace vantrel
