// SPDX-License-Identifier: MIT
// Conversions started from the window's real widgets: the extract and
// complete buttons, the drive button, a double click on a bank, and the
// sample list with its button, in mono, stereo and SFZ mode.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QTest>

#include <filesystem>

#include "test_support.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// A window on `banks` and `out` with output choice `mode`, as a restart
// with these settings opens it.
void open(TestWindow& w, int mode) {
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n" + std::to_string(mode) + "\r\n");
  w.showAndActivate();
}

// Chooses the output as the user does, so that the sample list follows.
void chooseOutput(TForm1& f, int item) {
  f.into->setFocus();
  while (f.into->currentIndex() < item) QTest::keyClick(f.into, Qt::Key_Down);
  while (f.into->currentIndex() > item) QTest::keyClick(f.into, Qt::Key_Up);
}

// A bank whose samples 0 and 1 form a stereo pair and sample 2 does not.
BankDesc pairBank() {
  BankDesc bank = simpleBank(3, 64);
  bank.samples[0].name = "PAD L.WAV";
  bank.samples[1].name = "HORN.WAV";
  bank.samples[2].name = "SHORT.WAV";
  bank.samples[2].pcm.resize(64);  // 32 frames instead of 64
  bank.samples[2].loopEndFrame = 32;
  return bank;
}

}  // namespace

TEST(UiConvert, ExtractButtonConvertsTheClickedBank) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(3));
  open(w, 0);
  clickEntry(w.form->file1, "KIT.TTI");
  clickWidget(w.form->extract);
  EXPECT_EQ(folderEntries(w.out + "/WAV_MONO_KIT.TTI"),
            QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV", "SAMPLE3.WAV"}));
  EXPECT_EQ(w.form->headl->text(), "processing finished");
  EXPECT_FALSE(w.form->wavlist->isVisible());
  EXPECT_EQ(w.form->test->lines(),
            QStringList({"processing KIT.TTI", "SAMPLE1.WAV extracted", "SAMPLE2.WAV extracted",
                         "SAMPLE3.WAV extracted"}));
  EXPECT_EQ(w.form->gauge1->progress(), 0);
  EXPECT_EQ(w.form->destin->item(w.form->destin->count() - 1)->text(), "WAV_MONO_KIT.TTI");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(UiConvert, HourglassShowsWhileSamplesAreWritten) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(2));
  open(w, 0);
  clickEntry(w.form->file1, "KIT.TTI");
  QList<int> shapes;
  QObject::connect(w.form->test, &QPlainTextEdit::textChanged, [&] {
    const QCursor* c = QApplication::overrideCursor();
    shapes << (c ? c->shape() : -1);
  });
  clickWidget(w.form->extract);
  ASSERT_FALSE(shapes.isEmpty());
  EXPECT_EQ(shapes.last(), Qt::WaitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(UiConvert, ExtractWithoutABankSaysSo) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(1));
  open(w, 0);
  clickWidget(w.form->extract);
  EXPECT_EQ(w.form->headl->text(), "No TTI file selected");
  EXPECT_TRUE(folderEntries(w.out).isEmpty());
}

TEST(UiConvert, DoubleClickOnABankConvertsItAsSoundFont) {
  TestWindow w;
  writeBank(w.banks + "/ORGAN.TTI", simpleBank(2));
  open(w, 2);
  doubleClickEntry(w.form->file1, "ORGAN.TTI");
  EXPECT_TRUE(fs::is_regular_file(w.out + "/ORGAN.sf2")) << folderEntries(w.out).join(",").toStdString();
  EXPECT_EQ(w.form->headl->text(), "processing finished");
}

