// SPDX-License-Identifier: MIT
#pragma once
// Helpers for driving the real window in tests: a window with its about box
// in a temporary folder, clicks on list entries, and catching the error box.

#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>
#include <ostream>
#include <memory>
#include <string>

#include "bank_builder.h"
#include "test_support.h"
#include "ui/about2.h"
#include "ui/wavextract19.h"

class QListWidget;

// Readable values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << '{' << l.join(QStringLiteral(", ")).toStdString() << '}';
}

namespace vantrel::testing {

// Points HOME and the XDG folders at `home`, so that nothing the toolkit
// keeps lands in the real home folder. Call before the application starts.
void isolateHome(const TempDir& home);

// A bank of `count` mono samples "NAME1.WAV" ... of `frames` frames each.
BankDesc simpleBank(int count, std::size_t frames = 64, const std::string& prefix = "SAMPLE");

// The window and its about box, as the program creates them, working in a
// temporary folder: `banks` (the source), `out` (the target) and the start
// folder that holds vantrel.ini. The drive boxes list `volumes` plus any
// drives a test adds.
class TestWindow {
 public:
  // `window`, when given, is the main window to test (a TForm1 of the
  // test's own); else a plain TForm1.
  explicit TestWindow(std::unique_ptr<TForm1> window = nullptr);
  ~TestWindow();

  TempDir dir;
  std::string banks;
  std::string out;
  std::string start;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TAbout> about;
  std::vector<DriveInfo> drives;

  // Writes vantrel.ini into the start folder (raw bytes).
  void writeSettings(const std::string& bytes);
  // Shows the window and waits for its first activation.
  void showAndActivate();
  void setDrives(std::vector<DriveInfo> list);
  std::string settingsBytes() const;
};

// Waits until the window of `widget` runs no job (and its reports have
// reached the widgets).
void waitForJob(QWidget* widget);

// Clicks / double-clicks the entry of a list or a widget, then waits for
// the job it may have started. Entries by the `text` they show or by row.
void clickEntry(QListWidget* list, const QString& text, Qt::MouseButton button = Qt::LeftButton);
void clickRow(QListWidget* list, int row, Qt::MouseButton button = Qt::LeftButton);
void doubleClickEntry(QListWidget* list, const QString& text);
void doubleClickRow(QListWidget* list, int row);
// Presses and releases the left button on a widget's centre.
void clickWidget(QWidget* widget);

// Runs `action`; every message box that shows meanwhile is closed and its
// text recorded.
QStringList collectMessageBoxes(const std::function<void()>& action);

// A file's names in a folder, sorted (empty when the folder is missing).
QStringList folderEntries(const std::string& folder);

}  // namespace vantrel::testing
