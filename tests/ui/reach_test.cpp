// SPDX-License-Identifier: MIT
// Everything within reach: every conversion starts from the keyboard, Tab
// visits only what can be used, every text can be read in full, and the
// about box closes on Esc and gives the window back.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

#include <filesystem>

#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

void open(TestWindow& w, int mode) {
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n" + std::to_string(mode) + "\r\n");
  w.showAndActivate();
}

// Presses `key` on `widget` as the focused control, then waits for the job
// it may have started.
void press(QWidget* widget, Qt::Key key) {
  widget->setFocus();
  QTest::keyClick(widget, key);
  waitForJob(widget);
}

// A bank whose samples 0 and 1 form a stereo pair.
BankDesc pairBank() {
  BankDesc bank = simpleBank(3, 64);
  bank.samples[0].name = "PAD L.WAV";
  bank.samples[1].name = "PAD R.WAV";
  return bank;
}

}  // namespace

TEST(UiKeyboard, EveryConversionStartsFromTheKeyboard) {
  struct Case {
    const char* what;
    int mode;
    std::function<void(TForm1&)> keys;
    std::string made;  // below the target folder
  };
  const std::vector<Case> cases = {
      {"Space on the folder button", 0, [](TForm1& f) { press(f.complete, Qt::Key_Space); },
       "banks_WAV_M/WAV_MONO_KIT.TTI/PAD L.WAV"},
      {"Enter on the drive button", 2, [](TForm1& f) { press(f.extrdrive, Qt::Key_Enter); },
       "Drive ROOT SF2"},
      {"Enter in the file list", 2, [](TForm1& f) {
         press(f.file1, Qt::Key_Down);  // the first bank, as a click
         press(f.file1, Qt::Key_Return);
       }, "KIT.sf2"},
      {"Space on the file button", 0, [](TForm1& f) {
         press(f.file1, Qt::Key_Down);
         press(f.extract, Qt::Key_Space);
       }, "WAV_MONO_KIT.TTI/PAD L.WAV"},
      {"Enter in the sample list", 0, [](TForm1& f) {
         press(f.file1, Qt::Key_Down);
         press(f.wavlist, Qt::Key_Down);
         press(f.wavlist, Qt::Key_Return);
       }, "WAV_MONO_KIT.TTI/PAD R.WAV"},
      {"Enter on two samples in stereo mode", 1, [](TForm1& f) {
         f.into->setFocus();
         QTest::keyClick(f.into, Qt::Key_Down);  // the user's choice: two picks
         QTest::keyClick(f.into, Qt::Key_Up);
         press(f.file1, Qt::Key_Down);
         f.wavlist->setCurrentRow(0);
         press(f.wavlist, Qt::Key_Return);
         press(f.wavlist, Qt::Key_Down);
         press(f.wavlist, Qt::Key_Return);
       }, "WAV_STEREO_KIT.TTI/PAD L__PAD R.WAV"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestWindow w;
    writeBank(w.banks + "/KIT.TTI", pairBank());
    // The source folder is a drive of its own: a drive run walks only it.
    w.setDrives({{"root", "/"}, {"banks", q(w.banks)}});
    open(w, c.mode);
    ASSERT_EQ(w.form->into->currentIndex(), c.mode);
    c.keys(*w.form);
    EXPECT_TRUE(fs::exists(w.out + "/" + c.made)) << w.form->headl->text().toStdString();
  }
}

TEST(UiKeyboard, TabVisitsOnlyWhatIsShownAndCanBeUsed) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(2));
  open(w, 0);
  // Tabbing into the file list loads its bank and highlights it.
  w.form->FilterComboBox1->setFocus();
  QTest::keyClick(w.form->FilterComboBox1, Qt::Key_Backtab);
  waitForJob(w.form.get());
  ASSERT_EQ(QApplication::focusWidget(), w.form->file1);
  ASSERT_NE(w.form->file1->currentItem(), nullptr);
  EXPECT_TRUE(w.form->file1->currentItem()->isSelected());
  EXPECT_EQ(w.form->state().shown.ttiPath, w.banks + "/KIT.TTI");
  ASSERT_TRUE(w.form->wavlist->isVisible());
  w.form->dir1->setFocus();
  QList<QWidget*> visited;
  for (int k = 0; k < 40; ++k) {
    QWidget* now = QApplication::focusWidget();
    ASSERT_NE(now, nullptr);
    if (visited.contains(now)) break;
    visited << now;
    QTest::keyClick(now, Qt::Key_Tab);
  }
  for (QWidget* v : visited) {
    EXPECT_TRUE(v->isVisible()) << v->objectName().toStdString();
    // A button that is off has nothing to do.
    if (auto* button = qobject_cast<TImgBtn*>(v)) {
      EXPECT_TRUE(button->On()) << v->objectName().toStdString();
    }
    EXPECT_NE(v, w.form->test) << "the log under the sample list";
    EXPECT_NE(v, w.form->headl);
  }
  TForm1& f = *w.form;
  EXPECT_FALSE(f.wavextr->On());  // no sample chosen yet
  for (QWidget* wanted : std::initializer_list<QWidget*>{f.dir1, f.complete, f.extrdrive, f.file1, f.extract,
                                                         f.wavlist, f.into, f.destin, f.aboutbt,
                                                         f.minim, f.Image3, f.ImgBtn21})
    EXPECT_TRUE(visited.contains(wanted)) << wanted->objectName().toStdString();
}