TEST(UiConvert, CompleteButtonConvertsTheWholeFolder) {
  TestWindow w;
  writeBank(w.banks + "/A.TTI", simpleBank(2));
  writeBank(w.banks + "/B.tti", simpleBank(1));
  open(w, 0);
  ASSERT_TRUE(w.form->complete->On());
  clickWidget(w.form->complete);
  const std::string run = w.out + "/banks_WAV_M";
  EXPECT_EQ(folderEntries(run), QStringList({"WAV_MONO_A.TTI", "WAV_MONO_B.tti"}));
  EXPECT_EQ(folderEntries(run + "/WAV_MONO_A.TTI"), QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV"}));
  EXPECT_EQ(w.form->headl->text(), "2 TTI files extracted");
  EXPECT_EQ(w.form->Gauge2->progress(), 0);
  const QStringList log = w.form->test->lines();
  ASSERT_GE(log.size(), 2);
  EXPECT_EQ(log[log.size() - 2], " ");
  EXPECT_EQ(log.last(), QString::fromUtf8("Summary: 3 written, 0 already there, 0 failed \u00b7 Ctrl+Shift+O opens the target folder"));
}

TEST(UiConvert, CompleteButtonInStereoModeNamesTheRunFolder) {
  TestWindow w;
  writeBank(w.banks + "/A.TTI", simpleBank(2));
  open(w, 1);
  clickWidget(w.form->complete);
  EXPECT_TRUE(fs::is_directory(w.out + "/banks_WAV_S/WAV_STEREO_A.TTI"));
}

TEST(UiConvert, BrokenBankInAFolderRunShowsTheErrorBox) {
  TestWindow w;
  auto bytes = buildBank(simpleBank(2));
  bytes.resize(530);
  writeBytes(w.banks + "/BAD.TTI", bytes);
  open(w, 0);
  const QStringList boxes = collectMessageBoxes([&] { clickWidget(w.form->complete); });
  // One box, its Stop taken: the run ends, saying so, and leaves no folder.
  EXPECT_EQ(boxes, QStringList({"Read beyond end of file\n" + q(w.banks + "/BAD.TTI")}));
  EXPECT_EQ(w.form->headl->text(), "Read beyond end of file");
  EXPECT_FALSE(fs::exists(w.out + "/banks_WAV_M"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A folder run converts the banks in the order the bank list shows them,
// not in the folder's listing order.
TEST(UiConvert, FolderRunGoesInTheListsOrder) {
  TestWindow w;
  for (const char* name : {"c.tti", "B.TTI", "10.TTI", "D.tti", "a.tti", "9.TTI"})
    writeBank(w.banks + "/" + name, simpleBank(1));
  open(w, 0);
  // Alphabetical, case aside, digits as characters.
  const QStringList listed = {"10.TTI", "9.TTI", "a.tti", "B.TTI", "c.tti", "D.tti"};
  EXPECT_EQ(w.form->file1->fileNames(), listed);
  clickWidget(w.form->complete);
  QStringList converted;
  for (const QString& line : w.form->test->lines())
    if (line.startsWith("processing ")) converted << line.mid(11);
  EXPECT_EQ(converted, listed);
}

// "Skip this bank" in a folder run's error box: the run goes on with every
// good bank, logs the error and says how it ended; the next job's gauge
// starts from zero. While the box asks, the folder gauge counts the banks
// finished before the failed one.
TEST(UiConvert, SkippingABadBankConvertsTheOthersAndEndsHonestly) {
  TestWindow w;
  auto bytes = buildBank(simpleBank(2));
  bytes.resize(530);
  writeBank(w.banks + "/A.TTI", simpleBank(2));
  writeBytes(w.banks + "/BAD.TTI", bytes);
  writeBank(w.banks + "/C.TTI", simpleBank(3));
  open(w, 0);
  QStringList boxes;
  std::vector<std::pair<std::int64_t, std::int64_t>> gaugeInBox;
  QTimer skipper;
  skipper.setInterval(10);
  QObject::connect(&skipper, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    boxes << box->text();
    gaugeInBox.emplace_back(w.form->Gauge2->progress(), w.form->Gauge2->maximum());
    for (QAbstractButton* b : box->buttons())
      if (b->text() == "Skip this bank") b->click();
  });
  skipper.start();
  clickWidget(w.form->complete);
  skipper.stop();
  EXPECT_EQ(boxes, QStringList({"Read beyond end of file\n" + q(w.banks + "/BAD.TTI")}));
  // A.TTI done of the three.
  EXPECT_EQ(gaugeInBox, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 3}}));
  EXPECT_EQ(folderEntries(w.out + "/banks_WAV_M"), QStringList({"WAV_MONO_A.TTI", "WAV_MONO_C.TTI"}));
  EXPECT_EQ(w.form->headl->text(), "2 TTI files extracted, 1 failed");
  const QStringList log = w.form->test->lines();
  EXPECT_TRUE(log.contains(q(w.banks + "/BAD.TTI") + ": Read beyond end of file")) << log.join("|").toStdString();
  EXPECT_TRUE(log.contains("processing A.TTI") && log.contains("processing C.TTI")) << log.join("|").toStdString();
  for (GaugeBar* g : {w.form->gauge1, w.form->Gauge2, w.form->Gauge3}) EXPECT_EQ(g->progress(), 0);
  // The log ends with what the run wrote, found and failed; run again, the
  // files are all there already.
  const QString open = QString::fromUtf8(" \u00b7 Ctrl+Shift+O opens the target folder");
  EXPECT_EQ(log.last(), "Summary: 5 written, 0 already there, 1 failed" + open);
  skipper.start();
  clickWidget(w.form->complete);
  skipper.stop();
  EXPECT_EQ(w.form->test->lines().last(), "Summary: 0 written, 5 already there, 1 failed" + open);
}

