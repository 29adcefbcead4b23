// SPDX-License-Identifier: MIT
// Output on the drives users carry: real FAT (fusefat), NTFS (ntfs-3g) and
// exFAT (exfat-fuse) images mounted through FUSE, which offer neither
// unnamed files nor the rename flags, and where FAT and exFAT also refuse
// hard links, some characters, and compare names without regard to case.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bank_builder.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace vantrel::testing;

namespace {

const std::string kCli = VANTREL_CLI;

CommandResult sh(const std::string& command) { return runCommand({"/bin/sh", "-c", command}); }

bool have(const std::string& tool) { return sh("command -v " + tool + " >/dev/null").exitCode == 0; }

struct FileSystem {
  const char* name;
  std::vector<std::string> tools;
  // Makes the image IMG and mounts it at MNT ($1, $2).
  const char* mount;
};

const FileSystem kFileSystems[] = {
    {"FAT", {"mkfs.vfat", "fusefat"}, "mkfs.vfat \"$1\" >/dev/null && fusefat -o rw+ \"$1\" \"$2\""},
    {"NTFS", {"mkntfs", "ntfs-3g"}, "mkntfs -F -Q \"$1\" >/dev/null 2>&1 && ntfs-3g \"$1\" \"$2\""},
    // exfat-fuse wants a block device: a loop device of its own.
    {"exFAT", {"mkfs.exfat", "mount.exfat-fuse", "losetup"},
     "mkfs.exfat \"$1\" >/dev/null && dev=$(losetup -f --show \"$1\") && echo \"$dev\" >\"$1.loop\" && "
     "mount.exfat-fuse \"$dev\" \"$2\" >/dev/null"},
};

// An image of the file system, mounted while the object lives.
class Mounted {
 public:
  Mounted(const FileSystem& fs, const TempDir& dir) : image_(dir.file("image")), point_(dir.file("mnt")) {
    fs::create_directory(point_);
    sh("truncate -s 96M " + image_);
    const CommandResult r = runCommand({"/bin/sh", "-c", fs.mount, "mount", image_, point_});
    ok_ = r.exitCode == 0;
    error_ = r.err;
  }
  ~Mounted() {
    sh("fusermount -u " + point_ + " 2>/dev/null || umount " + point_ + " 2>/dev/null");
    if (fs::exists(image_ + ".loop")) sh("losetup -d $(cat " + image_ + ".loop)");
  }
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  std::string at(const std::string& name) const { return point_ + "/" + name; }

 private:
  std::string image_, point_;
  bool ok_ = false;
  std::string error_;
};

// Every file below `folder`: its path relative to the folder and a hash of
// its bytes.
std::map<std::string, std::size_t> tree(const std::string& folder) {
  std::map<std::string, std::size_t> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    const auto bytes = readFileBytes(e.path().string());
    files[fs::relative(e.path(), folder).string()] = std::hash<std::string>{}(std::string(bytes.begin(), bytes.end()));
  }
  return files;
}

// The bytes of the samples and SoundFonts, in order; not the texts that
// name the files (the manifest, SFZ and DecentSampler), whose names a
// file system may have refused.
std::vector<std::size_t> contents(const std::map<std::string, std::size_t>& files) {
  std::vector<std::size_t> all;
  for (const auto& [path, bytes] : files) {
    const std::string ext = fs::path(path).extension().string();
    if (ext != ".sfz" && ext != ".dspreset" && fs::path(path).filename() != "SHA256SUMS") all.push_back(bytes);
  }
  std::sort(all.begin(), all.end());
  return all;
}

std::vector<std::uint8_t> frames(std::uint8_t seed, std::size_t n) {
  std::vector<std::uint8_t> pcm(2 * n);
  for (std::size_t k = 0; k < pcm.size(); ++k) pcm[k] = static_cast<std::uint8_t>(k * 13 + seed);
  return pcm;
}

