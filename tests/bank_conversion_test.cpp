// SPDX-License-Identifier: MIT
// Whole-bank conversion: output folders, mono and stereo runs, the pair
// search, skipping what exists, the log and the gauge, and real write
// faults.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "jobs/bank_conversion.h"
#include "jobs/output_folders.h"
#include "output_check.h"
#include "platform/errors.h"
#include "writers/sf2_writer.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

SampleDesc named(const std::string& name, std::size_t bytes, std::uint8_t seed = 0) {
  return pcmSample(name, rampPcm(bytes, seed));
}

struct ConversionRun : BankFixture {
  std::string bank;
  std::string target;

  ConversionRun(const BankDesc& d, FormatId mode, const std::string& bankName = "BANK.TTI") {
    bank = write(d, bankName);
    target = out();
    ctx.options.format = &outputFormat(mode);
  }
  // One conversion of the bank into the target folder.
  void convert() {
    select(bank);
    ctx.destinationFolder = target;
    extracttti(ctx);
  }
  std::string mono() const { return target + "WAV_MONO_" + std::filesystem::path(bank).filename().string() + "/"; }
  std::string stereo() const {
    return target + "WAV_STEREO_" + std::filesystem::path(bank).filename().string() + "/";
  }
};

std::vector<std::string> lines(std::initializer_list<std::string> l) { return l; }

int errorOf(const std::function<void()>& f, std::string* path = nullptr) {
  try {
    f();
  } catch (const RunError& e) {
    if (path) *path = e.path();
    return e.code();
  }
  return 0;
}

}  // namespace

TEST(JobsFolders, DestinationRuleAddsOneSeparator) {
  EXPECT_EQ(destinationRule("/data/out"), "/data/out/");
  EXPECT_EQ(destinationRule("/data/out/"), "/data/out/");
  EXPECT_EQ(destinationRule("/"), "/");
}

TEST(JobsFolders, PerBankFoldersKeepTheBankFileNameAndAreReused) {
  BankFixture f;
  f.ctx.bank.ttiPath = f.dir.file("Piano.Tti");
  const std::string out = f.out();
  auto folderOf = [&](FormatId id) {
    return createBankFolder(OutputRoot(out), out, bankOutputName(outputFormat(id), f.ctx.bank.ttiPath));
  };
  EXPECT_EQ(folderOf(FormatId::Mono), out + "WAV_MONO_Piano.Tti/");
  EXPECT_EQ(folderOf(FormatId::Stereo), out + "WAV_STEREO_Piano.Tti/");
  writeBytes(out + "WAV_MONO_Piano.Tti/KEEP.WAV", {1, 2});
  EXPECT_EQ(folderOf(FormatId::Mono), out + "WAV_MONO_Piano.Tti/");
  EXPECT_EQ(namesIn(out + "WAV_MONO_Piano.Tti"), lines({"KEEP.WAV"}));
}

TEST(JobsFolders, WhenThePerBankFolderCannotBeMadeTheBankFailsNamingIt) {
  BankDesc d;
  d.samples = {named("A.WAV", 8)};
  for (FormatId mode : {FormatId::Mono, FormatId::Sfz}) {
    SCOPED_TRACE(outputFormat(mode).word);
    ConversionRun r(d, mode);
    const std::string folder = r.target + bankOutputName(outputFormat(mode), r.bank);
    writeBytes(folder, {0});  // a file in the folder's place
    std::string path;
    try {
      r.convert();
      ADD_FAILURE() << "converted";
    } catch (const RunError& e) {
      EXPECT_EQ(e.path(), folder);
      EXPECT_EQ(e.message(), "File access denied (a file of that name is in the way)");
    }
    EXPECT_EQ(namesIn(r.target), lines({std::filesystem::path(folder).filename().string()}));
  }
}

