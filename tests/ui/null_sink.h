// SPDX-License-Identifier: MIT
#pragma once
// A PulseAudio server of the test's own with one stereo null sink
// ("vantrel": 16-bit, 44.1 kHz, no rewinds, so that its monitor carries
// exactly what was played), and a recorder of that monitor.

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <memory>
#include <string>

#include "test_support.h"

namespace vantrel::testing {

class NullSinkServer {
 public:
  // Starts the server and waits until it answers (a few seconds at most).
  NullSinkServer();
  ~NullSinkServer();
  NullSinkServer(const NullSinkServer&) = delete;
  NullSinkServer& operator=(const NullSinkServer&) = delete;

  bool running() const { return problem_.empty(); }
  // Why the server is not running.
  const std::string& problem() const { return problem_; }
  // The server's address, for PULSE_SERVER.
  QString address() const;

 private:
  TempDir dir_;
  QProcess server_;
  std::string problem_;
};

// Records the null sink's monitor (stereo 16-bit frames) from start() to
// stop().
class MonitorRecorder {
 public:
  explicit MonitorRecorder(const NullSinkServer& server);
  ~MonitorRecorder();
  // Starts recording and waits until the first frames arrive.
  bool start();
  QByteArray stop();

 private:
  const NullSinkServer& server_;
  QProcess recorder_;
  QByteArray bytes_;
};

}  // namespace vantrel::testing
