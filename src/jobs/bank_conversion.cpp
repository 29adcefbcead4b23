// SPDX-License-Identifier: MIT
#include "jobs/bank_conversion.h"

#include <set>
#include <vector>

#include "jobs/bank_reading.h"
#include "jobs/output_folders.h"
#include "jobs/pcm_release.h"
#include "jobs/wav_file_writers.h"
#include "jobs/wav_steps.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "tti/bank_check.h"
#include "writers/sf2_writer.h"
#include "writers/sfz_writer.h"
#include "writers/wav_writer.h"

namespace vantrel {
namespace {

// The mono and stereo files of a whole-bank job.
struct WavPlan {
  std::string folder;  // where they go, ending in a separator
  // The mono file name of each sample (UTF-8); null: its outputName. A
  // sample that gets no file has its name cleared, and one the file system
  // refused gets the name it was written under.
  std::vector<std::string>* names = nullptr;
  bool pairs = false;  // left/right pairs become stereo files
  // Whether a mono file found already there is logged "already extracted".
  bool logExisting = true;
  bool fresh = false;  // the folder was made just now and holds no file yet
  // Filled by writeWavFiles: the files found already there with other
  // bytes, left as they are.
  std::vector<std::string> differing;
};
// Plans the files, writes them several at a time and reports each one in
// plan order: gauge1 steps, its log line, JobListener::outputFile.
void writeWavFiles(JobContext& ctx, WavPlan& wav);

// Tells of an output the file system refused under `planned`'s name and
// that was given `given` instead (nothing when they are the same).
void warnRenamed(JobListener& ui, const std::string& planned, const std::string& given) {
  if (given == planned) return;
  auto name = [](std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return fileNamePart(path);
  };
  ui.warning(planned + ": the file system refuses the name " + name(planned) + "; written as " + name(given));
}

// Fails the bank when files of it were found with other bytes, once its
// other files are done.
void failOnDiffering(const std::vector<std::string>& differing) {
  if (differing.empty()) return;
  const std::size_t more = differing.size() - 1;
  throw RunError(kOutputDiffers, differing.front(),
                 more == 0 ? std::string() : "and " + std::to_string(more) + (more == 1 ? " more file" : " more files"));
}

// The parameter walk of a conversion: on `source` when the job has the
// bank open already, else on the bank file, opened here.
// Then, before anything of the bank is written, its problems: under
// --strict each is a failure of the bank, else samples cut short are
// warned of.
void readBankValues(JobContext& ctx, ByteSource* source, std::uint8_t step) {
  if (source) {
    source->rewind();
    getttivalues(ctx, *source, step);
  } else {
    getttivalues(ctx, step);
  }
  if (step == 1) checkBeforeWriting(ctx, {});
}

// The bank's folder "<prefix><bank file name>" inside `current`, made when
// missing unless in a dry run. Creation may fail (a read-only medium); the
// files then go into `current` itself, and any failure to write there is
// reported by the writers. `fresh`: the folder was made here and holds
// nothing yet.
std::string bankFolder(JobContext& ctx, const std::string& current, bool& fresh) {
  const std::string name = runOutputName(ctx, current, bankOutputName(ctx.format(), ctx.bank.ttiPath));
  const std::string made = createBankFolder(outputRootOf(ctx), current, name, !ctx.options.dryRun, &fresh);
  ctx.madeBankFolder = fresh ? made : std::string();
  warnRenamed(ctx.ui, withSeparator(joinPath(current, name)), made);
  return made;
}

}  // namespace

void extracttti(JobContext& ctx) { ctx.format().write(ctx, ctx.destinationFolder, nullptr); }
void extracttti(JobContext& ctx, ByteSource& source) { ctx.format().write(ctx, ctx.destinationFolder, &source); }

void convertListedBank(JobContext& ctx, const BankRef& bank, std::unique_ptr<ByteSource> opened) {
  ctx.bank.ttiPath = bank.path();
  ctx.bankRef = bank;
  ctx.madeBankFolder.clear();
  asBankJob(ctx.ui, bank.path(), [&] {
    const std::unique_ptr<ByteSource> source = opened ? std::move(opened) : bank.open();
    getttidata(ctx, *source);
    extracttti(ctx, *source);
  });
}

std::string runOutputKey(const std::string& folder, const std::string& name) {
  return caseFoldedUtf8(joinPath(folder, name));
}

std::string runOutputName(JobContext& ctx, const std::string& folder, const std::string& name) {
  if (!ctx.runOutputs) return name;
  std::string out = name;
  for (std::uint32_t k = 1; !ctx.runOutputs->insert(runOutputKey(folder, out)).second; ++k) {
    out = repeatedName(name, k);
  }
  return out;
}

void checkBeforeWriting(JobContext& ctx, const std::vector<std::uint16_t>& samples) {
  const SampleBank& bank = ctx.bank;
  if (ctx.options.strict) {
    const std::vector<std::string> problems = bankProblems(bank, ctx.art);
    if (!problems.empty()) {
      std::string detail = problems.front();
      if (problems.size() > 1) detail += " (and " + std::to_string(problems.size() - 1) + " more)";
      throw RunError(kInvalidBank, bank.ttiPath, detail + "; refused under --strict");
    }
  }
  auto warn = [&](std::uint32_t i) {
    if (std::string text = cutShortWarning(bank, i); !text.empty()) ctx.ui.warning(text);
  };
  if (samples.empty()) {
    for (std::uint32_t i = 0; i < bank.sampleCount; ++i) warn(i);
  } else {
    for (std::uint16_t i : samples) warn(i);
  }
}

namespace {

// The event of a job's one file made of the whole bank and its zones (a
// SoundFont, an .sfz file): written, or planned in a dry run.
OutputFileEvent bankFileEvent(const JobContext& ctx, std::string path, FormatId kind) {
  OutputFileEvent event;
  event.path = std::move(path);
  event.kind = kind;
  event.outcome = ctx.options.dryRun ? OutputOutcome::Planned : OutputOutcome::Written;
  describeOutput(ctx, event);
  return event;
}

}  // namespace

namespace {

// The job of an instrument that is one file of the whole bank, written by
// `format`'s file writer into `folder`.
void writeWholeBankFile(JobContext& ctx, const OutputFormat& format, const std::string& folder, ByteSource* source) {
  SampleBank& bank = ctx.bank;
  const std::uint32_t n = bank.sampleCount;
  ctx.gauge1.setRange(0, 2 * static_cast<std::int64_t>(n) + 10);
  BusyCursor busy(ctx.ui);
  ctx.gauge1.setProgress(0);
  ReleasePcmOnExit release(bank);
  BankFilesDone filesDone(ctx.ui);

  readBankValues(ctx, source, 1);
  OutputFileEvent event =
      bankFileEvent(ctx, joinPath(folder, runOutputName(ctx, folder, instrumentFileName(format, bank.ttiPath))),
                    format.id);
  if (!ctx.options.dryRun) {
    // A folder run holds its folder open; any other job opens the file's
    // folder from the output root.
    OpenFolder opened;
    const OpenFolder* held = &ctx.runFolder;
    if (!ctx.runFolder.isOpen() || !ctx.runFolder.holds(event.path)) {
      opened = outputRootOf(ctx).open(folder);
      held = &opened;
    }
    const std::string given = format.writeFile(
        bank, ctx.zones, event.path, ctx.writeBuffer,
        [&](int steps) {
          checkCancelled(ctx.ui);
          ctx.gauge1.add(steps);
        },
        ctx.ui.outputTap(event.path), held, ctx.options.faithful);
    warnRenamed(ctx.ui, event.path, given);
    event.path = given;
    ctx.ui.logLine(fileNamePart(event.path) + " written");
  }
  ctx.ui.outputFile(event);
  filesDone.done();
}

}  // namespace

void writeSoundFontBank(JobContext& ctx, const std::string& folder, ByteSource* source) {
  writeWholeBankFile(ctx, outputFormat(FormatId::Sf2), folder, source);
}

void writeBankFile(JobContext& ctx, const std::string& folder, ByteSource* source) {
  writeWholeBankFile(ctx, ctx.format(), folder, source);
}

namespace {

// The frame of a WAV or instrument job: the log cleared, gauge1 over `steps`,
// the busy cursor and the bank's values read (with its PCM data, released
// when the job ends: a dry run compares files found with it as the run
// does), then body().
template <typename Body>
void bankFileJob(JobContext& ctx, ByteSource* source, std::int64_t steps, const Body& body) {
  if (!ctx.options.dryRun) ctx.ui.logClear();
  ctx.gauge1.setRange(0, steps);
  BusyCursor busy(ctx.ui);
  ctx.gauge1.setProgress(0);
  ReleasePcmOnExit release(ctx.bank);
  BankFilesDone filesDone(ctx.ui);
  readBankValues(ctx, source, 1);
  body();
  filesDone.done();
}

}  // namespace

void writeWavBank(JobContext& ctx, const std::string& folder, ByteSource* source) {
  const std::uint32_t n = ctx.bank.sampleCount;
  bankFileJob(ctx, source, 2 * static_cast<std::int64_t>(n) + 2, [&] {
    // Mono output has a folder of its own; stereo output, and output with
    // no format chosen, goes into the stereo folder, where only stereo
    // output joins pairs.
    const FormatId id = ctx.format().id;
    WavPlan plan;
    plan.folder = bankFolder(ctx, folder, plan.fresh);
    plan.pairs = id == FormatId::Stereo;
    // In the other modes a pair is logged instead and an existing mono
    // leftover is skipped without a line.
    plan.logExisting = id == FormatId::Mono;
    if (!ctx.options.dryRun) ctx.ui.logLine("processing " + fileNamePart(ctx.bank.ttiPath));
    writeWavFiles(ctx, plan);
    failOnDiffering(plan.differing);
  });
}

// An instrument beside its samples: "<prefix><bank file name>/" with the
// samples as mono WAV files in "samples/" (named by sfzSampleNames,
// otherwise as mono mode writes them) and the instrument's text file,
// replacing a file of that name.
void writeInstrumentBank(JobContext& ctx, const std::string& folder, ByteSource* source) {
  SampleBank& bank = ctx.bank;
  const OutputFormat& format = ctx.format();
  const bool dryRun = ctx.options.dryRun;
  bankFileJob(ctx, source, 2 * static_cast<std::int64_t>(bank.sampleCount) + 3, [&] {
    WavPlan plan;
    const std::string out = bankFolder(ctx, folder, plan.fresh);
    const std::string samples = joinPath(out, kSfzSampleFolder);
    if (!dryRun) {
      createBankFolder(outputRootOf(ctx), out, kSfzSampleFolder);
      ctx.ui.logLine("processing " + fileNamePart(bank.ttiPath));
    }
    std::vector<std::string> names = sfzSampleNames(bank);
    plan.folder = withSeparator(samples);
    plan.names = &names;
    writeWavFiles(ctx, plan);

    checkCancelled(ctx.ui);
    OutputFileEvent event = bankFileEvent(ctx, joinPath(out, instrumentFileName(format, bank.ttiPath)), format.id);
    if (!dryRun) {
      const OpenFolder held = outputRootOf(ctx).open(out);
      // Converted ahead of its turn on a lane, a bank replaces no file:
      // a file found under the name fails it there, and it is converted
      // again in its turn.
      const std::string given = writeTextFile(format.instrumentText(bank, ctx.zones, names), event.path,
                                              ctx.ui.outputTap(event.path), &held, !ctx.aheadOfTurn);
      warnRenamed(ctx.ui, event.path, given);
      event.path = given;
      ctx.gauge1.add(1);
      ctx.ui.logLine(fileNamePart(given) + " written");
    }
    ctx.ui.outputFile(event);
    failOnDiffering(plan.differing);
  });
}

namespace {

void writeWavFiles(JobContext& ctx, WavPlan& wav) {
  SampleBank& bank = ctx.bank;
  const std::uint32_t n = bank.sampleCount;
  const bool dryRun = ctx.options.dryRun;
  const std::string& out = wav.folder;

  // pendingSample[i] is 1 until sample i has been taken as a right channel.
  std::vector<std::uint8_t> pendingSample(n, 1);
  // First the plan: which files to write and which lines to log, in order.
  // A file planned earlier counts as existing for a later check, as it
  // would once written. Then the files are written several at a time, and
  // each one's gauge step and line come in plan order as it is finished.
  struct Step {
    int file = -1;     // index into `files`, or -1: log `line` only
    std::string line;  // "... already extracted", or the file's "... extracted"
    int gaugeStep = 0;
    OutputFileEvent event;
  };
  std::vector<Step> steps;
  std::vector<WavFileTask> files;
  std::set<std::string> planned;
  // The bare names of all the job's files in the folder, as a
  // case-insensitive file system compares them.
  std::set<std::string> names;
  std::uint64_t bytes = 0;  // sample bytes of the planned files
  auto exists = [&](const std::string& path) {
    return planned.count(path) > 0 || (!ctx.options.overwrite && !wav.fresh && fileExists(path));
  };
  auto eventFor = [&](const std::string& path, OutputOutcome outcome, bool stereo, std::uint16_t left,
                      std::uint16_t right) {
    OutputFileEvent e;
    e.path = path;
    e.outcome = outcome;
    e.kind = stereo ? FormatId::Stereo : FormatId::Mono;
    e.left = left;
    e.right = right;
    describeOutput(ctx, e);
    return e;
  };
  auto plan = [&](std::string path, const std::string& name, bool stereo, std::uint16_t left,
                  std::uint16_t right) {
    steps.push_back({static_cast<int>(files.size()), name + " extracted", stereo ? 2 : 1,
                     eventFor(path, dryRun ? OutputOutcome::Planned : OutputOutcome::Written, stereo,
                              left, right)});
    planned.insert(path);
    bytes += (stereo ? 2u : 1u) * static_cast<std::uint64_t>(bank.pcmLength[left]);
    files.push_back({std::move(path), wavSource(ctx, stereo, left, right), nullptr, nullptr, ctx.options.overwrite});
  };
  auto existing = [&](const std::string& path, const std::string& name, bool stereo, std::uint16_t left,
                      std::uint16_t right) {
    steps.push_back({-1, name + " already extracted", 0,
                     eventFor(path, OutputOutcome::Existing, stereo, left, right)});
  };
  // A file found on the disk (not one planned in this job) is compared
  // with what would be written; one with other bytes is left as it is.
  auto differs = [&](const std::string& path, bool stereo, std::uint16_t left, std::uint16_t right) {
    return planned.count(path) == 0 && !wavFileHolds(bank, wavSource(ctx, stereo, left, right), path, ctx.writeBuffer);
  };
  auto differing = [&](const std::string& path, const std::string& name, bool stereo, std::uint16_t left,
                       std::uint16_t right) {
    steps.push_back({-1, name + " exists and differs", 0,
                     eventFor(path, OutputOutcome::Differs, stereo, left, right)});
    wav.differing.push_back(path);
  };

  // The right channel of each pair; a sample taken as one is done.
  std::vector<int> rightOf(n, -1);
  if (wav.pairs) {
    for (const auto& [l, r] : stereoPairs(bank)) {
      rightOf[l] = r;
      pendingSample[r] = 0;
    }
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    if (!pendingSample[i]) continue;
    // No file for a sample none of whose bytes the bank holds (it was
    // warned of): it would be silence of any length the bank claims. An
    // instrument leaves its zones out (its name is cleared).
    if (hasNoData(bank, i) && (rightOf[i] < 0 || hasNoData(bank, rightOf[i]))) {
      if (wav.names) (*wav.names)[i].clear();
      continue;
    }
    const auto left = static_cast<std::uint16_t>(i);
    const bool paired = rightOf[i] >= 0;
    if (paired) {
      // A pair counts as a pair whether its file is written or found.
      const auto right = static_cast<std::uint16_t>(rightOf[i]);
      const std::string name = latin1ToUtf8(stereoFileName(bank, left, right));
      std::string path = joinPath(out, name);
      names.insert(caseFoldedUtf8(name));
      if (!exists(path)) plan(std::move(path), name, true, left, right);
      else if (differs(path, true, left, right)) differing(path, name, true, left, right);
      else existing(path, name, true, left, right);
      continue;
    }

    const std::string name = wav.names ? (*wav.names)[i] : latin1ToUtf8(bank.outputName[i]);
    std::string path = joinPath(out, name);
    names.insert(caseFoldedUtf8(name));
    if (!exists(path)) plan(std::move(path), name, false, left, left);
    else if (differs(path, false, left, left)) differing(path, name, false, left, left);
    else if (wav.logExisting) existing(path, name, false, left, left);
  }

  if (dryRun) {
    for (const Step& step : steps) {
      if (step.file >= 0) ctx.ui.outputFile(step.event);
    }
    return;
  }

  // The files are made in their folder held open: no walk of its path per file.
  const OpenFolder folder = outputRootOf(ctx).open(out);
  for (WavFileTask& file : files) {
    file.tap = ctx.ui.outputTap(file.finalPath);
    file.folder = &folder;
    file.avoid = &names;
  }
  std::vector<const OutputFileEvent*> eventOf(files.size());
  for (const Step& step : steps) {
    if (step.file >= 0) eventOf[static_cast<std::size_t>(step.file)] = &step.event;
  }
  // FUSE servers write one file at a time at best, and fusefat mixes up
  // the data of files written at once: there, one file after the other.
  const unsigned threads = folder.storage() == OpenFolder::Storage::Fuse ? 0
                           : ctx.options.writerThreads   ? *ctx.options.writerThreads
                                                         : WavFileWriters::threadsFor(files.size(), bytes);
  JobListener& ui = ctx.ui;
  WavFileWriters::Check check;
  if (ui.checksBeforeNaming()) {
    check = [&ui, &eventOf](std::size_t k, const File& file, const PcmReadCopy* read) {
      ui.checkBeforeNaming(*eventOf[k], file, read);
    };
  }
  WavFileWriters writers(bank, std::move(files), threads, [&ui](int) { checkCancelled(ui); }, ctx.writeBuffer,
                         std::move(check));
  for (Step& step : steps) {
    checkCancelled(ctx.ui);
    if (step.file >= 0) {
      bool headerWritten = false;
      bool named;
      std::string given;
      try {
        named = writers.settle(static_cast<std::size_t>(step.file), headerWritten, &given);
      } catch (...) {
        // Written one after the other, the gauge steps once the header is out.
        if (headerWritten) ctx.gauge1.add(step.gaugeStep);
        throw;
      }
      ctx.gauge1.add(step.gaugeStep);
      if (given != step.event.path) {
        // The file system refused the name: the file has the one it took.
        warnRenamed(ctx.ui, step.event.path, given);
        if (wav.names) (*wav.names)[step.event.left] = fileNamePart(given);
        step.event.path = given;
        step.line = fileNamePart(given) + " extracted";
      }
      if (!named) {
        // Another file took the name while this one was written: it is
        // compared as one found before writing would have been.
        OutputFileEvent e = step.event;
        const bool same = wavFileHolds(bank, wavSource(ctx, e.kind == FormatId::Stereo, e.left, e.right),
                                       e.path, ctx.writeBuffer);
        e.outcome = same ? OutputOutcome::Existing : OutputOutcome::Differs;
        if (!same) wav.differing.push_back(e.path);
        ctx.ui.logLine(fileNamePart(e.path) + (same ? " already extracted" : " exists and differs"));
        ctx.ui.outputFile(e);
        continue;
      }
    }
    ctx.ui.logLine(step.line);
    ctx.ui.outputFile(step.event);
  }
}

}  // namespace
}  // namespace vantrel
