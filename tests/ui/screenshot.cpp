// SPDX-License-Identifier: MIT
// Draws the window as a user sees it after clicking a bank, into a PNG:
//   vantrel-screenshot OUT.png
//   vantrel-screenshot --preview OUT.png   (a sample's preview beside it)
// Works on the offscreen platform or under any display.

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ui/about2.h"
#include "ui/application.h"
#include "ui/audition_control.h"
#include "ui/waveform_preview.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// Piano-like samples for the preview: decaying tones with a few
// overtones, looped over their last third, one zone per octave.
BankDesc pianoBank(int count) {
  BankDesc bank;
  for (int k = 0; k < count; ++k) {
    SampleDesc s;
    s.name = "PIANO C" + std::to_string(k + 1) + ".WAV";
    const std::size_t frames = 33075;
    const double hz = 32.703 * (1 << k);
    for (std::size_t i = 0; i < frames; ++i) {
      const double t = static_cast<double>(i) / 44100.0;
      const double decay = 0.25 + 0.75 * std::exp(-t * 6.0);
      double v = 0;
      for (int h = 1; h <= 4; ++h) v += std::sin(2 * M_PI * hz * h * t) / (h * h);
      const auto x = static_cast<std::int16_t>(std::lround(v * decay * 16000));
      s.pcm.push_back(static_cast<std::uint8_t>(x));
      s.pcm.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(x) >> 8));
    }
    s.loopStartFrame = frames * 2 / 3;
    s.loopEndFrame = frames;
    s.zones = {static_cast<std::uint8_t>(k)};
    ZoneDesc z;
    z.keyLow = static_cast<std::uint8_t>(12 * (k + 1) - 1);
    z.keyHigh = static_cast<std::uint8_t>(12 * (k + 1) + 11);
    z.transposition = static_cast<std::uint8_t>(64 - 12 * (k + 2));
    z.loopWord1 = 100;
    bank.zones.push_back(z);
    bank.samples.push_back(s);
  }
  return bank;
}

// The window and the preview window beside it, as on the screen.
QImage windowWithPreview(TForm1& form, QWidget& preview) {
  const QRect formArea(form.pos(), form.size()), previewArea(preview.pos(), preview.size());
  const QRect all = formArea.united(previewArea).adjusted(-12, -12, 12, 12);
  QImage image(all.size(), QImage::Format_RGB32);
  image.fill(QColor(34, 38, 42));
  QPainter p(&image);
  p.drawPixmap(formArea.topLeft() - all.topLeft(), form.grab());
  p.drawPixmap(previewArea.topLeft() - all.topLeft(), preview.grab());
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  const bool withPreview = argc == 3 && std::string(argv[1]) == "--preview";
  if (argc != 2 && !withPreview) {
    std::fprintf(stderr, "usage: vantrel-screenshot [--preview] OUT.png\n");
    return 2;
  }
  const char* outFile = argv[argc - 1];
  QApplication app(argc, argv);
  initialiseApplication();
  QTemporaryDir home(QDir::tempPath() + QStringLiteral("/Music-XXXXXX"));
  if (!home.isValid()) return 1;
  const std::string base = home.path().toStdString();
  const std::string banks = base + "/Sampler CDs", out = base + "/Converted";
  std::filesystem::create_directories(banks + "/CD 01 Keys");
  std::filesystem::create_directories(banks + "/CD 02 Drums");
  std::filesystem::create_directories(out + "/Strings_WAV_M");
  const char* names[] = {"ACOUSTIC GTR.TTI", "ANALOG PAD.TTI", "DRUM KIT 1.TTI",
                         "GRAND PIANO.TTI", "STRINGS.TTI"};
  const int counts[] = {6, 2, 12, 8, 4};
  for (int k = 0; k < 5; ++k)
    writeBank(banks + "/" + names[k], k == 3 && withPreview ? pianoBank(counts[k])
                                                            : simpleBank(counts[k], 256, k == 3 ? "PIANO C" : "SAMPLE "));
  std::ofstream(base + "/vantrel.ini", std::ios::binary) << banks << "\r\n" << out << "\r\n0\r\n";

  TForm1 form;
  TAbout about;
  form.setAboutBox(&about);
  form.setStartFolder(home.path());
  form.show();
  if (!QTest::qWaitForWindowActive(&form)) form.FormActivate();
  clickEntry(form.file1, QStringLiteral("GRAND PIANO.TTI"));
  clickRow(form.wavlist, 2);
  form.gauge1->setRange(0, 10);
  form.gauge1->setProgress(7);
  form.Gauge2->setRange(0, 5);
  form.Gauge2->setProgress(2);
  QTest::qWait(50);
  QImage shot = form.grab().toImage();
  if (withPreview) {
    // Rests the pointer on a sample until its preview shows.
    QWidget* viewport = form.wavlist->viewport();
    const QPoint at = form.wavlist->visualItemRect(form.wavlist->item(3)).center();
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(viewport->mapToGlobal(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    WaveformPreview* preview = form.audition()->preview();
    if (!QTest::qWaitFor([&] { return preview->row() == 3; }, 3000)) {
      std::fprintf(stderr, "no preview showed\n");
      return 1;
    }
    QTest::qWait(50);
    shot = windowWithPreview(form, *preview);
  }
  if (!shot.save(QString::fromLocal8Bit(outFile))) {
    std::fprintf(stderr, "cannot write %s\n", outFile);
    return 1;
  }
  return 0;
}
