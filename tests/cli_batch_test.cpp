// SPDX-License-Identifier: MIT
// vantrel-cli over many banks: --keep-going past failing banks, banks
// whose outputs would land in the same place refused before anything is
// written, and dry runs (in text and JSON).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "bank_builder.h"
#include "test_support.h"

using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// A bank of one sample named after the bank, so that the WAV files found
// below the output tell which banks were converted.
void writeGoodBank(const std::string& path, const std::string& sampleName) {
  BankDesc d;
  SampleDesc s;
  s.name = sampleName;
  s.pcm.assign(64, 3);
  s.zones = {0};
  d.samples = {s};
  writeBank(path, d);
}

void writeCorruptBank(const std::string& path) { writeBytes(path, std::vector<std::uint8_t>(300, 0)); }

// Every file below `folder`, by name.
std::set<std::string> filesBelow(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) names.insert(e.path().filename().string());
  return names;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(CliBatch, KeepGoingConvertsEveryGoodBankAndNamesEveryBadOne) {
  for (const std::string command : {"convert", "folder", "drive"}) {
    for (const bool keepGoing : {false, true}) {
      SCOPED_TRACE(command + (keepGoing ? " -k" : ""));
      TempDir dir;
      // [good, corrupt, missing, good]; a folder run has no missing bank, a
      // drive run finds its banks in subfolders.
      const std::string src = dir.file("src");
      fs::create_directories(src + "/sub");
      const std::string out = dir.file("out");
      fs::create_directory(out);
      const std::string good1 = src + "/A.TTI";
      const std::string corrupt = src + (command == "drive" ? "/sub/B.TTI" : "/B.TTI");
      const std::string missing = src + "/C.TTI";
      const std::string good2 = src + (command == "drive" ? "/sub/D.TTI" : "/D.TTI");
      writeGoodBank(good1, "A.WAV");
      writeCorruptBank(corrupt);
      writeGoodBank(good2, "D.WAV");
      std::vector<std::string> argv = {kCli, command, "-o", out};
      if (keepGoing) argv.push_back("--keep-going");
      if (command == "convert") argv.insert(argv.end(), {good1, corrupt, missing, good2});
      else argv.push_back(src);
      const auto r = runCommand(argv);

      EXPECT_EQ(r.exitCode, 1) << r.err;
      EXPECT_EQ(count(r.err, corrupt + ": Read beyond end of file\n"), 1u) << r.err;
      const std::set<std::string> written = filesBelow(out);
      if (keepGoing) {
        EXPECT_EQ(written, (std::set<std::string>{"A.WAV", "D.WAV"}));
        std::string summary = "2 banks converted, 1 failed: " + corrupt + "\n";
        if (command == "convert") {
          EXPECT_EQ(count(r.err, missing + ": File not found\n"), 1u) << r.err;
          summary = "2 banks converted, 2 failed: " + corrupt + ", " + missing + "\n";
        }
        EXPECT_TRUE(r.err.ends_with(summary)) << r.err;
      } else {
        // The run ends at the corrupt bank; the banks after it in the run's
        // order are neither converted nor named.
        EXPECT_EQ(r.err.find("banks converted"), std::string::npos);
        EXPECT_EQ(r.err.find(missing), std::string::npos);
        if (command == "convert") {
          EXPECT_EQ(written, (std::set<std::string>{"A.WAV"}));
        } else {
          // A folder lists its banks in the file system's order: the last
          // bank taken up is the corrupt one, and only banks before it count.
          const auto last = r.err.rfind("processing ");
          EXPECT_EQ(r.err.substr(last, r.err.find('\n', last) - last), "processing B.TTI") << r.err;
          EXPECT_EQ(written.count("D.WAV"), count(r.err, "processing D.TTI"));
          EXPECT_EQ(written.count("A.WAV"), count(r.err, "processing A.TTI"));
        }
      }
    }
  }
}

TEST(CliBatch, BanksWhoseOutputsCollideAreRefusedBeforeWriting) {
  struct Case {
    std::string mode;
    std::vector<std::string> banks;  // relative to the temporary folder
    bool refused;
  };
  const std::vector<Case> cases = {
      {"mono", {"c1/BANK.TTI", "c3/BANK.TTI"}, true},
      {"stereo", {"c1/BANK.TTI", "c3/BANK.TTI"}, true},
      {"sf2", {"c1/BANK.TTI", "c3/BANK.TTI"}, true},
      {"mono", {"c1/BANK.TTI", "c1/BANK.TTI"}, true},
      // Letter case does not tell outputs apart (one name on FAT).
      {"sf2", {"c1/BANK.TTI", "c1/BANK.tti"}, true},
      {"mono", {"c1/BANK.TTI", "c1/BANK.tti"}, true},
      {"mono", {"c1/BANK.TTI", "c1/BANK2.TTI"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode + " " + c.banks[0] + " " + c.banks[1]);
    TempDir dir;
    const std::string out = dir.file("out");
    fs::create_directory(out);
    std::vector<std::string> argv = {kCli, "convert", "-m", c.mode, "-o", out};
    for (const std::string& b : c.banks) {
      fs::create_directories(fs::path(dir.file(b)).parent_path());
      writeGoodBank(dir.file(b), "S.WAV");
      argv.push_back(dir.file(b));
    }
    const auto r = runCommand(argv);
    if (!c.refused) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      continue;
    }
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(dir.file(c.banks[0]) + " and " + dir.file(c.banks[1])), std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_empty(out));
  }
}

