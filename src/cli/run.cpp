#include "cli/run.h"

#include <new>

#include "cli/signals.h"
#include "platform/errors.h"

namespace vantrel::cli {

ConsoleSettings consoleSettings(const RunOptions& options, const std::string& outBase) {
  ConsoleSettings s;
  s.quiet = options.quiet;
  s.jsonProgress = options.progress == "json";
  s.keepGoing = options.keepGoing;
  s.dryRun = options.dryRun;
  s.outBase = outBase;
  return s;
}

void applyRunOptions(const RunOptions& options, JobContext& ctx) {
  ctx.outputMode = options.outputMode();
  ctx.overwrite = options.overwrite;
  ctx.dryRun = options.dryRun;
}

int runJob(ConsoleListener& console, const std::string& subject, const std::function<int()>& job) {
  try {
    return job();
  } catch (const RunError& e) {
    console.finish();
    if (e.code() != kCancelled) reportError(e.path().empty() ? subject : e.path(), e.message());
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

int endRun(ConsoleListener& console, const RunOptions& options, int status, std::size_t banks) {
  console.finish();
  if (const int signal = stopSignal()) return 128 + signal;
  if (const int err = console.outputError()) {
    reportError("standard output", errorText(errorCodeFromErrno(err, true)));
    return 1;
  }
  if (options.keepGoing) {
    const auto& failed = console.failures();
    std::string line = std::to_string(banks - failed.size()) + " banks converted, " +
                       std::to_string(failed.size()) + " failed";
    for (std::size_t k = 0; k < failed.size(); ++k) line += (k ? ", " : ": ") + failed[k];
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
    if (!failed.empty()) status = 1;
  }
  return finishOutput(status);
}

}  // namespace vantrel::cli
