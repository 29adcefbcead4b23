// SPDX-License-Identifier: MIT
// Picks in the sample list, the stereo pick test and the extraction of
// chosen samples.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <set>

#include "jobs/selection.h"
#include "jobs_fixtures.h"
#include "jobs/bank_reading.h"
#include "tti/tti_reader.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPossible = "Building stereo WAV file possible  -> extract";
constexpr const char* kNoStereo = "This is no stereo file - select two other files";
constexpr const char* kTwoNeeded = "You have to select 2 WAV files";
constexpr const char* kOnlyOne = "only 1 sample - stereo extraction impossible";

// Eight samples of 8 frames each, looped alike, except: 3 is longer, 4 loops
// from another start, 6 ends its loop elsewhere.
BankDesc eightSamples() {
  BankDesc d;
  for (int i = 0; i < 8; ++i) {
    SampleDesc s = jobSample("S" + std::to_string(i) + ".WAV", i == 3 ? 10 : 8,
                             static_cast<std::uint8_t>(17 * i + 1));
    if (i == 4) s.loopStartFrame = 1;
    if (i == 6) s.loopEndFrame = 7;
    d.samples.push_back(s);
  }
  return d;
}

struct Picking {
  TempDir dir;
  RecordingListener ui;
  JobContext ctx{ui};
  StereoPicks picks;
  std::string bank;

  explicit Picking(const BankDesc& d, FormatId mode = FormatId::Stereo, const std::string& name = "BANK.TTI") {
    ctx.options.format = &outputFormat(mode);
    bank = dir.file(name);
    writeBank(bank, d);
    file1Click(ctx, bank);
    ui.statuses.clear();
    ui.buttons.clear();
    ui.gauges.clear();
  }
  // Presses entry k in multi-selection state.
  void press(int k) { down(k, true); }
  void down(int k, bool multi) { wavlistMouseDown(ui, ctx.bank, picks, k, multi); }
  void wavextr(int k) { wavextrClick(ctx, BankRef::file(bank), ui.buttonOn(ButtonId::WavExtr), picks, k, out()); }
  void dbl(int k) { wavlistDblClick(ctx, BankRef::file(bank), k, out()); }
  // The entries the list shows selected, from the select events so far.
  std::set<int> selected() const {
    std::set<int> s;
    for (auto [index, on] : ui.selections) {
      if (on) s.insert(index);
      else s.erase(index);
    }
    return s;
  }
  bool wavextrOn() const { return ui.buttonOn(ButtonId::WavExtr); }
  std::string out() const { return dir.file("out"); }
};

struct Frames {
  int channels = 0;
  std::vector<std::int16_t> data;
};

Frames readWav(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  Frames r;
  if (!f) return r;
  r.channels = info.channels;
  r.data.resize(static_cast<std::size_t>(info.frames * info.channels));
  sf_read_short(f, r.data.data(), static_cast<sf_count_t>(r.data.size()));
  sf_close(f);
  return r;
}

std::vector<std::int16_t> samplesOf(const SampleDesc& s) {
  std::vector<std::int16_t> v(s.pcm.size() / 2);
  for (std::size_t k = 0; k < v.size(); ++k)
    v[k] = static_cast<std::int16_t>(s.pcm[2 * k] | s.pcm[2 * k + 1] << 8);
  return v;
}

}  // namespace

TEST(JobsPicks, EachPressKeepsExactlyTheLastTwoPicksSelected) {
  Picking p(eightSamples());
  p.press(2);
  p.press(5);
  EXPECT_EQ(p.selected(), (std::set<int>{2, 5}));
  p.press(7);
  EXPECT_EQ(p.selected(), (std::set<int>{5, 7}));
  EXPECT_EQ(p.picks.previous, 5);
  EXPECT_EQ(p.picks.current, 7);
}

