// SPDX-License-Identifier: MIT
// Listening and looking: the bytes the audition device yields, the preview's
// picture, and how the window starts and ends both. Expected bytes come
// from the bank's description; no audio device is needed (the tests' audio
// server address leads nowhere, see ui_test_main.cpp).

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <filesystem>

#include "ui/audition.h"
#include "ui/audition_control.h"
#include "ui/layout.h"
#include "ui/waveform_preview.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes slice(const Bytes& b, std::size_t from, std::size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

SampleDesc sample(const std::string& name, const Bytes& pcm, std::uint32_t loopStart = 0,
                  std::uint32_t loopEnd = 0, std::vector<std::uint8_t> zones = {}) {
  SampleDesc s;
  s.name = name;
  s.pcm = pcm;
  s.loopStartFrame = loopStart;
  s.loopEndFrame = loopEnd;
  s.zones = std::move(zones);
  return s;
}

// A zone whose loop words make it play its sample looped.
ZoneDesc loopedZone() {
  ZoneDesc z;
  z.loopWord1 = 100;
  return z;
}

// Reads the device to its end in reads of `chunk` bytes (which need not
// hold whole frames), as a sink does.
Bytes readAll(AuditionSource& source, qint64 chunk) {
  Bytes out;
  std::vector<char> buffer(static_cast<std::size_t>(chunk));
  for (;;) {
    const qint64 n = source.read(buffer.data(), chunk);
    if (n <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  }
  return out;
}

struct SoundCase {
  const char* name;
  BankDesc bank;
  std::vector<std::uint16_t> play;  // one sample, or the pair left, right
  Bytes expected;
  int channels;
};

std::vector<SoundCase> soundCases() {
  std::vector<SoundCase> cases;
  const Bytes noise = noisePcm(1000, 7);

  {  // A sample without a looping zone plays once, whole.
    SoundCase c{"plain", {}, {1}, {}, 1};
    c.bank.samples = {sample("A", noisePcm(10, 1)), sample("B", noise, 0, 0, {0})};
    c.bank.zones = {ZoneDesc{}};
    c.expected = noise;
    cases.push_back(c);
  }
  {  // An odd last byte is no frame.
    SoundCase c{"odd length", {}, {0}, {}, 1};
    c.bank.samples = {sample("A", slice(noise, 0, 1999))};
    c.expected = slice(noise, 0, 1998);
    cases.push_back(c);
  }
  {  // Bytes past the PCM data area play as silence.
    SoundCase c{"past the data", {}, {0}, {}, 1};
    c.bank.samples = {sample("A", slice(noise, 0, 400))};
    c.bank.samples[0].end = 1000;
    c.expected = slice(noise, 0, 400);
    c.expected.resize(1000, 0);
    cases.push_back(c);
  }
  {  // Start up to the loop's end, then the loop over and over for 30 s.
    SoundCase c{"looped", {}, {0}, {}, 1};
    c.bank.samples = {sample("A", noise, 200, 400, {0})};
    c.bank.zones = {loopedZone()};
    c.expected = slice(noise, 0, 800);
    const Bytes loop = slice(noise, 400, 800);
    while (c.expected.size() < 30 * 44100 * 2) c.expected.insert(c.expected.end(), loop.begin(), loop.end());
    c.expected.resize(30 * 44100 * 2);
    cases.push_back(c);
  }
  {  // A loop outside the sample plays no loop, even from a looping zone.
    SoundCase c{"loop outside", {}, {0}, {}, 1};
    c.bank.samples = {sample("A", noise, 200, 1200, {0})};
    c.bank.zones = {loopedZone()};
    c.expected = noise;
    cases.push_back(c);
  }
  {  // A pair: frames interleaved left, right.
    SoundCase c{"pair", {}, {0, 1}, {}, 2};
    const Bytes right = noisePcm(500, 9);
    c.bank.samples = {sample("L", slice(noise, 0, 1000)), sample("R", right)};
    for (std::size_t i = 0; i < 1000; i += 2)
      c.expected.insert(c.expected.end(), {noise[i], noise[i + 1], right[i], right[i + 1]});
    cases.push_back(c);
  }
  return cases;
}

}  // namespace

TEST(UiAudition, SourceYieldsTheSoundsFrames) {
  TempDir dir;
  for (const SoundCase& c : soundCases()) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(std::string(c.name) + ".tti");
    writeBank(path, c.bank);
    const auto loaded = LoadedBank::load(path);
    const SoundPlan plan = c.play.size() == 1 ? monoPlan(*loaded, c.play[0])
                                              : stereoPlan(*loaded, c.play[0], c.play[1]);
    for (qint64 chunk : {qint64(4096), qint64(777)}) {
      AuditionSource source(loaded, plan);
      EXPECT_EQ(source.format().channelCount(), c.channels);
      EXPECT_EQ(source.format().sampleRate(), 44100);
      EXPECT_EQ(source.format().sampleFormat(), QAudioFormat::Int16);
      EXPECT_EQ(source.bytesAvailable(), static_cast<qint64>(c.expected.size()));
      const Bytes got = readAll(source, chunk);
      ASSERT_EQ(got.size(), c.expected.size()) << "chunk " << chunk;
      EXPECT_TRUE(got == c.expected) << "chunk " << chunk;
      EXPECT_EQ(source.bytesAvailable(), 0);
    }
  }
}

