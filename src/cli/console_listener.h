#pragma once
// The command line's front end: log lines to standard output, status lines
// to standard error, and a progress bar on standard error when it is a
// terminal.

#include <cstdio>

#include "jobs/listener.h"

namespace vantrel::cli {

class ConsoleListener : public JobListener {
 public:
  ConsoleListener(std::FILE* out = stdout, std::FILE* err = stderr);
  ~ConsoleListener() override;

  void status(std::string_view text) override;
  void logLine(std::string_view text) override;
  void gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max, std::int64_t progress) override;

  // Clears the progress bar line, if one is shown.
  void finish();

 private:
  void drawBar();
  void clearBar();
  static void writeLine(std::FILE* stream, std::string_view text);

  std::FILE* out_;
  std::FILE* err_;
  bool terminal_;
  bool barShown_ = false;
  int percent_[3] = {-1, -1, -1};
};

}  // namespace vantrel::cli