TEST(JobsMono, EverySampleBecomesAFileAndALogLine) {
  BankDesc d;
  d.samples = {named("A.WAV", 100, 1), named("B.WAV", 20, 2), named("C.WAV", 0)};
  ConversionRun r(d, FormatId::Mono);
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "A.WAV extracted", "B.WAV extracted", "C.WAV extracted"}));
  EXPECT_EQ(namesIn(r.target), lines({"WAV_MONO_BANK.TTI"}));
  EXPECT_EQ(namesIn(r.mono()), lines({"A.WAV", "B.WAV", "C.WAV"}));
  const auto a = readFileBytes(r.mono() + "A.WAV");
  ASSERT_EQ(a.size(), 212u);
  EXPECT_EQ(std::vector<std::uint8_t>(a.begin() + 112, a.end()), d.samples[0].pcm);
}

// Files found already there are compared with what the bank gives: the
// same bytes are skipped, other bytes (another bank of the same name, a
// broken earlier attempt) are left as they are and fail the bank once its
// other files are done.
TEST(JobsExisting, FilesFoundAreComparedAndOnesThatDifferFailTheBank) {
  BankDesc d;
  d.samples = {named("A.WAV", 100), named("B L.WAV", 20, 1), named("B R.WAV", 20, 2)};
  struct Case {
    FormatId mode;
    std::string file;  // relative to the target: the file changed before the second run
    std::vector<std::string> log;  // the second run's log with the file changed
  };
  const std::vector<Case> cases = {
      {FormatId::Mono, "WAV_MONO_BANK.TTI/A.WAV",
       {"processing BANK.TTI", "A.WAV exists and differs", "B L.WAV already extracted", "B R.WAV already extracted"}},
      {FormatId::Stereo, "WAV_STEREO_BANK.TTI/B L__B R.WAV", {"processing BANK.TTI", "B L__B R.WAV exists and differs"}},
      {FormatId::Sfz, "SFZ_BANK.TTI/samples/B R.WAV",
       {"processing BANK.TTI", "A.WAV already extracted", "B L.WAV already extracted", "B R.WAV exists and differs",
        "BANK.sfz written"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(outputFormat(c.mode).word);
    ConversionRun r(d, c.mode);
    r.convert();
    const std::string changed = r.target + c.file;
    std::vector<std::uint8_t> bytes = readFileBytes(changed);
    ASSERT_FALSE(bytes.empty());
    // An identical rerun skips every file and succeeds.
    EXPECT_EQ(errorOf([&] { r.convert(); }), 0);
    bytes.back() ^= 1;  // the same size, one bit off
    writeBytes(changed, bytes);
    std::string path;
    EXPECT_EQ(errorOf([&] { r.convert(); }, &path), kOutputDiffers);
    EXPECT_EQ(path, changed);
    EXPECT_EQ(r.ui.log, c.log);
    EXPECT_EQ(readFileBytes(changed), bytes);
    EXPECT_EQ(std::count(r.ui.outcomes.begin(), r.ui.outcomes.end(), OutputOutcome::Differs), 1);
  }
}

TEST(JobsMono, OnlyTheMissingFilesAreWritten) {
  BankDesc d;
  d.samples = {named("A.WAV", 10), named("B.WAV", 10), named("C.WAV", 10)};
  ConversionRun r(d, FormatId::Mono);
  r.convert();
  std::filesystem::remove(r.mono() + "B.WAV");
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "A.WAV already extracted", "B.WAV extracted",
                             "C.WAV already extracted"}));
}

TEST(JobsMono, RepeatedNamesAreWrittenUnderTheirOutputNames) {
  BankDesc d;
  d.samples = {named("X\\PIANO.WAV", 10, 1), named("PIANO.WAV", 10, 2)};
  ConversionRun r(d, FormatId::Mono);
  r.convert();
  EXPECT_EQ(namesIn(r.mono()), lines({"PIANO.WAV", "PIANO_1.WAV"}));
  EXPECT_EQ(readFileBytes(r.mono() + "PIANO_1.WAV")[112], d.samples[1].pcm[0]);
}

