// SPDX-License-Identifier: MIT
#include "cli/console_listener.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/signals.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace vantrel::cli {
namespace {

const char* const kGaugeNames[3] = {"bank", "folder", "drive"};

// Lines of standard output go out one write each where someone may read
// them as they come: a terminal, a pipe (whose reader may also stop the run
// by closing it), or a file that standard error writes to as well (so the
// two stay in order). Into a file of their own or a device such as
// /dev/null they go out in blocks: a write per line costs more than
// converting a small bank.
bool flushEveryLine(std::FILE* out, std::FILE* err) {
  struct stat o {};
  struct stat e {};
  const int fd = ::fileno(out);
  if (fd < 0 || ::isatty(fd) != 0 || ::fstat(fd, &o) != 0) return true;
  if (S_ISCHR(o.st_mode)) return false;
  if (!S_ISREG(o.st_mode)) return true;
  const int errFd = ::fileno(err);
  return errFd >= 0 && ::fstat(errFd, &e) == 0 && e.st_dev == o.st_dev && e.st_ino == o.st_ino;
}

}  // namespace

ConsoleListener::ConsoleListener(ConsoleSettings settings, std::FILE* out, std::FILE* err)
    : settings_(settings),
      out_(out),
      err_(err),
      terminal_(!settings.jsonProgress && ::isatty(::fileno(err)) != 0),
      flushLines_(flushEveryLine(out, err)) {}

ConsoleListener::~ConsoleListener() { finish(); }

void ConsoleListener::finish() {
  clearBar();
  if (flushLines_ || outputError_.load() != 0) return;
  errno = 0;
  if (std::fflush(out_) != 0 || std::ferror(out_)) outputError_.store(errno != 0 ? errno : EIO);
}

void ConsoleListener::clearBar() {
  if (barShown_) {
    std::fputs("\r\033[K", err_);
    std::fflush(err_);
    barShown_ = false;
  }
}

// One write per line (standard error is unbuffered), or into the stream's
// buffer without `flush`.
void ConsoleListener::writeLine(std::FILE* stream, std::string_view text, bool flush) {
  if (!flush) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    return;
  }
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

// Standard output carries what a script reads; once a write to it fails
// (a full disk, a closed pipe) the rest would be lost, so the run stops.
void ConsoleListener::writeOut(std::string_view text) {
  if (outputError_.load() != 0) return;
  errno = 0;
  writeLine(out_, text, flushLines_);
  if (std::ferror(out_)) outputError_.store(errno != 0 ? errno : EIO);
}

void ConsoleListener::status(std::string_view text) {
  if (settings_.jsonProgress) {
    const nlohmann::ordered_json event = {{"event", "status"}, {"text", utf8OrLatin1(text)}};
    writeLine(err_, event.dump());
    return;
  }
  clearBar();
  writeLine(err_, text);
  drawBar();
}

void ConsoleListener::logLine(std::string_view text) {
  // In a dry run standard output carries the paths alone.
  if (settings_.quiet || settings_.dryRun) return;
  clearBar();
  writeOut(text);
  drawBar();
}

void ConsoleListener::dataLine(std::string_view text) {
  clearBar();
  writeOut(text);
  drawBar();
}

void ConsoleListener::gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max,
                                   std::int64_t progress) {
  if (settings_.jsonProgress) {
    const nlohmann::ordered_json event = {{"event", "gauge"},
                                          {"gauge", kGaugeNames[static_cast<int>(id)]},
                                          {"value", progress - min},
                                          {"max", max - min}};
    writeLine(err_, event.dump());
    return;
  }
  if (!terminal_) return;
  int percent = max > min ? static_cast<int>((progress - min) * 100 / (max - min)) : 0;
  int& slot = percent_[static_cast<int>(id)];
  if (slot == percent) return;
  slot = percent;
  drawBar();
}

bool ConsoleListener::cancelled() const { return stopSignal() != 0 || outputError_.load() != 0; }

bool ConsoleListener::bankFailed(const std::string& bankPath, const RunError& error) {
  if (!settings_.keepGoing) return false;
  clearBar();
  reportRunError(error, bankPath);
  recordFailure(bankPath);
  drawBar();
  return true;
}

void ConsoleListener::walkFailed(const RunError& error) {
  clearBar();
  reportRunError(error, {});
  walkFailures_ = true;
  drawBar();
}

void ConsoleListener::outputFile(const OutputFileEvent& event) {
  if (!settings_.dryRun || event.outcome != OutputOutcome::Planned) return;
  const std::string& base = settings_.outBase;
  dataLine(event.path.compare(0, base.size(), base) == 0 ? event.path.substr(base.size()) : event.path);
}

void ConsoleListener::drawBar() {
  if (!terminal_) return;
  std::string line = "\r\033[K";
  bool any = false;
  for (int g = 0; g < 3; ++g) {
    int p = percent_[g];
    if (p <= 0) continue;
    any = true;
    int filled = p / 5;
    line += std::string(kGaugeNames[g]) + " [" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(20 - filled), '.') + "] " + std::to_string(p) +
            "%  ";
  }
  if (!any) {
    clearBar();
    return;
  }
  std::fputs(line.c_str(), err_);
  std::fflush(err_);
  barShown_ = true;
}

}  // namespace vantrel::cli
