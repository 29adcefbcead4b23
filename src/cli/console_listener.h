// SPDX-License-Identifier: MIT
#pragma once
// The command line's front end: log lines to standard output, status lines
// to standard error, and a progress bar on standard error when it is a
// terminal that can show one; with --progress=json, every line of standard
// error a JSON event instead (messages.h), for gauges, status changes,
// banks, files, warnings, errors and the run's start and end. It also
// answers the job's question whether to stop (a stop signal, or standard
// output that can no longer be written) and, with --keep-going, whether to
// go on after a bank failed, and counts what the run did for its end.

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jobs/listener.h"

namespace vantrel::cli {

struct ConsoleSettings {
  std::string command;        // the run's command word, for the start event and usage errors
  std::string mode;           // the output format's word, for the start event
  bool quiet = false;         // warnings and errors only: no log or status lines, no bar
  bool jsonProgress = false;  // JSON events on standard error instead of text
  bool bar = true;            // a progress bar, where standard error can show one
  bool keepGoing = false;     // pass over a bank that fails
  bool verify = false;        // files are verified: the end says how many
  // A dry run prints every file it would write on standard output,
  // relative to `outBase` (the target folder, ending in a separator): its
  // path alone, or with `dryRunJson` one JSON object.
  bool dryRun = false;
  bool dryRunJson = false;
  std::string outBase;
};

class ConsoleListener : public JobListener {
 public:
  explicit ConsoleListener(ConsoleSettings settings = {}, std::FILE* out = stdout,
                           std::FILE* err = stderr);
  ~ConsoleListener() override;

  void status(std::string_view text) override;
  void logLine(std::string_view text) override;
  void gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max, std::int64_t progress) override;
  bool showsSampleList() const override { return false; }
  bool cancelled() const override;
  bool bankFailed(const std::string& bankPath, const RunError& error) override;
  void outputFile(const OutputFileEvent& event) override;
  void bankStarted(const std::string& bankPath) override;
  void bankFinished(const std::string& bankPath, const RunError* error) override;
  void warning(std::string_view text) override;
  void walkFailed(const RunError& error) override;

  // The run begins: the start event.
  void start();

  // An error line (or event); `path` may be empty.
  void error(const std::string& path, const std::string& message);
  // The error that ended a job about `subject` (a cancel says nothing).
  void runError(const RunError& error, const std::string& subject);
  // A usage error found once the run had begun: the run then ends with
  // exit status 2 and no summary.
  void usageError(const std::string& message);

  // Writes one line to standard output whatever the settings (data, not
  // log); a failed write stops the run.
  void dataLine(std::string_view text);

  // Notes a bank that failed (and was reported); a bank is noted once.
  void recordFailure(const std::string& bankPath);
  const std::vector<std::string>& failures() const { return failures_; }
  // Entries of an image the run's walk passed over (isEntryPassedOver):
  // named as they were found, counted apart from failed banks.
  std::size_t passedOver() const { return passedOver_; }
  // The number of files the run's checks verified (--verify).
  // Files verified, and of them those found already there.
  void setVerified(std::size_t files, std::size_t alreadyThere) {
    verified_ = files;
    alreadyThere_ = alreadyThere;
  }

  // The errno of the first failed write to standard output, or 0.
  int outputError() const { return outputError_.load(); }

  // Clears the progress bar line, if one is shown, and sends out the log
  // lines still held.
  void finish();

  // The run's end, with its exit status: "interrupted" after a stop
  // signal, then in text "N files verified" (--verify) and, with
  // --keep-going, "N banks converted, M failed[, K entries of the image not
  // used]: PATH, ..." (not after a
  // stop, a lost standard output or a usage error, nor with --quiet); or
  // the done event. The banks converted are those the job reported done,
  // or `converted` from a job that reports no banks.
  void done(int status, std::size_t converted);

 private:
  // Shows gauge `g` at `value` of `max`: an event, or the bar.
  void showGauge(int g, std::int64_t value, std::int64_t max);
  // One more bank of the run ended (done or failed): the folder and drive
  // gauges move on.
  void bankEnded(const std::string& bankPath);
  void drawBar();
  void clearBar();
  void writeOut(std::string_view text);
  // A line on standard error: a text line, with the bar kept below it.
  void errLine(std::string_view text);

  ConsoleSettings settings_;
  std::FILE* out_;
  std::FILE* err_;
  bool terminal_;
  bool flushLines_;  // each line of standard output goes out at once
  bool barShown_ = false;
  int percent_[3] = {-1, -1, -1};
  // What the gauges show. The bank gauge follows the job's while a bank
  // is converted, but not the job's drop back to the start after a bank
  // (the window's emptied gauge), which would read as work undone: a bank
  // that begins sets its own range. The folder and drive gauges count the
  // banks that ended, not those begun, and stay at the end when the run is
  // done.
  struct ShownGauge {
    std::int64_t value = -1, max = -1;        // as last shown; -1: not yet
    std::int64_t jobValue = 0, jobMax = -1;   // as the job last set it
    std::int64_t banksEnded = 0;              // the folder and drive gauges
  };
  ShownGauge gauges_[3];
  std::string lastEnded_;  // the bank that ended last, counted once
  // The error shown for the bank at hand (as it failed, or as the job
  // passed over it), so that the same error coming back from the job is
  // not shown twice.
  bool shownForBank(const RunError& e) const;
  struct ShownError {
    int code;
    std::string path, message;
  };
  std::optional<ShownError> bankError_;
  std::atomic<int> outputError_{0};
  std::vector<std::string> failures_;
  std::set<std::string> failed_;  // failures_, for looking up
  std::string currentBank_;       // between bankStarted and bankFinished
  bool banksReported_ = false;    // the job reports its banks
  bool usageError_ = false;
  std::size_t passedOver_ = 0;
  std::size_t converted_ = 0, written_ = 0, skipped_ = 0, verified_ = 0, alreadyThere_ = 0;
};

}  // namespace vantrel::cli