TEST(JobsMono, GaugeRunsFromZeroToTwoNPlusTwo) {
  BankDesc d;
  d.samples = {named("A.WAV", 10), named("B.WAV", 10), named("C.WAV", 10)};
  ConversionRun r(d, FormatId::Mono);
  r.convert();
  EXPECT_EQ(r.ui.gauges.back().max, 8);
  // The range is set, the progress reset, then one step at a time.
  EXPECT_EQ(r.ui.progressOf(GaugeId::Bank), (std::vector<std::int64_t>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
  r.ui.gauges.clear();
  r.convert();
  EXPECT_EQ(r.ui.progressOf(GaugeId::Bank).back(), 5);  // nothing written: the load's N + 2
}

TEST(JobsMono, PcmIsReleasedAndTheCursorRestored) {
  BankDesc d;
  d.samples = {named("A.WAV", 10)};
  ConversionRun r(d, FormatId::Mono);
  r.convert();
  EXPECT_FALSE(r.ctx.bank.pcm.held());
  EXPECT_EQ(r.ui.busyCalls, (std::vector<bool>{true, false}));
}

TEST(JobsMono, EmptyBankGivesTheFolderAndTheProcessingLine) {
  ConversionRun r(BankDesc{}, FormatId::Mono);
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI"}));
  EXPECT_TRUE(namesIn(r.mono()).empty());
}

TEST(JobsStereo, ALeftRightPairBecomesOneStereoFile) {
  BankDesc d;
  d.samples = {named("PAD L.WAV", 8, 1), named("PAD R.WAV", 8, 2)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "PAD L__PAD R.WAV extracted"}));
  EXPECT_EQ(namesIn(r.stereo()), lines({"PAD L__PAD R.WAV"}));
  const auto file = readFileBytes(r.stereo() + "PAD L__PAD R.WAV");
  const auto& L = d.samples[0].pcm;
  const auto& R = d.samples[1].pcm;
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 112, file.end()),
            (std::vector<std::uint8_t>{L[0], L[1], R[0], R[1], L[2], L[3], R[2], R[3], L[4], L[5], R[4], R[5],
                                       L[6], L[7], R[6], R[7]}));
  EXPECT_EQ(r.ui.progressOf(GaugeId::Bank).back(), 6);
  EXPECT_EQ(r.ui.gauges.back().max, 6);
}

TEST(JobsStereo, UnequalLengthOrLoopGivesTwoMonoFiles) {
  for (int variant = 0; variant < 3; ++variant) {
    BankDesc d;
    d.samples = {named("PAD L.WAV", 8), named("PAD R.WAV", 8)};
    if (variant == 0) d.samples[1] = named("PAD R.WAV", 10);
    if (variant == 1) d.samples[1].loopStartFrame = 1;
    if (variant == 2) d.samples[1].loopEndFrame = 3;
    ConversionRun r(d, FormatId::Stereo);
    r.convert();
    EXPECT_EQ(namesIn(r.stereo()), lines({"PAD L.WAV", "PAD R.WAV"})) << variant;
  }
}

TEST(JobsStereo, IdenticalNamesFormAPair) {
  BankDesc d;
  d.samples = {named("SAME.WAV", 8), named("SAME.WAV", 8)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  EXPECT_EQ(namesIn(r.stereo()), lines({"SAME__SAME.WAV"}));
}

TEST(JobsStereo, OfThreeMatchingSamplesTheFirstTwoPairAndTheThirdIsMono) {
  BankDesc d;
  d.samples = {named("HIT 1.WAV", 8), named("HIT 2.WAV", 8), named("HIT 3.WAV", 8)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "HIT 1__HIT 2.WAV extracted", "HIT 3.WAV extracted"}));
}

