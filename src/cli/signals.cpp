// SPDX-License-Identifier: MIT
#include "cli/signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace vantrel::cli {
namespace {

// Set in a signal handler and read by the job's threads: a lock-free
// atomic is both async-signal-safe and free of data races.
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The pipe the handler writes a byte into, so that a wait on input wakes
// up however the signal arrives (before the wait or during it).
int gWakeFds[2] = {-1, -1};

extern "C" void onStopSignal(int signal) {
  const int saved = errno;
  int none = 0;
  gStopSignal.compare_exchange_strong(none, signal);
  if (gWakeFds[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gWakeFds[1], &byte, 1);
  }
  errno = saved;
}

// Installs `action` for `signal` unless the signal is ignored.
void catchUnlessIgnored(int signal, const struct sigaction& action) {
  struct sigaction old {};
  if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void installStopHandlers() {
  if (gWakeFds[0] < 0 && ::pipe2(gWakeFds, O_CLOEXEC | O_NONBLOCK) != 0) gWakeFds[0] = gWakeFds[1] = -1;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  // The handler is reset after its first call, so that a user who presses
  // Ctrl-C again does not wait for the job to notice.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) catchUnlessIgnored(s, action);
  // A closed pipe is met at every later write; it stays recorded, and the
  // write itself fails with EPIPE (as every write does when SIGPIPE is
  // ignored).
  action.sa_flags = SA_RESTART;
  catchUnlessIgnored(SIGPIPE, action);
  // A file-size limit ends a write with an error ("Disk full"), not with a
  // signal that would kill the run and leave a part file behind.
  std::signal(SIGXFSZ, SIG_IGN);
}

int stopSignal() noexcept { return gStopSignal.load(std::memory_order_relaxed); }

int stopSignalFd() noexcept { return gWakeFds[0]; }

const char* signalName(int signal) noexcept {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGPIPE: return "SIGPIPE";
    default: return "a signal";
  }
}

}  // namespace vantrel::cli
