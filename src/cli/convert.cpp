// vantrel-cli convert: whole banks, one after another, each as the window's
// single-file job converts the file selected in its file list.

#include <csignal>
#include <exception>
#include <new>
#include <string>

#include "cli/commands.h"
#include "cli/console_listener.h"
#include "jobs/folder_jobs.h"
#include "jobs/job_context.h"
#include "platform/errors.h"
#include "jobs/bank_reading.h"

namespace vantrel::cli {
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
      // The extension test of the file selection and the bank's directory,
      // then the single-file job.
      fselect(ctx, bank);
      if (ctx.bank.ttiPath.empty()) {
        ui.finish();
        reportError(bank, "not a .tti file");
        return 1;
      }
      extractClick(ctx, target);
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
