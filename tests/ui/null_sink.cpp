// SPDX-License-Identifier: MIT
#include "null_sink.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <filesystem>

namespace vantrel::testing {
namespace {

// The server and its clients keep their state in the temporary folder.
QProcessEnvironment environmentIn(const std::string& dir) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString home = QString::fromStdString(dir);
  env.insert(QStringLiteral("HOME"), home);
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
  env.remove(QStringLiteral("PULSE_SERVER"));
  return env;
}

}  // namespace

NullSinkServer::NullSinkServer() {
  const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
  const QString pactl = QStandardPaths::findExecutable(QStringLiteral("pactl"));
  if (pulseaudio.isEmpty() || pactl.isEmpty()) {
    problem_ = "pulseaudio or pactl is not installed";
    return;
  }
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all);
  server_.setProcessEnvironment(environmentIn(dir_.str()));
  server_.setProcessChannelMode(QProcess::MergedChannels);
  const QString socket = QString::fromStdString(dir_.file("native"));
  server_.start(pulseaudio,
                {QStringLiteral("--daemonize=no"), QStringLiteral("--system=false"), QStringLiteral("-n"),
                 QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=false"),
                 QStringLiteral("--disable-shm=true"),
                 QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket,
                 QStringLiteral("--load=module-null-sink sink_name=vantrel format=s16le rate=44100 "
                                "channels=2 norewinds=1")});
  if (!server_.waitForStarted(5000)) {
    problem_ = "pulseaudio did not start";
    return;
  }
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 10000) {
    QProcess probe;
    probe.setProcessEnvironment(environmentIn(dir_.str()));
    probe.start(pactl, {QStringLiteral("-s"), address(), QStringLiteral("info")});
    if (probe.waitForFinished(3000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0) return;
    if (server_.state() == QProcess::NotRunning) break;
    QThread::msleep(100);
  }
  problem_ = "pulseaudio does not answer: " + server_.readAll().left(400).toStdString();
}

NullSinkServer::~NullSinkServer() {
  if (server_.state() == QProcess::NotRunning) return;
  server_.terminate();
  if (!server_.waitForFinished(5000)) {
    server_.kill();
    server_.waitForFinished(2000);
  }
}

QString NullSinkServer::address() const { return QStringLiteral("unix:") + QString::fromStdString(dir_.file("native")); }

MonitorRecorder::MonitorRecorder(const NullSinkServer& server) : server_(server) {}

MonitorRecorder::~MonitorRecorder() {
  if (recorder_.state() != QProcess::NotRunning) stop();
}

bool MonitorRecorder::start() {
  const QString parec = QStandardPaths::findExecutable(QStringLiteral("parec"));
  if (parec.isEmpty()) return false;
  recorder_.start(parec, {QStringLiteral("--server=") + server_.address(), QStringLiteral("--device=vantrel.monitor"),
                          QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                          QStringLiteral("--channels=2"), QStringLiteral("--raw")});
  if (!recorder_.waitForStarted(5000)) return false;
  // The monitor carries silence while nothing plays: its first bytes show
  // that recording runs.
  if (!recorder_.waitForReadyRead(5000)) return false;
  bytes_ = recorder_.readAllStandardOutput();
  return true;
}

QByteArray MonitorRecorder::stop() {
  recorder_.waitForReadyRead(200);
  bytes_ += recorder_.readAllStandardOutput();
  recorder_.terminate();
  recorder_.waitForFinished(5000);
  bytes_ += recorder_.readAllStandardOutput();
  return bytes_;
}

}  // namespace vantrel::testing
