// SPDX-License-Identifier: MIT
// The folder layer the jobs stand on: folder creation, the enterable test,
// the batch runs' file listing, and mounted volumes as drives.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "jobs_fixtures.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

TEST(JobsFolders, CreateFoldersMakesEveryMissingParent) {
  TempDir t;
  std::string deep = t.file("a/b/c d/e");
  EXPECT_TRUE(createFolders(deep));
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(createFolders(deep + "/"));  // existing, trailing separator
}

TEST(JobsFolders, CreateFoldersFailsSilentlyBelowAFile) {
  TempDir t;
  writeBytes(t.file("plain"), {1});
  EXPECT_FALSE(createFolders(t.file("plain/sub/deeper")));
  EXPECT_FALSE(fs::exists(t.file("plain/sub")));
}

TEST(JobsFolders, EnterableFolderIsAReadableFolderOnly) {
  TempDir t;
  writeBytes(t.file("f.tti"), {1});
  EXPECT_TRUE(isEnterableFolder(t.str()));
  EXPECT_FALSE(isEnterableFolder(t.file("f.tti")));
  EXPECT_FALSE(isEnterableFolder(t.file("missing")));
  EXPECT_FALSE(isEnterableFolder(""));
}

TEST(JobsFolders, ListingIsInTheByteOrderOfTheNames) {
  TempDir t(fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path());
  for (const char* n : {"zeta", "Alpha", "mid.tti", ".hidden", "beta.TTI", "0"}) writeBytes(t.file(n), {1});
  std::vector<std::string> names;
  for (const auto& e : listFolder(t.str())) names.push_back(e.name);
  EXPECT_EQ(names, directoryOrder(t.str()));
}

TEST(JobsFolders, TtiFilesAreRegularFilesMatchingWithoutCase) {
  TempDir t;
  for (const char* n : {"a.tti", "B.TTI", "c.Tti", ".hidden.tti", "d.ttix", "e.tt", "tti"})
    writeBytes(t.file(n), {1});
  makeFolders(t.file("folder.tti"));
  ::mkfifo(t.file("pipe.tti").c_str(), 0644);
  fs::create_symlink(t.file("a.tti"), t.file("link.tti"));
  fs::create_symlink(t.file("gone"), t.file("dangling.tti"));
  fs::create_directory_symlink(t.file("folder.tti"), t.file("dirlink.tti"));

  auto names = listTtiFiles(t.str());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden.tti", "B.TTI", "a.tti", "c.Tti", "link.tti"}));
}

TEST(JobsFolders, ReadFolderGivesTheFoldersIdentityAndRefusesLinksWhenAsked) {
  TempDir t;
  makeFolders(t.file("real"));
  fs::create_directory_symlink(t.file("real"), t.file("link"));
  FolderId id, viaLink;
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(readFolder(t.file("real"), false, id, entries));
  EXPECT_FALSE(readFolder(t.file("link"), false, viaLink, entries));
  ASSERT_TRUE(readFolder(t.file("link"), true, viaLink, entries));
  EXPECT_EQ(id.inode, viaLink.inode);
  EXPECT_EQ(id.device, viaLink.device);
}

TEST(JobsVolumes, MountTableNamesVolumesByTheLastComponent) {
  const char* table =
      "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "40 27 0:40 / /media/USB\\040Stick rw shared:5 - vfat /dev/sdb1 rw\n"
      "41 27 0:41 / /mnt/data/ rw - ext4 /dev/sdc1 rw\n"
      "42 27 0:42 / /media/USB\\040Stick rw - vfat /dev/sdb2 rw\n"
      "43 23 0:43 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
      "garbage\n";
  auto v = parseMountTable(table);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].root, "/");
  EXPECT_EQ(v[0].name, "root");
  EXPECT_EQ(v[1].root, "/media/USB Stick");
  EXPECT_EQ(v[1].name, "USB Stick");
  EXPECT_EQ(v[2].name, "data");
}

TEST(JobsVolumes, MountsFormatIsReadToo) {
  auto v = parseMountTable("/dev/vda / ext4 rw 0 0\nproc /proc proc rw 0 0\n/dev/sdb1 /media/cd iso9660 ro 0 0\n",
                           true);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[1].root, "/media/cd");
  EXPECT_EQ(v[1].name, "cd");
}

TEST(JobsVolumes, VolumeOfAPathAgreesWithStat) {
  TempDir t;
  makeFolders(t.file("x/y"));
  // coreutils' stat prints the mount point that holds a path.
  auto r = runCommand({"/usr/bin/stat", "-c", "%m", t.file("x/y")});
  ASSERT_EQ(r.exitCode, 0);
  std::string mountPoint = r.out.substr(0, r.out.find('\n'));
  Volume v = volumeOf(t.file("x/y"));
  EXPECT_EQ(v.root, mountPoint);
  EXPECT_EQ(v.name, volumeName(mountPoint));
}

