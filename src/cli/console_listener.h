// SPDX-License-Identifier: MIT
#pragma once
// The command line's front end: log lines to standard output, status lines
// to standard error, and a progress bar on standard error when it is a
// terminal (or, with --progress=json, one JSON object per line for every
// gauge and status change). It also answers the job's question whether to
// stop (a stop signal, or standard output that can no longer be written)
// and, with --keep-going, whether to go on after a bank failed.

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "jobs/listener.h"

namespace vantrel::cli {

struct ConsoleSettings {
  bool quiet = false;         // drop log lines
  bool jsonProgress = false;  // JSON Lines on standard error instead of the bar
  bool keepGoing = false;     // pass over a bank that fails
  // A dry run prints every file it would write on standard output,
  // relative to `outBase` (the target folder, ending in a separator).
  bool dryRun = false;
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
  // Reported at once (path and error on standard error); the run goes on
  // and ends with exit status 1.
  void walkFailed(const RunError& error) override;
  void outputFile(const OutputFileEvent& event) override;

  // Writes one line to standard output whatever the settings (data, not
  // log); a failed write stops the run.
  void dataLine(std::string_view text);

  // Keeps a bank that failed (and was reported) for the summary.
  void recordFailure(const std::string& bankPath) { failures_.push_back(bankPath); }
  const std::vector<std::string>& failures() const { return failures_; }
  // Whether a folder or image could not be read whole.
  bool walkFailures() const { return walkFailures_; }

  // The errno of the first failed write to standard output, or 0.
  int outputError() const { return outputError_.load(); }

  // Clears the progress bar line, if one is shown, and sends out the log
  // lines still held.
  void finish();

 private:
  void drawBar();
  void clearBar();
  void writeOut(std::string_view text);
  static void writeLine(std::FILE* stream, std::string_view text, bool flush = true);

  ConsoleSettings settings_;
  std::FILE* out_;
  std::FILE* err_;
  bool terminal_;
  bool flushLines_;  // each line of standard output goes out at once
  bool barShown_ = false;
  int percent_[3] = {-1, -1, -1};
  std::atomic<int> outputError_{0};
  std::vector<std::string> failures_;
  bool walkFailures_ = false;
};

}  // namespace vantrel::cli
