// SPDX-License-Identifier: MIT
// vantrel-cli convert: log lines on standard output, status lines on
// standard error, exit status, and a write fault under a file-size limit.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "output_check.h"

using namespace vantrel::testing;

namespace {

const std::string kCli = VANTREL_CLI;

// Runs the command line in `cwd`, optionally under a file-size limit.
CommandResult runIn(const std::string& cwd, const std::vector<std::string>& argv, rlim_t sizeLimit = 0) {
  return runCommand(argv, cwd, sizeLimit);
}

BankDesc twoSamples() {
  BankDesc d;
  d.samples = {pcmSample("PAD L.WAV", rampPcm(100, 1), {0}), pcmSample("PAD R.WAV", rampPcm(100, 2), {1})};
  d.zones = {ZoneDesc{}, ZoneDesc{}};
  return d;
}

}  // namespace

TEST(CliConvert, LogLinesGoToStandardOutputAndStatusLinesToStandardError) {
  BankFixture f;
  const std::string bank = f.write(twoSamples());
  const std::string out = f.out();
  const auto r = runCommand({kCli, "convert", "--out", out, bank});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "processing BANK.TTI\nPAD L.WAV extracted\nPAD R.WAV extracted\n");
  EXPECT_EQ(r.err, "2 Samples found\nprocessing TTI files\nprocessing finished\n");
  EXPECT_EQ(namesIn(out + "WAV_MONO_BANK.TTI"), (std::vector<std::string>{"PAD L.WAV", "PAD R.WAV"}));
}

TEST(CliConvert, ASecondRunReportsWhatIsAlreadyExtracted) {
  BankFixture f;
  const std::string bank = f.write(twoSamples());
  const std::string out = f.out();
  runCommand({kCli, "convert", "--mode", "stereo", "--out", out, bank});
  const auto r = runCommand({kCli, "convert", "--mode=stereo", "--out", out, bank});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "processing BANK.TTI\nPAD L__PAD R.WAV already extracted\n");
}

TEST(CliConvert, BanksAreConvertedInTurn) {
  BankFixture f;
  const std::string a = f.write(twoSamples(), "ONE.TTI");
  const std::string b = f.write(twoSamples(), "two.tti");
  const std::string out = f.out();
  const auto r = runCommand({kCli, "convert", "--mode", "stereo", "--out", out, a, b});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "processing ONE.TTI\nPAD L__PAD R.WAV extracted\nprocessing two.tti\nPAD L__PAD R.WAV extracted\n");
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"WAV_STEREO_ONE.TTI", "WAV_STEREO_two.tti"}));
}

TEST(CliConvert, SoundFontModeWritesOneFilePerBankIntoTheTargetFolder) {
  BankFixture f;
  const std::string bank = f.write(twoSamples());
  const std::string out = f.out();
  const auto r = runCommand({kCli, "convert", "--mode", "sf2", "--out", out, bank});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "BANK.sf2 written\n");
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"BANK.sf2"}));
  FluidCheck fluid;
  EXPECT_NE(fluid.load(out + "BANK.sf2"), FLUID_FAILED);
}

TEST(CliConvert, WithoutOutTheWorkingFolderIsTheTarget) {
  BankFixture f;
  const std::string bank = f.write(twoSamples());
  const std::string out = f.out("here");
  const auto r = runIn(out, {kCli, "convert", bank});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"WAV_MONO_BANK.TTI"}));
}

TEST(CliConvert, AFileWithoutTheTtiExtensionIsRefused) {
  BankFixture f;
  const std::string bank = f.write(twoSamples(), "BANK.WAV");
  const std::string out = f.out();
  const auto r = runCommand({kCli, "convert", "--out", out, bank});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("No TTI file selected\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(bank), std::string::npos);
  EXPECT_TRUE(namesIn(out).empty());
}

TEST(CliConvert, TheExtensionTestLooksAtFourCharactersIgnoringCase) {
  BankFixture f;
  const std::string bank = f.write(twoSamples(), "bank.TtIx");
  const std::string out = f.out();
  EXPECT_EQ(runCommand({kCli, "convert", "--out", out, bank}).exitCode, 0);
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"WAV_MONO_bank.TtIx"}));
}

TEST(CliConvert, AMissingBankIsFileNotFoundWithItsPath) {
  BankFixture f;
  const std::string out = f.out();
  const std::string bank = f.dir.file("GONE.TTI");
  const auto r = runCommand({kCli, "convert", "--out", out, bank});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(bank + ": File not found"), std::string::npos) << r.err;
}

TEST(CliConvert, AMissingTargetFolderIsARefusal) {
  BankFixture f;
  const std::string bank = f.write(twoSamples());
  const auto r = runCommand({kCli, "convert", "--out", f.dir.file("nowhere"), bank});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("nowhere"), std::string::npos);
}

TEST(CliConvert, UsageErrorsExitWithTwo) {
  BankFixture f;
  const std::string bank = f.write(twoSamples());
  EXPECT_EQ(runCommand({kCli, "convert"}).exitCode, 2);
  EXPECT_EQ(runCommand({kCli, "convert", "--mode", "surround", bank}).exitCode, 2);
  EXPECT_EQ(runCommand({kCli, "convert", "--json", bank}).exitCode, 2);
  EXPECT_EQ(runCommand({kCli, "convert", "--out"}).exitCode, 2);
}

TEST(CliConvert, AFileSizeLimitEndsWithDiskFullNotASignal) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("SMALL.WAV", rampPcm(1000)), pcmSample("HUGE.WAV", rampPcm(200000))};
  const std::string bank = f.write(d);
  const std::string out = f.out();
  const auto r = runIn(out, {kCli, "convert", "--out", out, bank}, 100000);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "processing BANK.TTI\nSMALL.WAV extracted\n");
  EXPECT_NE(r.err.find(out + "WAV_MONO_BANK.TTI/HUGE.WAV: Disk full"), std::string::npos) << r.err;
  EXPECT_EQ(namesIn(out + "WAV_MONO_BANK.TTI"), (std::vector<std::string>{"SMALL.WAV"}));
}

TEST(CliConvert, AnInvalidBankIsReportedWithItsPath) {
  BankFixture f;
  const std::string bank = f.dir.file("BAD.TTI");
  writeBytes(bank, std::vector<std::uint8_t>(300, 0));
  const std::string out = f.out();
  const auto r = runCommand({kCli, "convert", "--out", out, bank});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(bank + ": Read beyond end of file"), std::string::npos) << r.err;
}
