// SPDX-License-Identifier: MIT
// The window as a musician meets it: pop-ups at their controls, one
// version, the window's size kept, a dropped bank converted, stereo pairs
// picked the obvious way, names that tell banks apart, and what the status
// line says.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QRegularExpression>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QTest>
#include <QInputDialog>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "ui/artwork.h"
#include "ui/layout.h"
#include "ui/audition_control.h"
#include "ui/screen_place.h"
#include "ui/settings.h"
#include "ui/waveform_preview.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// The distance between two rectangles, 0 when they touch or overlap.
int gap(const QRect& a, const QRect& b) {
  const int dx = std::max({0, a.left() - b.right(), b.left() - a.right()});
  const int dy = std::max({0, a.top() - b.bottom(), b.top() - a.bottom()});
  return std::max(dx, dy);
}

// The geometry of the modal dialog `trigger` opens, which is then closed.
QRect dialogPlace(const std::function<void()>& trigger) {
  QRect seen;
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&seen] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      seen = dialog->frameGeometry();
      dialog->close();
    }
  });
  closer.start();
  trigger();
  return seen;
}

}  // namespace

TEST(UiPopups, OpenAtTheirControlWhereverTheToolkitBelievesTheWindow) {
  TestWindow w;
  writeBank(w.banks + "/BANK.TTI", simpleBank(4, 3000));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  TForm1& f = *w.form;
  clickEntry(f.file1, QStringLiteral("BANK.TTI"));
  clickRow(f.wavlist, 0);
  // The toolkit believes the window 300 px right of and 400 px below where
  // the display server has it: the stale place a window manager that took
  // the window over after it showed leaves.
  const QPoint real(0, 0);
  const QPoint believed = real + QPoint(300, 400);
  setScreenPlaceSource([real](const QWidget*) { return std::optional<QPoint>(real); });
  auto listOf = [](QComboBox* box) {
    return [box] {
      box->showPopup();
      const QRect at = box->view()->window()->geometry();
      box->hidePopup();
      return at;
    };
  };
  struct Case {
    const char* what;
    QWidget* control;
    std::function<QRect()> open;
  };
  const Case cases[] = {
      {"output list", f.into, listOf(f.into)},
      {"mask list", f.FilterComboBox1, listOf(f.FilterComboBox1)},
      {"target drive list", f.DriveComboBox2, listOf(f.DriveComboBox2)},
      // A dialog is centred on the window.
      {"Ctrl+L dialog", &f, [&f] {
         const QRect at = dialogPlace([&f] { QTest::keyClick(f.dir1, Qt::Key_L, Qt::ControlModifier); });
         return QRect(at.center(), QSize(1, 1));
       }},
      {"preview", f.wavlist, [&f] {
         f.wavlist->setFocus();
         QTest::keyClick(f.wavlist, Qt::Key_P);
         const QRect at = f.audition()->preview()->geometry();
         f.audition()->stopAll();
         return at;
       }},
  };
  for (const Case& c : cases) {
    f.move(believed);
    QRect control(real + c.control->mapTo(&f, QPoint(0, 0)), c.control->size());
    if (c.control == &f) control = QRect(control.center(), QSize(1, 1));
    const QRect popup = c.open();
    ASSERT_FALSE(popup.isEmpty()) << c.what;
    EXPECT_LE(gap(popup, control), 60) << c.what;
  }
  setScreenPlaceSource({});
}

TEST(UiVersion, EveryTitleNamesTheProjectVersionAndAboutEveryOutput) {
  // The version as CMake's project() states it.
  std::ifstream lists(VANTREL_SOURCE_DIR "/CMakeLists.txt");
  std::stringstream text;
  text << lists.rdbuf();
  std::smatch found;
  const std::string cmake = text.str();
  ASSERT_TRUE(std::regex_search(cmake, found, std::regex(R"(project\(vantrel VERSION ([0-9.]+))")));
  const QString version = QString::fromStdString(found[1].str());
  TestWindow w;
  const QString titles[] = {w.form->windowTitle(), w.form->Label1->text(), w.about->windowTitle()};
  const QRegularExpression anyVersion(QStringLiteral("v?[0-9]+(\\.[0-9]+)+( Beta)?"));
  for (const QString& title : titles) {
    EXPECT_TRUE(title.startsWith(QStringLiteral("Vantrel ")) || title.startsWith(QStringLiteral("About Vantrel ")))
        << title.toStdString();
    QStringList named;
    for (auto it = anyVersion.globalMatch(title); it.hasNext();) named << it.next().captured();
    EXPECT_EQ(named, QStringList{version}) << title.toStdString();
  }
  // The about box names every output the format box offers (the WAV
  // outputs as WAV).
  for (int item = 0; item < w.form->into->count(); ++item) {
    QString output = w.form->into->itemText(item).simplified();
    if (output.startsWith("WAV ")) output = "WAV";
    EXPECT_TRUE(art::aboutText().contains(output)) << output.toStdString();
  }
}

