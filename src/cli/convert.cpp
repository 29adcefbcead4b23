// SPDX-License-Identifier: MIT
// vantrel-cli convert: whole banks, one after another, each as the window's
// single-file job converts the file selected in its file list.

#include <iterator>
#include <map>
#include <string>

#include "cli/commands.h"
#include "cli/console_listener.h"
#include "cli/run.h"
#include "cli/signals.h"
#include "jobs/folder_jobs.h"
#include "jobs/job_context.h"
#include "jobs/bank_reading.h"
#include "jobs/output_formats.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "tti/archive_banks.h"
#include "writers/sf2_writer.h"

namespace vantrel::cli {
namespace {

// Where a bank's output goes inside the target folder (its folder or its
// file, bankOutputName). Two banks of one run must not share it: the second
// would find the first one's samples "already extracted", or replace its
// SoundFont. Names are compared without regard to letter case, as on FAT.
void refuseSharedOutputs(const std::vector<std::string>& banks, const OutputFormat& format) {
  std::map<std::string, const std::string*> owner;
  for (const std::string& bank : banks) {
    const std::string name = bankOutputName(format, bank);
    const auto [it, fresh] = owner.emplace(caseFoldedUtf8(name), &bank);
    if (!fresh) {
      throw UsageError(*it->second + " and " + bank + " would both be written to " + name +
                       "; convert them into separate --out folders");
    }
  }
}

// Whether `bank` names a folder that a conversion wrote a bank's output
// into: a folder (not inside an image) whose name is a format's bank folder
// prefix and a bank file's name, such as WAV_MONO_PAD.TTI. Run in the bank
// folder after a first conversion, `convert *.TTI` names them with the
// banks.
bool isBankOutputFolder(const std::string& bank) {
  if (imageSource(bank) || !folderExists(bank)) return false;
  std::string path = bank;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::string name = fileNamePart(path);
  for (const OutputFormat& f : outputFormats()) {
    const std::string_view prefix = f.bankFolderPrefix;
    if (!prefix.empty() && name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        matchesTtiPattern(std::string_view(name).substr(prefix.size())))
      return true;
  }
  return false;
}

// Passes over the output folders among `banks`, each with a warning: they
// are no banks, and what they hold was written from one.
void passOverOutputFolders(std::vector<std::string>& banks, ConsoleListener& ui) {
  std::erase_if(banks, [&](const std::string& bank) {
    if (!isBankOutputFolder(bank)) return false;
    ui.warning(bank + ": an output folder of a conversion, not a bank: passed over");
    return true;
  });
}

}  // namespace

int runConvert(const RunOptions& options, std::vector<std::string> banks, const FileListArgs& list) {
  const std::string target = outputFolder(options);
  if (target.empty()) return 1;

  installStopHandlers();
  ConsoleListener ui(consoleSettings(options, "convert", target));
  ui.start();
  // The listed banks follow those named; the list is read whole first, so
  // that banks that would share their output are refused before anything
  // is written.
  int status = runJob(ui, list.file, [&] {
    if (!list.file.empty()) {
      std::vector<std::string> listed = readFileList(list);
      banks.insert(banks.end(), std::make_move_iterator(listed.begin()), std::make_move_iterator(listed.end()));
    }
    passOverOutputFolders(banks, ui);
    refuseSharedOutputs(banks, options.format());
    return 0;
  });
  if (status != 0 || stopSignal() != 0) return endRun(ui, status, 0);

  RunListeners listeners(ui, options, target);
  const JobOptions job = jobOptions(options);
  std::size_t converted = 0;
  for (const std::string& bank : banks) {
    if (stopSignal() != 0 || ui.outputError() != 0) break;
    status = runJob(ui, bank, [&] {
      // Each bank is a run of its own.
      JobContext ctx(listeners.head(), job);
      if (!convertBank(ctx, fileSystemBanks().bankAt(bank), target)) {
        ui.finish();
        ui.error(bank, "not a .tti file");
        return 1;
      }
      return 0;
    });
    if (status == 0) {
      ++converted;
      continue;
    }
    ui.recordFailure(bank);
    if (!options.keepGoing || stopSignal() != 0 || ui.outputError() != 0) break;
    status = 0;
  }
  return endRun(ui, listeners.finish(status), converted);
}

}  // namespace vantrel::cli
