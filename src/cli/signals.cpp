// SPDX-License-Identifier: MIT
#include "cli/signals.h"

#include <atomic>
#include <csignal>

namespace vantrel::cli {
namespace {

// Set in a signal handler and read by the job's threads: a lock-free
// atomic is both async-signal-safe and free of data races.
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
  int none = 0;
  gStopSignal.compare_exchange_strong(none, signal);
}

}  // namespace

void installStopHandlers() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  // The handler is reset after its first call, so that a user who presses
  // Ctrl-C again does not wait for the job to notice.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  // A closed pipe is met at every later write; it stays recorded, and the
  // write itself fails with EPIPE.
  action.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &action, nullptr);
  // A file-size limit ends a write with an error ("Disk full"), not with a
  // signal that would kill the run and leave a part file behind.
  std::signal(SIGXFSZ, SIG_IGN);
}

int stopSignal() noexcept { return gStopSignal.load(std::memory_order_relaxed); }

}  // namespace vantrel::cli