TEST(UiConvert, DriveButtonMirrorsTheSourceDrive) {
  TestWindow w;
  const std::string usb = w.dir.file("usb");
  fs::create_directories(usb + "/SUB");
  fs::create_directories(usb + "/.hidden");
  writeBank(usb + "/ONE.TTI", simpleBank(1));
  writeBank(usb + "/SUB/TWO.TTI", simpleBank(1));
  writeBank(usb + "/.hidden/NO.TTI", simpleBank(1));
  w.setDrives({{"root", "/"}, {"usb", q(usb)}});
  open(w, 0);
  w.form->DriveComboBox1->setFocus();
  QTest::keyClick(w.form->DriveComboBox1, Qt::Key_Down);
  ASSERT_EQ(w.form->dir1->folder(), q(usb));
  clickWidget(w.form->extrdrive);
  const std::string run = w.out + "/Drive ROOT WAV_MONO";
  EXPECT_EQ(folderEntries(run), QStringList({"SUB", "WAV_MONO_ONE.TTI"}));
  EXPECT_EQ(folderEntries(run + "/SUB"), QStringList({"WAV_MONO_TWO.TTI"}));
  EXPECT_EQ(w.form->headl->text(), "2 TTI files extracted");
  EXPECT_EQ(w.form->Gauge3->progress(), 0);
  EXPECT_EQ(w.form->gauge1->progress(), 0);
}

// The instrument items: a bank, the folder and the drive as SFZ
// instruments or DecentSampler presets, and the item kept in the settings
// file by its index.
TEST(UiConvert, InstrumentItemsConvertABankAFolderAndADrive) {
  struct Case {
    int item;
    QString label;
    std::string prefix, file, suffix;
  };
  for (const Case& c : {Case{3, "SFZ", "SFZ_", "KIT.sfz", "SFZ"}, Case{4, "DecentSampler", "DS_", "KIT.dspreset", "DS"}}) {
    SCOPED_TRACE(c.label.toStdString());
    TestWindow w;
    const std::string usb = w.dir.file("usb");
    fs::create_directories(usb + "/SUB");
    writeBank(usb + "/KIT.TTI", simpleBank(2));
    writeBank(usb + "/SUB/TWO.TTI", simpleBank(1));
    w.setDrives({{"root", "/"}, {"usb", q(usb)}});
    open(w, 0);
    chooseOutput(*w.form, c.item);
    ASSERT_EQ(w.form->into->currentText(), c.label);
    w.form->DriveComboBox1->setFocus();
    QTest::keyClick(w.form->DriveComboBox1, Qt::Key_Down);
    ASSERT_EQ(w.form->dir1->folder(), q(usb));

    clickEntry(w.form->file1, "KIT.TTI");
    clickWidget(w.form->extract);
    EXPECT_EQ(folderEntries(w.out + "/" + c.prefix + "KIT.TTI"), QStringList({q(c.file), "samples"}));
    EXPECT_EQ(folderEntries(w.out + "/" + c.prefix + "KIT.TTI/samples"), QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV"}));
    EXPECT_EQ(w.form->test->lines(), QStringList({"processing KIT.TTI", "SAMPLE1.WAV extracted",
                                                  "SAMPLE2.WAV extracted", q(c.file + " written")}));

    clickWidget(w.form->complete);
    EXPECT_EQ(folderEntries(w.out + "/usb_" + c.suffix + "/" + c.prefix + "KIT.TTI"), QStringList({q(c.file), "samples"}));

    clickWidget(w.form->extrdrive);
    const std::string run = w.out + "/Drive ROOT " + c.suffix;
    EXPECT_EQ(folderEntries(run), QStringList({q(c.prefix + "KIT.TTI"), "SUB"}));
    EXPECT_EQ(folderEntries(run + "/SUB/" + c.prefix + "TWO.TTI/samples"), QStringList({"SAMPLE1.WAV"}));

    clickWidget(w.form->ImgBtn21);
    EXPECT_EQ(w.settingsBytes(), usb + "\r\n" + w.out + "\r\n" + std::to_string(c.item) + "\r\n");
  }
}

TEST(UiSamples, ButtonExtractsTheCurrentSampleInMonoMode) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(4));
  open(w, 0);
  clickEntry(w.form->file1, "KIT.TTI");
  clickRow(w.form->wavlist, 2);
  EXPECT_TRUE(w.form->wavextr->On());
  clickWidget(w.form->wavextr);
  EXPECT_EQ(folderEntries(w.out + "/WAV_MONO_KIT.TTI"), QStringList({"SAMPLE3.WAV"}));
  EXPECT_EQ(w.form->headl->text(), "SAMPLE3.WAV extracted");
  clickWidget(w.form->wavextr);
  EXPECT_EQ(w.form->headl->text(), "SAMPLE3.WAV already extracted");
}

