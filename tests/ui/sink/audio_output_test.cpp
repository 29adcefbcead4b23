// SPDX-License-Identifier: MIT
// Audition through a real audio server: a PulseAudio server of the test's
// own with a null sink, whose monitor shows exactly what Space played.
// Without pulseaudio the tests skip. The server is started before the
// application, as the toolkit connects to the audio server once.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <memory>

#include "null_sink.h"
#include "ui/application.h"
#include "ui/audition_control.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

NullSinkServer* server = nullptr;

using Bytes = std::vector<std::uint8_t>;

// Stereo frames of the sink: a mono sound lands on both channels.
Bytes bothChannels(const Bytes& mono) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < mono.size(); i += 2) out.insert(out.end(), {mono[i], mono[i + 1], mono[i], mono[i + 1]});
  return out;
}

Bytes interleaved(const Bytes& left, const Bytes& right) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < left.size(); i += 2)
    out.insert(out.end(), {left[i], left[i + 1], right[i], right[i + 1]});
  return out;
}

// The recording holds `expected` once, at a whole frame, and silence
// everywhere else.
void expectPlayedExactly(const QByteArray& recording, const Bytes& expected) {
  const QByteArray want(reinterpret_cast<const char*>(expected.data()), static_cast<qsizetype>(expected.size()));
  const qsizetype at = recording.indexOf(want.left(256));
  ASSERT_GE(at, 0) << "the sound's start is not in the recording of " << recording.size() << " bytes";
  EXPECT_EQ(at % 4, 0);
  const QByteArray got = recording.mid(at, want.size());
  qsizetype differs = 0;
  while (differs < want.size() && differs < got.size() && got[differs] == want[differs]) ++differs;
  EXPECT_EQ(differs, want.size()) << "the recording differs from the sample's frames from byte " << differs
                                  << " on (recorded " << got.size() << " bytes from the start)";
  const QByteArray before = recording.left(at), after = recording.mid(at + want.size());
  EXPECT_EQ(before.count('\0'), before.size()) << "sound before the sample";
  EXPECT_EQ(after.count('\0'), after.size()) << "sound after the sample";
}

class UiAudioOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server || !server->running())
      GTEST_SKIP() << "no audio server for the test: " << (server ? server->problem() : "not started");
    writeBank(w.banks + "/PAIR.TTI", pairBank());
    writeBank(w.banks + "/OTHER.TTI", simpleBank(2, 1000));
    w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
    w.showAndActivate();
    clickEntry(w.form->file1, QStringLiteral("PAIR.TTI"));
    list = w.form->wavlist;
    list->setFocus();
  }

  // Two 0.2 s noise samples of one length, and a long looped sample.
  BankDesc pairBank() {
    BankDesc bank;
    for (std::uint32_t seed : {1u, 2u}) {
      SampleDesc s;
      s.name = seed == 1 ? "NOISE L.WAV" : "NOISE R.WAV";
      s.pcm = noisePcm(8820, seed, 0.5);
      bank.samples.push_back(s);
    }
    SampleDesc looped;
    looped.name = "HUM.WAV";
    looped.pcm = sinePcm(4410, 0.01);
    looped.loopStartFrame = 0;
    looped.loopEndFrame = 4410;
    looped.zones = {0};
    ZoneDesc z;
    z.loopWord1 = 100;
    bank.samples.push_back(looped);
    bank.zones = {z};
    return bank;
  }

  bool sounding() const { return !w.form->audition()->soundingRows().empty(); }

  // Space on the current entry; the sound plays to its end.
  QByteArray recordSpace(std::vector<int> rows) {
    MonitorRecorder recorder(*server);
    EXPECT_TRUE(recorder.start());
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(w.form->audition()->soundingRows(), rows);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !sounding(); }, 5000));
    QTest::qWait(300);
    return recorder.stop();
  }

  TestWindow w;
  SampleList* list = nullptr;
};

}  // namespace

TEST_F(UiAudioOutput, SpacePlaysExactlyTheSamplesFrames) {
  clickRow(list, 1);
  expectPlayedExactly(recordSpace({1}), bothChannels(pairBank().samples[1].pcm));
  EXPECT_EQ(w.form->headl->text(), "3 Samples found");

  // In stereo mode two picks that form a pair play as one stereo sound,
  // the smaller index left.
  w.form->into->setCurrentIndex(1);
  w.form->intoChange();
  clickRow(list, 1);
  clickRow(list, 0);
  expectPlayedExactly(recordSpace({0, 1}), interleaved(pairBank().samples[0].pcm, pairBank().samples[1].pcm));

  // In the wide list the pair is one row, which plays both channels in
  // every mode.
  w.form->into->setCurrentIndex(0);
  w.form->intoChange();
  w.form->resize(1100, 560);
  clickRow(list, 0);
  expectPlayedExactly(recordSpace({0, 1}), interleaved(pairBank().samples[0].pcm, pairBank().samples[1].pcm));
}

TEST_F(UiAudioOutput, SpaceEscAnotherSampleAndAnotherBankStopTheSound) {
  clickRow(list, 2);
  const auto press = [&](Qt::Key key) { QTest::keyClick(list, key); };
  press(Qt::Key_Space);
  ASSERT_TRUE(sounding());
  QTest::qWait(100);
  EXPECT_TRUE(sounding()) << "a looped sample plays on";
  press(Qt::Key_Space);
  EXPECT_FALSE(sounding());
  press(Qt::Key_Space);
  ASSERT_TRUE(sounding());
  press(Qt::Key_Escape);
  EXPECT_FALSE(sounding());
  press(Qt::Key_Space);
  press(Qt::Key_Up);
  EXPECT_FALSE(sounding());
  press(Qt::Key_Space);
  ASSERT_TRUE(sounding());
  clickEntry(w.form->file1, QStringLiteral("OTHER.TTI"));
  EXPECT_FALSE(sounding());
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TempDir home;
  isolateHome(home);
  // Listing the tests needs no server.
  std::unique_ptr<NullSinkServer> sink;
  if (!GTEST_FLAG_GET(list_tests)) sink = std::make_unique<NullSinkServer>();
  server = sink.get();
  qputenv("PULSE_SERVER", sink && sink->running() ? sink->address().toUtf8()
                                         : QByteArray::fromStdString("unix:" + home.file("no-audio-server")));
  QApplication app(argc, argv);
  initialiseApplication();
  return RUN_ALL_TESTS();
}
