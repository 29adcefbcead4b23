// SPDX-License-Identifier: MIT
// The drive walk (ReadDirectoryNames) and the drive run (extrdriveClick).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "jobs/drive_job.h"
#include "jobs_fixtures.h"
#include "platform/errors.h"
#include "platform/folders.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

// The walk's rules written out on top of `ls -A`: a folder's own banks in
// byte order, then each visible, real subfolder in byte order.
void referenceWalk(const std::string& folder, std::vector<std::string>& out) {
  std::vector<std::string> subfolders;
  for (const auto& n : directoryOrder(folder)) {
    std::error_code ec;
    auto own = fs::symlink_status(folder + n, ec);
    auto target = fs::status(folder + n, ec);
    if (fs::is_regular_file(target) && matchesTtiPattern(n)) out.push_back(folder + n);
    if (fs::is_directory(own) && n[0] != '.') subfolders.push_back(n);
  }
  for (const auto& s : subfolders) referenceWalk(folder + s + "/", out);
}

std::vector<std::string> walk(const std::string& root) {
  RecordingListener ui;
  JobContext ctx(ui);
  std::vector<BankRef> banks;
  ReadDirectoryNames(ctx, root, banks);
  std::vector<std::string> list;
  for (const BankRef& b : banks) list.push_back(b.path());
  return list;
}

std::vector<std::string> relativeTo(const std::string& root, std::vector<std::string> paths) {
  for (auto& p : paths) p = p.substr(root.size());
  return paths;
}

void touchBank(const std::string& path) { writeJobBank(path, {"S.WAV"}); }

}  // namespace

TEST(JobsDriveWalk, DepthFirstOwnBanksFirstInTheFileSystemsOrder) {
  TempDir t;
  const std::string root = t.str() + "/";
  for (const char* f : {"A/B", "Z", "C/D/E", "F", "A/G"}) makeFolders(root + f);
  for (const char* f : {"top.tti", "A/a.tti", "A/B/b.tti", "Z/z.tti", "C/D/E/e.TTI", "C/c1.tti",
                        "C/c2.tti", "A/G/g.tti", "F/notes.txt", "second.tti"})
    writeBytes(root + f, {1});

  std::vector<std::string> expected;
  referenceWalk(root, expected);
  auto got = walk(t.str());
  EXPECT_EQ(got, expected);
  ASSERT_EQ(got.size(), 9u);
  // The root's own banks come first, whatever its subfolders hold.
  auto rel = relativeTo(root, got);
  EXPECT_EQ(rel[0].find('/'), std::string::npos);
  EXPECT_EQ(rel[1].find('/'), std::string::npos);
}

TEST(JobsDriveWalk, HiddenFoldersAreSkippedHiddenFilesTaken) {
  TempDir t;
  const std::string root = t.str() + "/";
  makeFolders(root + ".hidden/deeper");
  makeFolders(root + "seen");
  writeBytes(root + ".hidden/in.tti", {1});
  writeBytes(root + ".hidden/deeper/in2.tti", {1});
  writeBytes(root + "seen/.quiet.tti", {1});
  EXPECT_EQ(relativeTo(root, walk(t.str())), std::vector<std::string>{"seen/.quiet.tti"});
}

TEST(JobsDriveWalk, LinkedFoldersAndLinkLoopsAreNotFollowed) {
  TempDir outside;
  writeBytes(outside.file("far.tti"), {1});
  TempDir t;
  const std::string root = t.str() + "/";
  makeFolders(root + "A");
  writeBytes(root + "A/a.tti", {1});
  fs::create_directory_symlink(root, root + "A/loop");
  fs::create_directory_symlink(root + "A", root + "again");
  fs::create_directory_symlink(outside.str(), root + "far");
  EXPECT_EQ(relativeTo(root, walk(t.str())), std::vector<std::string>{"A/a.tti"});
}

TEST(JobsDriveWalk, LinksToBankFilesAreTaken) {
  TempDir t;
  const std::string root = t.str() + "/";
  writeBytes(root + "real.bin", {1});
  fs::create_symlink(root + "real.bin", root + "alias.tti");
  fs::create_symlink(root + "missing", root + "dangling.tti");
  EXPECT_EQ(relativeTo(root, walk(t.str())), std::vector<std::string>{"alias.tti"});
}

TEST(JobsDriveWalk, FolderNamedLikeABankIsWalkedNotTaken) {
  TempDir t;
  const std::string root = t.str() + "/";
  makeFolders(root + "Odd.TTI");
  writeBytes(root + "Odd.TTI/inner.tti", {1});
  EXPECT_EQ(relativeTo(root, walk(t.str())), std::vector<std::string>{"Odd.TTI/inner.tti"});
}

