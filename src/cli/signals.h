// SPDX-License-Identifier: MIT
#pragma once
// Stopping a run by signal: SIGINT, SIGTERM, SIGHUP and SIGPIPE only record
// the signal; the job sees it between blocks and files, discards the file
// it is writing and ends, and the program then says "interrupted" and
// exits with 128 + the signal's number. A second SIGINT, SIGTERM or SIGHUP
// ends the program at once. A signal that was ignored when the program
// started (SIGHUP under nohup, SIGINT for a command a script runs in the
// background) stays ignored.

namespace vantrel::cli {

void installStopHandlers();

// The first stop signal received, or 0. Async-signal-safe and safe to ask
// from any thread.
int stopSignal() noexcept;

// A descriptor that becomes readable when a stop signal arrives, for a
// wait on input (poll) that a stop must end; -1 before installStopHandlers.
int stopSignalFd() noexcept;

// The name of a stop signal ("SIGINT"), or "a signal" for another one.
const char* signalName(int signal) noexcept;

}  // namespace vantrel::cli
