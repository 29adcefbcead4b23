// SPDX-License-Identifier: MIT
// The window's own controls: gauges, the folder tree list, the file list
// with its mask box, the drive box and the sample list.

#include <gtest/gtest.h>

#include <QTest>

#include <filesystem>
#include <fstream>

#include "test_support.h"
#include "ui/controls.h"
#include "ui/drive_combo.h"
#include "ui/folder_list.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

void touch(const std::string& path) { std::ofstream(path) << "x"; }

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TEST(UiGauge, ShowsWholePercent) {
  GaugeBar g;
  g.setRange(0, 3);
  g.setProgress(1);
  EXPECT_EQ(g.text(), "33%");
  g.setProgress(3);
  EXPECT_EQ(g.text(), "100%");
}

TEST(UiGauge, KeepsProgressOutsideTheRangeAtTheNearerBound) {
  GaugeBar g;
  g.setRange(0, 2);
  g.setProgress(14);
  EXPECT_EQ(g.progress(), 2);
  EXPECT_EQ(g.text(), "100%");
  g.setProgress(-5);
  EXPECT_EQ(g.progress(), 0);
  EXPECT_EQ(g.text(), "0%");
}

TEST(UiGauge, NarrowingTheRangePullsProgressIn) {
  GaugeBar g;
  g.setProgress(80);
  g.setRange(0, 10);
  EXPECT_EQ(g.progress(), 10);
}

TEST(UiGauge, EmptyRangeShowsZero) {
  GaugeBar g;
  g.setRange(0, 0);
  g.setProgress(1);
  EXPECT_EQ(g.text(), "0%");
}

TEST(UiFolderList, ListsRootEachFolderDownThenSubfolders) {
  TempDir dir;
  fs::create_directories(dir.file("a/b/z"));
  fs::create_directories(dir.file("a/b/c"));
  fs::create_directories(dir.file("a/b/.hidden"));
  touch(dir.file("a/b/file.tti"));
  FolderList list;
  list.setFolder(q(dir.file("a/b")));
  const QStringList parts = q(dir.file("a/b")).split('/', Qt::SkipEmptyParts);
  ASSERT_EQ(list.count(), parts.size() + 1 + 2);
  EXPECT_EQ(list.item(0)->text(), "/");
  EXPECT_EQ(list.selectedIndex(), parts.size());
  EXPECT_EQ(list.itemPath(list.selectedIndex()), q(dir.file("a/b")));
  EXPECT_EQ(list.itemPath(list.selectedIndex() - 1), q(dir.file("a")));
  EXPECT_EQ(list.itemPath(0), "/");
  EXPECT_EQ(list.item(list.count() - 2)->text(), "c");
  EXPECT_EQ(list.item(list.count() - 1)->text(), "z");
}

TEST(UiFolderList, RootShowsOneItemIndexZero) {
  FolderList list;
  list.setFolder("/");
  EXPECT_EQ(list.selectedIndex(), 0);
  EXPECT_EQ(list.folder(), "/");
}

TEST(UiFolderList, DoubleClickOpensTheFolder) {
  TempDir dir;
  fs::create_directories(dir.file("sub"));
  FolderList list;
  list.resize(200, 400);
  list.setFolder(q(dir.str()));
  int changes = 0;
  QObject::connect(&list, &FolderList::changed, [&] { ++changes; });
  list.show();
  doubleClickRow(&list, list.count() - 1);
  EXPECT_EQ(list.folder(), q(dir.file("sub")));
  EXPECT_EQ(changes, 1);
  // And back up through the item above it.
  doubleClickRow(&list, list.selectedIndex() - 1);
  EXPECT_EQ(list.folder(), q(dir.str()));
}

TEST(UiFolderList, RereadShowsNewFoldersAndLeavesAVanishedOne) {
  TempDir dir;
  fs::create_directories(dir.file("gone"));
  FolderList list;
  list.setFolder(q(dir.file("gone")));
  fs::remove(dir.file("gone"));
  fs::create_directories(dir.file("new"));
  list.reread();
  EXPECT_EQ(list.folder(), q(dir.str()));
  EXPECT_EQ(list.item(list.count() - 1)->text(), "new");
}

TEST(UiFileList, MaskIgnoresCase) {
  TempDir dir;
  for (const char* n : {"A.TTI", "b.tti", "c.Tti", "d.wav", "e", "f.ttix"}) touch(dir.file(n));
  fs::create_directories(dir.file("folder.tti"));
  FileList list;
  list.setFolder(q(dir.str()));
  EXPECT_EQ(list.fileNames(), QStringList({"A.TTI", "b.tti", "c.Tti"}));
  list.setMask("*.*");
  EXPECT_EQ(list.fileNames(), QStringList({"A.TTI", "b.tti", "c.Tti", "d.wav", "e", "f.ttix"}));
}

TEST(UiFileList, FilterBoxSetsTheMask) {
  TempDir dir;
  touch(dir.file("a.tti"));
  touch(dir.file("b.wav"));
  FileList list;
  list.setFolder(q(dir.str()));
  FilterComboBox filter;
  filter.setFilter("TTI files|*.tti|All files (*.*)|*.*");
  filter.setFileList(&list);
  ASSERT_EQ(filter.count(), 2);
  EXPECT_EQ(filter.itemText(0), "TTI files");
  EXPECT_EQ(filter.itemText(1), "All files (*.*)");
  EXPECT_EQ(list.fileNames(), QStringList({"a.tti"}));
  filter.setCurrentIndex(1);
  EXPECT_EQ(list.fileNames(), QStringList({"a.tti", "b.wav"}));
}

