// SPDX-License-Identifier: MIT
#include "cli/console_listener.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
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
  // In a dry run standard output carries the planned files alone. The
  // window's log parts the banks of a folder run by a line holding a
  // space; here a line says what was done, and runs of several banks (a
  // drive, convert) have no such line either.
  if (settings_.quiet || settings_.dryRun) return;
  if (text.find_first_not_of(' ') == std::string_view::npos) return;
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
  // A failed bank's error is shown once, before the bank's end.
  if (e.code() == kCancelled || shownForBank(e)) return;
  error(errorPath(e, subject), e.message());
}

bool ConsoleListener::shownForBank(const RunError& e) const {
  return bankError_ && bankError_->code == e.code() && bankError_->path == e.path() &&
         bankError_->message == e.message();
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
  ShownGauge& s = gauges_[g];
  const std::int64_t span = max - min, value = progress - min;
  if (id != GaugeId::Bank) {
    // A new range is a run's count of banks, none of which has ended yet;
    // the job's progress counts the banks begun and is not shown.
    if (span != s.jobMax) {
      s.jobMax = span;
      s.banksEnded = 0;
      showGauge(g, 0, span);
    }
    return;
  }
  // Between the banks of a run the job only empties the gauge; a job
  // without banks (extract) empties it once it reached its end.
  const bool betweenBanks = banksReported_ && currentBank_.empty();
  const bool reset = value == 0 && span > 0 && span == s.jobMax && s.jobValue == span;
  s.jobValue = value;
  s.jobMax = span;
  if (!betweenBanks && !reset) showGauge(g, value, span);
}

void ConsoleListener::showGauge(int g, std::int64_t value, std::int64_t max) {
  ShownGauge& s = gauges_[g];
  if (s.value == value && s.max == max) return;
  s.value = value;
  s.max = max;
  if (settings_.jsonProgress) {
    writeLine(err_, eventLine("progress", {{"gauge", kGaugeNames[g]},
                                           {"value", value},
                                           {"max", max},
                                           {"unit", kGaugeUnits[g]}}));
    return;
  }
  if (!terminal_) return;
  const int percent = max > 0 ? static_cast<int>(value * 100 / max) : 0;
  int& slot = percent_[g];
  if (slot == percent) return;
  slot = percent;
  drawBar();
}

void ConsoleListener::bankEnded(const std::string& bankPath) {
  if (bankPath == lastEnded_) return;
  lastEnded_ = bankPath;
  for (GaugeId id : {GaugeId::Folder, GaugeId::Drive}) {
    const int g = static_cast<int>(id);
    ShownGauge& s = gauges_[g];
    if (s.jobMax < 0) continue;
    s.banksEnded = std::min(s.banksEnded + 1, s.jobMax);
    showGauge(g, s.banksEnded, s.jobMax);
  }
}

bool ConsoleListener::cancelled() const { return stopSignal() != 0 || outputError_.load() != 0; }

void ConsoleListener::recordFailure(const std::string& bankPath) {
  if (failed_.insert(bankPath).second) failures_.push_back(bankPath);
}

bool ConsoleListener::bankFailed(const std::string& bankPath, const RunError& error) {
  if (!settings_.keepGoing) return false;
  runError(error, bankPath);
  bankError_ = ShownError{error.code(), error.path(), error.message()};
  recordFailure(bankPath);
  // A bank that failed before it began (its folder could not be made)
  // ends here.
  bankEnded(bankPath);
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
  bankError_.reset();
  if (settings_.jsonProgress) writeLine(err_, eventLine("bank", {{"path", jsonText(bankPath)}}));
}

void ConsoleListener::bankFinished(const std::string& bankPath, const RunError* e) {
  banksReported_ = true;
  if (e) recordFailure(bankPath);
  else ++converted_;
  // The error that failed the bank comes before the bank's end (a stop
  // by signal is said once, at the run's end).
  if (e && e->code() != kCancelled && !shownForBank(*e)) {
    error(errorPath(*e, bankPath), e->message());
    bankError_ = ShownError{e->code(), e->path(), e->message()};
  }
  currentBank_.clear();
  if (settings_.jsonProgress) {
    writeLine(err_, eventLine("bankDone", {{"path", jsonText(bankPath)}, {"status", e ? "failed" : "ok"}}));
  }
  bankEnded(bankPath);
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
  // A reader that stops reading (`| head`) ends the run as it meant to:
  // under --quiet that is not worth a line (the exit status still says it).
  const bool quietPipe = signal == SIGPIPE && settings_.quiet && !settings_.jsonProgress;
  if (signal != 0 && !quietPipe) error({}, std::string("interrupted by ") + signalName(signal));
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
