// SPDX-License-Identifier: MIT
// vantrel-cli folder, drive and extract: outputs, texts and exit codes.

#include <gtest/gtest.h>

#include <filesystem>

#include "jobs_fixtures.h"
#include "platform/folders.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      out.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) out.push_back(line);
  return out;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// "BANKS" with two banks; returns their names in listing order.
std::vector<std::string> makeBanks(const TempDir& t) {
  makeFolders(t.file("BANKS"));
  writeJobBank(t.file("BANKS/ONE.TTI"), {"A.WAV", "B.WAV"});
  writeJobBank(t.file("BANKS/two.tti"), {"C.WAV"});
  return directoryOrder(t.file("BANKS"));
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TEST(CliFolder, ConvertsEveryBankWithStatusOnStderrAndLogOnStdout) {
  TempDir t;
  auto order = makeBanks(t);
  makeFolders(t.file("out"));
  auto r = runCommand({VANTREL_CLI, "folder", "--out", t.file("out"), t.file("BANKS")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(lines(r.err), (std::vector<std::string>{"processing " + order[0], "processing " + order[1],
                                                     "2 TTI files extracted"}));
  auto log = lines(r.out);
  EXPECT_EQ(std::count(log.begin(), log.end(), " "), 0);
  EXPECT_TRUE(contains(r.out, "processing ONE.TTI\n"));
  EXPECT_TRUE(contains(r.out, "A.WAV extracted\n"));
  EXPECT_TRUE(fs::exists(t.file("out/BANKS_WAV_M/WAV_MONO_ONE.TTI/B.WAV")));
  EXPECT_TRUE(fs::exists(t.file("out/BANKS_WAV_M/WAV_MONO_two.tti/C.WAV")));
}

TEST(CliFolder, ModeChoosesTheSuffix) {
  TempDir t;
  makeBanks(t);
  auto r = runCommand({VANTREL_CLI, "folder", "--mode", "sf2", "--out", t.str(), t.file("BANKS")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::is_directory(t.file("BANKS_SF2")));
  r = runCommand({VANTREL_CLI, "folder", "--mode=stereo", "--out", t.str(), t.file("BANKS") + "/"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::is_directory(t.file("BANKS_WAV_S/WAV_STEREO_ONE.TTI")));
}

TEST(CliFolder, DefaultOutputIsTheWorkingFolderAndDotNamesItsFolder) {
  TempDir t;
  makeBanks(t);
  auto r = runCommand({"/bin/sh", "-c", "cd '" + t.file("BANKS") + "' && exec '" VANTREL_CLI "' folder ."});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(t.file("BANKS/BANKS_WAV_M/WAV_MONO_ONE.TTI/A.WAV")));
}

TEST(CliFolder, FolderWithoutBanksSucceedsWithoutAnOutputFolderAndSaysSo) {
  TempDir t;
  makeFolders(t.file("EMPTY"));
  auto r = runCommand({VANTREL_CLI, "folder", "--out", t.str(), t.file("EMPTY")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(fs::exists(t.file("EMPTY_WAV_M")));
  EXPECT_EQ(r.err, "no TTI files in " + t.file("EMPTY") + "\n");
}

TEST(CliFolder, MissingFoldersExitOneBadWordsExitTwo) {
  TempDir t;
  makeBanks(t);
  auto r = runCommand({VANTREL_CLI, "folder", "--out", t.file("nowhere"), t.file("BANKS")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, t.file("nowhere")));
  r = runCommand({VANTREL_CLI, "folder", "--out", t.str(), t.file("NOBANKS")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, t.file("NOBANKS")));
  EXPECT_EQ(runCommand({VANTREL_CLI, "folder", "--mode", "quad", t.file("BANKS")}).exitCode, 2);
  EXPECT_EQ(runCommand({VANTREL_CLI, "folder", t.file("BANKS"), t.file("BANKS")}).exitCode, 2);
  EXPECT_EQ(runCommand({VANTREL_CLI, "folder"}).exitCode, 2);
  EXPECT_EQ(runCommand({VANTREL_CLI, "folder", "--json", t.file("BANKS")}).exitCode, 2);
}

TEST(CliFolder, FailingBankExitsOneWithTheErrorAndKeepsEarlierOutput) {
  TempDir t;
  auto order = makeBanks(t);
  writeTruncatedBank(t.file("BANKS/" + order[1]));
  auto r = runCommand({VANTREL_CLI, "folder", "--out", t.str(), t.file("BANKS")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, "Read beyond end of file")) << r.err;
  EXPECT_TRUE(contains(r.err, t.file("BANKS/" + order[1]))) << r.err;
  EXPECT_FALSE(contains(r.err, "TTI files extracted"));
  EXPECT_FALSE(fs::is_empty(t.file("BANKS_WAV_M/WAV_MONO_" + order[0])));
  EXPECT_FALSE(fs::exists(t.file("BANKS_WAV_M/WAV_MONO_" + order[1])));
}

TEST(CliDrive, OutputFolderNamesTheVolumeThatHoldsTheTarget) {
  TempDir t;
  makeFolders(t.file("src/A/B"));
  writeJobBank(t.file("src/TOP.TTI"), {"T.WAV"});
  writeJobBank(t.file("src/A/B/DEEP.TTI"), {"D.WAV"});
  makeFolders(t.file("out"));
  auto m = runCommand({"/usr/bin/stat", "-c", "%m", t.file("out")});
  const std::string name = upper(volumeName(lines(m.out).at(0)));

  auto r = runCommand({VANTREL_CLI, "drive", "--out", t.file("out"), t.file("src")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string base = t.file("out/Drive " + name + " WAV_MONO");
  EXPECT_TRUE(fs::exists(base + "/WAV_MONO_TOP.TTI/T.WAV"));
  EXPECT_TRUE(fs::exists(base + "/A/B/WAV_MONO_DEEP.TTI/D.WAV"));
  EXPECT_EQ(lines(r.err), (std::vector<std::string>{"processing TOP.TTI", "processing DEEP.TTI", "2 TTI files extracted"}));
}

TEST(CliDrive, TargetOnAMountedVolumeTakesItsName) {
  TempDir t;
  TmpfsMount stick(t.file("usb stick"));
  if (!stick.mounted()) GTEST_SKIP() << "mounting needs root";
  makeFolders(t.file("src/.hidden"));
  writeJobBank(t.file("src/ONE.TTI"), {"L.WAV", "R.WAV"});
  writeJobBank(t.file("src/.hidden/NO.TTI"), {"X.WAV"});
  makeFolders(t.file("usb stick/target"));
  auto r = runCommand({VANTREL_CLI, "drive", "--mode", "stereo", "--out", t.file("usb stick/target"),
                       t.file("src")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(directoryOrder(t.file("usb stick/target")),
            std::vector<std::string>{"Drive USB STICK WAV_STEREO"});
  EXPECT_EQ(directoryOrder(t.file("usb stick/target/Drive USB STICK WAV_STEREO")),
            std::vector<std::string>{"WAV_STEREO_ONE.TTI"});
}

TEST(CliDrive, EmptyDriveSucceedsAndCreatesNothing) {
  TempDir t;
  makeFolders(t.file("src/sub"));
  makeFolders(t.file("out"));
  auto r = runCommand({VANTREL_CLI, "drive", "--out", t.file("out"), t.file("src")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(fs::is_empty(t.file("out")));
  EXPECT_EQ(runCommand({VANTREL_CLI, "drive", "--out", t.file("out"), t.file("none")}).exitCode, 1);
}

TEST(CliExtract, OneIndexWritesThatSampleAsMono) {
  TempDir t;
  writeJobBank(t.file("BANK.TTI"), {"A.WAV", "B.WAV", "C.WAV"});
  auto r = runCommand({VANTREL_CLI, "extract", "--out", t.str(), t.file("BANK.TTI"), "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(t.file("WAV_MONO_BANK.TTI/B.WAV")));
  EXPECT_FALSE(fs::exists(t.file("WAV_MONO_BANK.TTI/A.WAV")));
  EXPECT_EQ(lines(r.err), (std::vector<std::string>{"3 Samples found", "B.WAV extracted"}));
  EXPECT_EQ(r.out, "B.WAV extracted\n");
  // Again: reported as already extracted, which counts as done.
  r = runCommand({VANTREL_CLI, "extract", "--out", t.str(), t.file("BANK.TTI"), "1"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(lines(r.err).back(), "B.WAV already extracted");
}

TEST(CliExtract, TwoIndexesWriteTheStereoPairSmallerIndexLeft) {
  TempDir t;
  writeJobBank(t.file("BANK.TTI"), {"PAD L.WAV", "X.WAV", "PAD R.WAV"});
  auto r = runCommand({VANTREL_CLI, "extract", "--out", t.str(), t.file("BANK.TTI"), "2", "0"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(directoryOrder(t.file("WAV_STEREO_BANK.TTI")), std::vector<std::string>{"PAD L__PAD R.WAV"});
  EXPECT_EQ(lines(r.err).back(), "PAD L__PAD R.WAV extracted");
}

TEST(CliExtract, SameIndexTwiceIsRefused) {
  TempDir t;
  writeJobBank(t.file("BANK.TTI"), {"A.WAV", "B.WAV"});
  auto r = runCommand({VANTREL_CLI, "extract", "--out", t.str(), t.file("BANK.TTI"), "1", "1"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(lines(r.err).back(), "Run 'vantrel-cli extract --help' for usage.");
  EXPECT_EQ(directoryOrder(t.str()), std::vector<std::string>{"BANK.TTI"});
}

TEST(CliExtract, PairFailingTheStereoTestIsRefused) {
  TempDir t;
  BankDesc d;
  d.samples = {jobSample("L.WAV", 8), jobSample("R.WAV", 9)};
  writeBank(t.file("BANK.TTI"), d);
  auto r = runCommand({VANTREL_CLI, "extract", "--out", t.str(), t.file("BANK.TTI"), "0", "1"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(lines(r.err).back(), "vantrel-cli: " + t.file("BANK.TTI") +
                                     ": samples 0 and 1 make no stereo pair: their lengths or loop points differ");
  EXPECT_EQ(directoryOrder(t.str()), std::vector<std::string>{"BANK.TTI"});
}

TEST(CliExtract, IndexOutsideTheBankExitsOneNotANumberIsAUsageError) {
  TempDir t;
  writeJobBank(t.file("BANK.TTI"), {"A.WAV", "B.WAV"});
  for (std::vector<std::string> args : {std::vector<std::string>{"2"}, {"0", "2"}, {"-1"}, {"x"},
                                        {"1e3"}, {"99999999999"}, {}, {"0", "1", "1"}}) {
    std::vector<std::string> argv{VANTREL_CLI, "extract", "--out", t.str(), t.file("BANK.TTI")};
    argv.insert(argv.end(), args.begin(), args.end());
    auto r = runCommand(argv);
    const bool outside = args == std::vector<std::string>{"2"} || args == std::vector<std::string>{"0", "2"};
    EXPECT_EQ(r.exitCode, outside ? 1 : 2) << r.err;
  }
  EXPECT_EQ(directoryOrder(t.str()), std::vector<std::string>{"BANK.TTI"});
  EXPECT_EQ(runCommand({VANTREL_CLI, "extract", "--mode", "mono", t.file("BANK.TTI"), "0"}).exitCode, 2);
}

TEST(CliExtract, FilesThatAreNoBanksExitOne) {
  TempDir t;
  writeJobBank(t.file("BANK.WAV"), {"A.WAV"});
  auto r = runCommand({VANTREL_CLI, "extract", "--out", t.str(), t.file("BANK.WAV"), "0"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(lines(r.err).back(), "vantrel-cli: " + t.file("BANK.WAV") + ": not a .tti file");
  r = runCommand({VANTREL_CLI, "extract", "--out", t.str(), t.file("MISSING.TTI"), "0"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, "File not found")) << r.err;
  EXPECT_TRUE(contains(r.err, t.file("MISSING.TTI"))) << r.err;
}
