// SPDX-License-Identifier: MIT
#include "jobs/selection.h"

#include <algorithm>
#include <optional>

#include "jobs/bank_conversion.h"
#include "jobs/output_folders.h"
#include "writers/wav_writer.h"
#include "jobs/pcm_release.h"
#include "platform/file.h"
#include "platform/text.h"
#include "jobs/bank_reading.h"
#include "jobs/wav_steps.h"
#include "tti/stereo_pairs.h"
#include "tti/tti_reader.h"

namespace vantrel {
namespace {

constexpr const char* kTwoFilesNeeded = "You have to select 2 WAV files";
constexpr const char* kNoStereoPair = "This is no stereo file - select two other files";

bool inBank(const SampleBank& bank, std::uint32_t index) { return index < bank.sampleCount; }

// The status line names the sample list's current item while it is
// extracted; a front end without the list has no item it could point at.
void showCurrentItem(JobListener& ui, int item) {
  if (ui.showsSampleList()) ui.status(std::to_string(item));
}

// Tells the front end of a WAV file of the bank that was written or found.
void reportWav(JobContext& ctx, const std::string& path, OutputOutcome outcome, bool stereo, std::uint16_t left,
               std::uint16_t right) {
  OutputFileEvent e;
  e.path = path;
  e.outcome = outcome;
  e.kind = stereo ? FormatId::Stereo : FormatId::Mono;
  e.left = left;
  e.right = right;
  describeOutput(ctx, e);
  ctx.ui.outputFile(e);
}

// A file already at `path` (unless the run overwrites): Existing when it
// holds what would be written, Differs when it holds other bytes; nothing
// when there is none.
OutputOutcome compareFound(JobContext& ctx, const std::string& path, const WavSource& source) {
  return wavFileHolds(ctx.bank, source, path, ctx.writeBuffer) ? OutputOutcome::Existing : OutputOutcome::Differs;
}

std::optional<OutputOutcome> existingOutcome(JobContext& ctx, const std::string& path, const WavSource& source) {
  if (ctx.options.overwrite || !fileExists(path)) return std::nullopt;
  return compareFound(ctx, path, source);
}

// Reports a file found (before writing, or taking the name while the job
// wrote it): one with other bytes fails the job.
void reportFound(JobContext& ctx, BankFilesDone& filesDone, const std::string& path, OutputOutcome found,
                 const std::string& existingText, const WavSource& source) {
  ctx.ui.status(found == OutputOutcome::Existing ? existingText : fileNamePart(path) + " exists and differs");
  reportWav(ctx, path, found, source.stereo, source.left, source.right);
  filesDone.done();
  if (found == OutputOutcome::Differs) throw RunError(kOutputDiffers, path);
}

}  // namespace

bool stereoPickTest(const SampleBank& bank, std::uint16_t a, std::uint16_t b) {
  return a != b && inBank(bank, a) && inBank(bank, b) && bank.pcmLength[a] == bank.pcmLength[b] &&
         bank.loopStart[a] == bank.loopStart[b] && bank.loopEnd[a] == bank.loopEnd[b];
}

void wavlistMouseDown(JobListener& ui, const SampleBank& shown, StereoPicks& picks, int currentItem,
                      bool multiSelection) {
  const std::uint32_t count = shown.sampleCount;
  if (multiSelection && count > 1) {
    // A press that left the list without a current item picks nothing.
    if (currentItem < 0) return;
    // The picks may stem from a larger bank loaded before: only entries the
    // list holds can be deselected or selected.
    auto select = [&](std::uint16_t index, bool on) {
      if (inBank(shown, index)) ui.sampleListSelect(index, on);
    };
    select(picks.current, false);
    select(picks.previous, false);
    picks.previous = picks.current;
    picks.current = static_cast<std::uint16_t>(currentItem);
    select(picks.previous, true);
    select(picks.current, true);
    if (picks.current == picks.previous || picks.previous == StereoPicks::kNoPick) {
      ui.status(kTwoFilesNeeded);
      ui.buttonChanged(ButtonId::WavExtr, false);
    } else if (stereoPickTest(shown, picks.current, picks.previous)) {
      ui.buttonChanged(ButtonId::WavExtr, true);
      ui.status("Building stereo WAV file possible  -> extract");
    } else {
      ui.status(kNoStereoPair);
      ui.buttonChanged(ButtonId::WavExtr, false);
    }
  } else if (count > 1) {
    ui.buttonChanged(ButtonId::WavExtr, true);
  } else {
    ui.buttonChanged(ButtonId::WavExtr, false);
    ui.status("only 1 sample - stereo extraction impossible");
  }
}

void wavlistDblClick(JobContext& ctx, const BankRef& bank, int currentItem, const std::string& targetFolder) {
  if (ctx.format().id != FormatId::Stereo) extractSample(ctx, bank, currentItem, targetFolder);
}

void wavextrClick(JobContext& ctx, const BankRef& bank, bool buttonOn, StereoPicks picks, int currentItem,
                  const std::string& targetFolder) {
  if (!buttonOn) return;
  if (ctx.format().id == FormatId::Stereo) extractPair(ctx, bank, picks, currentItem, targetFolder);
  else extractSample(ctx, bank, currentItem, targetFolder);
}

namespace {

// The bank's directory, read for an extraction: the sample list is left
// as the front end shows it.
void readBankDirectory(JobContext& ctx, const BankRef& bank) {
  ctx.bank.ttiPath = bank.path();
  ctx.bankRef = bank;
  readDirectory(*bank.open(), ctx.bank);
}

}  // namespace

void extractSample(JobContext& ctx, const BankRef& bank, int index, const std::string& targetFolder) {
  readBankDirectory(ctx, bank);
  singlextr(ctx, index, targetFolder);
}

std::size_t extractSamples(JobContext& ctx, const BankRef& bank, const std::vector<int>& indexes,
                           const std::string& targetFolder) {
  if (indexes.size() < 2) {
    extractSample(ctx, bank, indexes.empty() ? -1 : indexes.front(), targetFolder);
    return indexes.size();
  }
  readBankDirectory(ctx, bank);
  std::size_t written = 0;
  for (int index : indexes) {
    checkCancelled(ctx.ui);
    if (singlextr(ctx, index, targetFolder)) ++written;
  }
  std::string text = std::to_string(written) + (written == 1 ? " sample extracted" : " samples extracted");
  if (written < indexes.size()) text += ", " + std::to_string(indexes.size() - written) + " already there";
  ctx.ui.status(text);
  return indexes.size();
}

bool extractPair(JobContext& ctx, const BankRef& bank, StereoPicks picks, int currentItem,
                 const std::string& targetFolder) {
  readBankDirectory(ctx, bank);
  return doublextr(ctx, picks, currentItem, targetFolder);
}

bool singlextr(JobContext& ctx, int currentItem, const std::string& targetFolder) {
  if (currentItem < 0 || !inBank(ctx.bank, static_cast<std::uint32_t>(currentItem))) {
    ctx.ui.status("No sample selected");
    return false;
  }
  const auto k = static_cast<std::uint16_t>(currentItem);
  BusyCursor busy(ctx.ui);
  ctx.gauge1.setRange(0, 2);
  ctx.gauge1.setProgress(0);
  showCurrentItem(ctx.ui, k);

  ReleasePcmOnExit release(ctx.bank);
  BankFilesDone filesDone(ctx.ui);
  getttivalues(ctx, 1);
  checkBeforeWriting(ctx, {k});
  ctx.destinationFolder = destinationRule(targetFolder);
  setOutputRoot(ctx, ctx.destinationFolder);
  const std::string folder = createBankFolder(*ctx.outputRoot, ctx.destinationFolder,
                                              bankOutputName(outputFormat(FormatId::Mono), ctx.bank.ttiPath));

  const std::string name = latin1ToUtf8(ctx.bank.outputName[k]);
  const std::string path = joinPath(folder, name);
  const WavSource source = wavSource(ctx, false, k, k);
  auto found = existingOutcome(ctx, path, source);
  if (!found) {
    OutputFile file = WriteWavHeaderMono(ctx, folder, k);
    ctx.gauge1.add(1);
    ctx.gauge1.add(1);
    if (!CopyPCMDataMono(ctx, file, k)) found = compareFound(ctx, path, source);
  }
  if (found) {
    reportFound(ctx, filesDone, path, *found, name + " already extracted", source);
    return false;
  }
  ctx.gauge1.add(1);
  reportWav(ctx, path, OutputOutcome::Written, false, k, k);
  filesDone.done();
  ctx.ui.destinationChanged();
  ctx.ui.status(name + " extracted");
  ctx.gauge1.setProgress(0);
  return true;
}

bool doublextr(JobContext& ctx, StereoPicks picks, int currentItem, const std::string& targetFolder) {
  const std::uint16_t left = std::min(picks.current, picks.previous);
  const std::uint16_t right = std::max(picks.current, picks.previous);
  // The button may have been switched on in single-selection state, so the
  // picks are checked again here; a refused pair writes nothing.
  if (left == right || right == StereoPicks::kNoPick) {
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
  checkBeforeWriting(ctx, {left, right});
  showCurrentItem(ctx.ui, currentItem);
  ctx.destinationFolder = destinationRule(targetFolder);
  setOutputRoot(ctx, ctx.destinationFolder);
  const std::string folder = createBankFolder(*ctx.outputRoot, ctx.destinationFolder,
                                              bankOutputName(outputFormat(FormatId::Stereo), ctx.bank.ttiPath));

  const std::string fileName = stereoFileName(ctx.bank, left, right);
  const std::string name = latin1ToUtf8(fileName);
  const std::string path = joinPath(folder, name);
  const WavSource source = wavSource(ctx, true, left, right);
  auto found = existingOutcome(ctx, path, source);
  if (!found) {
    OutputFile file = WriteWavHeaderStereo(ctx, folder, fileName, left, right);
    ctx.gauge1.add(1);
    ctx.gauge1.add(1);
    if (!CopyPCMDataStereo(ctx, file, left, right)) found = compareFound(ctx, path, source);
  }
  if (found) {
    reportFound(ctx, filesDone, path, *found, "Already extracted", source);
    return true;
  }
  ctx.gauge1.add(1);
  reportWav(ctx, path, OutputOutcome::Written, true, left, right);
  filesDone.done();
  ctx.ui.destinationChanged();
  ctx.ui.status(name + " extracted");
  ctx.gauge1.setProgress(0);
  return true;
}

}  // namespace vantrel
