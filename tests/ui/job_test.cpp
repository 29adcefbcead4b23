// SPDX-License-Identifier: MIT
// Conversions on the job thread: the window stays alive while one runs, Esc
// and the close button stop it, and a stopped job leaves no partial file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "output_check.h"
#include "test_support.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

constexpr int kSamples = 32;
constexpr std::size_t kSampleBytes = 4u << 20;

// 128 MiB of samples: long enough to be stopped in its middle.
BankDesc bigBank() {
  BankDesc bank;
  for (int k = 0; k < kSamples; ++k) {
    SampleDesc s;
    s.name = "S" + std::to_string(k) + ".WAV";
    s.pcm.assign(kSampleBytes, static_cast<std::uint8_t>(k));
    s.zones = {0};
    bank.samples.push_back(std::move(s));
  }
  bank.zones.push_back(ZoneDesc{});
  return bank;
}

// A window whose job, once it has asked a few times whether to stop,
// waits at the next question until release(): however fast the machine,
// the job is still running when the test acts in its middle, and has
// finished some files by then.
class HeldForm : public TForm1 {
 public:
  ~HeldForm() override {
    // The job stops before this class goes: it calls cancelled().
    release();
    cancelJob();
    waitForJob(this);
  }
  bool cancelled() const override {
    if (std::this_thread::get_id() != window_) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (++asked_ > kFreeAnswers) released_.wait_for(lock, std::chrono::seconds(60), [this] { return free_; });
    }
    return TForm1::cancelled();
  }
  void release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      free_ = true;
    }
    released_.notify_all();
  }

 private:
  static constexpr int kFreeAnswers = 12;
  const std::thread::id window_ = std::this_thread::get_id();
  mutable std::mutex mutex_;
  mutable std::condition_variable released_;
  mutable int asked_ = 0;
  bool free_ = false;
};

// A window on the big bank, clicked, with output choice `mode`.
void openBig(TestWindow& w, int mode) {
  writeBank(w.banks + "/BIG.TTI", bigBank());
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n" + std::to_string(mode) + "\r\n");
  w.showAndActivate();
  clickEntry(w.form->file1, "BIG.TTI");
}

// Calls `midJob` once, on the window's thread, after `ticks` events of a
// 10 ms timer have arrived while the job started by `start` runs; waits for
// the job's end. Returns the number of timer events during the job.
int duringJob(TForm1& form, const std::function<void()>& start, int ticks,
              const std::function<void()>& midJob) {
  int seen = 0;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!form.jobRunning()) return;
    if (++seen == ticks) midJob();
  });
  timer.start();
  start();
  waitForJob(&form);
  return seen;
}

void pressExtract(TForm1& form) {
  QTest::mouseMove(form.extract, form.extract->rect().center());
  QTest::mouseClick(form.extract, Qt::LeftButton, {}, form.extract->rect().center());
}

}  // namespace

TEST(UiJob, WindowAnswersDuringAJobAndEscStopsItLeavingOnlyWholeFiles) {
  TestWindow w(std::make_unique<HeldForm>());
  openBig(w, 0);
  TForm1& f = *w.form;
  bool aboutOpenedMidJob = false, controlsLockedMidJob = false;
  const int ticks = duringJob(f, [&] { pressExtract(f); }, 3, [&] {
    QTest::mouseClick(f.aboutbt, Qt::LeftButton, {}, f.aboutbt->rect().center());
    aboutOpenedMidJob = w.about->isVisible() && f.jobRunning();
    controlsLockedMidJob = !f.extract->isEnabled() && !f.file1->isEnabled() && !f.destin->isEnabled();
    w.about->Image1Click();
    QTest::keyClick(&f, Qt::Key_Escape);
    static_cast<HeldForm&>(f).release();
  });
  EXPECT_GE(ticks, 3);
  EXPECT_TRUE(aboutOpenedMidJob);
  EXPECT_TRUE(controlsLockedMidJob);
  EXPECT_TRUE(f.extract->isEnabled());

  EXPECT_EQ(f.headl->text(), "cancelled");
  for (GaugeBar* g : {f.gauge1, f.Gauge2, f.Gauge3}) EXPECT_EQ(g->progress(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // What was finished stays whole; nothing else, not even a part file.
  const std::string folder = w.out + "/WAV_MONO_BIG.TTI";
  const QStringList names = folderEntries(folder);
  EXPECT_LT(names.size(), kSamples);
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    EXPECT_TRUE(name.startsWith('S') && name.endsWith(".WAV"));
    const SndRead r = readWithSndfile(folder + "/" + name.toStdString());
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.info.frames, static_cast<sf_count_t>(kSampleBytes / 2));
  }
}

