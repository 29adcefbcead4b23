// SPDX-License-Identifier: MIT
#pragma once
// Stopping a run by signal: SIGINT, SIGTERM, SIGHUP and SIGPIPE only record
// the signal; the job sees it between blocks and files, discards the file
// it is writing and ends, and the program then exits with 128 + the
// signal's number. A second SIGINT, SIGTERM or SIGHUP ends the program at
// once.

namespace vantrel::cli {

void installStopHandlers();

// The first stop signal received, or 0. Async-signal-safe and safe to ask
// from any thread.
int stopSignal() noexcept;

}  // namespace vantrel::cli
