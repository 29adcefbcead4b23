// SPDX-License-Identifier: MIT
#include "cli/console_listener.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/messages.h"
#include "jobs/output_formats.h"
#include "cli/signals.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace vantrel::cli {
namespace {

using nlohmann::ordered_json;

const char* const kGaugeNames[3] = {"bank", "folder", "drive"};
// What each gauge counts: the steps of the bank's job (its samples; a
// SoundFont's job takes more steps than it has samples), the banks of a
// folder run, the banks of a drive run.
const char* const kGaugeUnits[3] = {"steps", "banks", "banks"};

// The JSON word of an output file's kind, as its format's entry says it.
std::string kindName(FormatId kind) { return std::string(outputFormat(kind).kindWord); }

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

// A bar needs a terminal that moves the cursor as told: one that says what
// it is, and is not the "dumb" terminal of editors' shells and pipes.
bool showsBar(std::FILE* err) {
  const int fd = ::fileno(err);
  const char* term = std::getenv("TERM");
  return fd >= 0 && ::isatty(fd) != 0 && term && *term && std::strcmp(term, "dumb") != 0;
}

}  // namespace

ConsoleListener::ConsoleListener(ConsoleSettings settings, std::FILE* out, std::FILE* err)
    : settings_(std::move(settings)),
      out_(out),
      err_(err),
      terminal_(settings_.bar && !settings_.jsonProgress && !settings_.quiet && showsBar(err)),
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

// Standard output carries what a script reads; once a write to it fails
// (a full disk, a closed pipe) the rest would be lost, so the run stops.
// One write per line, or into the stream's buffer (see flushEveryLine).
void ConsoleListener::writeOut(std::string_view text) {
  if (outputError_.load() != 0) return;
  errno = 0;
  if (flushLines_) {
    writeLine(out_, text);
  } else {
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
  }
  if (std::ferror(out_)) outputError_.store(errno != 0 ? errno : EIO);
}

void ConsoleListener::errLine(std::string_view text) {
  clearBar();
  writeLine(err_, text);
  drawBar();
}

void ConsoleListener::start() {
  if (!settings_.jsonProgress) return;
  std::string out = settings_.outBase;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  writeLine(err_, eventLine("start", {{"command", settings_.command},
                                      {"version", VANTREL_VERSION},
                                      {"out", jsonText(out)},
                                      {"mode", settings_.mode}}));
}

void ConsoleListener::status(std::string_view text) {
  if (settings_.jsonProgress) {
    writeLine(err_, eventLine("status", {{"text", jsonText(text)}}));
    return;
  }
  if (settings_.quiet) return;
  errLine(escapeControls(text));
}

void ConsoleListener::logLine(std::string_view text) {
  // In a dry run standard output carries the planned files alone.
  if (settings_.quiet || settings_.dryRun) return;
  clearBar();
  writeOut(escapeControls(text));
  drawBar();
}

void ConsoleListener::dataLine(std::string_view text) {
  clearBar();
  writeOut(text);
  drawBar();
}

void ConsoleListener::error(const std::string& path, const std::string& message) {
  std::fflush(out_);
  if (settings_.jsonProgress) writeLine(err_, errorLine(true, path, message));
  else errLine(errorLine(false, path, message));
}

void ConsoleListener::runError(const RunError& e, const std::string& subject) {
  if (e.code() != kCancelled) error(errorPath(e, subject), e.message());
}

void ConsoleListener::usageError(const std::string& message) {
  usageError_ = true;
  clearBar();
  std::fflush(out_);
  writeLine(err_, usageErrorLines(settings_.jsonProgress, settings_.command, message));
}

void ConsoleListener::warning(std::string_view text) {
  if (settings_.jsonProgress) {
    ordered_json fields = {{"text", jsonText(text)}};
    if (!currentBank_.empty()) fields["bank"] = jsonText(currentBank_);
    writeLine(err_, eventLine("warning", fields));
    return;
  }
  std::fflush(out_);
  errLine("vantrel-cli: warning: " + escapeControls(text));
}

void ConsoleListener::gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max,
                                   std::int64_t progress) {
  const int g = static_cast<int>(id);
  if (settings_.jsonProgress) {
    writeLine(err_, eventLine("progress", {{"gauge", kGaugeNames[g]},
                                           {"value", progress - min},
                                           {"max", max - min},
                                           {"unit", kGaugeUnits[g]}}));
    return;
  }
  if (!terminal_) return;
  int percent = max > min ? static_cast<int>((progress - min) * 100 / (max - min)) : 0;
  int& slot = percent_[g];
  if (slot == percent) return;
  slot = percent;
  drawBar();
}