TEST(UiJob, ClosingDuringAJobStopsItFirstThenEnds) {
  struct Case {
    const char* how;
    std::function<void(TForm1&)> close;
  };
  const std::vector<Case> cases = {
      {"close button", [](TForm1& f) { QTest::mouseClick(f.ImgBtn21, Qt::LeftButton, {}, {8, 7}); }},
      {"desktop", [](TForm1& f) { f.close(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    TestWindow w(std::make_unique<HeldForm>());
    openBig(w, 2);
    TForm1& f = *w.form;
    QSignalSpy ending(&f, &TForm1::applicationEnding);
    bool stillOpen = false;
    duringJob(f, [&] { pressExtract(f); }, 1, [&] {
      QTest::mouseMove(f.ImgBtn21, {8, 7});
      c.close(f);
      stillOpen = f.isVisible() && ending.isEmpty();
      static_cast<HeldForm&>(f).release();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(f.headl->text(), "cancelled");
    EXPECT_TRUE(ending.count() == 1 || !f.isVisible());
    EXPECT_TRUE(folderEntries(w.out).isEmpty());
  }
}

// The window's picks and shown bank are its own: whatever a run loaded,
// and however it ended, "Convert file" converts the bank the file list
// highlights, and a click on a bank shows that bank.
TEST(UiJob, AfterAnyRunTheHighlightedBankIsTheOneConvertedAndShown) {
  auto press = [](QWidget* button) {
    QTest::mouseMove(button, button->rect().center());
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  };
  struct Case {
    const char* run;
    bool cancel;
  };
  for (const Case& c : {Case{"folder run", false}, Case{"drive run", false}, Case{"cancelled folder run", true}}) {
    SCOPED_TRACE(c.run);
    TestWindow w(std::make_unique<HeldForm>());
    TForm1& f = *w.form;
    writeBank(w.banks + "/A.TTI", simpleBank(2));
    writeBank(w.banks + "/Z.TTI", simpleBank(1));
    if (c.cancel) writeBank(w.banks + "/BIG.TTI", bigBank());
    w.setDrives({{"banks", QString::fromStdString(w.banks)}});
    w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
    w.showAndActivate();
    clickEntry(f.file1, "A.TTI");
    duringJob(f, [&] { press(std::string(c.run) == "drive run" ? f.extrdrive : f.complete); }, 1, [&] {
      if (c.cancel) QTest::keyClick(&f, Qt::Key_Escape);
      static_cast<HeldForm&>(f).release();
    });
    static_cast<HeldForm&>(f).release();
    ASSERT_EQ(f.file1->selectedPath(), QString::fromStdString(w.banks + "/A.TTI"));

    press(f.extract);
    waitForJob(&f);
    EXPECT_EQ(folderEntries(w.out + "/WAV_MONO_A.TTI"), QStringList({"SAMPLE1.WAV", "SAMPLE2.WAV"}));
    EXPECT_FALSE(fs::exists(w.out + "/WAV_MONO_Z.TTI"));

    const QStringList boxes = collectMessageBoxes([&] { clickEntry(f.file1, "Z.TTI"); });
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join("|").toStdString();
    EXPECT_EQ(f.headl->text(), "1 Samples found");
    EXPECT_EQ(f.wavlist->count(), 1);
  }
}
