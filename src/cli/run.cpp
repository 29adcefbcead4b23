// SPDX-License-Identifier: MIT
#include "cli/run.h"

#include <new>

#include "cli/signals.h"
#include "platform/errors.h"
#include "verify/manifest.h"

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

JobOptions jobOptions(const RunOptions& options) {
  JobOptions job;
  job.format = &options.format();
  job.overwrite = options.overwrite;
  job.dryRun = options.dryRun;
  job.strict = options.strict;
  job.faithful = options.faithful;
  return job;
}

RunListeners::RunListeners(ConsoleListener& console, const RunOptions& options, const std::string& outBase)
    : console_(console), head_(&console) {
  if (options.manifest) head_ = &manifest_.emplace(*head_, outBase);
  if (options.verify) head_ = &verifier_.emplace(*head_);
}

int RunListeners::finish(int status) {
  console_.finish();
  if (manifest_) {
    try {
      manifest_->write();
    } catch (const RunError& e) {
      reportRunError(e, verify::kManifestName);
      status = 1;
    }
  }
  if (verifier_) {
    std::fflush(stdout);
    std::fprintf(stderr, "%zu files verified\n", verifier_->verified());
  }
  return status;
}

int runJob(ConsoleListener& console, const std::string& subject, const std::function<int()>& job) {
  try {
    return job();
  } catch (const RunError& e) {
    console.finish();
    if (e.code() != kCancelled) reportRunError(e, subject);
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