// The window comes back at the size and place it closed at, maximised when
// it was (with its size before kept for the restore); a place no screen
// shows any more gives way to the middle of the screen. A window manager
// may move the window without the toolkit learning of it: the place kept is
// the display server's, the screen's corner included.
TEST(UiWindowPlace, SizeAndPlaceComeBackFromWindowIni) {
  struct Case {
    const char* what;
    QRect closed;  // where the display server has the window when it closes
    bool maximised;
    bool placeKept;
    QPoint toolkit;  // where the toolkit believes it is, when not there
  };
  const Case cases[] = {
      {"resized", {40, 30, 1100, 560}, false, true, {}},
      {"maximised", {60, 20, 900, 400}, true, true, {}},
      {"off every screen", {20000, 20000, 1000, 500}, false, false, {}},
      {"moved to the corner by the window manager", {0, 0, 1100, 560}, false, true, {402, 317}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string config;
    {
      TestWindow w;
      w.showAndActivate();
      w.form->setGeometry(c.toolkit.isNull() ? c.closed : QRect(c.toolkit, c.closed.size()));
      if (!c.toolkit.isNull()) {
        setScreenPlaceSource([at = c.closed.topLeft()](const QWidget*) { return std::optional<QPoint>(at); });
      }
      if (c.maximised) w.form->showMaximized();
      clickWidget(w.form->ImgBtn21);
      config = userSettingsFolder();
      // vantrel.ini keeps its three lines.
      const std::string lines = w.settingsBytes();
      EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3);
      const QSettings ini(QString::fromStdString(config + "/window.ini"), QSettings::IniFormat);
      EXPECT_EQ(ini.value("window/width").toInt(), c.closed.width());
      EXPECT_EQ(ini.value("window/height").toInt(), c.closed.height());
      // Kept for the next window: the one a test closes is removed.
      std::filesystem::copy_file(config + "/window.ini", config + "/kept.ini");
      setScreenPlaceSource({});
    }
    std::filesystem::rename(config + "/kept.ini", config + "/window.ini");
    TestWindow next;
    next.showAndActivate();
    EXPECT_EQ(next.form->isMaximized(), c.maximised);
    const QRect back = c.maximised ? next.form->normalGeometry() : next.form->geometry();
    EXPECT_EQ(back.size(), c.closed.size());
    if (c.placeKept) EXPECT_EQ(back.topLeft(), c.closed.topLeft());
    else EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(back.center()));
  }
}

// A bank dropped on the window, from its own folder or another, is shown
// and then converted by the bank button as a clicked one is.
TEST(UiDrop, ADroppedBankConvertsWithTheBankButton) {
  for (const bool otherFolder : {false, true}) {
    SCOPED_TRACE(otherFolder ? "from another folder" : "from the folder shown");
    TestWindow w;
    const std::string folder = otherFolder ? w.dir.file("elsewhere") : w.banks;
    std::filesystem::create_directories(folder);
    writeBank(folder + "/DROP.TTI", simpleBank(2));
    w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
    w.showAndActivate();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder + "/DROP.TTI"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.form.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.form.get(), &drop);
    EXPECT_EQ(w.form->wavlist->count(), 2);
    // The window comes to the front after the drop.
    w.form->ActivateLook();
    clickWidget(w.form->extract);
    EXPECT_NE(w.form->headl->text(), "No TTI file selected");
    EXPECT_EQ(folderEntries(w.out + "/WAV_MONO_DROP.TTI"), QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV"}));
  }
}

