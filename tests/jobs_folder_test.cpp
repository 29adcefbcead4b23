// SPDX-License-Identifier: MIT
// The single-file job, the folder run and the source folder name.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "jobs/drive_job.h"
#include "jobs/folder_jobs.h"
#include "jobs_fixtures.h"
#include "output_check.h"
#include "platform/errors.h"
#include "jobs/bank_reading.h"
#include "tti/tti_reader.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

struct Jobs {
  RecordingListener ui;
  JobContext ctx{ui};
  explicit Jobs(FormatId mode = FormatId::Mono) { ctx.options.format = &outputFormat(mode); }
  void runFolder(const std::string& source, const std::string& target) {
    getlastdir(ctx, source);
    completeClick(ctx, source, target);
  }
};

// A source folder "BANKS" with three banks; returns them in listing order.
std::vector<std::string> makeSource(const TempDir& t) {
  makeFolders(t.file("BANKS"));
  writeJobBank(t.file("BANKS/PIANO.TTI"), {"P1.WAV", "P2.WAV"});
  writeJobBank(t.file("BANKS/drums.tti"), {"KICK.WAV"});
  writeJobBank(t.file("BANKS/Strings.Tti"), {"VIOLIN.WAV", "CELLO.WAV", "BASS.WAV"});
  writeBytes(t.file("BANKS/readme.txt"), {1});
  std::vector<std::string> order;
  for (const auto& n : directoryOrder(t.file("BANKS")))
    if (n != "readme.txt") order.push_back(n);
  return order;
}

std::vector<std::string> statusesFor(const std::vector<std::string>& names) {
  std::vector<std::string> s;
  for (const auto& n : names) s.push_back("processing " + n);
  return s;
}

}  // namespace

TEST(JobsSourceName, LastComponentOfTheSourceFolder) {
  RecordingListener ui;
  JobContext ctx(ui);
  EXPECT_EQ(getlastdir(ctx, "/home/user/TTI"), "TTI");
  EXPECT_EQ(getlastdir(ctx, "/home/user/TTI/BANKS/"), "BANKS");
  EXPECT_EQ(ctx.sourceFolderName, "BANKS");
}

TEST(JobsSourceName, RootGivesTheDrivesName) {
  RecordingListener ui;
  JobContext ctx(ui);
  EXPECT_EQ(getlastdir(ctx, "/"), "root");
  EXPECT_EQ(getlastdir(ctx, "//"), "root");
}

TEST(JobsFolderRun, OutputFolderIsTargetPlusSourceNamePlusSuffix) {
  EXPECT_EQ(std::string(outputFormat(FormatId::Mono).runSuffix), "_WAV_M");
  EXPECT_EQ(std::string(outputFormat(FormatId::Stereo).runSuffix), "_WAV_S");
  EXPECT_EQ(std::string(outputFormat(FormatId::Sf2).runSuffix), "_SF2");
  EXPECT_EQ(std::string(outputFormat(FormatId::Sfz).runSuffix), "_SFZ");
  EXPECT_EQ(std::string(outputFormat(FormatId::None).runSuffix), "");

  TempDir t;
  makeSource(t);
  makeFolders(t.file("OUT"));
  Jobs j(FormatId::Stereo);
  j.runFolder(t.file("BANKS"), t.file("OUT"));
  EXPECT_EQ(j.ctx.destinationFolder, t.file("OUT") + "/BANKS_WAV_S/");
  EXPECT_TRUE(fs::is_directory(t.file("OUT/BANKS_WAV_S/WAV_STEREO_PIANO.TTI")));
  EXPECT_TRUE(fs::is_directory(t.file("OUT/BANKS_WAV_S/WAV_STEREO_Strings.Tti")));
}