TEST(JobsVolumes, VolumeOfAMountedFolderIsThatVolume) {
  TempDir t;
  TmpfsMount m(t.file("Stick"));
  if (!m.mounted()) GTEST_SKIP() << "mounting needs root";
  makeFolders(t.file("Stick/in/side"));
  Volume v = volumeOf(t.file("Stick/in/side"));
  EXPECT_EQ(v.root, fs::canonical(t.file("Stick")).string());
  EXPECT_EQ(v.name, "Stick");
  bool listed = false;
  for (const auto& mv : mountedVolumes()) listed |= mv.root == v.root;
  EXPECT_TRUE(listed);
}

TEST(JobsVolumes, RootIsNamedRoot) {
  EXPECT_EQ(volumeName("/"), "root");
  EXPECT_EQ(volumeName("/media/cd/"), "cd");
  EXPECT_EQ(volumeOf("/").root, "/");
}


// A bank must be a regular file: a pipe would block the open (and a read)
// for good, a device never ends. Each is refused at once.
TEST(JobsFiles, OnlyRegularFilesOpenForReading) {
  TempDir t;
  const std::string fifo = t.file("PIPE.TTI"), folder = t.file("DIR.TTI");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(folder);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {fifo, "not a regular file"}, {"/dev/zero", "not a regular file"}, {folder, "not a regular file (a folder)"}};
  for (const auto& [path, text] : cases) {
    SCOPED_TRACE(path);
    try {
      File f(path, File::Mode::Read);
      ADD_FAILURE() << "opened";
    } catch (const RunError& e) {
      EXPECT_EQ(e.message(), text);
      EXPECT_EQ(e.path(), path);
    }
  }
}

// Below the output root nothing is opened, made or removed through a link,
// at any level: a link planted there fails the operation naming it and
// what it points to stays as it was. The root itself may be a link.
TEST(JobsOutputRoot, NothingBelowTheRootIsReachedThroughALink) {
  struct Case {
    const char* link;  // relative to the root, pointing at "outside"
    const char* path;  // what is asked for, relative to the root
    enum { Open, Create, RemoveFile, RemoveFolder } op;
  };
  const Case cases[] = {
      {"run", "run/bank", Case::Create},      {"run", "run", Case::Open},
      {"run/bank", "run/bank/deeper", Case::Create}, {"run", "run/victim", Case::RemoveFile},
      {"run/bank", "run/bank/victim", Case::RemoveFile}, {"run", "run/folder", Case::RemoveFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TempDir t;
    fs::create_directories(t.file("real/run"));
    fs::create_directories(t.file("outside/folder"));
    fs::create_directories(t.file("outside/bank/folder"));
    writeBytes(t.file("outside/victim"), {7});
    writeBytes(t.file("outside/bank/victim"), {7});
    fs::create_directory_symlink(t.file("real"), t.file("root"));  // the user's choice: followed
    fs::remove_all(t.file("real/") + c.link);
    fs::create_directories(fs::path(t.file("real/") + c.link).parent_path());
    fs::create_directory_symlink(t.file("outside"), t.file("real/") + c.link);
    const OutputRoot root(t.file("root"));
    const std::string path = t.file("root/") + c.path;
    if (c.op == Case::Open || c.op == Case::Create) {
      try {
        root.open(path, c.op == Case::Create);
        ADD_FAILURE() << "opened through a link";
      } catch (const RunError& e) {
        EXPECT_EQ(e.code(), kSymlinkNotUsed);
        EXPECT_EQ(e.path(), t.file("root/") + c.link);
      }
    } else {
      EXPECT_FALSE(root.remove(path, c.op == Case::RemoveFolder));
    }
    EXPECT_TRUE(fs::exists(t.file("outside/victim")));
    EXPECT_TRUE(fs::exists(t.file("outside/bank/victim")));
    EXPECT_TRUE(fs::exists(t.file("outside/folder")));
    EXPECT_FALSE(fs::exists(t.file("outside/bank/deeper")));
    EXPECT_FALSE(fs::exists(t.file("outside/bank/bank")));
  }
  // Without links, levels are made one below the other and removed again.
  TempDir t;
  const OutputRoot root(t.str());
  std::vector<std::string> made;
  EXPECT_TRUE(root.open(t.file("a/b/c"), true, &made).isOpen());
  EXPECT_EQ(made, (std::vector<std::string>{t.file("a"), t.file("a/b"), t.file("a/b/c")}));
  EXPECT_TRUE(root.remove(t.file("a/b/c"), true));
  EXPECT_FALSE(fs::exists(t.file("a/b/c")));
}