// Names cut to fit keep what tells them apart: an output folder's prefix
// gives way before the bank's name does.
TEST(UiNames, CutNamesKeepTheBanksName) {
  const QFontMetrics m(QApplication::font());
  struct Case {
    QString name;
    QString roomFor;  // the text whose width is the room
    QString shown;
  };
  const Case cases[] = {
      {"WAV_MONO_CAFÉ.TTI", "WAV_MONO_CAFÉ.TTI", "WAV_MONO_CAFÉ.TTI"},
      {"WAV_MONO_CAFÉ.TTI", "MONO_CAFÉ.TTI", "MONO_CAFÉ.TTI"},
      {"WAV_MONO_ORGAN.TTI", "M_ORGAN.TTIx", "M_ORGAN.TTI"},
      {"WAV_STEREO_ORGAN.TTI", "STEREO_ORGAN.TTI", "STEREO_ORGAN.TTI"},
      {"WAV_STEREO_ORGAN.TTI", "S_ORGAN.TTI", "S_ORGAN.TTI"},
  };
  for (const Case& c : cases) EXPECT_EQ(shortName(c.name, m, m.horizontalAdvance(c.roomFor)), c.shown) << c.name.toStdString();
  // Too narrow even for that: the short prefix stays, the rest is cut in
  // its middle, and the whole still fits.
  const QString cut = shortName("WAV_MONO_GRAND PIANO HALL.TTI", m, m.horizontalAdvance("M_GRAND P.TTI"));
  EXPECT_TRUE(cut.startsWith("M_GR")) << cut.toStdString();
  EXPECT_TRUE(cut.endsWith(".TTI")) << cut.toStdString();
  EXPECT_LE(m.horizontalAdvance(cut), m.horizontalAdvance("M_GRAND P.TTI"));
  // A name without a prefix is cut in its middle.
  const QString plain = shortName("banks of the old studio_WAV_M", m, m.horizontalAdvance("banks of_WAV_M"));
  EXPECT_TRUE(plain.startsWith("banks") && plain.endsWith("WAV_M")) << plain.toStdString();

  // In the window at its default size, two banks' output folders read
  // apart, and each shows whole on hover.
  TestWindow w;
  for (const char* folder : {"WAV_MONO_CAFÉ.TTI", "WAV_MONO_ORGAN.TTI"})
    std::filesystem::create_directories(w.out + "/" + QString::fromUtf8(folder).toStdString());
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  QStringList shown;
  for (int row = 0; row < w.form->destin->count(); ++row) {
    const QString whole = w.form->destin->item(row)->text();
    if (!whole.startsWith("WAV_MONO_")) continue;
    shown << w.form->destin->shownEntry(row);
    EXPECT_TRUE(w.form->destin->entryCut(row)) << whole.toStdString();
  }
  ASSERT_EQ(shown.size(), 2);
  EXPECT_TRUE(shown[0].contains(QString::fromUtf8("CAFÉ"))) << shown[0].toStdString();
  EXPECT_TRUE(shown[1].contains("ORGAN")) << shown[1].toStdString();
}