// Samples whose names differ only in letter case (ASCII and Latin-1), one
// FAT refuses ("WHAT?"), one whose FAT-safe name is another sample's
// ("WHAT_"), and a left/right pair.
void writeNamesBank(const std::string& path) {
  BankDesc d;
  const std::vector<std::string> names = {"Kick.WAV", "KICK.WAV", "kick.wav", "WHAT?.WAV", "WHAT_.WAV",
                                          "\xE9t\xE9.WAV", "\xC9T\xC9.WAV", "Pad L.WAV", "Pad R.WAV"};
  std::uint8_t seed = 1;
  for (const std::string& name : names) {
    SampleDesc s;
    s.name = name;
    s.pcm = frames(seed++, 300);
    s.loopEndFrame = 300;
    s.zones = {static_cast<std::uint8_t>(d.zones.size())};
    d.samples.push_back(std::move(s));
    d.zones.push_back(ZoneDesc{});
  }
  writeBank(path, d);
}

bool anyPartFile(const std::string& folder) {
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.path().extension() == ".part") return true;
  return false;
}

}  // namespace

TEST(TargetMounts, EveryModeWritesOnFatNtfsAndExfatAsOnTmpfs) {
  if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0) {
    GTEST_SKIP() << "FUSE mounts need root and /dev/fuse";
  }
  TempDir src;
  const std::string bank = src.file("NAMES.TTI");
  writeNamesBank(bank);
  // Banks whose SoundFonts' names differ only in letter case.
  const std::string banks = src.file("banks");
  fs::create_directory(banks);
  for (const char* name : {"A.TTI", "a.tti", "\xC3\xA9.TTI", "\xC3\x89.TTI"}) writeNamesBank(banks + "/" + name);
  // A larger bank, for a run killed half-way.
  const std::string large = src.file("LARGE.TTI");
  {
    BankDesc d;
    for (int k = 0; k < 24; ++k) {
      SampleDesc s;
      s.name = "S" + std::to_string(k) + ".WAV";
      s.pcm = frames(static_cast<std::uint8_t>(k), 1 << 18);
      s.zones = {static_cast<std::uint8_t>(k)};
      d.samples.push_back(std::move(s));
      d.zones.push_back(ZoneDesc{});
    }
    writeBank(large, d);
  }

  // The same runs on a tmpfs give the expected bytes.
  const fs::path shm = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  const std::string reference = (shm / ("vantrel-mounts-" + std::to_string(::getpid()))).string();
  fs::create_directories(reference);
  struct Cleanup {
    std::string path;
    ~Cleanup() { fs::remove_all(path); }
  } cleanup{reference};
  const std::vector<std::string> modes = {"mono", "stereo", "sf2", "sfz", "dspreset"};
  std::map<std::string, std::vector<std::size_t>> expected;
  for (const std::string& mode : modes) {
    fs::create_directory(reference + "/" + mode);
    ASSERT_EQ(runCommand({kCli, "convert", "-q", "--mode", mode, "--out", reference + "/" + mode, bank}).exitCode, 0);
    expected[mode] = contents(tree(reference + "/" + mode));
  }
  fs::create_directory(reference + "/large");
  ASSERT_EQ(runCommand({kCli, "convert", "-q", "--out", reference + "/large", large}).exitCode, 0);
  const auto largeTree = tree(reference + "/large");

  for (const FileSystem& system : kFileSystems) {
    SCOPED_TRACE(system.name);
    if (!std::all_of(system.tools.begin(), system.tools.end(), have)) {
      std::cout << "[  SKIPPED ] " << system.name << ": needs " << system.tools.back() << "\n";
      continue;
    }
    TempDir dir;
    const Mounted mounted(system, dir);
    ASSERT_TRUE(mounted.ok()) << mounted.error();
    for (const std::string& mode : modes) {
      SCOPED_TRACE(mode);
      const std::string out = mounted.at(mode);
      fs::create_directory(out);
      const std::vector<std::string> argv = {kCli, "convert", "--verify", "--manifest", "--mode", mode, "--out", out,
                                             bank};
      const CommandResult first = runCommand(argv);
      ASSERT_EQ(first.exitCode, 0) << first.err;
      const auto written = tree(out);
      EXPECT_EQ(contents(written), expected[mode]);
      EXPECT_EQ(sh("cd '" + out + "' && sha256sum --quiet -c SHA256SUMS").exitCode, 0);
      EXPECT_FALSE(anyPartFile(out));
      const CommandResult again = runCommand(argv);
      EXPECT_EQ(again.exitCode, 0) << again.err;
      if (mode != "sf2") {
        EXPECT_NE((again.out + again.err).find("already extracted"), std::string::npos);
      }
      EXPECT_EQ(tree(out), written);
    }

    // A folder run: every bank keeps a SoundFont of its own.
    const std::string runs = mounted.at("runs");
    fs::create_directory(runs);
    const CommandResult run = runCommand({kCli, "folder", "--mode", "sf2", "--out", runs, banks});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(tree(runs).size(), 4u);
    EXPECT_FALSE(anyPartFile(runs));

    // Killed half-way, then run again: the second run completes the first.
    const std::string killed = mounted.at("killed");
    fs::create_directory(killed);
    const pid_t child = ::fork();
    if (child == 0) {
      ::execl(kCli.c_str(), kCli.c_str(), "convert", "-q", "--out", killed.c_str(), large.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const std::string folder = killed + "/WAV_MONO_LARGE.TTI";
    while (std::chrono::steady_clock::now() < until &&
           !(fs::exists(folder) && std::distance(fs::directory_iterator(folder), fs::directory_iterator()) > 2)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const CommandResult rerun = runCommand({kCli, "convert", "-q", "--out", killed, large});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    // fusefat cuts the name of a file whose writer was killed
    // (".vantrel-<pid>"): a hidden leftover the next run cannot know.
    auto after = tree(killed);
    std::erase_if(after, [](const auto& file) {
      return fs::path(file.first).filename().string().rfind(".vantrel-", 0) == 0;
    });
    EXPECT_EQ(after, largeTree);
  }
}

// A power cut right after a run: a copy of a loop-mounted ext4 image taken
// once the journal has committed the names (commit=1), long before the
// page cache would write the data back by itself. Every file named in the
// copy holds all its bytes.
TEST(TargetMounts, APowerCutRightAfterARunLeavesNoFileWithoutItsData) {
  if (::geteuid() != 0 || !have("mkfs.ext4") || !have("losetup")) GTEST_SKIP() << "needs root, mkfs.ext4 and losetup";
  TempDir dir;
  const std::string bank = dir.file("NAMES.TTI");
  writeNamesBank(bank);
  const std::string image = dir.file("ext4.img"), live = dir.file("live"), copy = dir.file("copy");
  fs::create_directory(live);
  fs::create_directory(copy);
  ASSERT_EQ(sh("truncate -s 64M " + image + " && mkfs.ext4 -q -F " + image).exitCode, 0);
  if (sh("mount -o loop,commit=1 " + image + " " + live).exitCode != 0) GTEST_SKIP() << "cannot mount a loop device";
  struct Unmount {
    std::string live, copy;
    ~Unmount() { sh("umount " + copy + " 2>/dev/null; umount " + live); }
  } unmount{live, copy};
  for (const char* mode : {"mono", "sfz"}) {
    fs::create_directory(live + "/" + mode);
    ASSERT_EQ(runCommand({kCli, "convert", "-q", "--manifest", "--mode", mode, "--out", live + "/" + mode, bank}).exitCode, 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  ASSERT_EQ(sh("cp --sparse=always " + image + " " + image + ".cut").exitCode, 0);
  ASSERT_EQ(sh("mount -o loop " + image + ".cut " + copy).exitCode, 0);
  const auto before = tree(live);
  const auto after = tree(copy);
  std::size_t named = 0;
  for (const auto& [path, hash] : after) {
    if (path.rfind("lost+found", 0) == 0) continue;
    ++named;
    ASSERT_TRUE(before.count(path)) << path;
    EXPECT_EQ(hash, before.at(path)) << path;
  }
  // The journal has committed the names by then: the check saw the files.
  EXPECT_EQ(named, before.size());
}