TEST(UiReadable, EveryStatusTextFitsOrShowsWholeAsItsTooltip) {
  TestWindow w;
  w.showAndActivate();
  TextBox* headl = w.form->headl;
  const std::string longName(60, 'N');
  const std::vector<std::string> texts = {
      "No TTI file selected", "No TTI files found in source dir", "TTI files detected in source dir",
      "4096 Samples found", "processing TTI files", "processing finished", "4096 TTI files extracted",
      "You have to select 2 WAV files", "Building stereo WAV file possible  -> extract",
      "This is no stereo file - select two other files", "only 1 sample - stereo extraction impossible",
      "No sample selected", "Already extracted", "cancelled", "4095",
      "ORGAN C3.WAV already extracted", "PAD L__PAD R.WAV extracted", "processing STRINGS.TTI",
      longName + ".WAV already extracted", "processing " + longName + ".TTI"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    w.form->status(text);
    const QString whole = q(text);
    EXPECT_EQ(headl->text(), whole);
    // What is drawn fits the line, in a font no smaller than 9 pixels.
    EXPECT_LE(QFontMetrics(headl->shownFont()).horizontalAdvance(headl->shownText()), headl->textRoom());
    EXPECT_GE(headl->shownFont().pixelSize(), 9);
    // And it is the whole text, or the whole text is its tooltip.
    EXPECT_TRUE(headl->shownText() == whole || headl->toolTip() == whole);
    if (headl->shownText() == whole) {
      EXPECT_TRUE(headl->toolTip().isEmpty());
    }
  }
}

TEST(UiReadable, CutEntriesAndDrivesShowTheirWholeTextOnHover) {
  TestWindow w;
  const QString longFolder = QStringLiteral("WAV_STEREO_A BANK WITH A LONG NAME.TTI");
  fs::create_directories(w.out + "/" + longFolder.toStdString());
  fs::create_directories(w.out + "/SHORT");
  const QString longDrive = q(w.dir.file("a volume with a rather long name"));
  fs::create_directories(longDrive.toStdString());
  w.setDrives({{"root", "/"}, {"a volume with a rather long name", longDrive}});
  open(w, 0);
  FolderList* destin = w.form->destin;
  // A tooltip fades out after it is hidden: the entry without one first.
  for (const QString& name : {QStringLiteral("SHORT"), longFolder}) {
    SCOPED_TRACE(name.toStdString());
    int row = -1;
    for (int k = 0; k < destin->count(); ++k)
      if (destin->item(k)->text() == name) row = k;
    ASSERT_GE(row, 0);
    const QPoint at = destin->visualItemRect(destin->item(row)).center();
    QHelpEvent hover(QEvent::ToolTip, at, destin->viewport()->mapToGlobal(at));
    QApplication::sendEvent(destin->viewport(), &hover);
    const bool cut = name == longFolder;
    EXPECT_EQ(destin->entryCut(row), cut);
    EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), cut ? name : QString());
    QToolTip::hideText();
  }
  DriveComboBox* box = w.form->DriveComboBox2;
  box->setDrive(longDrive);
  EXPECT_TRUE(box->shownTextCut());
  EXPECT_EQ(box->toolTip(), box->currentText());
  // Cut in the middle: both ends of the name show.
  EXPECT_TRUE(box->shownText().startsWith(box->currentText().left(3))) << box->shownText().toStdString();
  EXPECT_TRUE(box->shownText().endsWith(box->currentText().right(3))) << box->shownText().toStdString();
  box->setDrive("/");
  EXPECT_EQ(box->toolTip(), "The target drive");
}

TEST(UiAbout, EscClosesTheBoxAndTheTitleStripTurnsActiveAgain) {
  TestWindow w;
  w.showAndActivate();
  const QColor active = QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
  press(w.form->aboutbt, Qt::Key_Space);
  ASSERT_TRUE(w.about->isVisible());
  w.form->DeactivateLook();  // as the desktop shows it while the box has the keys
  QTest::keyClick(w.about.get(), Qt::Key_Escape);
  EXPECT_FALSE(w.about->isVisible());
  EXPECT_EQ(w.form->Shape1->fillColour(), active);
}
