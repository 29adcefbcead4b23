// SPDX-License-Identifier: MIT
// The main window driven through its real widgets: the controls' places,
// start-up and settings, drive boxes, the drag, the title-bar buttons, the
// about box, bank selection and the error box.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "test_support.h"
#include "ui/layout.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

void sendMouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button,
               Qt::MouseButtons held) {
  QMouseEvent e(type, QPointF(w->mapFromGlobal(global)), QPointF(global), button, held,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

// Drags by `delta` starting at `from` (global) on `w` with `button`.
void drag(QWidget* w, QPoint from, QPoint delta, Qt::MouseButton button) {
  sendMouse(w, QEvent::MouseButtonPress, from, button, button);
  sendMouse(w, QEvent::MouseMove, from + delta / 2, Qt::NoButton, button);
  sendMouse(w, QEvent::MouseMove, from + delta, Qt::NoButton, button);
  sendMouse(w, QEvent::MouseButtonRelease, from + delta, button, Qt::NoButton);
}

// Chooses the drive box's entry `root` as a user does, with the keyboard.
void chooseDrive(DriveComboBox* box, const QString& root) {
  const int target = box->findData(root);
  ASSERT_GE(target, 0);
  box->setFocus();
  // Steps one entry at a time; a refused drive puts the box back at once.
  const int steps = target - box->currentIndex();
  for (int k = 0; k < std::abs(steps); ++k) QTest::keyClick(box, steps > 0 ? Qt::Key_Down : Qt::Key_Up);
}

}  // namespace

TEST(UiWindow, ControlsSitAtTheirPlaces) {
  TestWindow w;
  TForm1& f = *w.form;
  EXPECT_EQ(f.size(), QSize(795, 366));
  EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
  const std::pair<QWidget*, QRect> places[] = {
      {f.Shape1, {0, 0, 795, 20}},        {f.Label1, {20, 3, 146, 13}},
      {f.Image2, {3, 2, 16, 16}},         {f.aboutbt, {704, 3, 32, 14}},
      {f.minim, {741, 3, 16, 14}},        {f.Image3, {757, 3, 16, 14}},
      {f.ImgBtn21, {775, 3, 16, 14}},     {f.Image1, {0, 19, 794, 347}},
      {f.dir1, {24, 64, 129, 225}},       {f.DriveComboBox1, {24, 288, 129, 19}},
      {f.complete, {161, 58, 17, 17}},    {f.extrdrive, {161, 288, 17, 17}},
      {f.Gauge3, {18, 328, 141, 9}},      {f.file1, {208, 64, 129, 225}},
      {f.FilterComboBox1, {208, 288, 129, 21}}, {f.extract, {345, 58, 17, 17}},
      {f.Gauge2, {202, 328, 141, 9}},     {f.headl, {392, 64, 193, 17}},
      {f.wavlist, {392, 80, 193, 209}},   {f.test, {392, 80, 193, 209}},
      {f.into, {392, 288, 193, 21}},      {f.gauge1, {386, 328, 205, 9}},
      {f.wavextr, {593, 58, 17, 17}},     {f.destin, {640, 64, 129, 225}},
      {f.DriveComboBox2, {640, 288, 129, 19}},
  };
  for (const auto& [widget, rect] : places) EXPECT_EQ(widget->geometry(), rect) << widget->objectName().toStdString();
  EXPECT_EQ(f.palette().color(QPalette::Window), QColor(57, 57, 57));
  EXPECT_EQ(f.dir1->palette().color(QPalette::Base), QColor(149, 250, 255));
  EXPECT_EQ(f.file1->palette().color(QPalette::Base), QColor(140, 250, 255));
  EXPECT_EQ(f.headl->palette().color(QPalette::Base), QColor(28, 44, 46));
  QStringList items;
  for (int k = 0; k < f.into->count(); ++k) items << f.into->itemText(k);
  EXPECT_EQ(items, QStringList({"WAV  Mono", "WAV  Stereo", "SF2", "SFZ", "DecentSampler", "Bitwig multisample", "DLS",
                              "SF3"}));
}

TEST(UiWindow, WavlistLiesAboveTheLog) {
  TestWindow w;
  w.showAndActivate();
  w.form->wavlist->show();
  const QPoint inside = w.form->wavlist->geometry().center();
  EXPECT_EQ(w.form->childAt(inside)->parentWidget(), w.form->wavlist);
}

TEST(UiStartup, FirstStartWithoutSettingsOpensHomeInMonoAndWritesThat) {
  TestWindow w;
  w.showAndActivate();
  TForm1& f = *w.form;
  const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
  EXPECT_TRUE(f.startupDone());
  EXPECT_EQ(f.dir1->folder(), home);
  EXPECT_EQ(f.destin->folder(), home);
  EXPECT_EQ(f.into->currentText(), "WAV  Mono");
  EXPECT_EQ(f.state().format->id, FormatId::Mono);
  EXPECT_FALSE(f.wavlist->isVisible());
  EXPECT_TRUE(f.extrdrive->On());
  clickWidget(w.form->ImgBtn21);
  EXPECT_EQ(w.settingsBytes(), home.toStdString() + "\r\n" + home.toStdString() + "\r\n0\r\n");
}

TEST(UiStartup, RestoresFoldersAndStereoButKeepsSingleSelection) {
  TestWindow w;
  writeBank(w.banks + "/A.TTI", simpleBank(3));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n1\r\n");
  w.showAndActivate();
  TForm1& f = *w.form;
  EXPECT_EQ(f.dir1->folder(), q(w.banks));
  EXPECT_EQ(f.destin->folder(), q(w.out));
  EXPECT_EQ(f.file1->fileNames(), QStringList({"A.TTI"}));
  EXPECT_EQ(f.into->currentText(), "WAV  Stereo");
  EXPECT_EQ(f.state().format->settingsIndex, 1);
  EXPECT_FALSE(f.wavlist->multiSelect());
  EXPECT_EQ(f.headl->text(), "TTI files detected in source dir");
  EXPECT_TRUE(f.complete->On());
  EXPECT_EQ(f.state().picks.current, StereoPicks::kNoPick);
  EXPECT_EQ(f.state().picks.previous, StereoPicks::kNoPick);
}

TEST(UiStartup, BareLfSettingsRestoreTheFolders) {
  TestWindow w;
  w.writeSettings(w.banks + "\n" + w.out + "\n2\n");
  w.showAndActivate();
  EXPECT_EQ(w.form->dir1->folder(), q(w.banks));
  EXPECT_EQ(w.form->destin->folder(), q(w.out));
  EXPECT_EQ(w.form->into->currentText(), "SF2");
}

struct ChoiceCase {
  const char* line;
  int item;
};

class UiStartupChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(UiStartupChoice, LineThreeChoosesTheOutput) {
  TestWindow w;
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n" + GetParam().line + "\r\n");
  w.showAndActivate();
  EXPECT_EQ(w.form->into->currentIndex(), GetParam().item);
  EXPECT_EQ(w.form->state().format->settingsIndex, GetParam().item);
}

INSTANTIATE_TEST_SUITE_P(UiLine3, UiStartupChoice,
                         ::testing::Values(ChoiceCase{"8", -1}, ChoiceCase{"7", 7}, ChoiceCase{"-1", -1},
                                           ChoiceCase{"word", 0}, ChoiceCase{"257", 1},
                                           ChoiceCase{"", 0}, ChoiceCase{"2", 2}));

TEST(UiStartup, MissingFolderFallsBackToTheRoot) {
  TestWindow w;
  w.writeSettings(w.dir.file("gone") + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  EXPECT_EQ(w.form->dir1->folder(), "/");
  EXPECT_EQ(w.form->DriveComboBox1->drive(), "/");
  EXPECT_EQ(w.form->destin->folder(), q(w.out));
}

TEST(UiStartup, SettingsRoundTripAfterBrowsing) {
  std::string saved;
  {
    TestWindow w;
    fs::create_directories(w.banks + "/deeper");
    w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
    w.showAndActivate();
    doubleClickEntry(w.form->dir1, "deeper");
    w.form->into->setCurrentIndex(2);
    clickWidget(w.form->ImgBtn21);
    saved = w.settingsBytes();
    EXPECT_EQ(saved, w.banks + "/deeper\r\n" + w.out + "\r\n2\r\n");
  }
}

TEST(UiStartup, ReadsAndWritesSettingsInTheFolderItStartedIn) {
  TestWindow w;
  TForm1 fresh;  // no start folder given: the current folder at activation
  fresh.setDriveSource([] { return std::vector<DriveInfo>{{"root", "/"}}; });
  const QString before = QDir::currentPath();
  std::ofstream(w.start + "/vantrel.ini") << w.banks << "\r\n" << w.out << "\r\n0\r\n";
  ASSERT_TRUE(QDir::setCurrent(q(w.start)));
  fresh.FormActivate();
  ASSERT_TRUE(QDir::setCurrent(before));
  EXPECT_EQ(fresh.startFolder(), q(w.start));
  EXPECT_EQ(fresh.dir1->folder(), q(w.banks));
  // Browsing elsewhere does not move where the settings go.
  fresh.dir1->setFolder("/");
  fresh.ImgBtn21MouseUp();
  EXPECT_EQ(readFileBytes(w.start + "/vantrel.ini").size(), std::string("/\r\n" + w.out + "\r\n0\r\n").size());
  EXPECT_FALSE(fs::exists(before.toStdString() + "/vantrel.ini") && before != q(w.start));
}

TEST(UiStartup, AboutBoxDoesNotRepeatTheStartup) {
  TestWindow w;
  w.showAndActivate();
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n1\r\n");
  clickWidget(w.form->aboutbt);
  EXPECT_TRUE(w.about->isVisible());
  clickWidget(w.about->Image1);
  EXPECT_FALSE(w.about->isVisible());
  w.form->FormActivate();
  EXPECT_EQ(w.form->dir1->folder(), QString::fromLocal8Bit(qgetenv("HOME")));
  EXPECT_EQ(w.form->into->currentIndex(), 0);
}

TEST(UiStartup, AboutBoxBeforeTheFirstActivationSkipsTheSettings) {
  TestWindow w;
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n1\r\n");
  w.form->aboutbtClick();
  w.form->FormActivate();
  EXPECT_EQ(w.form->into->currentIndex(), -1);
  w.about->hide();
}

TEST(UiClose, ReleasedInsideEndsTheApplication) {
  TestWindow w;
  w.showAndActivate();
  QSignalSpy ending(w.form.get(), &TForm1::applicationEnding);
  clickWidget(w.form->ImgBtn21);
  EXPECT_EQ(ending.count(), 1);
}

TEST(UiClose, DraggedOffWritesSettingsButStaysOpen) {
  TestWindow w;
  w.showAndActivate();
  QSignalSpy ending(w.form.get(), &TForm1::applicationEnding);
  TImgBtn2* close = w.form->ImgBtn21;
  QTest::mouseMove(close, {8, 7});
  QTest::mousePress(close, Qt::LeftButton, {}, {8, 7});
  QTest::mouseMove(close, {-60, 40});
  QTest::mouseRelease(close, Qt::LeftButton, {}, {-60, 40});
  EXPECT_EQ(ending.count(), 0);
  EXPECT_TRUE(w.form->isVisible());
  const std::string home = qgetenv("HOME").toStdString();
  EXPECT_EQ(w.settingsBytes(), home + "\r\n" + home + "\r\n0\r\n");
}

// Points $XDG_CONFIG_HOME somewhere else for the life of the object.
class ConfigHome {
 public:
  explicit ConfigHome(const std::string& path) : saved_(qgetenv("XDG_CONFIG_HOME")) {
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(path));
  }
  ~ConfigHome() { qputenv("XDG_CONFIG_HOME", saved_); }

 private:
  QByteArray saved_;
};

TEST(UiClose, SettingsTheStartFolderCannotTakeGoToTheConfigFolderAndAreReadBack) {
  TestWindow w;
  ConfigHome home(w.dir.file("config"));
  fs::create_directory(w.start + "/vantrel.ini");  // something in the way
  w.showAndActivate();
  w.form->dir1->setFolder(q(w.banks));
  QSignalSpy ending(w.form.get(), &TForm1::applicationEnding);
  const QStringList boxes = collectMessageBoxes([&] { clickWidget(w.form->ImgBtn21); });
  EXPECT_TRUE(boxes.isEmpty()) << boxes.join(",").toStdString();
  EXPECT_EQ(ending.count(), 1);
  const auto saved = readFileBytes(w.dir.file("config/vantrel/vantrel.ini"));
  const std::string homeFolder = qgetenv("HOME").toStdString();
  EXPECT_EQ(std::string(saved.begin(), saved.end()), w.banks + "\r\n" + homeFolder + "\r\n0\r\n");

  TestWindow next;
  next.form->setStartFolder(q(w.start));
  next.showAndActivate();
  EXPECT_EQ(next.form->dir1->folder(), q(w.banks));
}

TEST(UiClose, SettingsThatCannotBeWrittenAnywhereShowTheErrorAndTheWindowStillCloses) {
  TestWindow w;
  writeBytes(w.dir.file("file"), {1});
  ConfigHome home(w.dir.file("file"));  // no folder can be made below a file
  fs::create_directory(w.start + "/vantrel.ini");
  w.showAndActivate();
  QSignalSpy ending(w.form.get(), &TForm1::applicationEnding);
  const QStringList boxes = collectMessageBoxes([&] { clickWidget(w.form->ImgBtn21); });
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].startsWith("settings not saved: ")) << boxes[0].toStdString();
  EXPECT_TRUE(boxes[0].endsWith(" (" + q(w.dir.file("file/vantrel/vantrel.ini")) + ")")) << boxes[0].toStdString();
  EXPECT_EQ(ending.count(), 1);
}

