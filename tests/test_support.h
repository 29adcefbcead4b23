// SPDX-License-Identifier: MIT
#pragma once
// Shared test helpers: a temporary folder per test, a listener that records
// what the core tells the front end, and small file helpers.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/listener.h"
#include "jobs/output_formats.h"
#include <ostream>

namespace vantrel {
// Test messages name a format by its --mode word.
inline std::ostream& operator<<(std::ostream& os, FormatId id) {
  return os << (id == FormatId::None ? std::string_view("none") : outputFormat(id).word);
}
}  // namespace vantrel

namespace vantrel::testing {

// A fresh folder below `base` (the system's temporary folder by default),
// removed afterwards.
class TempDir {
 public:
  explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path());
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // path() / name as a string.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct GaugeEvent {
  GaugeId id;
  std::int64_t min, max, progress;
};

class RecordingListener : public JobListener {
 public:
  void status(std::string_view text) override { statuses.emplace_back(text); }
  void logClear() override {
    log.clear();
    ++logClears;
  }
  void logLine(std::string_view text) override {
    log.emplace_back(text);
    allLog.emplace_back(text);
  }
  void gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max, std::int64_t progress) override {
    gauges.push_back({id, min, max, progress});
  }
  void buttonChanged(ButtonId id, bool on) override { buttons.emplace_back(id, on); }
  void sampleListSet(const std::vector<std::string>& names) override { sampleList = names; }
  void sampleListVisible(bool visible) override { listVisible = visible; }
  void sampleListSelect(int index, bool selected) override { selections.emplace_back(index, selected); }
  void busy(bool on) override { busyCalls.push_back(on); }
  void destinationChanged() override { ++destinationRereads; }
  void outputFile(const OutputFileEvent& event) override { outcomes.push_back(event.outcome); }
  void warning(std::string_view text) override { warnings.emplace_back(text); }
  void walkFailed(const RunError& error) override { unreadable.push_back(error.path() + ": " + error.message()); }

  std::string lastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }
  // Whether a button was last switched on (false when never switched).
  bool buttonOn(ButtonId id) const {
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it)
      if (it->first == id) return it->second;
    return false;
  }
  // Progress values of one gauge, in order.
  std::vector<std::int64_t> progressOf(GaugeId id) const;

  std::vector<std::string> statuses;
  std::vector<OutputOutcome> outcomes;  // of every output file reported
  std::vector<std::string> warnings;
  std::vector<std::string> unreadable;  // folders a walk could not read
  std::vector<std::string> log;     // since the last clear
  std::vector<std::string> allLog;  // every line
  int logClears = 0;
  std::vector<GaugeEvent> gauges;
  std::vector<std::pair<ButtonId, bool>> buttons;
  std::vector<std::string> sampleList;
  bool listVisible = false;
  std::vector<std::pair<int, bool>> selections;
  std::vector<bool> busyCalls;
  int destinationRereads = 0;
};

std::vector<std::uint8_t> readFileBytes(const std::string& path);

// All that was written to `stream` (a tmpfile()), from its start.
std::string readStream(std::FILE* stream);

// A program's path, looked for along PATH; empty when it is not there.
std::string onPath(const std::string& name);

// Latin-1 bytes as UTF-8, converted by the C library's iconv.
std::string latin1AsUtf8(const std::string& latin1);

// Runs a command line through the shell; returns the exit status and
// collects standard output and standard error.
struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  long peakRssKiB = 0;  // the command's largest resident set (getrusage of the child)
};
// `cwd`, when not empty, is the folder it runs in; `fileSizeLimit`, when not
// 0, limits the size of every file it writes (SIGXFSZ keeps its default).
CommandResult runCommand(const std::vector<std::string>& argv, const std::string& cwd = {},
                         std::uint64_t fileSizeLimit = 0);

}  // namespace vantrel::testing