TEST(JobsPicks, OnePickAfterAStartOrABankChangeAsksForTwoFiles) {
  // Whichever entry is picked first, nothing picked before it counts: not
  // the start, not the picks made in another bank's list.
  for (int first : {0, 1, 5}) {
    Picking p(eightSamples());
    p.press(3);
    p.press(4);
    // The bank shown again, as a click on it does: a new list, no picks.
    file1Click(p.ctx, p.bank);
    p.picks.clear();
    p.ui.selections.clear();
    p.ui.buttonChanged(ButtonId::WavExtr, true);
    p.press(first);
    EXPECT_EQ(p.ui.lastStatus(), kTwoNeeded) << first;
    EXPECT_FALSE(p.wavextrOn()) << first;
    EXPECT_EQ(p.selected(), std::set<int>{first}) << first;
    // Extraction without two picks writes nothing.
    p.picks.clear();
    EXPECT_FALSE(doublextr(p.ctx, p.picks, first, p.out()));
    EXPECT_EQ(p.ui.lastStatus(), kTwoNeeded);
    EXPECT_FALSE(std::filesystem::exists(p.out())) << first;
  }
}

TEST(JobsPicks, SameEntryTwiceAsksForTwoFiles) {
  Picking p(eightSamples());
  p.press(5);
  p.press(5);
  EXPECT_EQ(p.ui.lastStatus(), kTwoNeeded);
  EXPECT_FALSE(p.wavextrOn());
  EXPECT_EQ(p.selected(), std::set<int>{5});
}

TEST(JobsPicks, UnrelatedNamesWithEqualValuesPass) {
  BankDesc d = eightSamples();
  d.samples[1].name = "TOTALLY.WAV";
  d.samples[2].name = "DIFFERENT.AIF";
  Picking p(d);
  p.press(1);
  p.press(2);
  EXPECT_EQ(p.ui.statuses.back(), kPossible);
  EXPECT_TRUE(p.wavextrOn());
}

TEST(JobsPicks, DifferentLengthOrLoopPointsFailTheTest) {
  for (int other : {3, 4, 6}) {  // longer, other loop start, other loop end
    Picking p(eightSamples());
    p.ui.buttonChanged(ButtonId::WavExtr, true);
    p.press(1);
    p.press(other);
    EXPECT_EQ(p.ui.lastStatus(), kNoStereo) << other;
    EXPECT_FALSE(p.wavextrOn()) << other;
  }
}

TEST(JobsPicks, OneSampleBankRefusesInEveryMode) {
  BankDesc d;
  d.samples.push_back(jobSample("ONLY.WAV", 8));
  for (FormatId mode : {FormatId::Mono, FormatId::Stereo, FormatId::Sf2, FormatId::None}) {
    Picking p(d, mode);
    p.ui.buttonChanged(ButtonId::WavExtr, true);
    p.down(0, mode == FormatId::Stereo);
    EXPECT_EQ(p.ui.lastStatus(), kOnlyOne);
    EXPECT_FALSE(p.wavextrOn());
  }
}

TEST(JobsPicks, SingleSelectionPressSwitchesExtractionOnSilently) {
  Picking p(eightSamples(), FormatId::Mono);
  p.down(3, false);
  EXPECT_TRUE(p.wavextrOn());
  EXPECT_TRUE(p.ui.statuses.empty());
  EXPECT_TRUE(p.ui.selections.empty());
  EXPECT_EQ(p.picks.current, StereoPicks::kNoPick);  // picks move only in multi-selection state
}

TEST(JobsPicks, PicksBeyondTheListEndAreNotTouched) {
  BankDesc d = eightSamples();
  d.samples.resize(4);
  Picking p(d);
  p.picks.current = 10;  // left by a larger bank
  p.picks.previous = 12;
  p.press(1);
  EXPECT_EQ(p.ui.selections, (std::vector<std::pair<int, bool>>{{1, true}}));
  EXPECT_EQ(p.ui.lastStatus(), kNoStereo);
  EXPECT_FALSE(p.wavextrOn());
}

TEST(JobsPicks, PressWithoutCurrentItemChangesNothing) {
  Picking p(eightSamples());
  p.press(-1);
  EXPECT_EQ(p.picks.current, StereoPicks::kNoPick);
  EXPECT_EQ(p.picks.previous, StereoPicks::kNoPick);
  EXPECT_TRUE(p.ui.statuses.empty());
}

TEST(JobsPicks, StereoPickTestNeedsTwoEntriesOfTheBank) {
  Picking p(eightSamples());
  EXPECT_TRUE(stereoPickTest(p.ctx.bank, 0, 7));
  EXPECT_FALSE(stereoPickTest(p.ctx.bank, 2, 2));
  EXPECT_FALSE(stereoPickTest(p.ctx.bank, 0, 8));  // a slot of no bank
}

