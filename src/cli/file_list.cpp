// SPDX-License-Identifier: MIT
// --files-from: paths read from a file or standard input, for convert and
// scan.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/signals.h"
#include "platform/errors.h"

namespace vantrel::cli {
namespace {

// Closes a descriptor the list opened.
struct OwnedFd {
  int fd;
  bool owned;
  ~OwnedFd() {
    if (owned && fd >= 0) ::close(fd);
  }
};

// Waits until `fd` can be read or a stop signal arrives; false for a stop.
bool waitForInput(int fd) {
  while (stopSignal() == 0) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopSignalFd(), POLLIN, 0}};
    const int n = ::poll(fds, stopSignalFd() >= 0 ? 2 : 1, -1);
    if (n < 0 && errno != EINTR) return true;  // the read that follows says why
    if (n > 0 && fds[0].revents != 0) return stopSignal() == 0;
  }
  return false;
}

}  // namespace

std::vector<std::string> readFileList(const FileListArgs& args) {
  const bool stdIn = args.file == "-";
  const std::string name = stdIn ? std::string("standard input") : args.file;
  // Opened without waiting for a FIFO's writer (the wait is poll's, which a
  // stop ends), then read as any file.
  OwnedFd in{stdIn ? STDIN_FILENO : ::open(args.file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK), !stdIn};
  if (in.fd < 0) throwErrno(errno, name);
  if (!stdIn) ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);
  const char separator = args.nul ? '\0' : '\n';
  std::vector<std::string> paths;
  std::string entry;
  char buf[4096];
  while (waitForInput(in.fd)) {
    const ssize_t n = ::read(in.fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwErrno(errno, name);
    if (n == 0) break;
    for (ssize_t k = 0; k < n; ++k) {
      if (buf[k] != separator) {
        entry += buf[k];
      } else if (!entry.empty()) {
        paths.push_back(std::move(entry));
        entry.clear();
      }
    }
  }
  if (!entry.empty()) paths.push_back(std::move(entry));
  return paths;
}

}  // namespace vantrel::cli