TEST(JobsFolderRun, EveryBankInListingOrderWithStatusGaugeAndCount) {
  TempDir t;
  auto order = makeSource(t);
  Jobs j;
  j.runFolder(t.file("BANKS"), t.str());

  auto expected = statusesFor(order);
  expected.push_back("3 TTI files extracted");
  EXPECT_EQ(j.ui.statuses, expected);
  // Gauge2: range 0..3 set at 0, then 1, 2, 3 while files 1..3 run, kept at
  // 3 after the last, then 0.
  EXPECT_EQ(j.ui.progressOf(GaugeId::Folder), (std::vector<std::int64_t>{0, 1, 2, 3, 3, 0}));
  EXPECT_EQ(j.ctx.gauge2.max(), 3);
  EXPECT_EQ(j.ctx.gauge1.progress(), 0);
  EXPECT_EQ(j.ctx.bank.ttiPath, t.file("BANKS/" + order.back()));
  EXPECT_FALSE(j.ui.listVisible);
  EXPECT_EQ(j.ui.destinationRereads, 1);
}

TEST(JobsFolderRun, LogEndsWithABlankLinePerFile) {
  TempDir t;
  auto order = makeSource(t);
  Jobs j;
  j.runFolder(t.file("BANKS"), t.str());
  // Each WAV conversion clears the log: the last file's lines, then " ".
  ASSERT_FALSE(j.ui.log.empty());
  EXPECT_EQ(j.ui.log.front(), "processing " + order.back());
  EXPECT_EQ(j.ui.log.back(), " ");
  EXPECT_EQ(std::count(j.ui.allLog.begin(), j.ui.allLog.end(), " "), 3);
}

TEST(JobsFolderRun, SfTwoModeCollectsOneBlankLinePerFile) {
  TempDir t;
  makeSource(t);
  Jobs j(FormatId::Sf2);
  j.runFolder(t.file("BANKS"), t.str());
  EXPECT_EQ(std::count(j.ui.log.begin(), j.ui.log.end(), " "), 3);
  EXPECT_TRUE(fs::exists(t.file("BANKS_SF2")));
}

TEST(JobsFolderRun, SecondRunWritesNothingAndStillCountsEveryFile) {
  TempDir t;
  makeSource(t);
  Jobs first;
  first.runFolder(t.file("BANKS"), t.str());
  auto before = filesBelow(t.file("BANKS_WAV_M"));
  auto stamp = fs::last_write_time(t.file("BANKS_WAV_M/WAV_MONO_PIANO.TTI/P1.WAV"));

  Jobs second;
  second.runFolder(t.file("BANKS"), t.str());
  EXPECT_EQ(filesBelow(t.file("BANKS_WAV_M")), before);
  EXPECT_EQ(fs::last_write_time(t.file("BANKS_WAV_M/WAV_MONO_PIANO.TTI/P1.WAV")), stamp);
  EXPECT_EQ(second.ui.lastStatus(), "3 TTI files extracted");
  bool skipped = false;
  for (const auto& l : second.ui.allLog) skipped |= l.find(" already extracted") != std::string::npos;
  EXPECT_TRUE(skipped);
}

TEST(JobsFolderRun, NoChosenModeWritesIntoTheBareSourceName) {
  TempDir t;
  makeSource(t);
  makeFolders(t.file("OUT"));
  Jobs j(FormatId::None);
  j.runFolder(t.file("BANKS"), t.file("OUT"));
  EXPECT_EQ(j.ctx.destinationFolder, t.file("OUT") + "/BANKS/");
  EXPECT_TRUE(fs::is_directory(t.file("OUT/BANKS/WAV_STEREO_PIANO.TTI")));
}

TEST(JobsFolderRun, FolderWithoutBanksLeavesNoOutputFolder) {
  TempDir t;
  makeFolders(t.file("EMPTY/sub.tti"));  // a folder, not a bank
  writeBytes(t.file("EMPTY/notes.txt"), {1});
  Jobs j;
  j.ui.listVisible = true;
  j.runFolder(t.file("EMPTY"), t.str());
  EXPECT_FALSE(fs::exists(t.file("EMPTY_WAV_M")));
  EXPECT_FALSE(j.ui.listVisible);
  EXPECT_TRUE(j.ui.statuses.empty());
  EXPECT_TRUE(j.ui.gauges.empty());
  EXPECT_EQ(j.ui.logClears, 0);
}