TEST(JobsDriveWalk, UnreadableFolderContributesNothing) {
  TempDir t;
  const std::string root = t.str() + "/";
  makeFolders(root + "locked/inner");
  makeFolders(root + "open");
  writeBytes(root + "locked/x.tti", {1});
  writeBytes(root + "locked/inner/y.tti", {1});
  writeBytes(root + "open/z.tti", {1});
  ::chmod((root + "locked").c_str(), 0);
  // Root reads every folder: walk as an ordinary user in a child process.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    auto got = walk(t.str());
    ::_exit(got == std::vector<std::string>{root + "open/z.tti"} ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(JobsDriveWalk, OtherVolumesAreNotEntered) {
  TempDir t;
  const std::string root = t.str() + "/";
  TmpfsMount m(root + "mnt");
  if (!m.mounted()) GTEST_SKIP() << "mounting needs root";
  writeBytes(root + "mnt/other.tti", {1});
  writeBytes(root + "here.tti", {1});
  EXPECT_EQ(relativeTo(root, walk(t.str())), std::vector<std::string>{"here.tti"});
  // Walked from its own root, the mounted volume is a drive of its own.
  EXPECT_EQ(relativeTo(root, walk(root + "mnt")), std::vector<std::string>{"mnt/other.tti"});
}

TEST(JobsDriveWalk, RootReachedThroughALinkIsWalked) {
  TempDir t;
  makeFolders(t.file("real/sub"));
  writeBytes(t.file("real/sub/in.tti"), {1});
  fs::create_directory_symlink(t.file("real"), t.file("mounted"));
  EXPECT_EQ(walk(t.file("mounted")), std::vector<std::string>{t.file("mounted") + "/sub/in.tti"});
}

TEST(JobsDriveWalk, DeepTreesAreWalkedToTheBottom) {
  TempDir t;
  std::string deep = t.str();
  for (int level = 0; level < 300; ++level) deep += "/d";
  makeFolders(deep);
  writeBytes(deep + "/bottom.tti", {1});
  EXPECT_EQ(walk(t.str()), std::vector<std::string>{deep + "/bottom.tti"});
}

TEST(JobsDriveWalk, MissingRootGivesNothingAndHidesTheSampleList) {
  TempDir t;
  RecordingListener ui;
  ui.listVisible = true;
  JobContext ctx(ui);
  std::vector<BankRef> list;
  ReadDirectoryNames(ctx, t.file("nowhere"), list);
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(ui.listVisible);
}

TEST(JobsDriveRun, FolderNamesFromModeAndTargetDrive) {
  EXPECT_EQ(driveFolderName("stick", outputFormat(FormatId::Mono)), "Drive STICK WAV_MONO");
  EXPECT_EQ(driveFolderName("Data2", outputFormat(FormatId::Stereo)), "Drive DATA2 WAV_STEREO");
  EXPECT_EQ(driveFolderName("root", outputFormat(FormatId::Sf2)), "Drive ROOT SF2");
  EXPECT_EQ(driveFolderName("root", outputFormat(FormatId::Sfz)), "Drive ROOT SFZ");
  EXPECT_EQ(driveFolderName("d", outputFormat(FormatId::None)), "Drive D ");
  // Only ASCII letters change case; other bytes of the name stay.
  EXPECT_EQ(driveFolderName("m\xc3\xbcsik", outputFormat(FormatId::Mono)), "Drive M\xc3\xbcSIK WAV_MONO");
}

namespace {

struct DriveRun {
  RecordingListener ui;
  JobContext ctx{ui};
  explicit DriveRun(FormatId mode) { ctx.options.format = &outputFormat(mode); }
  std::size_t run(const std::string& root, const std::string& target, const std::string& drive) {
    return extrdriveClick(ctx, root, target, drive);
  }
};

// Four banks: the drive's root, A, A/B and Z.
std::string makeDrive(const TempDir& t) {
  const std::string root = t.file("drive") + "/";
  makeFolders(root + "A/B");
  makeFolders(root + "Z");
  touchBank(root + "R.TTI");
  touchBank(root + "A/A1.TTI");
  touchBank(root + "A/B/B1.tti");
  touchBank(root + "Z/Z1.TTI");
  return root;
}

}  // namespace

TEST(JobsDriveRun, OutputMirrorsTheDrivesFoldersBelowTheDriveFolder) {
  TempDir t;
  const std::string root = makeDrive(t);
  makeFolders(t.file("out"));
  DriveRun r(FormatId::Mono);
  EXPECT_EQ(r.run(root, t.file("out"), "stick"), 4u);

  const std::string base = t.file("out") + "/Drive STICK WAV_MONO/";
  EXPECT_TRUE(fs::exists(base + "WAV_MONO_R.TTI/S.WAV"));
  EXPECT_TRUE(fs::exists(base + "A/WAV_MONO_A1.TTI/S.WAV"));
  EXPECT_TRUE(fs::exists(base + "A/B/WAV_MONO_B1.tti/S.WAV"));
  EXPECT_TRUE(fs::exists(base + "Z/WAV_MONO_Z1.TTI/S.WAV"));
  // The drive's folders, nothing else, under the target folder.
  EXPECT_EQ(directoryOrder(t.file("out")), std::vector<std::string>{"Drive STICK WAV_MONO"});
}

TEST(JobsDriveRun, BanksAreConvertedInWalkOrderWithStatusPerFile) {
  TempDir t;
  const std::string root = makeDrive(t);
  DriveRun r(FormatId::Mono);
  r.run(root, t.str(), "x");
  std::vector<std::string> walked, expected;
  referenceWalk(root, walked);
  for (const auto& p : walked) expected.push_back("processing " + fs::path(p).filename().string());
  expected.push_back(std::to_string(walked.size()) + " TTI files extracted");
  EXPECT_EQ(r.ui.statuses, expected);
  EXPECT_EQ(r.ctx.bank.ttiPath, walked.back());
  EXPECT_EQ(r.ctx.destinationFolder,
            t.str() + "/Drive X WAV_MONO/" +
                fs::path(walked.back()).parent_path().string().substr(root.size()) +
                (fs::path(walked.back()).parent_path().string() + "/" == root ? "" : "/"));
}

TEST(JobsDriveRun, GaugeThreeCountsFilesAndEndsAtZero) {
  TempDir t;
  const std::string root = makeDrive(t);
  DriveRun r(FormatId::Sf2);
  r.run(root, t.str(), "x");
  EXPECT_EQ(r.ui.progressOf(GaugeId::Drive), (std::vector<std::int64_t>{0, 0, 1, 2, 3, 4, 0}));
  EXPECT_EQ(r.ctx.gauge3.max(), 4);
  EXPECT_EQ(r.ctx.gauge1.progress(), 0);
  EXPECT_TRUE(r.ui.progressOf(GaugeId::Folder).empty());
}

TEST(JobsDriveRun, NoChosenModeLeavesTheModeWordOut) {
  TempDir t;
  const std::string root = makeDrive(t);
  DriveRun r(FormatId::None);
  r.run(root, t.file("out"), "d");
  EXPECT_TRUE(fs::is_directory(t.file("out/Drive D /A/B")));
}

TEST(JobsDriveRun, DriveWithoutBanksCreatesNothing) {
  TempDir t;
  makeFolders(t.file("empty/sub"));
  makeFolders(t.file("out"));
  DriveRun r(FormatId::Mono);
  r.ui.listVisible = true;
  EXPECT_EQ(r.run(t.file("empty"), t.file("out"), "x"), 0u);
  EXPECT_TRUE(fs::is_empty(t.file("out")));
  EXPECT_TRUE(r.ui.statuses.empty());
  EXPECT_EQ(r.ui.logClears, 1);
  EXPECT_FALSE(r.ui.listVisible);
  EXPECT_EQ(r.ui.progressOf(GaugeId::Drive), std::vector<std::int64_t>{0});
  EXPECT_EQ(r.ui.progressOf(GaugeId::Bank), std::vector<std::int64_t>{0});
}

TEST(JobsDriveRun, TargetInsideTheDriveIsNotWalked) {
  TempDir t;
  const std::string root = makeDrive(t);
  DriveRun r(FormatId::Mono);
  EXPECT_EQ(r.run(root, root + "A", "x"), 4u);
  EXPECT_TRUE(fs::exists(root + "A/Drive X WAV_MONO/A/B/WAV_MONO_B1.tti/S.WAV"));
  // A second run finds the same four banks: output folders hold none.
  DriveRun again(FormatId::Mono);
  EXPECT_EQ(again.run(root, root + "A", "x"), 4u);
}

TEST(JobsDriveRun, FailingBankEndsTheRunAndKeepsEarlierOutput) {
  TempDir t;
  const std::string root = makeDrive(t);
  std::vector<std::string> walked;
  referenceWalk(root, walked);
  ASSERT_EQ(walked.size(), 4u);
  writeTruncatedBank(walked[1]);

  DriveRun r(FormatId::Mono);
  try {
    r.run(root, t.file("out"), "x");
    FAIL() << "the broken bank must end the run";
  } catch (const RunError& e) {
    EXPECT_EQ(e.code(), kReadBeyondEnd);
    EXPECT_EQ(e.path(), walked[1]);
  }
  auto outputOf = [&](const std::string& bank) {
    std::string rel = bank.substr(root.size());
    auto slash = rel.rfind('/');
    std::string folder = slash == std::string::npos ? "" : rel.substr(0, slash + 1);
    return t.file("out") + "/Drive X WAV_MONO/" + folder + "WAV_MONO_" + fs::path(bank).filename().string();
  };
  EXPECT_TRUE(fs::exists(outputOf(walked[0]) + "/S.WAV"));
  EXPECT_FALSE(fs::exists(outputOf(walked[1])));
  EXPECT_FALSE(fs::exists(outputOf(walked[2])));
  EXPECT_EQ(r.ui.lastStatus(), "processing " + fs::path(walked[1]).filename().string());
  EXPECT_EQ(r.ctx.gauge3.progress(), 2);
}