TEST(UiDriveBox, RefusesADriveThatCannotBeEntered) {
  TestWindow w;
  w.setDrives({{"root", "/"}, {"cdrom", q(w.dir.file("cdrom"))}});  // nothing mounted there
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  chooseDrive(w.form->DriveComboBox2, q(w.dir.file("cdrom")));
  EXPECT_EQ(w.form->DriveComboBox2->drive(), "/");
  EXPECT_EQ(w.form->destin->folder(), q(w.out));
  EXPECT_EQ(w.form->lastTargetDrive(), "/");
}

TEST(UiDriveBox, AcceptedDriveOpensItsRoot) {
  TestWindow w;
  fs::create_directories(w.dir.file("usb/BANKS"));
  writeBank(w.dir.file("usb/ONE.TTI"), simpleBank(1));
  w.setDrives({{"root", "/"}, {"usb", q(w.dir.file("usb"))}});
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  chooseDrive(w.form->DriveComboBox1, q(w.dir.file("usb")));
  EXPECT_EQ(w.form->dir1->folder(), q(w.dir.file("usb")));
  EXPECT_EQ(w.form->lastSourceDrive(), q(w.dir.file("usb")));
  EXPECT_EQ(w.form->file1->fileNames(), QStringList({"ONE.TTI"}));
}