TEST(JobsStereo, ThePartnerNeedNotBeAdjacent) {
  BankDesc d;
  d.samples = {named("STR L.WAV", 8), named("BASS.WAV", 6), named("STR R.WAV", 8)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "STR L__STR R.WAV extracted", "BASS.WAV extracted"}));
}

TEST(JobsStereo, NamesOfFiveCharactersOrFewerAreCutByFour) {
  BankDesc d;
  // "AL.WAV" and "AR.WAV" are longer than 5: keys "A" and "A".
  // "L.WAV" has 5 characters: both keys are cut by 4, "L" and "R" differ.
  d.samples = {named("AL.WAV", 8), named("AR.WAV", 8), named("L.WAV", 4), named("R.WAV", 4)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  EXPECT_EQ(namesIn(r.stereo()), lines({"AL__AR.WAV", "L.WAV", "R.WAV"}));
}

TEST(JobsStereo, APairWhoseFileExistsStillCountsAsAPair) {
  BankDesc d;
  d.samples = {named("PAD L.WAV", 8), named("PAD R.WAV", 8)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "PAD L__PAD R.WAV already extracted"}));
  EXPECT_EQ(namesIn(r.stereo()), lines({"PAD L__PAD R.WAV"}));
}

TEST(JobsStereo, TwoPairsOfTheSameNamesGiveOneFile) {
  BankDesc d;
  d.samples = {named("AB L.WAV", 8, 1), named("AB R.WAV", 8, 2), named("AB L.WAV", 8, 3),
               named("AB R.WAV", 8, 4)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "AB L__AB R.WAV extracted", "AB L__AB R.WAV already extracted"}));
  EXPECT_EQ(namesIn(r.stereo()), lines({"AB L__AB R.WAV"}));
}

TEST(JobsStereo, ALoneSampleIsAMonoFileInTheStereoFolder) {
  BankDesc d;
  d.samples = {named("ONLY.WAV", 8)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  EXPECT_EQ(namesIn(r.target), lines({"WAV_STEREO_BANK.TTI"}));
  EXPECT_EQ(namesIn(r.stereo()), lines({"ONLY.WAV"}));
}

TEST(JobsStereo, AnExistingMonoLeftoverIsSkippedWithoutALine) {
  BankDesc d;
  d.samples = {named("ONLY.WAV", 8)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI"}));
}

TEST(JobsStereo, TheStereoFileNameStaysInsideTheFolder) {
  BankDesc d;
  d.samples = {named("../UP L.WAV", 8), named("../UP R.WAV", 8)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  EXPECT_EQ(namesIn(r.stereo()), lines({".._UP L__.._UP R.WAV"}));
  EXPECT_EQ(namesIn(r.target), lines({"WAV_STEREO_BANK.TTI"}));
}

TEST(JobsStereo, AStereoFileNameTooLongForTheFileSystemIsShortened) {
  const std::string stem(200, 'S');
  BankDesc d;
  d.samples = {named(stem + "L.WAV", 8), named(stem + "R.WAV", 8)};
  ConversionRun r(d, FormatId::Stereo);
  r.convert();
  const auto names = namesIn(r.stereo());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].size(), 255u);
  EXPECT_EQ(names[0].substr(0, 203), stem + "L__");
  EXPECT_EQ(names[0].substr(251), ".WAV");
  EXPECT_EQ(r.ui.log.back(), names[0] + " extracted");
}

TEST(JobsNoMode, WritesMonoFilesIntoTheStereoFolderWithoutPairs) {
  BankDesc d;
  d.samples = {named("PAD L.WAV", 8), named("PAD R.WAV", 8)};
  ConversionRun r(d, FormatId::None);
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "PAD L.WAV extracted", "PAD R.WAV extracted"}));
  EXPECT_EQ(namesIn(r.stereo()), lines({"PAD L.WAV", "PAD R.WAV"}));
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI"}));
}

