// SPDX-License-Identifier: MIT
// Listening and looking in the window: how long Space takes to start a
// sound (from the key press to the sink's start returning) and a hover takes
// to show the preview of a 4 MiB sample, on banks in the page cache. The
// sound goes to a null sink of a PulseAudio server the program starts.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <memory>

#include "null_sink.h"
#include "ui/application.h"
#include "ui/audition_control.h"
#include "ui/waveform_preview.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

const NullSinkServer* server = nullptr;

// The window showing a bank in the page cache, its sample list focused.
struct OpenBank {
  explicit OpenBank(const BankDesc& bank) {
    writeBank(w.banks + "/BANK.TTI", bank);
    w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
    w.showAndActivate();
    clickEntry(w.form->file1, QStringLiteral("BANK.TTI"));
    clickRow(w.form->wavlist, 0);
    w.form->wavlist->setFocus();
  }
  void space() {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(w.form->wavlist, &press);
  }
  TestWindow w;
};

void soundStart(benchmark::State& state) {
  if (!server || !server->running()) {
    state.SkipWithError("no audio server");
    return;
  }
  // A 256-sample bank of 0.1 s samples.
  OpenBank open(simpleBank(256, 4410));
  for (auto _ : state) {
    open.space();
    state.PauseTiming();
    if (open.w.form->audition()->soundingRows().empty()) {
      state.SkipWithError(open.w.form->headl->text().toStdString().c_str());
      break;
    }
    open.space();
    QApplication::processEvents();
    state.ResumeTiming();
  }
}

// The first Space after the program started also connects to the audio
// server.
void BM_SoundStartFirst(benchmark::State& state) { soundStart(state); }
BENCHMARK(BM_SoundStartFirst)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SoundStart(benchmark::State& state) { soundStart(state); }
BENCHMARK(BM_SoundStart)->Unit(benchmark::kMillisecond);

// Loading the bank, the columns of a 4 MiB sample and the picture, and
// showing the window.
void BM_PreviewShow4MiB(benchmark::State& state) {
  BankDesc bank;
  SampleDesc s;
  s.name = "LONG.WAV";
  s.pcm = noisePcm(2u << 20, 5);
  s.loopStartFrame = 1u << 20;
  s.loopEndFrame = 2u << 20;
  bank.samples = {s};
  OpenBank open(bank);
  AuditionControl* audition = open.w.form->audition();
  for (auto _ : state) {
    audition->togglePreview(0);
    state.PauseTiming();
    if (audition->preview()->row() != 0) {
      state.SkipWithError("no preview");
      break;
    }
    audition->togglePreview(0);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PreviewShow4MiB)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TempDir home;
  isolateHome(home);
  NullSinkServer sink;
  server = &sink;
  if (sink.running()) qputenv("PULSE_SERVER", sink.address().toUtf8());
  QApplication app(argc, argv);
  initialiseApplication();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