TEST(UiDriveBox, FollowsTheFolderOntoAnotherVolume) {
  TestWindow w;
  fs::create_directories(w.dir.file("usb"));
  w.setDrives({{"root", "/"}, {"usb", q(w.dir.file("usb"))}});
  w.showAndActivate();
  w.form->destin->setFolder(q(w.dir.file("usb")));
  EXPECT_EQ(w.form->DriveComboBox2->drive(), q(w.dir.file("usb")));
  EXPECT_EQ(w.form->lastTargetDrive(), q(w.dir.file("usb")));
}

TEST(UiDrag, TitleStripMovesTheWindowByThePointersDistance) {
  TestWindow w;
  w.showAndActivate();
  const QPoint start = w.form->pos();
  const QPoint from = w.form->Shape1->mapToGlobal(QPoint(300, 10));
  drag(w.form->Shape1, from, {37, -21}, Qt::LeftButton);
  EXPECT_EQ(w.form->pos(), start + QPoint(37, -21));
  EXPECT_FALSE(w.form->dragging());
}

TEST(UiDrag, TitleTextAndBackgroundDragWithAnyButton) {
  TestWindow w;
  w.showAndActivate();
  QPoint expected = w.form->pos();
  drag(w.form->Label1, w.form->Label1->mapToGlobal(QPoint(5, 5)), {-12, 8}, Qt::RightButton);
  expected += QPoint(-12, 8);
  EXPECT_EQ(w.form->pos(), expected);
  drag(w.form->Image1, w.form->Image1->mapToGlobal(QPoint(700, 300)), {5, 30}, Qt::MiddleButton);
  expected += QPoint(5, 30);
  EXPECT_EQ(w.form->pos(), expected);
}

