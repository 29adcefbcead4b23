// SPDX-License-Identifier: MIT
#include "jobs/selection.h"

#include <algorithm>

#include "jobs/output_folders.h"
#include "jobs/pcm_release.h"
#include "platform/file.h"
#include "platform/text.h"
#include "jobs/bank_reading.h"
#include "jobs/wav_steps.h"
#include "tti/stereo_pairs.h"

namespace vantrel {
namespace {

constexpr const char* kTwoFilesNeeded = "You have to select 2 WAV files";
constexpr const char* kNoStereoPair = "This is no stereo file - select two other files";

bool inBank(const SampleBank& bank, std::uint32_t index) { return index < bank.sampleCount; }

// Tells the front end of a WAV file of the bank that was written or found.
void reportWav(JobContext& ctx, const std::string& path, bool written, bool stereo, std::uint16_t left,
               std::uint16_t right) {
  OutputFileEvent e;
  e.path = path;
  e.outcome = written ? OutputOutcome::Written : OutputOutcome::Existing;
  e.kind = stereo ? OutputKind::StereoWav : OutputKind::MonoWav;
  e.left = left;
  e.right = right;
  e.bank = &ctx.bank;
  ctx.ui.outputFile(e);
}

}  // namespace

bool stereoPickTest(const SampleBank& bank, std::uint16_t a, std::uint16_t b) {
  return a != b && inBank(bank, a) && inBank(bank, b) && bank.pcmLength[a] == bank.pcmLength[b] &&
         bank.loopStart[a] == bank.loopStart[b] && bank.loopEnd[a] == bank.loopEnd[b];
}

void clearPicks(JobContext& ctx) {
  ctx.pickCurrent = JobContext::kNoPick;
  ctx.pickPrevious = JobContext::kNoPick;
}

void wavlistMouseDown(JobContext& ctx, int currentItem, bool multiSelection) {
  const std::uint32_t count = ctx.bank.sampleCount;
  if (multiSelection && count > 1) {
    // A press that left the list without a current item picks nothing.
    if (currentItem < 0) return;
    // The picks may stem from a larger bank loaded before: only entries the
    // list holds can be deselected or selected.
    auto select = [&](std::uint16_t index, bool on) {
      if (inBank(ctx.bank, index)) ctx.ui.sampleListSelect(index, on);
    };
    select(ctx.pickCurrent, false);
    select(ctx.pickPrevious, false);
    ctx.pickPrevious = ctx.pickCurrent;
    ctx.pickCurrent = static_cast<std::uint16_t>(currentItem);
    select(ctx.pickPrevious, true);
    select(ctx.pickCurrent, true);
    if (ctx.pickCurrent == ctx.pickPrevious || ctx.pickPrevious == JobContext::kNoPick) {
      ctx.ui.status(kTwoFilesNeeded);
      ctx.setButton(ButtonId::WavExtr, false);
    } else if (stereoPickTest(ctx.bank, ctx.pickCurrent, ctx.pickPrevious)) {
      ctx.setButton(ButtonId::WavExtr, true);
      ctx.ui.status("Building stereo WAV file possible  -> extract");
    } else {
      ctx.ui.status(kNoStereoPair);
      ctx.setButton(ButtonId::WavExtr, false);
    }
  } else if (count > 1) {
    ctx.setButton(ButtonId::WavExtr, true);
  } else {
    ctx.setButton(ButtonId::WavExtr, false);
    ctx.ui.status("only 1 sample - stereo extraction impossible");
  }
}

void wavlistDblClick(JobContext& ctx, int currentItem, const std::string& targetFolder) {
  if (ctx.outputMode != kModeStereo) singlextr(ctx, currentItem, targetFolder);
}

void wavextrClick(JobContext& ctx, int currentItem, const std::string& targetFolder) {
  if (!ctx.buttonOn(ButtonId::WavExtr)) return;
  if (ctx.outputMode == kModeStereo) doublextr(ctx, currentItem, targetFolder);
  else singlextr(ctx, currentItem, targetFolder);
}

void singlextr(JobContext& ctx, int currentItem, const std::string& targetFolder) {
  if (currentItem < 0 || !inBank(ctx.bank, static_cast<std::uint32_t>(currentItem))) {
    ctx.ui.status("No sample selected");
    return;
  }
  const auto k = static_cast<std::uint16_t>(currentItem);
  BusyCursor busy(ctx.ui);
  ctx.gauge1.setRange(0, 2);
  ctx.gauge1.setProgress(0);
  ctx.ui.status(std::to_string(k));

  ReleasePcmOnExit release(ctx.bank);
  BankFilesDone filesDone(ctx.ui);
  getttivalues(ctx, 1);
  ctx.destinationFolder = destinationRule(targetFolder);
  const std::string folder = CreateWavDirMono(ctx, ctx.destinationFolder);

  const std::string name = latin1ToUtf8(ctx.bank.outputName[k]);
  if (!ctx.overwrite && fileExists(joinPath(folder, name))) {
    ctx.ui.status(name + " already extracted");
    reportWav(ctx, joinPath(folder, name), false, false, k, k);
    filesDone.done();
    return;
  }
  OutputFile file = WriteWavHeaderMono(ctx, folder, k);
  ctx.gauge1.add(1);
  ctx.gauge1.add(1);
  CopyPCMDataMono(ctx, file, k);
  ctx.gauge1.add(1);
  reportWav(ctx, file.finalPath(), true, false, k, k);
  filesDone.done();
  ctx.ui.destinationChanged();
  ctx.ui.status(name + " extracted");
  ctx.gauge1.setProgress(0);
}

bool doublextr(JobContext& ctx, int currentItem, const std::string& targetFolder) {
  const std::uint16_t left = std::min(ctx.pickCurrent, ctx.pickPrevious);
  const std::uint16_t right = std::max(ctx.pickCurrent, ctx.pickPrevious);
  // The button may have been switched on in single-selection state, so the
  // picks are checked again here; a refused pair writes nothing.
  if (left == right || right == JobContext::kNoPick) {
    ctx.ui.status(kTwoFilesNeeded);
    return false;
  }
  if (!stereoPickTest(ctx.bank, left, right)) {
    ctx.ui.status(kNoStereoPair);
    return false;
  }

  BusyCursor busy(ctx.ui);
  ctx.gauge1.setRange(0, 2);
  ctx.gauge1.setProgress(0);
  ReleasePcmOnExit release(ctx.bank);
  BankFilesDone filesDone(ctx.ui);
  getttivalues(ctx, 1);
  ctx.ui.status(std::to_string(currentItem));
  ctx.destinationFolder = destinationRule(targetFolder);
  const std::string folder = CreateWavDirStereo(ctx, ctx.destinationFolder);

  const std::string fileName = stereoFileName(ctx.bank, left, right);
  const std::string name = latin1ToUtf8(fileName);
  if (!ctx.overwrite && fileExists(joinPath(folder, name))) {
    ctx.ui.status("Already extracted");
    reportWav(ctx, joinPath(folder, name), false, true, left, right);
    filesDone.done();
    return true;
  }
  OutputFile file = WriteWavHeaderStereo(ctx, folder, fileName, left, right);
  ctx.gauge1.add(1);
  ctx.gauge1.add(1);
  CopyPCMDataStereo(ctx, file, left, right);
  ctx.gauge1.add(1);
  reportWav(ctx, file.finalPath(), true, true, left, right);
  filesDone.done();
  ctx.ui.destinationChanged();
  ctx.ui.status(name + " extracted");
  ctx.gauge1.setProgress(0);
  return true;
}

}  // namespace vantrel