namespace {

// WCAG 2 contrast ratio of two colours.
double contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

// Every text and focus mark of the window reads at WCAG AA (4.5:1) on its
// background, the Ctrl+L dialog and the error boxes included.
TEST(UiReadable, TextsHaveAaContrast) {
  TestWindow w;
  TForm1& f = *w.form;
  const QPalette dialog = darkDialogPalette(f.palette());
  const art::Inks ink = art::inks();
  auto colour = [](QWidget* widget, QPalette::ColorRole role) { return widget->palette().color(role); };
  struct Case {
    const char* what;
    QColor text, ground;
  };
  const Case cases[] = {
      {"status line", colour(f.headl, QPalette::Text), colour(f.headl, QPalette::Base)},
      {"output box", colour(f.into, QPalette::ButtonText), colour(f.into, QPalette::Button)},
      {"output box's placeholder", colour(f.into, QPalette::PlaceholderText), colour(f.into, QPalette::Button)},
      {"source list", colour(f.dir1, QPalette::Text), colour(f.dir1, QPalette::Base)},
      {"selected entry", colour(f.file1, QPalette::HighlightedText), colour(f.file1, QPalette::Highlight)},
      {"list focus mark", Qt::black, colour(f.wavlist, QPalette::Base)},
      {"button focus mark", Qt::white, layout::kWindowColour},
      {"dialog text", dialog.color(QPalette::WindowText), dialog.color(QPalette::Window)},
      {"dialog field", dialog.color(QPalette::Text), dialog.color(QPalette::Base)},
      {"panel headings", ink.heading, ink.panel},
      {"panel captions", ink.caption, ink.panel},
      {"gauge labels", ink.smallPrint, ink.panel},
  };
  for (const Case& c : cases) EXPECT_GE(contrast(c.text, c.ground), 4.5) << c.what;
  // The status line is not dressed as a selection.
  EXPECT_NE(colour(f.headl, QPalette::Base), colour(f.file1, QPalette::Highlight));
}

// Only drives a user keeps files on are listed.
TEST(UiDriveBox, ListsUserDrivesNotSystemMounts) {
  const QString home = "/home/ann";
  const std::pair<const char*, bool> cases[] = {
      {"/", true},          {"/home", true},         {"/home/ann/usb", true}, {"/media/ann/SAMPLES", true},
      {"/mnt/disc", true},  {"/run/media/ann/CF", true}, {"/srv/banks", true},
      {"/dev/shm", false},  {"/dev/pts", false},     {"/proc", false},         {"/sys/fs/cgroup", false},
      {"/run/user/1000", false}, {"/boot/efi", false}, {"/snap/core/1", false},  {"/var/lib/docker", false},
  };
  for (const auto& [root, listed] : cases) EXPECT_EQ(isUserDrive(root, home), listed) << root;
}

// The smaller things a musician meets: the keyboard starts in the source
// list, a double click on the title strip maximises and restores (the
// button showing the restore glyph while maximised), the status line says
// where output goes and why a bank shows nothing, an empty log shows no
// scroll bar, and the Ctrl+L dialog is dark.
TEST(UiWindow, StartFocusTitleStripStatusAndDialog) {
  TestWindow w;
  auto bad = buildBank(simpleBank(2));
  bad.resize(530);
  writeBytes(w.banks + "/BAD.TTI", bad);
  writeBank(w.banks + "/LONG.TTI", simpleBank(40));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  TForm1& f = *w.form;
  EXPECT_EQ(QApplication::focusWidget(), f.dir1);
  EXPECT_FALSE(f.test->verticalScrollBar()->isVisible());

  const QImage maximise = f.Image3->shownPicture().toImage();
  QTest::mouseDClick(f.Shape1, Qt::LeftButton, {}, QPoint(300, 10));
  EXPECT_TRUE(f.isMaximized());
  EXPECT_NE(f.Image3->shownPicture().toImage(), maximise);
  QTest::mouseDClick(f.Label1, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(f.isMaximized());
  EXPECT_EQ(f.Image3->shownPicture().toImage(), maximise);

  f.faithful->trigger();
  EXPECT_EQ(f.headl->text(), QString::fromUtf8("WAV Mono, faithful \u2192 ") + QString::fromStdString(w.out));
  EXPECT_TRUE(f.into->shownText().contains("faithful"));
  f.faithful->trigger();
  // The outputs that write one file per bank are named as the box names them.
  f.into->setFocus();
  for (const char* output : {"Bitwig multisample", "DLS", "SF3"}) {
    while (f.into->currentText() != output && f.into->currentIndex() + 1 < f.into->count())
      QTest::keyClick(f.into, Qt::Key_Down);
    EXPECT_EQ(f.headl->text(), QString::fromUtf8(output) + QString::fromUtf8(" \u2192 ") + QString::fromStdString(w.out));
  }

  QPalette seen;
  bool shown = false;
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&seen, &shown] {
    if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      seen = dialog->palette();
      shown = true;
      dialog->reject();
    }
  });
  closer.start();
  QTest::keyClick(f.dir1, Qt::Key_L, Qt::ControlModifier);
  ASSERT_TRUE(shown);
  EXPECT_LT(seen.color(QPalette::Window).lightness(), 100);

  // A bank that fills the sample list past its height, then the bad one.
  clickEntry(f.file1, "LONG.TTI");
  EXPECT_TRUE(f.wavlist->verticalScrollBar()->isVisible());
  const QStringList boxes = collectMessageBoxes([&] { clickEntry(f.file1, "BAD.TTI"); });
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(f.headl->text(), "Read beyond end of file");
  // The sample list, shown empty, has no scroll bar.
  EXPECT_TRUE(f.wavlist->isVisible());
  EXPECT_FALSE(f.wavlist->verticalScrollBar()->isVisible());
  EXPECT_FALSE(f.wavlist->horizontalScrollBar()->isVisible());
}

