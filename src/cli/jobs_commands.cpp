// vantrel-cli folder, drive and extract: the window's folder run, drive run
// and sample extraction, with the same texts on standard output and error.

#include <climits>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>

#include "cli/commands.h"
#include "cli/console_listener.h"
#include "jobs/drive_job.h"
#include "jobs/folder_jobs.h"
#include "jobs/job_context.h"
#include "jobs/selection.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "jobs/bank_reading.h"

namespace vantrel::cli {
namespace {

// The folder as the window's folder list would show it: no separator at the
// end except for the root.
std::string shownFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// The source folder, which must exist; its real location, so that "." and
// ".." name the folder they stand for. Empty after an error report.
std::string sourceFolder(const std::string& given) {
  if (!folderExists(given)) {
    reportError(given, "the source folder does not exist");
    return {};
  }
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(given.c_str(), nullptr), &std::free);
  if (!real) {
    reportError(given, "the source folder cannot be read");
    return {};
  }
  return real.get();
}

// A sample index: decimal digits only, within the 16-bit range of the list.
std::uint32_t parseIndex(const std::string& word) {
  if (word.empty() || word.size() > 5 || word.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError("'" + word + "' is no sample index (a number from 0)");
  return static_cast<std::uint32_t>(std::stoul(word));
}

int modeOf(const Options& options) { return options.mode; }

// Runs a job and turns the failure that ends it into exit status 1, with the
// error's text and the file's path (`subject` when the error names none) on
// standard error. Usage errors pass through.
int runJob(ConsoleListener& console, const std::string& subject, const std::function<int()>& job) {
  // A file-size limit ends a write with an error ("Disk full"), not with a
  // signal that would kill the run and leave a part file behind.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    int status = job();
    console.finish();
    return status;
  } catch (const RunError& e) {
    console.finish();
    reportError(e.path().empty() ? subject : e.path(), e.message());
  } catch (const std::bad_alloc&) {
    console.finish();
    reportError(subject, errorText(kOutOfMemory));
  } catch (const UsageError&) {
    console.finish();
    throw;
  } catch (const std::exception& e) {
    console.finish();
    reportError(subject, e.what());
  }
  return 1;
}

}  // namespace

int runFolder(const Options& options) {
  if (options.positional.size() != 1) throw UsageError("folder takes one source folder");
  const std::string out = outputFolder(options);
  if (out.empty()) return 1;
  const std::string source = sourceFolder(options.positional[0]);
  if (source.empty()) return 1;

  ConsoleListener console;
  JobContext ctx(console);
  ctx.outputMode = modeOf(options);
  return runJob(console, source, [&] {
    getlastdir(ctx, source);
    completeClick(ctx, source, shownFolder(out));
    return 0;
  });
}

int runDrive(const Options& options) {
  if (options.positional.size() != 1) throw UsageError("drive takes one source root");
  const std::string out = outputFolder(options);
  if (out.empty()) return 1;
  const std::string root = options.positional[0];
  if (!folderExists(root)) {
    reportError(root, "the source root does not exist");
    return 1;
  }

  ConsoleListener console;
  JobContext ctx(console);
  ctx.outputMode = modeOf(options);
  return runJob(console, root, [&] {
    // The drive letter of the output folder names the run's folder: here
    // the name of the volume that holds it.
    extrdriveClick(ctx, root, shownFolder(out), volumeOf(out).name);
    return 0;
  });
}

int runExtract(const Options& options) {
  const auto& args = options.positional;
  if (args.size() != 2 && args.size() != 3)
    throw UsageError("extract takes a bank file and one or two sample indexes");
  const std::string& bank = args[0];
  const std::uint32_t first = parseIndex(args[1]);
  const bool pair = args.size() == 3;
  const std::uint32_t second = pair ? parseIndex(args[2]) : first;
  const std::string out = outputFolder(options);
  if (out.empty()) return 1;

  ConsoleListener console;
  JobContext ctx(console);
  // Sample extraction writes WAV files whatever the output choice; the pair
  // extraction is the stereo mode's.
  ctx.outputMode = pair ? kModeStereo : kModeMono;
  return runJob(console, bank, [&] {
    // As a click on the file: the extension test, the directory walk and the
    // sample values.
    file1Click(ctx, bank);
    // Refused by the extension test: the status line says so.
    if (ctx.bank.ttiPath.empty()) return 1;
    const std::uint32_t count = ctx.bank.sampleCount;
    for (std::uint32_t index : {first, second}) {
      if (index >= count) {
        throw UsageError("sample index " + std::to_string(index) + " is outside the bank (" +
                         std::to_string(count) + (count == 1 ? " sample)" : " samples)"));
      }
    }
    if (!pair) {
      singlextr(ctx, static_cast<int>(first), shownFolder(out));
      return 0;
    }
    // The two picks as two presses in the list: the second is the current
    // item.
    ctx.pickPrevious = static_cast<std::uint16_t>(first);
    ctx.pickCurrent = static_cast<std::uint16_t>(second);
    return doublextr(ctx, static_cast<int>(second), shownFolder(out)) ? 0 : 1;
  });
}

}  // namespace vantrel::cli