bool ConsoleListener::cancelled() const { return stopSignal() != 0 || outputError_.load() != 0; }

void ConsoleListener::recordFailure(const std::string& bankPath) {
  if (failed_.insert(bankPath).second) failures_.push_back(bankPath);
}

bool ConsoleListener::bankFailed(const std::string& bankPath, const RunError& error) {
  if (!settings_.keepGoing) return false;
  runError(error, bankPath);
  recordFailure(bankPath);
  return true;
}

void ConsoleListener::walkFailed(const RunError& e) {
  if (e.code() == kLinkFollowed) {
    warning(e.path() + ": " + e.message());
    return;
  }
  error(e.path(), e.message());
  if (isEntryPassedOver(e.code())) ++passedOver_;
  else recordFailure(e.path());
}

void ConsoleListener::bankStarted(const std::string& bankPath) {
  banksReported_ = true;
  currentBank_ = bankPath;
  if (settings_.jsonProgress) writeLine(err_, eventLine("bank", {{"path", jsonText(bankPath)}}));
}

void ConsoleListener::bankFinished(const std::string& bankPath, const RunError* e) {
  banksReported_ = true;
  if (e) recordFailure(bankPath);
  else ++converted_;
  currentBank_.clear();
  if (settings_.jsonProgress) {
    writeLine(err_, eventLine("bankDone", {{"path", jsonText(bankPath)}, {"status", e ? "failed" : "ok"}}));
  }
}

void ConsoleListener::outputFile(const OutputFileEvent& event) {
  const char* status = nullptr;
  switch (event.outcome) {
    case OutputOutcome::Planned: {
      if (!settings_.dryRun) return;
      const std::string& base = settings_.outBase;
      const std::string path =
          event.path.compare(0, base.size(), base) == 0 ? event.path.substr(base.size()) : event.path;
      if (!settings_.dryRunJson) {
        dataLine(escapeControls(path));
        return;
      }
      const std::string& bank = !currentBank_.empty() || !event.bank ? currentBank_ : event.bank->ttiPath;
      dataLine(ordered_json({{"path", jsonText(path)}, {"bank", jsonText(bank)}, {"kind", kindName(event.kind)}})
                   .dump());
      return;
    }
    case OutputOutcome::Written:
      ++written_;
      status = "written";
      break;
    case OutputOutcome::Existing:
      ++skipped_;
      status = "skipped";
      break;
    case OutputOutcome::Differs:
      status = "differs";
      break;
  }
  if (!settings_.jsonProgress) return;
  struct stat st {};
  const ordered_json bytes = ::stat(event.path.c_str(), &st) == 0 ? ordered_json(st.st_size) : ordered_json();
  writeLine(err_, eventLine("file", {{"path", jsonText(event.path)},
                                     {"status", status},
                                     {"kind", kindName(event.kind)},
                                     {"bytes", bytes}}));
}

void ConsoleListener::done(int status, std::size_t converted) {
  finish();
  const int signal = stopSignal();
  if (signal != 0) error({}, std::string("interrupted by ") + signalName(signal));
  const std::size_t banks = banksReported_ ? converted_ : converted;
  if (settings_.jsonProgress) {
    ordered_json fields = {{"converted", banks},
                           {"failed", failures_.size()},
                           {"written", written_},
                           {"skipped", skipped_}};
    if (settings_.verify) {
      fields["verified"] = verified_;
      fields["alreadyThere"] = alreadyThere_;
    }
    if (passedOver_ > 0) fields["notUsed"] = passedOver_;
    fields["status"] = status;
    writeLine(err_, eventLine("done", fields));
    return;
  }
  if (settings_.quiet) return;
  if (settings_.verify) {
    errLine(counted(verified_, "file", "files") + " verified" +
            (alreadyThere_ > 0 ? ", " + std::to_string(alreadyThere_) + " of them already there" : ""));
  }
  if (!settings_.keepGoing || signal != 0 || outputError_.load() != 0 || usageError_) return;
  std::string line = counted(banks, "bank", "banks") + " converted, " + std::to_string(failures_.size()) + " failed";
  if (passedOver_ > 0) line += ", " + counted(passedOver_, "entry", "entries") + " of the image not used";
  for (std::size_t k = 0; k < failures_.size(); ++k) line += (k ? ", " : ": ") + failures_[k];
  errLine(escapeControls(line));
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