TEST(UiFileList, KeyboardMovingTheCurrentFileCountsAsAClick) {
  TempDir dir;
  touch(dir.file("a.tti"));
  touch(dir.file("b.tti"));
  FileList list;
  list.setFolder(q(dir.str()));
  list.setCurrentRow(0);
  int clicks = 0;
  QObject::connect(&list, &FileList::fileClicked, [&] { ++clicks; });
  QTest::keyClick(&list, Qt::Key_Down);
  EXPECT_EQ(list.selectedPath(), q(dir.file("b.tti")));
  EXPECT_EQ(clicks, 1);
  QTest::keyClick(&list, Qt::Key_Down);  // already the last file
  EXPECT_EQ(clicks, 1);
}

TEST(UiFileList, RereadKeepsTheCurrentFile) {
  TempDir dir;
  touch(dir.file("a.tti"));
  touch(dir.file("c.tti"));
  FileList list;
  list.setFolder(q(dir.str()));
  list.selectFile("c.tti");
  touch(dir.file("b.tti"));
  list.reread();
  EXPECT_EQ(list.fileNames(), QStringList({"a.tti", "b.tti", "c.tti"}));
  EXPECT_EQ(list.selectedPath(), q(dir.file("c.tti")));
}

TEST(UiDriveBox, FindsTheDriveThatHoldsAFolder) {
  DriveComboBox box;
  box.setDriveSource([] {
    return std::vector<DriveInfo>{{"root", "/"}, {"usb", "/media/usb"}, {"usb2", "/media/usb2"}};
  });
  EXPECT_EQ(box.driveOf("/media/usb/banks"), "/media/usb");
  EXPECT_EQ(box.driveOf("/media/usb"), "/media/usb");
  EXPECT_EQ(box.driveOf("/media/usb2/x"), "/media/usb2");
  EXPECT_EQ(box.driveOf("/media/usbx"), "/");
  EXPECT_EQ(box.driveOf("/home"), "/");
}

TEST(UiDriveBox, ChoosingInCodeDoesNotNotify) {
  DriveComboBox box;
  box.setDriveSource([] { return std::vector<DriveInfo>{{"root", "/"}, {"usb", "/media/usb"}}; });
  int notes = 0;
  QObject::connect(&box, &DriveComboBox::driveChanged, [&] { ++notes; });
  EXPECT_TRUE(box.setDrive("/media/usb"));
  EXPECT_FALSE(box.setDrive("/media/usb"));
  EXPECT_EQ(box.driveName(), "usb");
  EXPECT_EQ(notes, 0);
}

TEST(UiDriveBox, UsersChoiceNotifiesOnlyWhenTheDriveDiffers) {
  DriveComboBox box;
  box.setDriveSource([] { return std::vector<DriveInfo>{{"root", "/"}, {"usb", "/media/usb"}}; });
  box.setDrive("/");
  int notes = 0;
  QObject::connect(&box, &DriveComboBox::driveChanged, [&] { ++notes; });
  QTest::keyClick(&box, Qt::Key_Down);
  EXPECT_EQ(box.drive(), "/media/usb");
  EXPECT_EQ(notes, 1);
  QTest::keyClick(&box, Qt::Key_Down);  // already the last: nothing chosen anew
  EXPECT_EQ(notes, 1);
}

TEST(UiDriveBox, OpeningTheListShowsNewlyMountedDrives) {
  DriveComboBox box;
  std::vector<DriveInfo> drives{{"root", "/"}};
  box.setDriveSource([&] { return drives; });
  box.setDrive("/");
  drives.push_back({"usb", "/media/usb"});
  EXPECT_EQ(box.count(), 1);
  box.showPopup();
  EXPECT_EQ(box.count(), 2);
  EXPECT_EQ(box.drive(), "/");
  box.hidePopup();
}

TEST(UiSampleList, MultipleSelectionLeavesSelectingToTheOwner) {
  SampleList list;
  list.resize(200, 300);
  list.addItems({"a", "b", "c"});
  list.show();
  list.setMultiSelect(true);
  int downs = 0;
  QObject::connect(&list, &SampleList::mouseDown, [&] { ++downs; });
  clickRow(&list, 1);
  EXPECT_EQ(list.currentRow(), 1);
  EXPECT_TRUE(list.selectedRows().isEmpty());
  EXPECT_EQ(downs, 1);
}

TEST(UiSampleList, SingleSelectionSelectsThePressedEntry) {
  SampleList list;
  list.resize(200, 300);
  list.addItems({"a", "b", "c"});
  list.show();
  clickRow(&list, 2);
  EXPECT_EQ(list.selectedRows(), QList<int>({2}));
}

TEST(UiSampleList, DoubleClickIsTwoPressesThenTheDoubleClick) {
  SampleList list;
  list.resize(200, 300);
  list.addItems({"a", "b"});
  list.show();
  QStringList events;
  QObject::connect(&list, &SampleList::mouseDown, [&] { events << "down"; });
  QObject::connect(&list, &SampleList::doubleClicked, [&] { events << "double"; });
  doubleClickRow(&list, 1);
  EXPECT_EQ(events, QStringList({"down", "down", "double"}));
}

TEST(UiTextBox, IsReadOnlyAndKeepsLines) {
  TextBox log(TextBox::Kind::Log);
  EXPECT_TRUE(log.isReadOnly());
  log.appendLine("one");
  log.appendLine(" ");
  EXPECT_EQ(log.lines(), QStringList({"one", " "}));
  log.clearLines();
  EXPECT_TRUE(log.lines().isEmpty());
}