TEST(UiDrag, WorksWithNegativeScreenCoordinates) {
  TestWindow w;
  w.showAndActivate();
  const QPoint start = w.form->pos();
  // A monitor left of and above the primary one.
  drag(w.form->Shape1, QPoint(-900, -400), {-25, -7}, Qt::LeftButton);
  EXPECT_EQ(w.form->pos(), start + QPoint(-25, -7));
}

TEST(UiDrag, MovesOnlyWhileAButtonIsDown) {
  TestWindow w;
  w.showAndActivate();
  const QPoint start = w.form->pos();
  sendMouse(w.form->Shape1, QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::NoButton);
  sendMouse(w.form->Shape1, QEvent::MouseMove, QPoint(150, 100), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(w.form->pos(), start);
}

TEST(UiMinimise, PressDraggedOffDoesNotMinimise) {
  TestWindow w;
  w.showAndActivate();
  QTest::mouseMove(w.form->minim, {8, 7});
  QTest::mousePress(w.form->minim, Qt::LeftButton, {}, {8, 7});
  QTest::mouseMove(w.form->minim, {8, 60});
  QTest::mouseRelease(w.form->minim, Qt::LeftButton, {}, {8, 60});
  EXPECT_FALSE(w.form->isMinimized());
}

TEST(UiMinimise, ClickMinimises) {
  TestWindow w;
  w.showAndActivate();
  clickWidget(w.form->minim);
  EXPECT_TRUE(w.form->windowState() & Qt::WindowMinimized);
}

TEST(UiAbout, ShowsOnTopAndHidesOnAClick) {
  TestWindow w;
  w.showAndActivate();
  EXPECT_FALSE(w.about->isVisible());
  clickWidget(w.form->aboutbt);
  EXPECT_TRUE(w.about->isVisible());
  EXPECT_TRUE(w.about->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(w.about->size(), QSize(400, 250));
  EXPECT_TRUE(w.about->windowTitle().startsWith("About Vantrel "));
  clickWidget(w.about->Image1);
  EXPECT_FALSE(w.about->isVisible());
}

TEST(UiLook, DeactivationAndActivationSwitchTheTitleColours) {
  TestWindow w;
  w.showAndActivate();
  const QColor active = w.form->Shape1->fillColour();
  w.form->DeactivateLook();
  EXPECT_NE(w.form->Shape1->fillColour(), active);
  w.form->ActivateLook();
  EXPECT_EQ(w.form->Shape1->fillColour(), active);
}

TEST(UiLook, ActivationRereadsTheLists) {
  TestWindow w;
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  writeBank(w.banks + "/NEW.TTI", simpleBank(1));
  fs::create_directories(w.out + "/made");
  w.form->ActivateLook();
  EXPECT_EQ(w.form->file1->fileNames(), QStringList({"NEW.TTI"}));
  EXPECT_EQ(w.form->destin->item(w.form->destin->count() - 1)->text(), "made");
}

TEST(UiBank, ClickingABankFillsStatusAndSampleList) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(12));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  clickEntry(w.form->file1, "KIT.TTI");
  EXPECT_EQ(w.form->headl->text(), "12 Samples found");
  ASSERT_EQ(w.form->wavlist->count(), 12);
  EXPECT_EQ(w.form->wavlist->item(0)->text(), "SAMPLE1.WAV");
  EXPECT_EQ(w.form->wavlist->item(11)->text(), "SAMPLE12.WAV");
  EXPECT_TRUE(w.form->wavlist->isVisible());
  EXPECT_TRUE(w.form->extract->On());
  EXPECT_FALSE(w.form->wavextr->On());
  EXPECT_EQ(w.form->state().shown.ttiPath, w.banks + "/KIT.TTI");
}