TEST(UiAudition, BankCutShortEndsTheSoundWithItsError) {
  TempDir dir;
  const std::string path = dir.file("cut.tti");
  BankDesc bank;
  bank.samples = {sample("A", noisePcm(40000, 3))};
  writeBank(path, bank);
  const auto loaded = LoadedBank::load(path);
  AuditionSource source(loaded, monoPlan(*loaded, 0));
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 60000);
  const Bytes got = readAll(source, 65536);
  EXPECT_LT(got.size(), 80000u);
  EXPECT_EQ(source.failure(), "Read beyond end of file");
}

namespace {

// The rows of column x of the wave area drawn in the wave's colour.
std::vector<int> waveRows(const QImage& image, int x) {
  const QRect area = previewWaveArea();
  std::vector<int> rows;
  for (int y = area.top(); y <= area.bottom(); ++y)
    if (image.pixelColor(area.left() + x, y) == layout::kTreeColour) rows.push_back(y);
  return rows;
}

PreviewModel previewOf(const BankDesc& bank, std::uint16_t index) {
  TempDir dir;
  writeBank(dir.file("p.tti"), bank);
  return previewModel(*LoadedBank::load(dir.file("p.tti")), index);
}

}  // namespace

TEST(UiPreview, SquareWaveShowsItsTwoLevels) {
  // Four periods of a square wave of +-20000, starting high.
  Bytes pcm;
  for (int i = 0; i < 16000; ++i) {
    const auto v = static_cast<std::uint16_t>((i / 2000) % 2 == 0 ? 20000 : -20000);
    pcm.push_back(static_cast<std::uint8_t>(v));
    pcm.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  BankDesc bank;
  bank.samples = {sample("SQUARE.WAV", pcm)};
  const QImage image = renderPreview(previewOf(bank, 0));
  const QRect area = previewWaveArea();
  const int mid = area.top() + area.height() / 2;

  int high = -1, low = -1, highColumns = 0, lowColumns = 0;
  for (int x = 0; x < area.width(); ++x) {
    const std::vector<int> rows = waveRows(image, x);
    ASSERT_FALSE(rows.empty()) << "column " << x;
    if (rows.size() > 1) continue;  // a column where the wave flips
    int& level = rows[0] < mid ? high : low;
    if (level < 0) level = rows[0];
    EXPECT_EQ(rows[0], level) << "column " << x;
    ++(rows[0] < mid ? highColumns : lowColumns);
  }
  EXPECT_EQ(waveRows(image, 0), std::vector<int>{high});
  // The levels lie symmetrically about the middle, well away from it and
  // from the edges (20000 is 61 % of full scale).
  EXPECT_NEAR(mid - high, low - mid, 2);
  EXPECT_NEAR(static_cast<double>(mid - high) / (area.height() / 2), 0.61, 0.05);
  EXPECT_NEAR(highColumns, lowColumns, 4);
  EXPECT_GT(highColumns + lowColumns, area.width() - 8);
}

TEST(UiPreview, LoopRegionLiesWhereTheLoopIs) {
  // Silence, so that the shading shows everywhere off the zero line; the
  // loop covers the middle half. Zones 0 and 2 play the sample.
  BankDesc bank;
  bank.samples = {sample("OTHER", Bytes(100, 0), 0, 0, {1}), sample("LOOPED", Bytes(20000, 0), 2500, 7500, {0, 2})};
  ZoneDesc a = loopedZone(), b, c;
  a.keyLow = 35;
  a.keyHigh = 47;
  c.keyLow = 47;
  c.keyHigh = 59;
  c.transposition = 4;
  bank.zones = {a, b, c};
  const PreviewModel model = previewOf(bank, 1);
  EXPECT_EQ(model.frames, 10000u);
  EXPECT_EQ(model.loopStart, 2500);
  EXPECT_EQ(model.loopEnd, 7499);
  EXPECT_TRUE(model.looped);
  ASSERT_EQ(model.zones.size(), 2u);
  EXPECT_EQ(model.zones[0].keyLow, 36);
  EXPECT_EQ(model.zones[0].keyHigh, 47);
  EXPECT_EQ(model.zones[1].keyLow, 48);
  EXPECT_EQ(model.zones[1].rootKey, 60);

  const QImage image = renderPreview(model);
  const QRect area = previewWaveArea();
  std::vector<int> shaded;
  for (int x = 0; x < area.width(); ++x) {
    const QColor pixel = image.pixelColor(area.left() + x, area.top() + 3);
    if (pixel == layout::kBoxColour) shaded.push_back(x);
    else EXPECT_EQ(pixel, layout::kGaugeColour) << "column " << x;
  }
  ASSERT_FALSE(shaded.empty());
  EXPECT_NEAR(shaded.front(), area.width() / 4, 1);
  EXPECT_NEAR(shaded.back(), area.width() * 3 / 4, 1);
  EXPECT_EQ(shaded.back() - shaded.front() + 1, static_cast<int>(shaded.size()));
}

namespace {

void hover(QWidget* viewport, QPoint at) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(viewport->mapToGlobal(at)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &move);
}

QPoint rowPoint(QListWidget* list, int row) { return list->visualItemRect(list->item(row)).center(); }

}  // namespace