// A sample list wider than at the default size shows each sample's keys,
// root and loop beside its name.
TEST(UiSamples, WideListShowsKeysAndRoot) {
  TestWindow w;
  BankDesc bank = simpleBank(2);
  bank.samples[1].pcm.resize(64);  // 32 frames: no stereo pair
  bank.samples[1].loopEndFrame = 32;
  bank.zones[0].keyLow = 47;  // stored one below the first key played
  bank.zones[0].keyHigh = 59;
  bank.zones[0].transposition = 4;  // root 64 - 4
  bank.zones[1].keyLow = 59;
  bank.zones[1].keyHigh = 71;
  bank.zones[1].transposition = 0;
  writeBank(w.banks + "/KEYS.TTI", bank);
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  clickEntry(w.form->file1, "KEYS.TTI");
  SampleList* list = w.form->wavlist;
  EXPECT_FALSE(list->showsDetails());
  w.form->resize(1100, 560);
  EXPECT_TRUE(list->showsDetails());
  EXPECT_TRUE(list->details(0).startsWith(QString::fromUtf8("keys 48–59 · root 60"))) << list->details(0).toStdString();
  EXPECT_TRUE(list->details(1).startsWith(QString::fromUtf8("keys 60–71 · root 64"))) << list->details(1).toStdString();
  // Drawn, the name still shows.
  EXPECT_FALSE(list->grab().isNull());
  EXPECT_EQ(list->shownEntry(0), "SAMPLE1.WAV");
}

// In the wide list a stereo pair is one row, "LEFT + RIGHT", that the
// keys pass as one; Enter on it writes both samples, as mono files or as
// the pair's stereo file.
TEST(UiSamples, WideListShowsAStereoPairAsOneRow) {
  // PAD L and PAD R are one length with one stem; HORN is shorter.
  BankDesc bank = simpleBank(3);
  bank.samples[0].name = "PAD L.WAV";
  bank.samples[1].name = "PAD R.WAV";
  bank.samples[2].name = "HORN.WAV";
  bank.samples[2].pcm.resize(64);
  bank.samples[2].loopEndFrame = 32;
  struct Case {
    int mode;
    bool chosen;  // chosen in the box (two picks), else restored (one selection)
    std::string folder;
    QStringList written;
  };
  const Case cases[] = {
      {0, false, "WAV_MONO_PAIRS.TTI", {"PAD L.WAV", "PAD R.WAV"}},
      {1, false, "WAV_STEREO_PAIRS.TTI", {"PAD L__PAD R.WAV"}},
      {1, true, "WAV_STEREO_PAIRS.TTI", {"PAD L__PAD R.WAV"}},
  };
  for (const Case& c : cases) {
    TestWindow w;
    writeBank(w.banks + "/PAIRS.TTI", bank);
    w.writeSettings(w.banks + "\r\n" + w.out + "\r\n" + std::to_string(c.chosen ? 0 : c.mode) + "\r\n");
    w.showAndActivate();
    if (c.chosen) {
      w.form->into->setFocus();
      while (w.form->into->currentIndex() < c.mode) QTest::keyClick(w.form->into, Qt::Key_Down);
    }
    clickEntry(w.form->file1, "PAIRS.TTI");
    SampleList* list = w.form->wavlist;
    EXPECT_EQ(list->shownEntry(0), "PAD L.WAV");
    EXPECT_FALSE(list->isRowHidden(1));
    w.form->resize(1100, 560);
    EXPECT_EQ(list->shownEntry(0), "PAD L.WAV + PAD R.WAV");
    EXPECT_TRUE(list->isRowHidden(1));
    EXPECT_FALSE(list->isRowHidden(2));
    clickRow(list, 0);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), 2);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->currentRow(), 0);
    clickRow(list, 0);
    QTest::keyClick(list, Qt::Key_Return);
    waitForJob(w.form.get());
    EXPECT_EQ(folderEntries(w.out + "/" + c.folder), c.written) << c.mode << c.chosen;
  }
}

// Shift+P pins the preview: it stays when the pointer leaves the list and
// shows the current sample as the arrow keys move; Shift+P again closes it.
TEST(UiPreview, PinnedPreviewFollowsTheCurrentSample) {
  TestWindow w;
  writeBank(w.banks + "/BANK.TTI", simpleBank(3, 3000));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  clickEntry(w.form->file1, "BANK.TTI");
  SampleList* list = w.form->wavlist;
  clickRow(list, 0);
  WaveformPreview* preview = w.form->audition()->preview();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_P, Qt::ShiftModifier);
  EXPECT_TRUE(w.form->audition()->pinned());
  EXPECT_EQ(preview->row(), 0);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(list->viewport(), &leave);
  EXPECT_EQ(preview->row(), 0);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(preview->row(), 1);
  EXPECT_TRUE(preview->isVisible());
  QTest::keyClick(list, Qt::Key_P, Qt::ShiftModifier);
  EXPECT_FALSE(w.form->audition()->pinned());
  EXPECT_EQ(preview->row(), -1);
}
