// SPDX-License-Identifier: MIT
// The single-file job, the folder run and the source folder name.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <thread>

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

TEST(JobsFolderRun, EveryBankInNameOrderWithStatusGaugeAndCount) {
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
// on FAT), each keep their own, numbered in the byte order of the bank
// names whatever order the folder lists them in (made in either order on a
// tmpfs, which lists the newest first); a bank folder name too long for
// the file system is shortened before its extension and still holds the
// bank.
TEST(JobsFolderRun, EveryBankKeepsItsOwnOutputNameLetterCaseAside) {
  const std::string longBank = std::string(246, 'x') + ".TTI";  // 250 bytes
  struct Case {
    FormatId mode;
    std::vector<std::string> banks;  // in the order they are made
    std::map<std::string, std::string> outputs;  // what the run folder holds: the sample name in each
  };
  const std::map<std::string, std::string> clashing = {{"A.sf2", "UPPER"}, {"A_1.sf2", "MIXED"}, {"A_2.sf2", "LOWER"}};
  const std::vector<Case> cases = {
      {FormatId::Sf2, {"A.TTI", "A.tti", "A.Tti"}, clashing},
      {FormatId::Sf2, {"A.Tti", "A.tti", "A.TTI"}, clashing},
      {FormatId::Mono, {longBank}, {{"WAV_MONO_" + std::string(242, 'x') + ".TTI", ""}}},
  };
  const std::map<std::string, std::string> sampleOf = {{"A.TTI", "UPPER"}, {"A.Tti", "MIXED"}, {"A.tti", "LOWER"}};
  for (const Case& c : cases) {
    TempDir t(fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path());
    makeFolders(t.file("BANKS"));
    makeFolders(t.file("OUT"));
    for (const std::string& bank : c.banks) {
      writeJobBank(t.file("BANKS/" + bank), {sampleOf.count(bank) ? sampleOf.at(bank) + ".WAV" : "S.WAV"});
    }
    Jobs jobs(c.mode);
    jobs.runFolder(t.file("BANKS"), t.file("OUT"));
    const std::string run = t.file("OUT/BANKS" + std::string(outputFormat(c.mode).runSuffix));
    std::map<std::string, std::string> outputs;
    for (const auto& e : fs::directory_iterator(run)) {
      std::string holds;
      if (c.mode == FormatId::Sf2) {
        const auto bytes = readFileBytes(e.path().string());
        const std::string text(bytes.begin(), bytes.end());
        for (const auto& [bank, sample] : sampleOf) {
          if (text.find(sample) != std::string::npos) holds += sample;
        }
      } else {
        // A folder holds its bank's one sample; nothing is loose beside it.
        EXPECT_TRUE(fs::is_regular_file(e.path() / "S.WAV")) << e.path();
      }
      outputs[e.path().filename().string()] = holds;
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

// Banks converted several at once are reported, written and left as
// converting them one after the other reports, writes and leaves them:
// every report on the job's thread, in the same order, and after a stop
// nothing of the banks converted ahead.
TEST(JobsLanes, ARunOnLanesReportsWritesAndLeavesWhatARunInOrderDoes) {
  struct Transcript : JobListener {
    std::thread::id home = std::this_thread::get_id();
    std::string target;  // written as "OUT"
    bool skip = true;
    std::vector<std::string> lines;
    void note(std::string s) {
      for (std::size_t at; !target.empty() && (at = s.find(target)) != std::string::npos;) s.replace(at, target.size(), "OUT");
      if (std::this_thread::get_id() != home) s += " [not on the job's thread]";
      lines.push_back(std::move(s));
    }
    void status(std::string_view t) override { note("status " + std::string(t)); }
    void logClear() override { note("clear"); }
    void logLine(std::string_view t) override { note("log " + std::string(t)); }
    void gaugeChanged(GaugeId id, std::int64_t lo, std::int64_t hi, std::int64_t at) override {
      note("gauge " + std::to_string(int(id)) + " " + std::to_string(lo) + ".." + std::to_string(hi) + " " +
           std::to_string(at));
    }
    void busy(bool on) override { note(on ? "busy" : "idle"); }
    void destinationChanged() override { note("reread"); }
    void outputFile(const OutputFileEvent& e) override {
      note("file " + e.path + " " + std::to_string(int(e.outcome)) + " of " + (e.bank ? e.bank->ttiPath : "?"));
    }
    void bankStarted(const std::string& p) override { note("start " + p); }
    void bankFinished(const std::string& p, const RunError* e) override { note("end " + p + (e ? " " + e->message() : "")); }
    void warning(std::string_view t) override { note("warning " + std::string(t)); }
    bool bankFailed(const std::string& p, const RunError& e) override {
      note("failed " + p + " " + e.message());
      // The lanes meanwhile convert the banks after this one.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return skip;
    }
  };
  struct Case {
    const char* name;
    bool drive;
    FormatId mode;
    int broken;  // by listing order; -1: none
    bool skip;
    // The targets hold an earlier run's output whose instrument files the
    // user changed: a bank converted ahead must not replace them.
    bool earlier = false;
  };
  const Case cases[] = {
      {"folder, mono", false, FormatId::Mono, -1, true},
      {"drive, stereo", true, FormatId::Stereo, -1, true},
      {"folder, SFZ, a bank passed over", false, FormatId::Sfz, 2, true},
      {"drive, DecentSampler, stopped at a bank", true, FormatId::DsPreset, 1, false},
      {"folder, mono, stopped at the first bank", false, FormatId::Mono, 0, false},
      {"folder, SFZ over an earlier run, stopped at the first bank", false, FormatId::Sfz, 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir t;
    // Small banks, two of them named alike but for letter case, and one
    // over 4 MiB that lanes take ahead of the others.
    makeFolders(t.file("BANKS/SUB"));
    const std::vector<std::string> names = {"A.TTI", "a.tti", "C.TTI", "D.TTI", "E.TTI", "SUB/F.TTI", "SUB/G.TTI"};
    for (std::size_t k = 0; k < names.size(); ++k)
      writeJobBank(t.file("BANKS/" + names[k]), {"L" + std::to_string(k) + " L.WAV", "L" + std::to_string(k) + " R.WAV"}, 64);
    writeJobBank(t.file("BANKS/SUB/BIG.TTI"), {"BIG L.WAV", "BIG R.WAV"}, 1100000);
    std::vector<std::string> order;
    for (const auto& n : directoryOrder(t.file("BANKS")))
      if (n != "SUB") order.push_back(n);
    for (int lanes : {0, 1}) {
      if (!c.earlier) break;
      const std::string target = t.file(lanes ? "LANES" : "ONE");
      makeFolders(target);
      RecordingListener quiet;
      JobContext ctx(quiet);
      ctx.options.format = &outputFormat(c.mode);
      convertFolder(ctx, t.file("BANKS"), target);
      for (const std::string& f : filesBelow(target))
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".sfz") == 0) writeBytes(target + "/" + f, {'m', 'i', 'n', 'e'});
    }
    if (c.broken >= 0) writeTruncatedBank(t.file("BANKS/" + order[c.broken]));

    std::vector<std::string> transcripts[2];
    std::vector<std::string> trees[2];
    for (int lanes : {0, 1}) {
      const std::string target = t.file(lanes ? "LANES" : "ONE");
      makeFolders(target);
      Transcript ui;
      ui.target = target;
      ui.skip = c.skip;
      JobContext ctx(ui);
      ctx.options.format = &outputFormat(c.mode);
      ctx.options.banksAtOnce = lanes ? 3 : 1;
      try {
        if (c.drive) convertDrive(ctx, t.file("BANKS"), target, "x");
        else convertFolder(ctx, t.file("BANKS"), target);
      } catch (const RunError& e) {
        ui.note("thrown " + e.message() + " " + e.path());
      }
      ui.note("last bank " + ctx.bank.ttiPath);
      transcripts[lanes] = ui.lines;
      for (const std::string& f : filesBelow(target)) {
        std::string line = f;
        if (f.back() != '/') {
          const std::vector<std::uint8_t> bytes = readFileBytes(target + "/" + f);
          line += " " + std::to_string(std::hash<std::string>{}(std::string(bytes.begin(), bytes.end())));
        }
        trees[lanes].push_back(line);
      }
    }
    EXPECT_EQ(transcripts[1], transcripts[0]);
    EXPECT_EQ(trees[1], trees[0]);
    EXPECT_EQ(trees[0].empty(), c.broken == 0 && !c.skip && !c.earlier);
  }
}