TEST(JobsSf2, TheSoundFontGoesIntoTheDestinationFolderItself) {
  BankDesc d;
  d.samples = {named("A.WAV", 8)};
  ConversionRun r(d, FormatId::Sf2, "Strings.tti");
  r.convert();
  EXPECT_EQ(namesIn(r.target), lines({"Strings.sf2"}));
  EXPECT_EQ(r.ui.log, lines({"Strings.sf2 written"}));
  EXPECT_EQ(r.ui.progressOf(GaugeId::Bank).back(), 12);
}

TEST(JobsFaults, AFileSizeLimitEndsTheRunWithDiskFullAndLeavesNoPartialFile) {
  BankDesc d;
  d.samples = {named("SMALL.WAV", 1000, 1), named("HUGE.WAV", 100000, 2), named("LAST.WAV", 1000, 3)};
  ConversionRun r(d, FormatId::Mono);
  std::string path;
  {
    FileSizeLimit limit(50000);
    EXPECT_EQ(errorOf([&] { r.convert(); }, &path), kDiskFull);
  }
  EXPECT_EQ(path, r.mono() + "HUGE.WAV");
  EXPECT_EQ(namesIn(r.mono()), lines({"SMALL.WAV"}));
  const auto small = readFileBytes(r.mono() + "SMALL.WAV");
  ASSERT_EQ(small.size(), 1112u);
  EXPECT_EQ(std::vector<std::uint8_t>(small.begin() + 112, small.end()), d.samples[0].pcm);
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "SMALL.WAV extracted"}));
  EXPECT_FALSE(r.ctx.bank.pcm.held());
  EXPECT_EQ(r.ui.busyCalls.back(), false);

  // Without the limit the next run completes what is missing.
  r.convert();
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "SMALL.WAV already extracted", "HUGE.WAV extracted",
                             "LAST.WAV extracted"}));
}

TEST(JobsFaults, AFileThatCannotTakeItsNameStopsTheRunAndNoLaterFileRemains) {
  // Files are written several at a time (the bank is large enough for
  // that); those after the failing one may already be written, but none
  // may keep its name or its part file.
  BankDesc d;
  for (int k = 0; k < 12; ++k) d.samples.push_back(named("S" + std::to_string(k) + ".WAV", 500000, static_cast<std::uint8_t>(k)));
  ConversionRun r(d, FormatId::Mono);
  std::filesystem::create_directories(r.mono() + "S5.WAV/inside");  // a folder in the way
  std::string path;
  EXPECT_EQ(errorOf([&] { r.convert(); }, &path), kNotRegularFile);  // "not a regular file (a folder)"
  EXPECT_EQ(path, r.mono() + "S5.WAV");
  EXPECT_EQ(namesIn(r.mono()), lines({"S0.WAV", "S1.WAV", "S2.WAV", "S3.WAV", "S4.WAV", "S5.WAV"}));
  EXPECT_EQ(r.ui.log, lines({"processing BANK.TTI", "S0.WAV extracted", "S1.WAV extracted", "S2.WAV extracted",
                             "S3.WAV extracted", "S4.WAV extracted"}));
  // The failing file had its header written, so the gauge stepped for it.
  EXPECT_EQ(r.ui.progressOf(GaugeId::Bank).back(), 12 + 2 + 6);
}

TEST(JobsFaults, AStereoFileBeyondTheLimitLeavesNoPartialFile) {
  BankDesc d;
  d.samples = {named("A L.WAV", 30000, 1), named("A R.WAV", 30000, 2)};
  ConversionRun r(d, FormatId::Stereo);
  {
    FileSizeLimit limit(50000);
    EXPECT_EQ(errorOf([&] { r.convert(); }), kDiskFull);
  }
  EXPECT_TRUE(namesIn(r.stereo()).empty());
}