namespace {

// Every file below `folder`, relative to it, sorted.
std::set<std::string> relativeFiles(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) names.insert(fs::relative(e.path(), folder).string());
  return names;
}

std::set<std::string> lineSet(const std::string& text) {
  std::set<std::string> out;
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    out.insert(text.substr(at, end - at));
  return out;
}

}  // namespace

TEST(CliBatch, DryRunPrintsWhatTheRunWritesAndOverwriteWritesExistingFilesAgain) {
  TempDir dir;
  const std::string src = dir.file("BANKS");
  fs::create_directories(src + "/sub");
  BankDesc d;
  for (const char* name : {"PAD L.WAV", "PAD R.WAV", "KICK.WAV"}) {
    SampleDesc s;
    s.name = name;
    s.pcm.assign(name[0] == 'K' ? 30 : 64, static_cast<std::uint8_t>(name[4]));
    s.zones = {0};
    d.samples.push_back(s);
  }
  // A sample none of whose bytes the file holds: no file, planned or written.
  SampleDesc ghost = d.samples.back();
  ghost.name = "GHOST.WAV";
  ghost.start = 0x7FFF0000u;
  ghost.end = 0xFFFF0000u;
  d.samples.push_back(ghost);
  writeBank(src + "/ONE.TTI", d);
  writeBank(src + "/sub/TWO.TTI", d);

  for (const std::string command : {"convert", "folder", "drive"}) {
    for (const std::string mode : {"mono", "stereo", "sf2"}) {
      SCOPED_TRACE(command + " " + mode);
      std::vector<std::string> words = {VANTREL_CLI, command, "-m", mode};
      if (command == "convert") words.insert(words.end(), {src + "/ONE.TTI", src + "/sub/TWO.TTI"});
      else words.push_back(src);
      auto run = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> argv = words;
        argv.insert(argv.end(), {"-o", out});
        argv.insert(argv.end(), extra.begin(), extra.end());
        return runCommand(argv);
      };
      TempDir outDir;
      const std::string out = outDir.str();

      auto r = run(out, {"--dry-run"});
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(fs::is_empty(out));
      const std::set<std::string> planned = lineSet(r.out);
      // With --json, one object per file: its path, the bank it comes from
      // (whose file name names the file's folder or SoundFont) and its kind.
      r = run(out, {"--dry-run", "--json"});
      EXPECT_EQ(r.exitCode, 0) << r.err;
      std::set<std::string> paths, kinds;
      for (const std::string& line : lineSet(r.out)) {
        const auto e = nlohmann::json::parse(line);
        paths.insert(e["path"].get<std::string>());
        kinds.insert(e["kind"].get<std::string>());
        const std::string bank = e["bank"];
        EXPECT_TRUE(bank == src + "/ONE.TTI" || bank == src + "/sub/TWO.TTI") << line;
        EXPECT_NE(e["path"].get<std::string>().find(fs::path(bank).stem().string()), std::string::npos) << line;
      }
      EXPECT_EQ(paths, planned);
      EXPECT_EQ(kinds, (mode == "mono"     ? std::set<std::string>{"monoWav"}
                        : mode == "stereo" ? std::set<std::string>{"monoWav", "stereoWav"}
                                           : std::set<std::string>{"soundFont"}));
      r = run(out, {});
      ASSERT_EQ(r.exitCode, 0) << r.err;
      const std::set<std::string> written = relativeFiles(out);
      EXPECT_FALSE(written.empty());
      EXPECT_EQ(planned, written);
      if (mode == "sf2") continue;

      // A broken earlier attempt: left as it is and reported ("exists and
      // differs", exit 1), written again with --overwrite; the dry runs
      // say which.
      const std::string victim = out + "/" + *written.begin();
      const auto good = readFileBytes(victim);
      fs::resize_file(victim, 10);
      fs::remove(out + "/" + *written.rbegin());
      // The dry run lists what the run then writes (the bank that fails is
      // the last one converted without --keep-going) and fails as it does.
      r = run(out, {"--dry-run", "--keep-going"});
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(lineSet(r.out), (std::set<std::string>{*written.rbegin()}));
      r = run(out, {"--dry-run", "--overwrite"});
      EXPECT_EQ(lineSet(r.out), written);
      const CommandResult dry = run(out, {"--dry-run"});
      const std::set<std::string> before = relativeFiles(out);
      r = run(out, {});
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(dry.exitCode, 1);
      const std::set<std::string> after = relativeFiles(out);
      std::set<std::string> made;
      std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::inserter(made, made.end()));
      EXPECT_EQ(lineSet(dry.out), made);
      EXPECT_NE(r.out.find(fs::path(victim).filename().string() + " exists and differs"), std::string::npos) << r.out;
      EXPECT_EQ(fs::file_size(victim), 10u);
      EXPECT_EQ(run(out, {"--overwrite"}).exitCode, 0);
      EXPECT_EQ(readFileBytes(victim), good);
      EXPECT_EQ(relativeFiles(out), written);
    }
  }
}

