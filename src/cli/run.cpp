// SPDX-License-Identifier: MIT
#include "cli/run.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "cli/signals.h"
#include "platform/errors.h"
#include "verify/manifest.h"

namespace vantrel::cli {

ConsoleSettings consoleSettings(const RunOptions& options, const std::string& command,
                                const std::string& outBase) {
  ConsoleSettings s;
  s.command = command;
  s.mode = options.format().word;
  s.quiet = options.quiet;
  s.jsonProgress = options.progress == "json";
  s.bar = options.progress == "bar";
  s.keepGoing = options.keepGoing;
  s.verify = options.verify;
  s.dryRun = options.dryRun;
  s.dryRunJson = options.dryRunJson;
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
  job.banksAtOnce = options.jobs;
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
      console_.runError(e, verify::kManifestName);
      status = 1;
    }
  }
  if (verifier_) console_.setVerified(verifier_->verified(), verifier_->alreadyThere());
  return status;
}

int runJob(ConsoleListener& console, const std::string& subject, const std::function<int()>& job) {
  try {
    return job();
  } catch (const RunError& e) {
    console.finish();
    console.runError(e, subject);
  } catch (const std::bad_alloc&) {
    console.finish();
    console.error(subject, errorText(kOutOfMemory));
  } catch (const UsageError& e) {
    console.finish();
    console.usageError(e.what());
    return 2;
  } catch (const std::exception& e) {
    console.finish();
    console.error(subject, e.what());
  }
  return 1;
}

int endRun(ConsoleListener& console, int status, std::size_t converted) {
  console.finish();
  if (const int signal = stopSignal()) {
    status = 128 + signal;
  } else if (const int err = console.outputError()) {
    console.error("standard output", errorText(errorCodeFromErrno(err, true)));
    status = 1;
  } else {
    // An entry of an image passed over fails the run as a folder that
    // cannot be read does.
    if (status == 0 && (!console.failures().empty() || console.passedOver() > 0)) status = 1;
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      console.error("standard output", errorText(errorCodeFromErrno(errno != 0 ? errno : EIO, true)));
      status = 1;
    }
  }
  console.done(status, converted);
  return status;
}

}  // namespace vantrel::cli