TEST(JobsFaults, AReadOnlyFolderEndsTheRunWithFileAccessDenied) {
  BankDesc d;
  d.samples = {named("A.WAV", 100)};
  ConversionRun r(d, FormatId::Mono);
  std::string path;
  int code = 0;
  {
    ReadOnlyFolder readOnly(r.target);
    if (!readOnly.active()) GTEST_SKIP() << "cannot make a folder read-only here (root without CAP_LINUX_IMMUTABLE)";
    code = errorOf([&] { r.convert(); }, &path);
  }
  EXPECT_EQ(code, kFileAccessDenied);
  EXPECT_EQ(errorText(code), "File access denied");
  // The per-bank folder could not be made: the bank fails naming it.
  EXPECT_EQ(path, r.target + "WAV_MONO_BANK.TTI");
  EXPECT_TRUE(namesIn(r.target).empty());
}

TEST(JobsPairs, RandomBanksKeepThePairRules) {
  // Unique names from stems, channel marks and one extension; contents
  // unique per sample so that every output file tells which samples it
  // holds.
  const std::vector<std::string> stems = {"A", "AB", "PAD", "STRING"};
  const std::vector<std::string> marks = {"", "L", "R", " L", " R", "1", "2"};
  std::vector<std::string> pool;
  for (const auto& s : stems)
    for (const auto& m : marks) pool.push_back(s + m + ".WAV");
  std::mt19937 rng(77);
  for (int round = 0; round < 40; ++round) {
    std::shuffle(pool.begin(), pool.end(), rng);
    const std::size_t n = 2 + rng() % 10;
    BankDesc d;
    for (std::size_t i = 0; i < n; ++i) {
      SampleDesc s = named(pool[i], 4 + 2 * (rng() % 2), static_cast<std::uint8_t>(10 * i));
      s.loopStartFrame = rng() % 2;
      d.samples.push_back(s);
    }
    ConversionRun r(d, FormatId::Stereo);
    r.convert();

    // Which samples each file holds, found by content.
    auto indexOf = [&](const std::vector<std::uint8_t>& bytes) {
      for (std::size_t i = 0; i < n; ++i)
        if (d.samples[i].pcm == bytes) return static_cast<int>(i);
      return -1;
    };
    std::map<int, int> partner;  // left -> right
    std::set<int> mono, seen;
    for (const auto& name : namesIn(r.stereo())) {
      const auto file = readFileBytes(r.stereo() + name);
      const std::vector<std::uint8_t> data(file.begin() + 112, file.end());
      if (u16At(file, 22) == 1) {
        const int i = indexOf(data);
        ASSERT_GE(i, 0) << name;
        EXPECT_EQ(name, d.samples[static_cast<std::size_t>(i)].name);
        mono.insert(i);
        EXPECT_TRUE(seen.insert(i).second);
        continue;
      }
      std::vector<std::uint8_t> left, right;
      for (std::size_t k = 0; k < data.size(); k += 4) {
        left.insert(left.end(), {data[k], data[k + 1]});
        right.insert(right.end(), {data[k + 2], data[k + 3]});
      }
      const int i = indexOf(left), j = indexOf(right);
      ASSERT_GE(i, 0) << name;
      ASSERT_GE(j, 0) << name;
      partner[i] = j;
      EXPECT_TRUE(seen.insert(i).second);
      EXPECT_TRUE(seen.insert(j).second);
    }
    EXPECT_EQ(seen.size(), n) << "every sample is in exactly one file";

    auto cut = [](const std::string& a, const std::string& b) {
      const std::size_t c = a != b && a.size() > 5 && b.size() > 5 ? 5 : 4;
      return a.substr(0, a.size() - c) == b.substr(0, b.size() - c);
    };
    auto matches = [&](int a, int b) {
      const auto &x = d.samples[static_cast<std::size_t>(a)], &y = d.samples[static_cast<std::size_t>(b)];
      return cut(x.name, y.name) && x.pcm.size() == y.pcm.size() && x.loopStartFrame == y.loopStartFrame;
    };
    std::set<int> rights;
    for (auto [i, j] : partner) rights.insert(j);
    for (auto [i, j] : partner) {
      EXPECT_LT(i, j);
      EXPECT_TRUE(matches(i, j));
      // A matching sample between them was taken by an earlier left.
      for (int k = i + 1; k < j; ++k) {
        if (!matches(i, k)) continue;
        bool takenEarlier = false;
        for (auto [a, b] : partner) takenEarlier |= b == k && a < i;
        EXPECT_TRUE(takenEarlier) << i << " skipped " << k;
      }
    }
    for (int a : mono) {
      for (int b : mono) {
        if (a < b) {
          EXPECT_FALSE(matches(a, b)) << "two unpaired samples match: " << a << ", " << b;
        }
      }
    }
  }
}

