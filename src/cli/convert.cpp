// SPDX-License-Identifier: MIT
// vantrel-cli convert: whole banks, one after another, each as the window's
// single-file job converts the file selected in its file list.

#include <map>
#include <string>

#include "cli/commands.h"
#include "cli/console_listener.h"
#include "cli/run.h"
#include "cli/signals.h"
#include "jobs/folder_jobs.h"
#include "jobs/job_context.h"
#include "jobs/bank_reading.h"
#include "platform/file.h"
#include "writers/sf2_writer.h"

namespace vantrel::cli {
namespace {

// Where a bank's output goes inside the target folder: its WAV or SFZ folder, named
// after the bank's file name, or its SoundFont, named after the file name
// without its extension. Two banks of one run must not share it: the second
// would find the first one's samples "already extracted", or replace its
// SoundFont.
std::string outputOf(const std::string& bank, int mode) {
  switch (mode) {
    case kModeSf2: return sf2FileNameFor(bank);
    case kModeStereo: return "WAV_STEREO_" + fileNamePart(bank);
    case kModeSfz: return "SFZ_" + fileNamePart(bank);
    default: return "WAV_MONO_" + fileNamePart(bank);
  }
}

void refuseSharedOutputs(const std::vector<std::string>& banks, int mode) {
  std::map<std::string, const std::string*> owner;
  for (const std::string& bank : banks) {
    const auto [it, fresh] = owner.emplace(outputOf(bank, mode), &bank);
    if (!fresh) {
      throw UsageError(*it->second + " and " + bank + " would both be written to " + it->first +
                       "; convert them into separate --out folders");
    }
  }
}

}  // namespace

int runConvert(const RunOptions& options, const std::vector<std::string>& banks) {
  refuseSharedOutputs(banks, options.outputMode());
  const std::string target = outputFolder(options);
  if (target.empty()) return 1;

  installStopHandlers();
  ConsoleListener ui(consoleSettings(options, target));
  RunListeners listeners(ui, options, target);
  JobContext ctx(listeners.head());
  applyRunOptions(options, ctx);
  int status = 0;
  for (const std::string& bank : banks) {
    if (stopSignal() != 0 || ui.outputError() != 0) break;
    status = runJob(ui, bank, [&] {
      // The extension test of the file selection and the bank's directory,
      // then the single-file job.
      fselect(ctx, bank);
      if (ctx.bank.ttiPath.empty()) {
        ui.finish();
        reportError(bank, "not a .tti file");
        return 1;
      }
      extractClick(ctx, target);
      return 0;
    });
    if (status == 0) continue;
    if (!options.keepGoing || stopSignal() != 0 || ui.outputError() != 0) break;
    ui.recordFailure(bank);
    status = 0;
  }
  return endRun(ui, options, listeners.finish(status), banks.size());
}

}  // namespace vantrel::cli
