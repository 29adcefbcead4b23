// SPDX-License-Identifier: MIT
#include "ui_support.h"

#include "ui/settings.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace vantrel::testing {

void isolateHome(const TempDir& home) {
  const QByteArray homePath = QByteArray::fromStdString(home.str());
  qputenv("HOME", homePath);
  qputenv("XDG_CONFIG_HOME", homePath + "/.config");
  qputenv("XDG_CACHE_HOME", homePath + "/.cache");
  qputenv("XDG_DATA_HOME", homePath + "/.local/share");
  qputenv("XDG_RUNTIME_DIR", homePath);
  std::filesystem::permissions(home.path(), std::filesystem::perms::owner_all);
}

BankDesc simpleBank(int count, std::size_t frames, const std::string& prefix) {
  BankDesc bank;
  for (int k = 0; k < count; ++k) {
    SampleDesc s;
    s.name = prefix + std::to_string(k + 1) + ".WAV";
    s.pcm = sinePcm(frames, 0.01 * (k + 1));
    s.loopStartFrame = 0;
    s.loopEndFrame = static_cast<std::uint32_t>(frames);
    s.zones = {static_cast<std::uint8_t>(k % 256)};
    bank.samples.push_back(s);
    bank.zones.push_back(ZoneDesc{});
  }
  return bank;
}

TestWindow::TestWindow(std::unique_ptr<TForm1> window) {
  namespace fs = std::filesystem;
  banks = dir.file("banks");
  out = dir.file("out");
  start = dir.file("start");
  fs::create_directories(banks);
  fs::create_directories(out);
  fs::create_directories(start);
  form = window ? std::move(window) : std::make_unique<TForm1>();
  about = std::make_unique<TAbout>();
  form->setAboutBox(about.get());
  form->setStartFolder(QString::fromStdString(start));
  drives = {{QStringLiteral("root"), QStringLiteral("/")}};
  form->setDriveSource([this] { return drives; });
}

TestWindow::~TestWindow() {
  about.reset();
  form.reset();
  // The size a test left the window at is no other test's start.
  std::filesystem::remove(userSettingsFolder() + "/window.ini");
}

void TestWindow::writeSettings(const std::string& bytes) {
  std::ofstream f(start + "/vantrel.ini", std::ios::binary);
  f << bytes;
}

std::string TestWindow::settingsBytes() const {
  const auto bytes = readFileBytes(start + "/vantrel.ini");
  return {bytes.begin(), bytes.end()};
}

void TestWindow::showAndActivate() {
  form->show();
  form->activateWindow();
  if (!QTest::qWaitForWindowActive(form.get())) form->FormActivate();
}

void TestWindow::setDrives(std::vector<DriveInfo> list) {
  drives = std::move(list);
  form->setDriveSource([this] { return drives; });
}

void waitForJob(QWidget* widget) {
  auto* form = qobject_cast<TForm1*>(widget->window());
  if (!form) return;
  if (!QTest::qWaitFor([form] { return !form->jobRunning(); }, 120000))
    throw std::runtime_error("the job did not end");
}

namespace {

QPoint rowCentre(QListWidget* list, int row) {
  list->scrollToItem(list->item(row));
  return list->visualItemRect(list->item(row)).center();
}

int rowOf(QListWidget* list, const QString& text) {
  for (int k = 0; k < list->count(); ++k)
    if (list->item(k)->text() == text) return k;
  return -1;
}

}  // namespace

void clickRow(QListWidget* list, int row, Qt::MouseButton button) {
  QTest::mouseClick(list->viewport(), button, {}, rowCentre(list, row));
  waitForJob(list);
}

void clickEntry(QListWidget* list, const QString& text, Qt::MouseButton button) {
  const int row = rowOf(list, text);
  if (row < 0) throw std::runtime_error("no entry " + text.toStdString());
  clickRow(list, row, button);
}

void doubleClickRow(QListWidget* list, int row) {
  const QPoint at = rowCentre(list, row);
  // A double click is a click, then a second press that the toolkit reports
  // as a double click, then its release.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  waitForJob(list);
}

void doubleClickEntry(QListWidget* list, const QString& text) {
  const int row = rowOf(list, text);
  if (row < 0) throw std::runtime_error("no entry " + text.toStdString());
  doubleClickRow(list, row);
}

void clickWidget(QWidget* widget) {
  const QPoint centre = widget->rect().center();
  QTest::mouseMove(widget, centre);
  QTest::mouseClick(widget, Qt::LeftButton, {}, centre);
  waitForJob(widget);
}

QStringList collectMessageBoxes(const std::function<void()>& action) {
  QStringList texts;
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&texts] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      texts << box->text();
      box->accept();
    }
  });
  closer.start();
  action();
  closer.stop();
  return texts;
}

QStringList folderEntries(const std::string& folder) {
  QStringList out = QDir(QString::fromStdString(folder))
                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  out.sort();
  return out;
}

}  // namespace vantrel::testing
