// SPDX-License-Identifier: MIT
// vantrel-cli folder, drive and extract: the window's folder run, drive run
// and sample extraction, with the same texts on standard output and error.

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/console_listener.h"
#include "cli/messages.h"
#include "cli/run.h"
#include "cli/signals.h"
#include "jobs/drive_job.h"
#include "jobs/folder_jobs.h"
#include "jobs/job_context.h"
#include "jobs/selection.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "jobs/bank_reading.h"
#include "tti/archive_banks.h"

namespace vantrel::cli {
namespace {

// The folder as the window's folder list would show it: no separator at the
// end except for the root.
std::string shownFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// The real location of `path`, or empty.
std::string realPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

// An image (or a folder inside one) as a source: the image must exist;
// its real location, so that its name is its own whatever the path given.
// Empty after an error report.
std::string imageFolder(const InsidePath& image) {
  if (!fileExists(image.archive)) {
    reportError(image.archive, errorText(kFileNotFound));
    return {};
  }
  std::string real = realPath(image.archive);
  if (real.empty()) {
    reportError(image.archive, "the image cannot be read");
    return {};
  }
  if (!image.inside.empty()) real += std::string(kInsideSeparator) + image.inside;
  return real;
}

// The source folder, which must exist; its real location, so that "." and
// ".." name the folder they stand for. Empty after an error report.
std::string sourceFolder(const std::string& given) {
  if (const auto image = imageSource(given)) return imageFolder(*image);
  if (const std::string problem = folderProblem(given, "the source folder"); !problem.empty()) {
    reportError(given, problem);
    return {};
  }
  std::string real = realPath(given);
  if (real.empty()) reportError(given, "the source folder cannot be read");
  return real;
}

// A sample index: decimal digits only, within the 16-bit range of the list.
std::uint32_t parseIndex(const std::string& word) {
  if (word.empty() || word.size() > 5 || word.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError("'" + word + "' is no sample index (a number from 0)");
  return static_cast<std::uint32_t>(std::stoul(word));
}

// A run of the folder, drive or extract command: its console, the
// listeners its options add, and the job context reporting to them, with
// the stop handlers installed.
struct ConsoleRun {
  ConsoleRun(const RunOptions& options, const std::string& command, const std::string& out)
      : console(consoleSettings(options, command, out)), listeners(console, options, out),
        ctx(listeners.head(), jobOptions(options)) {
    installStopHandlers();
    console.start();
  }
  ConsoleListener console;
  RunListeners listeners;
  JobContext ctx;
};

}  // namespace

int runFolder(const RunOptions& options, const std::string& given) {
  const std::string out = outputFolder(options);
  if (out.empty()) return 1;
  const std::string source = sourceFolder(given);
  if (source.empty()) return 1;

  ConsoleRun run(options, "folder", out);
  std::size_t banks = 0;
  const int status = runJob(run.console, source, [&] {
    banks = convertFolder(run.ctx, source, shownFolder(out));
    // The job says nothing about a folder without banks.
    if (banks == 0) run.console.status("no TTI files in " + given);
    return 0;
  });
  return endRun(run.console, run.listeners.finish(status), banks - std::min(banks, run.console.failures().size()));
}

int runDrive(const RunOptions& options, const std::string& root) {
  const std::string out = outputFolder(options);
  if (out.empty()) return 1;
  if (const auto image = imageSource(root)) {
    if (!fileExists(image->archive)) {
      reportError(image->archive, errorText(kFileNotFound));
      return 1;
    }
  } else if (const std::string problem = folderProblem(root, "the source root"); !problem.empty()) {
    reportError(root, problem);
    return 1;
  }

  ConsoleRun run(options, "drive", out);
  std::size_t banks = 0;
  const int status = runJob(run.console, root, [&] {
    // The drive letter of the output folder names the run's folder: here
    // the name of the volume that holds it.
    banks = convertDrive(run.ctx, root, shownFolder(out), volumeOf(out).name);
    if (banks == 0) run.console.status("no TTI files in " + root);
    return 0;
  });
  return endRun(run.console, run.listeners.finish(status), banks - std::min(banks, run.console.failures().size()));
}

int runExtract(const RunOptions& options, const ExtractArgs& args) {
  const std::string& bank = args.bank;
  const std::uint32_t first = parseIndex(args.first);
  const bool pair = !args.second.empty();
  const std::uint32_t second = pair ? parseIndex(args.second) : first;
  if (pair && first == second)
    throw UsageError("INDEX and INDEX2 are both " + std::to_string(first) + "; a stereo pair takes two samples");
  const std::string out = outputFolder(options);
  if (out.empty()) return 1;

  // Sample extraction writes WAV files whatever the output choice; the pair
  // extraction is the stereo mode's.
  RunOptions wav = options;
  wav.mode = outputFormat(pair ? FormatId::Stereo : FormatId::Mono).word;
  ConsoleRun run(wav, "extract", out);
  const int status = runJob(run.console, bank, [&] {
    // As a click on the file: the extension test, the directory walk and the
    // sample values.
    file1Click(run.ctx, bank);
    // Refused by the extension test, as convert refuses it.
    if (run.ctx.bank.ttiPath.empty()) {
      run.console.error(bank, "not a .tti file");
      return 1;
    }
    // Indexes the bank does not have, and two samples that make no pair,
    // are the bank's answer to the command, not a fault of its words.
    const std::uint32_t count = run.ctx.bank.sampleCount;
    for (std::uint32_t index : {first, second}) {
      if (index >= count) {
        run.console.error(bank, "sample index " + std::to_string(index) + " is outside the bank (" +
                                    counted(count, "sample", "samples") + ")");
        return 1;
      }
    }
    if (!pair) {
      singlextr(run.ctx, static_cast<int>(first), shownFolder(out));
      return 0;
    }
    if (!stereoPickTest(run.ctx.bank, static_cast<std::uint16_t>(first), static_cast<std::uint16_t>(second))) {
      run.console.error(bank, "samples " + std::to_string(first) + " and " + std::to_string(second) +
                                  " make no stereo pair: their lengths or loop points differ");
      return 1;
    }
    // The two picks as two presses in the list: the second is the current
    // item.
    StereoPicks picks;
    picks.previous = static_cast<std::uint16_t>(first);
    picks.current = static_cast<std::uint16_t>(second);
    return doublextr(run.ctx, picks, static_cast<int>(second), shownFolder(out)) ? 0 : 1;
  });
  return endRun(run.console, run.listeners.finish(status), status == 0 ? 1 : 0);
}

}  // namespace vantrel::cli