// A folder that cannot be read is named with the reason and fails the run
// (exit 1) while the banks of the readable folders are converted. Root
// reads every folder: the runs then go as an unprivileged user.
TEST(CliBatch, FoldersThatCannotBeReadAreNamedAndTheWalkGoesOn) {
  std::vector<std::string> as;
  if (::geteuid() == 0) {
    if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv (util-linux) is missing";
    as = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  TempDir dir;
  const std::string src = dir.file("src"), locked = src + "/locked", out = dir.file("out");
  fs::create_directories(locked);
  fs::create_directories(out);
  writeGoodBank(src + "/OPEN.TTI", "OPEN.WAV");
  writeGoodBank(locked + "/HIDDEN.TTI", "HIDDEN.WAV");
  for (const std::string& p : {dir.str(), src, out}) fs::permissions(p, fs::perms::all);
  fs::permissions(locked, fs::perms::none);
  struct Case {
    std::vector<std::string> words;
    std::string source;
    bool converts;
  };
  const std::vector<Case> cases = {
      {{"drive", "-o", out}, src, true},
      {{"scan"}, src, false},
      {{"folder", "-o", out}, locked, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[0]);
    std::vector<std::string> argv = as;
    argv.push_back(kCli);
    argv.insert(argv.end(), c.words.begin(), c.words.end());
    argv.push_back(c.source);
    const auto r = runCommand(argv);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(locked + ": File access denied"), std::string::npos) << r.out << r.err;
    if (c.converts) {
      EXPECT_EQ(filesBelow(out), (std::set<std::string>{"OPEN.WAV"}));
    }
  }
  fs::permissions(locked, fs::perms::all);
}

// A link standing anywhere below --out (at a run's folder, a mirrored
// folder or a bank's folder) makes the bank fail naming it; nothing is
// written through it, whether banks are converted one at a time or
// several at once.
TEST(CliBatch, ALinkBelowTheOutputFolderIsNeverWrittenThrough) {
  TempDir dir;
  const std::string src = dir.file("src");
  fs::create_directories(src + "/SUB");
  writeGoodBank(src + "/SUB/ONE.TTI", "ONE.WAV");
  writeGoodBank(src + "/SUB/TWO.TTI", "TWO.WAV");
  int round = 0;
  for (const std::string command : {"folder", "drive"}) {
    for (const std::string mode : {"mono", "sfz", "sf2"}) {
      // Where the outputs go, from a run into an empty folder.
      const std::string scratch = dir.file("scratch" + std::to_string(round++));
      fs::create_directories(scratch);
      ASSERT_EQ(runCommand({kCli, command, "-q", "--mode", mode, "--out", scratch,
                            command == "folder" ? src + "/SUB" : src}).exitCode, 0);
      std::vector<std::string> levels;
      for (const auto& e : fs::recursive_directory_iterator(scratch))
        if (e.is_directory() && e.path().filename() != "samples") levels.push_back(fs::relative(e.path(), scratch).string());
      ASSERT_FALSE(levels.empty());
      for (const std::string& level : levels) {
        for (const std::string jobs : {"1", "2"}) {
          SCOPED_TRACE(command + " " + mode + " -j " + jobs + ", a link at " + level);
          const std::string out = dir.file("out" + std::to_string(round++));
          const std::string outside = dir.file("outside" + std::to_string(round));
          fs::create_directories(outside);
          fs::create_directories(fs::path(out + "/" + level).parent_path());
          fs::create_directory_symlink(outside, out + "/" + level);
          const CommandResult r = runCommand({kCli, command, "-q", "-j", jobs, "--mode", mode, "--out", out,
                                              command == "folder" ? src + "/SUB" : src});
          EXPECT_EQ(r.exitCode, 1) << r.err;
          EXPECT_NE(r.err.find("symbolic link"), std::string::npos) << r.err;
          EXPECT_TRUE(fs::is_empty(outside));
        }
      }
    }
  }
}