TEST(JobsSingleExtraction, WritesTheCurrentSampleIntoTheMonoFolder) {
  Picking p(eightSamples(), FormatId::Mono);
  makeFolders(p.out());
  p.down(3, false);
  p.wavextr(3);
  const std::string file = p.out() + "/WAV_MONO_BANK.TTI/S3.WAV";
  ASSERT_TRUE(fs::exists(file));
  Frames f = readWav(file);
  EXPECT_EQ(f.channels, 1);
  EXPECT_EQ(f.data, samplesOf(eightSamples().samples[3]));
  EXPECT_EQ(p.ui.statuses, (std::vector<std::string>{"3", "S3.WAV extracted"}));
  EXPECT_EQ(p.ui.allLog, std::vector<std::string>{"S3.WAV extracted"});
  EXPECT_EQ(p.ctx.destinationFolder, p.out() + "/");
  EXPECT_EQ(p.ui.destinationRereads, 1);
  EXPECT_FALSE(p.ctx.bank.pcm.held());
}

TEST(JobsSingleExtraction, SeveralChosenSamplesAreEachWritten) {
  Picking p(eightSamples(), FormatId::Mono);
  makeFolders(p.out());
  EXPECT_EQ(extractSamples(p.ctx, BankRef::file(p.bank), {5, 1, 3}, p.out()), 3u);
  for (int k : {1, 3, 5}) {
    const std::string file = p.out() + "/WAV_MONO_BANK.TTI/S" + std::to_string(k) + ".WAV";
    ASSERT_TRUE(fs::exists(file)) << file;
    EXPECT_EQ(readWav(file).data, samplesOf(eightSamples().samples[static_cast<std::size_t>(k)]));
  }
  EXPECT_FALSE(fs::exists(p.out() + "/WAV_MONO_BANK.TTI/S0.WAV"));
  EXPECT_EQ(p.ui.allLog, (std::vector<std::string>{"S5.WAV extracted", "S1.WAV extracted", "S3.WAV extracted"}));
  EXPECT_EQ(p.ui.lastStatus(), "3 samples extracted");
}

TEST(JobsSingleExtraction, GaugeRunsToTwoAndBackToZero) {
  Picking p(eightSamples(), FormatId::Mono);
  makeFolders(p.out());
  singlextr(p.ctx, 1, p.out());
  auto progress = p.ui.progressOf(GaugeId::Bank);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(*std::max_element(progress.begin(), progress.end()), 2);
  EXPECT_EQ(progress.back(), 0);
  EXPECT_EQ(p.ctx.gauge1.max(), 2);
}

TEST(JobsSingleExtraction, SecondExtractionReportsTheFileAndWritesNothing) {
  Picking p(eightSamples(), FormatId::Mono);
  makeFolders(p.out());
  singlextr(p.ctx, 2, p.out());
  const std::string file = p.out() + "/WAV_MONO_BANK.TTI/S2.WAV";
  auto bytes = readFileBytes(file);
  p.ui.statuses.clear();
  singlextr(p.ctx, 2, p.out());
  EXPECT_EQ(p.ui.statuses, (std::vector<std::string>{"2", "S2.WAV already extracted"}));
  EXPECT_EQ(readFileBytes(file), bytes);
  EXPECT_EQ(p.ui.allLog.size(), 1u);
}

TEST(JobsSingleExtraction, NoCurrentItemWritesNothing) {
  Picking p(eightSamples(), FormatId::Mono);
  makeFolders(p.out());
  singlextr(p.ctx, -1, p.out());
  EXPECT_EQ(p.ui.lastStatus(), "No sample selected");
  EXPECT_TRUE(fs::is_empty(p.out()));
}

TEST(JobsSingleExtraction, ButtonOffDoesNothing) {
  Picking p(eightSamples(), FormatId::Mono);
  makeFolders(p.out());
  p.wavextr(2);
  EXPECT_TRUE(p.ui.statuses.empty());
  EXPECT_TRUE(fs::is_empty(p.out()));
}