TEST(UiPreview, HoverAndKeysOpenAndClose) {
  TestWindow w;
  writeBank(w.banks + "/BANK.TTI", simpleBank(4, 3000));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  clickEntry(w.form->file1, QStringLiteral("BANK.TTI"));
  SampleList* list = w.form->wavlist;
  clickRow(list, 0);
  WaveformPreview* preview = w.form->audition()->preview();
  QWidget* viewport = list->viewport();

  // Half a second on a sample shows its preview beside the list.
  hover(viewport, rowPoint(list, 1));
  QTest::qWait(200);
  EXPECT_EQ(preview->row(), -1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return preview->row() == 1; }, 2000));
  EXPECT_TRUE(preview->isVisible());
  EXPECT_FALSE(preview->geometry().intersects(QRect(list->mapToGlobal(QPoint(0, 0)), list->size())));
  EXPECT_FALSE(preview->picture().isNull());
  // Another sample closes it, and opens its own in turn.
  hover(viewport, rowPoint(list, 2));
  EXPECT_EQ(preview->row(), -1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return preview->row() == 2; }, 2000));
  // Leaving the list closes it.
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(viewport, &leave);
  EXPECT_FALSE(preview->isVisible());

  // P shows the current sample's preview, Esc closes it; another current
  // sample closes it too.
  list->setFocus();
  QTest::keyClick(list, Qt::Key_P);
  EXPECT_EQ(preview->row(), 0);
  QTest::keyClick(list, Qt::Key_Escape);
  EXPECT_EQ(preview->row(), -1);
  QTest::keyClick(list, Qt::Key_P);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(preview->row(), -1);

  // Nothing opens while a job runs.
  w.form->busy(true);
  QTest::keyClick(list, Qt::Key_P);
  w.form->busy(false);
  EXPECT_EQ(preview->row(), -1);
}

TEST(UiAudition, WithoutAudioOutputTheStatusLineSaysSo) {
  TestWindow w;
  writeBank(w.banks + "/BANK.TTI", simpleBank(3, 3000));
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n1\r\n");
  w.showAndActivate();
  clickEntry(w.form->file1, QStringLiteral("BANK.TTI"));
  SampleList* list = w.form->wavlist;
  clickRow(list, 2);
  const QList<int> selected = list->selectedRows();
  list->setFocus();

  QTest::keyClick(list, Qt::Key_Space);
  EXPECT_EQ(w.form->headl->text(), "No audio output");
  EXPECT_TRUE(w.form->audition()->soundingRows().empty());
  EXPECT_EQ(list->currentRow(), 2);
  EXPECT_EQ(list->selectedRows(), selected);
  EXPECT_TRUE(folderEntries(w.out).empty());

  // A middle click is no pick: the picks and the current entry stay.
  w.form->headl->setText(QString());
  const auto picks = std::pair(w.form->state().picks.current, w.form->state().picks.previous);
  clickRow(list, 0, Qt::MiddleButton);
  EXPECT_EQ(w.form->headl->text(), "No audio output");
  EXPECT_EQ(list->currentRow(), 2);
  EXPECT_EQ(std::pair(w.form->state().picks.current, w.form->state().picks.previous), picks);
  EXPECT_EQ(list->selectedRows(), selected);
}

// A 2x screen gets a column per device pixel; a sample without a loop says
// so rather than showing an empty range.
TEST(UiPreview, PixelRatioAndUnloopedSamples) {
  BankDesc bank;
  bank.samples = {sample("PLAIN", Bytes(20000, 0), 0, 0, {0}), sample("LOOPED", Bytes(20000, 0), 2500, 7500, {0})};
  struct Case {
    std::uint16_t index;
    double ratio;
    const char* loopLine;
  };
  for (const Case c : {Case{0, 1.0, "Loop  no loop"}, Case{1, 2.0, "Loop  2,500 \u2013 7,499"}}) {
    SCOPED_TRACE(c.index);
    TempDir dir;
    writeBank(dir.file("p.tti"), bank);
    const PreviewModel model = previewModel(*LoadedBank::load(dir.file("p.tti")), c.index, c.ratio);
    EXPECT_EQ(model.columns.size(), static_cast<std::size_t>(previewWaveArea().width() * c.ratio));
    const QImage image = renderPreview(model);
    EXPECT_EQ(image.width(), static_cast<int>(image.deviceIndependentSize().width() * c.ratio));
    EXPECT_TRUE(previewText(model).at(1).startsWith(QString::fromUtf8(c.loopLine))) << previewText(model).at(1).toStdString();
  }
}
