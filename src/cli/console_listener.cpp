#include "cli/console_listener.h"

#include <unistd.h>

#include <string>

namespace vantrel::cli {

ConsoleListener::ConsoleListener(std::FILE* out, std::FILE* err)
    : out_(out), err_(err), terminal_(::isatty(::fileno(err)) != 0) {}

ConsoleListener::~ConsoleListener() { finish(); }

void ConsoleListener::finish() { clearBar(); }

void ConsoleListener::clearBar() {
  if (barShown_) {
    std::fputs("\r\033[K", err_);
    std::fflush(err_);
    barShown_ = false;
  }
}

// One write per line: standard error is unbuffered.
void ConsoleListener::writeLine(std::FILE* stream, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

void ConsoleListener::status(std::string_view text) {
  clearBar();
  writeLine(err_, text);
  drawBar();
}

void ConsoleListener::logLine(std::string_view text) {
  clearBar();
  writeLine(out_, text);
  drawBar();
}

void ConsoleListener::gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max,
                                   std::int64_t progress) {
  if (!terminal_) return;
  int percent = max > min ? static_cast<int>((progress - min) * 100 / (max - min)) : 0;
  int& slot = percent_[static_cast<int>(id)];
  if (slot == percent) return;
  slot = percent;
  drawBar();
}

void ConsoleListener::drawBar() {
  if (!terminal_) return;
  static const char* const kLabels[3] = {"bank", "folder", "drive"};
  std::string line = "\r\033[K";
  bool any = false;
  for (int g = 0; g < 3; ++g) {
    int p = percent_[g];
    if (p <= 0) continue;
    any = true;
    int filled = p / 5;
    line += std::string(kLabels[g]) + " [" + std::string(static_cast<std::size_t>(filled), '#') +
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