TEST(UiBank, ClickingAnotherFileSaysNoTtiFile) {
  TestWindow w;
  std::ofstream(w.banks + "/notes.txt") << "x";
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  w.form->FilterComboBox1->setCurrentIndex(1);
  clickEntry(w.form->file1, "notes.txt");
  EXPECT_EQ(w.form->headl->text(), "No TTI file selected");
  EXPECT_FALSE(w.form->wavlist->isVisible());
  EXPECT_FALSE(w.form->extract->On());
  EXPECT_TRUE(w.form->state().shown.ttiPath.empty());
}

TEST(UiBank, UnreadableBankShowsTheErrorBoxAndTheWindowCarriesOn) {
  TestWindow w;
  auto bytes = buildBank(simpleBank(4));
  bytes.resize(600);  // ends inside the directory
  writeBytes(w.banks + "/BROKEN.TTI", bytes);
  writeBank(w.banks + "/GOOD.TTI", simpleBank(2));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  const QStringList boxes = collectMessageBoxes([&] { clickEntry(w.form->file1, "BROKEN.TTI"); });
  EXPECT_EQ(boxes, QStringList({"Read beyond end of file\n" + q(w.banks + "/BROKEN.TTI")}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  clickEntry(w.form->file1, "GOOD.TTI");
  EXPECT_EQ(w.form->headl->text(), "2 Samples found");
}

TEST(UiBank, DoubleClickOnASourceFolderChecksItForBanks) {
  TestWindow w;
  fs::create_directories(w.banks + "/empty");
  fs::create_directories(w.banks + "/full");
  writeBank(w.banks + "/full/X.tti", simpleBank(1));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  doubleClickEntry(w.form->dir1, "full");
  EXPECT_EQ(w.form->dir1->folder(), q(w.banks + "/full"));
  EXPECT_EQ(w.form->file1->fileNames(), QStringList({"X.tti"}));
  EXPECT_EQ(w.form->headl->text(), "TTI files detected in source dir");
  EXPECT_TRUE(w.form->complete->On());
  doubleClickRow(w.form->dir1, w.form->dir1->selectedIndex() - 1);
  doubleClickEntry(w.form->dir1, "empty");
  EXPECT_EQ(w.form->headl->text(), "No TTI files found in source dir");
  EXPECT_FALSE(w.form->complete->On());
  EXPECT_FALSE(w.form->extract->On());
}

TEST(UiBank, OpeningASourceFolderClearsSamplesAndLog) {
  TestWindow w;
  fs::create_directories(w.banks + "/sub");
  writeBank(w.banks + "/A.TTI", simpleBank(3));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  clickEntry(w.form->file1, "A.TTI");
  w.form->test->appendLine("old");
  doubleClickEntry(w.form->dir1, "sub");
  EXPECT_EQ(w.form->wavlist->count(), 0);
  EXPECT_TRUE(w.form->test->lines().isEmpty());
  EXPECT_FALSE(w.form->wavextr->On());
}

TEST(UiInto, StereoAllowsTwoSelectionsOthersOne) {
  TestWindow w;
  w.showAndActivate();
  w.form->into->setFocus();
  EXPECT_EQ(w.form->into->currentText(), "WAV  Mono");
  EXPECT_FALSE(w.form->wavlist->multiSelect());
  QTest::keyClick(w.form->into, Qt::Key_Down);  // WAV  Stereo
  EXPECT_TRUE(w.form->wavlist->multiSelect());
  EXPECT_EQ(w.form->state().format->settingsIndex, 1);
  QTest::keyClick(w.form->into, Qt::Key_Down);  // SF2
  EXPECT_FALSE(w.form->wavlist->multiSelect());
  EXPECT_EQ(w.form->state().format->settingsIndex, 2);
}

// `vantrel PATH`: where the window starts for each kind of path.
TEST(UiStartPath, FolderBankAndMissingPath) {
  struct Case {
    const char* name;
    std::string (*path)(const TestWindow&);
    bool opens;
    const char* sourceBelowBanks;  // the source folder relative to w.banks
    const char* highlighted;
  };
  const Case cases[] = {
      {"folder", [](const TestWindow& w) { return w.banks + "/SUB"; }, true, "/SUB", ""},
      {"bank", [](const TestWindow& w) { return w.banks + "/SUB/KIT.TTI"; }, true, "/SUB", "KIT.TTI"},
      {"missing", [](const TestWindow& w) { return w.banks + "/NONE.TTI"; }, false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestWindow w;
    fs::create_directories(w.banks + "/SUB");
    writeBank(w.banks + "/SUB/KIT.TTI", simpleBank(3));
    writeBank(w.banks + "/SUB/OTHER.TTI", simpleBank(1));
    const std::string failure = w.form->setStartPath(c.path(w));
    EXPECT_EQ(failure.empty(), c.opens) << failure;
    if (!c.opens) continue;
    w.showAndActivate();
    EXPECT_EQ(w.form->dir1->folder(), q(w.banks + c.sourceBelowBanks));
    const QListWidgetItem* current = w.form->file1->currentItem();
    EXPECT_EQ(current ? current->text() : QString(), QString(c.highlighted));
    EXPECT_EQ(w.form->wavlist->count(), *c.highlighted ? 3 : 0);
  }
}

// The window grows from its lower right corner: the lists take the room
// (the sample list half the extra width, the others a sixth each), the
// title strip's buttons keep to the right edge, and the default size puts
// every control back.
TEST(UiWindow, ListsGrowWithTheWindowAndTheDefaultSizeIsTheSmallest) {
  TestWindow w;
  w.showAndActivate();
  TForm1& f = *w.form;
  EXPECT_EQ(f.minimumSize(), QSize(795, 366));
  f.resize(995, 566);
  for (QWidget* list : {static_cast<QWidget*>(f.dir1), static_cast<QWidget*>(f.file1),
                        static_cast<QWidget*>(f.wavlist), static_cast<QWidget*>(f.destin)}) {
    EXPECT_EQ(list->width(), list == f.wavlist ? 294 : 162) << list->objectName().toStdString();
    EXPECT_EQ(list->height(), list == f.wavlist ? 409 : 425) << list->objectName().toStdString();
  }
  EXPECT_EQ(f.ImgBtn21->geometry(), QRect(975, 3, 16, 14));
  EXPECT_EQ(f.into->geometry().bottom(), 288 + 200 + 20);
  EXPECT_EQ(f.Image1->pixmap().size(), QSize(994, 547));
  f.resize(795, 366);
  EXPECT_EQ(f.dir1->geometry(), QRect(24, 64, 129, 225));
  EXPECT_EQ(f.ImgBtn21->geometry(), QRect(775, 3, 16, 14));
}

// --help and --version need no display and print to standard output.
TEST(UiProgram, HelpAndVersionWithoutADisplay) {
  const std::string window = std::string(VANTREL_BUILD_DIR) + "/vantrel";
  for (const char* option : {"--version", "--help"}) {
    SCOPED_TRACE(option);
    const auto r = runCommand({"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                               window, option});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    if (std::string(option) == "--version") EXPECT_EQ(r.out, std::string("vantrel ") + VANTREL_VERSION + "\n");
    else EXPECT_NE(r.out.find("Usage: vantrel [OPTIONS] [PATH]"), std::string::npos) << r.out;
  }
}

// Without a display the program says so and ends with 1, whatever it was
// given, instead of the toolkit's abort.
TEST(UiProgram, WithoutADisplayEndsWithOne) {
  const std::string window = std::string(VANTREL_BUILD_DIR) + "/vantrel";
  const std::vector<std::vector<std::string>> environments = {
      {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"},
      {"-u", "WAYLAND_DISPLAY", "DISPLAY=:97", "QT_QPA_PLATFORM=xcb"},  // no server there
  };
  for (const auto& environment : environments) {
    for (const char* path : {"/no/such/path", "/"}) {
      std::vector<std::string> command = {"/usr/bin/env"};
      command.insert(command.end(), environment.begin(), environment.end());
      command.insert(command.end(), {window, path});
      const auto r = runCommand(command);
      EXPECT_EQ(r.exitCode, 1) << environment[1] << " " << path << ": " << r.err;
      EXPECT_NE(r.err.find("vantrel: "), std::string::npos) << r.err;
    }
  }
}

// Names that are not UTF-8 (Latin-1 bytes from old media) are listed by
// their bytes taken as Latin-1, and open, convert and are saved exactly.
TEST(UiNames, Latin1NamesAreListedOpenedConvertedAndSaved) {
  TestWindow w;
  const std::string folder = w.banks + "/M\xDCSIK";  // "MÜSIK" with Ü as one byte
  fs::create_directories(folder);
  writeBank(folder + "/CAF\xC9.TTI", simpleBank(2));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  TForm1& f = *w.form;
  QStringList folders;
  for (int k = 0; k < f.dir1->count(); ++k) folders << f.dir1->item(k)->text();
  ASSERT_TRUE(folders.contains(QString::fromUtf8("MÜSIK"))) << folders.join("|").toStdString();
  doubleClickEntry(f.dir1, QString::fromUtf8("MÜSIK"));
  EXPECT_EQ(f.file1->fileNames(), QStringList({QString::fromUtf8("CAFÉ.TTI")}));
  clickEntry(f.file1, QString::fromUtf8("CAFÉ.TTI"));
  EXPECT_EQ(f.wavlist->count(), 2);
  clickWidget(f.extract);
  EXPECT_TRUE(fs::exists(w.out + "/WAV_MONO_CAF\xC9.TTI/SAMPLE1.WAV"));
  clickWidget(f.ImgBtn21);
  EXPECT_EQ(w.settingsBytes(), folder + "\r\n" + w.out + "\r\n0\r\n");
}