TEST(UiSamples, ButtonThatIsOffDoesNothing) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(4));
  open(w, 0);
  clickEntry(w.form->file1, "KIT.TTI");
  ASSERT_FALSE(w.form->wavextr->On());
  clickWidget(w.form->wavextr);
  EXPECT_EQ(w.form->headl->text(), "4 Samples found");
  EXPECT_TRUE(folderEntries(w.out).isEmpty());
}

TEST(UiSamples, DoubleClickExtractsInSoundFontMode) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(3));
  open(w, 2);
  clickEntry(w.form->file1, "KIT.TTI");
  doubleClickRow(w.form->wavlist, 1);
  EXPECT_EQ(folderEntries(w.out + "/WAV_MONO_KIT.TTI"), QStringList({"SAMPLE2.WAV"}));
}

TEST(UiSamples, DoubleClickInStereoModeWritesNothing) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(3));
  open(w, 0);
  chooseOutput(*w.form, 1);
  clickEntry(w.form->file1, "KIT.TTI");
  doubleClickRow(w.form->wavlist, 1);
  EXPECT_TRUE(folderEntries(w.out).isEmpty());
}

TEST(UiSamples, StereoPicksShowTheThreeMessages) {
  TestWindow w;
  writeBank(w.banks + "/PAIR.TTI", pairBank());
  open(w, 0);
  chooseOutput(*w.form, 1);
  ASSERT_TRUE(w.form->wavlist->multiSelect());
  clickEntry(w.form->file1, "PAIR.TTI");

  clickRow(w.form->wavlist, 0);  // pairs with the start value 0
  EXPECT_EQ(w.form->headl->text(), "You have to select 2 WAV files");
  EXPECT_FALSE(w.form->wavextr->On());

  clickRow(w.form->wavlist, 1);
  EXPECT_EQ(w.form->headl->text(), "Building stereo WAV file possible  -> extract");
  EXPECT_TRUE(w.form->wavextr->On());
  EXPECT_EQ(w.form->wavlist->selectedRows(), QList<int>({0, 1}));

  clickRow(w.form->wavlist, 2);
  EXPECT_EQ(w.form->headl->text(), "This is no stereo file - select two other files");
  EXPECT_FALSE(w.form->wavextr->On());
  EXPECT_EQ(w.form->wavlist->selectedRows(), QList<int>({1, 2}));
}

TEST(UiSamples, StereoPairIsWrittenWhicheverOrderItWasPicked) {
  TestWindow w;
  writeBank(w.banks + "/PAIR.TTI", pairBank());
  open(w, 0);
  chooseOutput(*w.form, 1);
  clickEntry(w.form->file1, "PAIR.TTI");
  clickRow(w.form->wavlist, 2);
  clickRow(w.form->wavlist, 1);
  clickRow(w.form->wavlist, 0);  // right entry picked before the left one
  ASSERT_TRUE(w.form->wavextr->On());
  clickWidget(w.form->wavextr);
  EXPECT_EQ(folderEntries(w.out + "/WAV_STEREO_PAIR.TTI"), QStringList({"PAD L__HORN.WAV"}));
  EXPECT_EQ(w.form->headl->text(), "PAD L__HORN.WAV extracted");
}

