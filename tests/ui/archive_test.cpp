// SPDX-License-Identifier: MIT
// An image in the source folder: listed with the folders under a glyph of
// its own, opened like a folder (by a double click or by dropping it on
// the window), its banks listed, loaded and converted as a folder's.

#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <filesystem>

#include "test_support.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QStringList entries(const QListWidget* list, int from) {
  QStringList out;
  for (int k = from; k < list->count(); ++k) out << list->item(k)->text();
  return out;
}

}  // namespace

TEST(UiImage, AnImageOpensLikeAFolderAndConvertsItsTree) {
  TestWindow w;
  const std::string tree = w.dir.file("tree");
  fs::create_directories(tree + "/Sub");
  writeBank(tree + "/TOP.TTI", simpleBank(2));
  writeBank(tree + "/Sub/DEEP.TTI", simpleBank(3));
  const std::string image = w.banks + "/disk.iso";
  ASSERT_EQ(runCommand({"/usr/bin/xorriso", "-as", "mkisofs", "-quiet", "-R", "-J", "-o", image, tree}).exitCode, 0);
  fs::create_directories(w.banks + "/Folder");
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  FolderList* dir1 = w.form->dir1;

  // Listed after the folders, with a glyph that is no folder's.
  const int first = dir1->selectedIndex() + 1;
  ASSERT_EQ(entries(dir1, first), QStringList({"Folder", "disk.iso"}));
  EXPECT_NE(dir1->item(first + 1)->icon().pixmap(14, 11).toImage(),
            dir1->item(first)->icon().pixmap(14, 11).toImage());

  doubleClickEntry(dir1, "disk.iso");
  EXPECT_EQ(dir1->folder(), q(image + "//"));
  EXPECT_EQ(entries(dir1, dir1->selectedIndex() + 1), QStringList({"Sub"}));
  EXPECT_EQ(w.form->file1->fileNames(), QStringList({"TOP.TTI"}));
  EXPECT_TRUE(w.form->complete->On());

  // A bank inside loads as any other.
  clickEntry(w.form->file1, "TOP.TTI");
  EXPECT_EQ(w.form->wavlist->count(), 2);
  EXPECT_EQ(w.form->headl->text(), "2 Samples found");

  // The folder run mirrors the image's tree.
  clickWidget(w.form->complete);
  const std::string run = w.out + "/disk.iso_WAV_M";
  EXPECT_EQ(folderEntries(run + "/WAV_MONO_TOP.TTI"), QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV"}));
  EXPECT_EQ(folderEntries(run + "/Sub/WAV_MONO_DEEP.TTI"),
            QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV", "SAMPLE3.WAV"}));
  EXPECT_EQ(w.form->headl->text(), "2 TTI files extracted");

  doubleClickEntry(dir1, "Sub");
  EXPECT_EQ(dir1->folder(), q(image + "//Sub"));
  EXPECT_EQ(w.form->file1->fileNames(), QStringList({"DEEP.TTI"}));

  // Back in the folder, the image dropped on the window opens.
  doubleClickEntry(dir1, q(fs::path(w.banks).filename().string()));
  ASSERT_EQ(dir1->folder(), q(w.banks));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(q(image))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.form.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.form.get(), &drop);
  EXPECT_EQ(dir1->folder(), q(image + "//"));
  EXPECT_EQ(w.form->file1->fileNames(), QStringList({"TOP.TTI"}));
}
