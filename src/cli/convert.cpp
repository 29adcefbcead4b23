// vantrel-cli convert: whole banks, one after another, each as the window's
// single-file job converts the file selected in its file list.

#include <csignal>
#include <exception>
#include <new>
#include <string>

#include "cli/commands.h"
#include "cli/console_listener.h"
#include "jobs/bank_conversion.h"
#include "jobs/job_context.h"
#include "platform/errors.h"
#include "tti/tti_reader.h"

namespace vantrel::cli {
namespace {

// The single-file job on the bank that fselect has just selected: output
// into `target`, status before and after, the log of the conversion.
// Returns false when nothing was selected.
bool convertSelected(JobContext& ctx, const std::string& target) {
  ctx.ui.sampleListVisible(false);
  ctx.destinationFolder = target;
  if (ctx.bank.ttiPath.empty()) {
    ctx.setButton(ButtonId::Extract, false);
    return false;
  }
  ctx.ui.status("processing TTI files");
  ctx.ui.logClear();
  extracttti(ctx);
  ctx.ui.status("processing finished");
  ctx.gauge1.setProgress(0);
  ctx.ui.destinationChanged();
  return true;
}

}  // namespace

int runConvert(const Options& options) {
  if (options.positional.empty()) throw UsageError("convert needs at least one bank file");
  const std::string target = outputFolder(options);
  if (target.empty()) return 1;

  // A file-size limit ends a write with an error ("Disk full"), not with a
  // signal that would kill the run and leave a part file behind.
  std::signal(SIGXFSZ, SIG_IGN);

  ConsoleListener ui;
  JobContext ctx(ui);
  ctx.outputMode = options.mode;
  for (const std::string& bank : options.positional) {
    try {
      // The extension test of the file selection, then the bank's directory.
      fselect(ctx, bank);
      if (!convertSelected(ctx, target)) {
        ui.finish();
        reportError(bank, "not a .tti file");
        return 1;
      }
    } catch (const RunError& e) {
      ui.finish();
      reportError(e.path().empty() ? bank : e.path(), e.message());
      return 1;
    } catch (const std::bad_alloc&) {
      ui.finish();
      reportError(bank, errorText(kOutOfMemory));
      return 1;
    } catch (const std::exception& e) {
      ui.finish();
      reportError(bank, e.what());
      return 1;
    }
  }
  ui.finish();
  return 0;
}

}  // namespace vantrel::cli