// Several samples chosen at once: the status counts what was written and
// what was already there.
TEST(UiSamples, SeveralChosenCountWrittenAndAlreadyThere) {
  TestWindow w;
  writeBank(w.banks + "/KIT.TTI", simpleBank(3));
  open(w, 0);
  clickEntry(w.form->file1, "KIT.TTI");
  doubleClickRow(w.form->wavlist, 0);
  doubleClickRow(w.form->wavlist, 1);
  ASSERT_EQ(folderEntries(w.out + "/WAV_MONO_KIT.TTI"), QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV"}));
  for (int row : {0, 1, 2}) w.form->wavlist->item(row)->setSelected(true);
  ASSERT_TRUE(w.form->wavextr->On());
  clickWidget(w.form->wavextr);
  EXPECT_EQ(folderEntries(w.out + "/WAV_MONO_KIT.TTI"), QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV", "SAMPLE3.WAV"}));
  EXPECT_EQ(w.form->headl->text(), "1 sample extracted, 2 already there");
}

// Enter writes the pair however the two were picked: by two clicks (the
// second entry picked is current), by a click and the arrow key, or in
// either order.
TEST(UiSamples, EnterWritesThePairPickedByClicksOrKeys) {
  struct Case {
    const char* what;
    std::vector<int> clicks;
    std::vector<Qt::Key> keys;  // before Enter
  };
  const Case cases[] = {
      {"click L, click R", {0, 1}, {}},
      {"click R, click L", {1, 0}, {}},
      {"click L, Down", {0}, {Qt::Key_Down}},
      {"click L, click R, Up", {0, 1}, {Qt::Key_Up}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestWindow w;
    writeBank(w.banks + "/PAIR.TTI", pairBank());
    open(w, 0);
    chooseOutput(*w.form, 1);
    clickEntry(w.form->file1, "PAIR.TTI");
    for (int row : c.clicks) clickRow(w.form->wavlist, row);
    w.form->wavlist->setFocus();
    for (Qt::Key key : c.keys) QTest::keyClick(w.form->wavlist, key);
    QTest::keyClick(w.form->wavlist, Qt::Key_Return);
    waitForJob(w.form.get());
    EXPECT_EQ(folderEntries(w.out + "/WAV_STEREO_PAIR.TTI"), QStringList({"PAD L__HORN.WAV"}));
    EXPECT_EQ(w.form->headl->text(), "PAD L__HORN.WAV extracted");
  }
}

TEST(UiSamples, OneSampleBankCannotPair) {
  TestWindow w;
  writeBank(w.banks + "/ONE.TTI", simpleBank(1));
  open(w, 0);
  clickEntry(w.form->file1, "ONE.TTI");
  clickRow(w.form->wavlist, 0);
  EXPECT_EQ(w.form->headl->text(), "only 1 sample - stereo extraction impossible");
  EXPECT_FALSE(w.form->wavextr->On());
  doubleClickRow(w.form->wavlist, 0);
  EXPECT_EQ(folderEntries(w.out + "/WAV_MONO_ONE.TTI"), QStringList({"SAMPLE1.WAV"}));
}

TEST(UiSamples, LeavingStereoModeReturnsToOneSelection) {
  TestWindow w;
  writeBank(w.banks + "/PAIR.TTI", pairBank());
  open(w, 0);
  chooseOutput(*w.form, 1);
  clickEntry(w.form->file1, "PAIR.TTI");
  clickRow(w.form->wavlist, 0);
  clickRow(w.form->wavlist, 1);
  chooseOutput(*w.form, 0);
  clickRow(w.form->wavlist, 2);
  EXPECT_EQ(w.form->wavlist->selectedRows(), QList<int>({2}));
}

// "Faithful to the bank" in the output box's context menu: while it is on,
// a conversion writes faithful output (the SoundFont names this program in
// ISFT); it is remembered in the user's configuration folder, vantrel.ini
// keeping its three lines, and read back at the next start.
TEST(UiConvert, FaithfulItemMakesFaithfulOutputAndIsRememberedApart) {
  TestWindow w;
  const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(w.dir.file("config")));
  writeBank(w.banks + "/ORGAN.TTI", simpleBank(2));
  open(w, 2);
  QAction* item = w.form->faithful;
  EXPECT_EQ(w.form->into->contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_TRUE(w.form->into->actions().contains(item));
  EXPECT_EQ(item->text(), "Faithful to the bank");
  EXPECT_TRUE(item->isCheckable());
  EXPECT_FALSE(item->isChecked());
  const std::string program = "Vantrel " VANTREL_VERSION;
  auto soundFont = [&] {
    doubleClickEntry(w.form->file1, "ORGAN.TTI");
    const std::vector<std::uint8_t> b = readFileBytes(w.out + "/ORGAN.sf2");
    return std::string(b.begin(), b.end());
  };
  EXPECT_EQ(soundFont().find(program), std::string::npos);
  item->trigger();
  EXPECT_TRUE(w.form->state().faithful);
  EXPECT_NE(soundFont().find(program), std::string::npos);

  clickWidget(w.form->ImgBtn21);
  EXPECT_EQ(w.settingsBytes(), w.banks + "\r\n" + w.out + "\r\n2\r\n");
  EXPECT_TRUE(fs::is_regular_file(w.dir.file("config/vantrel/window.ini")));
  TestWindow next;
  next.form->setStartFolder(q(w.start));
  next.showAndActivate();
  EXPECT_TRUE(next.form->faithful->isChecked());
  EXPECT_TRUE(next.form->state().faithful);
  qputenv("XDG_CONFIG_HOME", savedConfig);
}