TEST(JobsSingleExtraction, SoundFontModeStillWritesAMonoWav) {
  Picking p(eightSamples(), FormatId::Sf2);
  makeFolders(p.out());
  p.down(4, false);
  p.wavextr(4);
  EXPECT_TRUE(fs::exists(p.out() + "/WAV_MONO_BANK.TTI/S4.WAV"));
}

TEST(JobsSingleExtraction, DoubleClickExtractsExceptInStereoMode) {
  BankDesc d;
  d.samples.push_back(jobSample("ONLY.WAV", 8));
  Picking mono(d, FormatId::Mono);
  makeFolders(mono.out());
  mono.dbl(0);
  EXPECT_TRUE(fs::exists(mono.out() + "/WAV_MONO_BANK.TTI/ONLY.WAV"));

  Picking stereo(eightSamples(), FormatId::Stereo);
  makeFolders(stereo.out());
  stereo.dbl(0);
  EXPECT_TRUE(fs::is_empty(stereo.out()));
}

TEST(JobsPairExtraction, TheHigherEntryIsTheLeftChannel) {
  BankDesc d = eightSamples();
  Picking p(d);
  makeFolders(p.out());
  p.press(2);
  p.press(5);
  p.press(7);
  p.wavextr(7);
  const std::string file = p.out() + "/WAV_STEREO_BANK.TTI/S5__S7.WAV";
  ASSERT_TRUE(fs::exists(file));
  Frames f = readWav(file);
  ASSERT_EQ(f.channels, 2);
  auto left = samplesOf(d.samples[5]), right = samplesOf(d.samples[7]);
  ASSERT_EQ(f.data.size(), 2 * left.size());
  for (std::size_t k = 0; k < left.size(); ++k) {
    EXPECT_EQ(f.data[2 * k], left[k]);
    EXPECT_EQ(f.data[2 * k + 1], right[k]);
  }
  EXPECT_EQ(p.ui.statuses.back(), "S5__S7.WAV extracted");
  EXPECT_EQ(p.ui.allLog, std::vector<std::string>{"S5__S7.WAV extracted"});
  EXPECT_EQ(p.ctx.gauge1.progress(), 0);
}

TEST(JobsPairExtraction, PressOrderDoesNotMatter) {
  Picking a(eightSamples()), b(eightSamples());
  makeFolders(a.out());
  makeFolders(b.out());
  a.press(5);
  a.press(7);
  b.press(7);
  b.press(5);
  a.wavextr(7);
  b.wavextr(5);
  EXPECT_EQ(filesBelow(a.out()), filesBelow(b.out()));
  EXPECT_EQ(readFileBytes(a.out() + "/WAV_STEREO_BANK.TTI/S5__S7.WAV"),
            readFileBytes(b.out() + "/WAV_STEREO_BANK.TTI/S5__S7.WAV"));
}

TEST(JobsPairExtraction, SecondExtractionSaysAlreadyExtracted) {
  Picking p(eightSamples());
  makeFolders(p.out());
  p.press(0);
  p.press(1);
  p.wavextr(1);
  p.wavextr(1);
  EXPECT_EQ(p.ui.lastStatus(), "Already extracted");
  EXPECT_EQ(p.ui.allLog.size(), 1u);
}

TEST(JobsPairExtraction, FailingPairIsRefusedAndNothingWritten) {
  // The button was switched on in single-selection state; the picks then
  // never passed the test.
  Picking p(eightSamples());
  makeFolders(p.out());
  p.ui.buttonChanged(ButtonId::WavExtr, true);
  p.picks.previous = 1;
  p.picks.current = 3;
  EXPECT_FALSE(doublextr(p.ctx, p.picks, 3, p.out()));
  EXPECT_EQ(p.ui.statuses, std::vector<std::string>{kNoStereo});
  EXPECT_TRUE(fs::is_empty(p.out()));
  EXPECT_TRUE(p.ui.gauges.empty());
}

TEST(JobsPairExtraction, SamePickTwiceIsRefused) {
  Picking p(eightSamples());
  makeFolders(p.out());
  p.picks.previous = p.picks.current = 2;
  EXPECT_FALSE(doublextr(p.ctx, p.picks, 2, p.out()));
  EXPECT_EQ(p.ui.lastStatus(), kTwoNeeded);
  EXPECT_TRUE(fs::is_empty(p.out()));
}
