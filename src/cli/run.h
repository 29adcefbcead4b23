// SPDX-License-Identifier: MIT
#pragma once
// What every converting command shares: the console set up from the run
// options, a job whose failure becomes exit status 1, and the end of the
// run (the --keep-going summary, a stop by signal, a lost standard output).

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/console_listener.h"
#include "jobs/job_context.h"
#include "verify/listeners.h"

namespace vantrel::cli {

// The console of a run into `outBase` (the target folder, with its
// separator).
ConsoleSettings consoleSettings(const RunOptions& options, const std::string& outBase);

// The run options that the jobs honour.
JobOptions jobOptions(const RunOptions& options);

// The listener a run's jobs report to: the console, behind the verifying
// and the manifest listener when --verify and --manifest ask for them. The
// order job -> verifying -> manifest -> console removes a file that fails
// its check before the manifest could list it.
class RunListeners {
 public:
  RunListeners(ConsoleListener& console, const RunOptions& options, const std::string& outBase);
  JobListener& head() noexcept { return *head_; }
  // Ends the run's checks: writes DIR/SHA256SUMS with the files that are
  // complete (also after a failed or stopped run: they are whole and
  // verified; a file that failed its check is gone and not listed) and
  // prints "N files verified" on standard error. Returns `status`, or 1
  // when the manifest cannot be written.
  int finish(int status);

 private:
  ConsoleListener& console_;
  std::optional<verify::ManifestListener> manifest_;
  std::optional<verify::VerifyingListener> verifier_;
  JobListener* head_;
};

// Runs `job` and returns its status; a failure that ends it is reported
// (the error's path, or `subject` when it names none) and gives 1. A job
// stopped by a signal or by a lost standard output reports nothing here.
// Usage errors pass through.
int runJob(ConsoleListener& console, const std::string& subject, const std::function<int()>& job);

// The exit status of a run that converted `banks` banks or failed on them:
// 128 + N after stop signal N; 1 after a failed write to standard output,
// after a folder or image that could not be read whole, or, with
// --keep-going, when a bank failed (after the summary line on standard
// error); else `status`.
int endRun(ConsoleListener& console, const RunOptions& options, int status, std::size_t banks);

}  // namespace vantrel::cli