// Folder and drive runs whose front end passes over failed banks: every
// good bank is converted, the closing status counts the failures, and the
// folders a run made stay only where something was written into them.
TEST(JobsRunEnd, PassedOverBanksAreCountedAndEmptyRunFoldersRemoved) {
  struct Skipping : RecordingListener {
    std::vector<std::string> failed;
    bool bankFailed(const std::string& bank, const RunError&) override {
      failed.push_back(fs::path(bank).filename().string());
      return true;
    }
  };
  struct Case {
    const char* name;
    bool drive;
    std::vector<int> broken;  // banks of the source made unreadable, by listing order
    bool outputThereBefore;
    const char* status;
    bool outputLeft;
  };
  const Case cases[] = {
      {"folder, middle bank broken", false, {1}, false, "2 TTI files extracted, 1 failed", true},
      {"drive, middle bank broken", true, {1}, false, "2 TTI files extracted, 1 failed", true},
      {"folder, every bank broken", false, {0, 1, 2}, false, "0 TTI files extracted, 3 failed", false},
      {"drive, every bank broken", true, {0, 1, 2}, false, "0 TTI files extracted, 3 failed", false},
      {"folder there before", false, {0, 1, 2}, true, "0 TTI files extracted, 3 failed", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir t;
    const std::vector<std::string> order = makeSource(t);
    for (int k : c.broken) writeTruncatedBank(t.file("BANKS/" + order[k]));
    makeFolders(t.file("OUT"));
    const std::string output = c.drive ? t.file("OUT/Drive X WAV_MONO") : t.file("OUT/BANKS_WAV_M");
    if (c.outputThereBefore) makeFolders(output);
    Skipping ui;
    JobContext ctx(ui);
    ctx.options.format = &outputFormat(FormatId::Mono);
    const std::size_t banks = c.drive ? convertDrive(ctx, t.file("BANKS"), t.file("OUT"), "x")
                                      : convertFolder(ctx, t.file("BANKS"), t.file("OUT"));
    EXPECT_EQ(banks, 3u);
    EXPECT_EQ(ui.lastStatus(), c.status);
    EXPECT_EQ(ui.failed.size(), c.broken.size());
    EXPECT_EQ(fs::exists(output), c.outputLeft);
    for (std::size_t k = 0; k < order.size(); ++k) {
      const bool broken = std::find(c.broken.begin(), c.broken.end(), int(k)) != c.broken.end();
      EXPECT_EQ(fs::exists(output + "/WAV_MONO_" + order[k]), !broken) << order[k];
    }
  }
}

TEST(JobsFolderRun, FolderNamedLikeABankIsPassedOver) {
  TempDir t;
  auto order = makeSource(t);
  makeFolders(t.file("BANKS/FAKE.TTI"));
  Jobs j;
  j.runFolder(t.file("BANKS"), t.str());
  EXPECT_EQ(j.ui.lastStatus(), "3 TTI files extracted");
  EXPECT_FALSE(fs::exists(t.file("BANKS_WAV_M/WAV_MONO_FAKE.TTI")));
}

TEST(JobsFolderRun, SourceAtTheRootOfTheTargetKeepsOneSeparator) {
  TempDir t;
  makeSource(t);
  Jobs j;
  getlastdir(j.ctx, t.file("BANKS"));
  completeClick(j.ctx, t.file("BANKS") + "/", t.str() + "/");
  EXPECT_EQ(j.ctx.destinationFolder, t.str() + "/BANKS_WAV_M/");
}

TEST(JobsFolderRun, FailingBankEndsTheRunAndKeepsEarlierOutput) {
  TempDir t;
  auto order = makeSource(t);
  writeTruncatedBank(t.file("BANKS/" + order[1]));
  Jobs j;
  try {
    j.runFolder(t.file("BANKS"), t.str());
    FAIL() << "the broken bank must end the run";
  } catch (const RunError& e) {
    EXPECT_EQ(e.code(), kReadBeyondEnd);
    EXPECT_EQ(e.path(), t.file("BANKS/") + order[1]);
  }
  EXPECT_FALSE(fs::is_empty(t.file("BANKS_WAV_M/WAV_MONO_" + order[0])));
  EXPECT_FALSE(fs::exists(t.file("BANKS_WAV_M/WAV_MONO_" + order[1])));
  EXPECT_FALSE(fs::exists(t.file("BANKS_WAV_M/WAV_MONO_" + order[2])));
  EXPECT_EQ(j.ui.lastStatus(), "processing " + order[1]);
  EXPECT_EQ(j.ctx.gauge2.progress(), 2);
}

TEST(JobsSingleFile, ConvertsTheSelectedBankIntoTheTargetBase) {
  TempDir t;
  makeSource(t);
  makeFolders(t.file("OUT"));
  Jobs j;
  fselect(j.ctx, t.file("BANKS/PIANO.TTI"));
  j.ui.statuses.clear();
  extractClick(j.ctx, t.file("OUT"));
  EXPECT_EQ(j.ctx.destinationFolder, t.file("OUT") + "/");
  EXPECT_TRUE(fs::exists(t.file("OUT/WAV_MONO_PIANO.TTI/P1.WAV")));
  EXPECT_TRUE(fs::exists(t.file("OUT/WAV_MONO_PIANO.TTI/P2.WAV")));
  EXPECT_EQ(j.ui.statuses, (std::vector<std::string>{"processing TTI files", "processing finished"}));
  EXPECT_EQ(j.ctx.gauge1.progress(), 0);
  EXPECT_EQ(j.ui.destinationRereads, 1);
  EXPECT_FALSE(j.ui.listVisible);
}

TEST(JobsSingleFile, NothingSelectedSwitchesExtractOff) {
  TempDir t;
  Jobs j;
  j.ctx.setButton(ButtonId::Extract, true);
  extractClick(j.ctx, t.str());
  EXPECT_EQ(j.ui.statuses, std::vector<std::string>{"No TTI file selected"});
  EXPECT_FALSE(j.ui.buttonOn(ButtonId::Extract));
  EXPECT_TRUE(fs::is_empty(t.str()));
}

TEST(JobsSingleFile, DoubleClickOnAnotherFileConvertsNothing) {
  TempDir t;
  makeSource(t);
  makeFolders(t.file("OUT"));
  Jobs j;
  file1DblClick(j.ctx, t.file("BANKS/readme.txt"), t.file("OUT"));
  EXPECT_EQ(j.ui.lastStatus(), "No TTI file selected");
  EXPECT_TRUE(fs::is_empty(t.file("OUT")));
}

TEST(JobsSingleFile, DoubleClickSelectsAndConverts) {
  TempDir t;
  makeSource(t);
  Jobs j;
  file1DblClick(j.ctx, t.file("BANKS/drums.tti"), t.str());
  EXPECT_TRUE(fs::exists(t.file("WAV_MONO_drums.tti/KICK.WAV")));
  EXPECT_EQ(j.ui.lastStatus(), "processing finished");
}

TEST(JobsSingleFile, AfterAFolderRunExtractConvertsTheRunsLastFile) {
  TempDir t;
  auto order = makeSource(t);
  makeFolders(t.file("OUT"));
  Jobs j;
  fselect(j.ctx, t.file("BANKS/" + order.front()));
  j.runFolder(t.file("BANKS"), t.str());
  extractClick(j.ctx, t.file("OUT"));
  EXPECT_EQ(directoryOrder(t.file("OUT")), std::vector<std::string>{"WAV_MONO_" + order.back()});
}

TEST(JobsOutputFolder, ARunIntoAReadOnlyTargetSaysSoAndNamesTheFolder) {
  // Both runs make their output folder before writing into it; the folder
  // that cannot be made is the error, not the file that then has no folder.
  struct Case {
    const char* run;
    std::function<void(JobContext&, const std::string&, const std::string&)> start;
    const char* folder;  // what could not be made, inside the target
  };
  const std::vector<Case> cases = {
      {"folder", [](JobContext& ctx, const std::string& source, const std::string& target) {
         getlastdir(ctx, source);
         completeClick(ctx, source, target);
       }, "BANKS_WAV_M"},
      {"drive", [](JobContext& ctx, const std::string& source, const std::string& target) {
         extrdriveClick(ctx, source, target, "usb");
       }, "Drive USB WAV_MONO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.run);
    TempDir t;
    makeSource(t);
    const std::string target = t.file("TARGET");
    makeFolders(target);
    Jobs jobs;
    ReadOnlyFolder readOnly(target);
    if (!readOnly.active()) GTEST_SKIP() << "cannot make a folder read-only here";
    try {
      c.start(jobs.ctx, t.file("BANKS"), target);
      ADD_FAILURE() << "the run wrote into a read-only folder";
    } catch (const RunError& e) {
      // A folder made read-only by its attribute: the system says more.
      EXPECT_EQ(e.message(), "File access denied (operation not permitted)");
      EXPECT_EQ(e.path(), target + "/" + c.folder);
    }
  }
}

// Banks of one run whose outputs share a name, letter case aside (one file
// on FAT), each keep their own; a bank folder name too long for the file
// system is shortened before its extension and still holds the bank.
TEST(JobsFolderRun, EveryBankKeepsItsOwnOutputNameLetterCaseAside) {
  const std::string longBank = std::string(246, 'x') + ".TTI";  // 250 bytes
  struct Case {
    FormatId mode;
    std::vector<std::string> banks;
    std::set<std::string> outputs;  // what the run folder holds, as a set
  };
  const std::vector<Case> cases = {
      {FormatId::Sf2, {"A.TTI", "A.tti", "A.Tti"}, {"A.sf2", "A_1.sf2", "A_2.sf2"}},
      {FormatId::Mono, {longBank}, {"WAV_MONO_" + std::string(242, 'x') + ".TTI"}},
  };
  for (const Case& c : cases) {
    TempDir t;
    makeFolders(t.file("BANKS"));
    makeFolders(t.file("OUT"));
    for (const std::string& bank : c.banks) writeJobBank(t.file("BANKS/" + bank), {"S.WAV"});
    Jobs jobs(c.mode);
    jobs.runFolder(t.file("BANKS"), t.file("OUT"));
    const std::string run = t.file("OUT/BANKS" + std::string(outputFormat(c.mode).runSuffix));
    std::set<std::string> outputs;
    for (const auto& e : fs::directory_iterator(run)) {
      outputs.insert(e.path().filename().string());
      // A folder holds its bank's one sample; nothing is loose beside it.
      if (c.mode == FormatId::Mono) {
        EXPECT_TRUE(fs::is_regular_file(e.path() / "S.WAV")) << e.path();
      }
    }
    EXPECT_EQ(outputs, c.outputs);
  }
}

TEST(JobsSourceCheck, AFolderThatCannotBeReadSaysSoRatherThanHoldingNoBanks) {
  TempDir t;
  makeFolders(t.file("EMPTY"));
  writeBytes(t.file("FILE"), {1});
  const std::pair<std::string, std::string> cases[] = {
      {t.file("EMPTY"), "No TTI files found in source dir"},
      {t.file("GONE"), "cannot read " + t.file("GONE") + ": File not found"},
      {t.file("FILE"), "cannot read " + t.file("FILE") + ": "},
  };
  for (const auto& [folder, status] : cases) {
    Jobs j;
    EXPECT_FALSE(checkfortti(j.ctx, folder));
    EXPECT_EQ(j.ui.lastStatus().substr(0, status.size()), status) << j.ui.lastStatus();
  }
}