// A bank cut short: each sample missing bytes is warned of and written
// with silence for them; under --strict the bank fails before anything of
// it is written.
TEST(JobsCutShort, WarnedOfOrUnderStrictRefusedBeforeWriting) {
  BankDesc d;
  d.samples = {named("A.WAV", 100), named("PAD R.WAV", 88200)};
  for (const bool strict : {false, true}) {
    SCOPED_TRACE(strict ? "strict" : "default");
    ConversionRun r(d, FormatId::Mono);
    std::filesystem::resize_file(r.bank, std::filesystem::file_size(r.bank) - 79512);
    r.ctx.options.strict = strict;
    if (!strict) {
      r.convert();
      EXPECT_EQ(r.ui.warnings, lines({r.bank + ": sample 1 \"PAD R.WAV\" is cut short: 79,512 of 88,200 bytes "
                                                "missing, written as silence"}));
      EXPECT_EQ(readFileBytes(r.mono() + "PAD R.WAV").size(), 112u + 88200u);
      continue;
    }
    EXPECT_EQ(errorOf([&] { r.convert(); }), kInvalidBank);
    EXPECT_TRUE(namesIn(r.target).empty());
  }
}

// A link planted at an output's name inside the target is never followed:
// the bank fails naming it, and nothing outside the target changes.
TEST(JobsLinks, ALinkAtAnOutputNameFailsTheBankAndIsNotFollowed) {
  BankDesc d;
  d.samples = {named("A.WAV", 100)};
  struct Case {
    FormatId mode;
    std::string link;  // relative to the target
  };
  const std::vector<Case> cases = {{FormatId::Mono, "WAV_MONO_BANK.TTI"},
                                   {FormatId::Mono, "WAV_MONO_BANK.TTI/A.WAV"},
                                   {FormatId::Sf2, "BANK.sf2"},
                                   {FormatId::Sfz, "SFZ_BANK.TTI/samples"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    ConversionRun r(d, c.mode);
    const std::string outside = r.dir.file("outside");
    std::filesystem::create_directories(outside);
    writeBytes(outside + "/A.WAV", {7});
    writeBytes(outside + "/victim", {7});
    const std::filesystem::path link = r.target + c.link;
    std::filesystem::create_directories(link.parent_path());
    const bool folder = c.link.find('.') == std::string::npos || c.link.rfind(".TTI") == c.link.size() - 4;
    std::filesystem::create_symlink(folder ? outside : outside + "/victim", link);
    std::string path;
    EXPECT_EQ(errorOf([&] { r.convert(); }, &path), kSymlinkNotUsed);
    EXPECT_EQ(path, link.string());
    EXPECT_EQ(namesIn(outside), lines({"A.WAV", "victim"}));
    EXPECT_EQ(readFileBytes(outside + "/A.WAV"), std::vector<std::uint8_t>{7});
    EXPECT_EQ(readFileBytes(outside + "/victim"), std::vector<std::uint8_t>{7});
    EXPECT_TRUE(std::filesystem::is_symlink(link));
  }
}
