// SPDX-License-Identifier: MIT
// Images and archives as sources: ISO 9660 (Rock Ridge and Joliet), zip, 7z
// and tar.gz made of a tree of random banks by the real tools. What a run
// over one writes is checked against a drive run over the tree the same
// real tools unpack from it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "bank_builder.h"
#include "test_support.h"
#include "tti/archive_banks.h"
#include "verify_banks.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

CommandResult shell(const std::string& script) { return runCommand({"/bin/sh", "-c", script}); }

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The banks of the tree: names with spaces and Latin-1 bytes, folders
// three deep, and a hidden folder that no run enters.
const std::vector<std::string> kBankPaths = {
    "TOP.TTI", "Grand Piano.tti", "Pianos/Old Ones/UPRIGHT.TTI", "Pianos/Caf\xE9 Set/S\xE9r 1.TTI",
    "Drums/KIT 1.Tti", "Drums/KIT 2.TTI", ".trash/GONE.TTI"};

void makeTree(const std::string& root) {
  for (std::size_t k = 0; k < kBankPaths.size(); ++k) {
    const fs::path path = fs::path(root) / kBankPaths[k];
    fs::create_directories(path.parent_path());
    writeBank(path.string(), randomArchiveBank(static_cast<std::uint32_t>(100 + k), 1500));
  }
  writeBytes(root + "/Drums/README.TXT", {'h', 'i'});
}

// How one kind of archive is made from a folder and unpacked into one, by
// tools that share no code with the reader.
struct Kind {
  std::string extension;
  std::string make;    // TREE, IMAGE: the shell's $1, $2
  std::string unpack;  // IMAGE, DIR
};

const std::vector<Kind> kKinds = {
    {".iso", "xorriso -as mkisofs -quiet -R -J -o \"$2\" \"$1\"",
     "xorriso -osirrox on -indev \"$1\" -extract / \"$2\" 2>/dev/null"},
    {".zip", "cd \"$1\" && zip -qr \"$2\" .", "unzip -q \"$1\" -d \"$2\""},
    {".7z", "cd \"$1\" && 7z a -bd \"$2\" . >/dev/null", "7z x -bd -o\"$2\" \"$1\" >/dev/null"},
    {".tar.gz", "tar -C \"$1\" -czf \"$2\" .", "mkdir -p \"$2\" && tar -C \"$2\" -xzf \"$1\""},
};

void run(const std::string& script, const std::string& a, const std::string& b) {
  const CommandResult r = runCommand({"/bin/sh", "-c", script, "sh", a, b});
  ASSERT_EQ(r.exitCode, 0) << script << "\n" << r.err;
}

// Every file below `root` by its path relative to it, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> treeOf(const std::string& root) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    if (e.is_regular_file()) files[rel] = readFileBytes(e.path().string());
    else files[rel + "/"] = {};
  }
  return files;
}

// The JSON lines of `scan --json`, each keyed by its path below `prefix`.
std::map<std::string, std::string> scanned(const std::string& out, const std::string& prefix) {
  std::map<std::string, std::string> banks;
  std::size_t at = 0;
  for (std::size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    nlohmann::ordered_json line = nlohmann::ordered_json::parse(out.substr(at, end - at));
    const std::string path = line["path"];
    line.erase("path");
    banks[path.substr(path.find(prefix) == 0 ? prefix.size() : 0)] = line.dump();
  }
  return banks;
}

// A bank of one sample, LONG.WAV, of `frames` frames of noise, in a
// folder made for it.
void writeLongBank(const std::string& path, std::size_t frames, std::uint32_t seed) {
  fs::create_directories(fs::path(path).parent_path());
  BankDesc bank;
  SampleDesc s;
  s.name = "LONG.WAV";
  s.pcm = noisePcm(frames, seed);
  s.zones = {0};
  bank.samples.push_back(std::move(s));
  writeBank(path, bank);
}

// A run's output folder: its only entry below `out`.
std::string onlyFolder(const std::string& out) {
  std::vector<std::string> entries;
  for (const auto& e : fs::directory_iterator(out)) entries.push_back(e.path().string());
  return entries.size() == 1 ? entries[0] : std::string();
}

}  // namespace

TEST(ArchivePaths, ImagesAndPathsInsideThemAreToldByName) {
  TempDir t;
  fs::create_directories(t.file("folder.iso"));
  struct Case {
    std::string path;
    bool image;          // imageSource finds one
    std::string archive, inside;
  };
  const std::vector<Case> cases = {
      {"a.iso", true, "a.iso", ""},
      {"a.ISO/", true, "a.ISO", ""},
      {"x/b.tar.gz//", true, "x/b.tar.gz", ""},
      {"c.7z//Caf\xE9/./B.TTI", true, "c.7z", "Caf\xE9/B.TTI"},
      {"d.TGZ//Pianos//", true, "d.TGZ", "Pianos"},
      {"/m/e.zip///f.tbz2/X.TTI", true, "/m/e.zip", "f.tbz2/X.TTI"},
      {"f.tar.xz//../X.TTI", true, "f.tar.xz", ""},
      {"dir//BANK.TTI", false, "", ""},
      {"a.isox", false, "", ""},
      {".iso", false, "", ""},
      {t.file("folder.iso"), false, "", ""},
      {t.file("folder.iso") + "//B.TTI", false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const auto image = imageSource(c.path);
    ASSERT_EQ(image.has_value(), c.image);
    if (!c.image) continue;
    EXPECT_EQ(image->archive, c.archive);
    EXPECT_EQ(image->inside, c.inside);
  }
}

TEST(CliArchive, FolderAndScanOfAnImageMatchADriveRunOverItsUnpackedTree) {
  TempDir t;
  makeTree(t.file("tree"));
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.extension);
    const std::string image = t.file("bank disk" + kind.extension);
    const std::string unpacked = t.file("unpacked" + kind.extension);
    run(kind.make, t.file("tree"), image);
    run(kind.unpack, image, unpacked);

    // The banks scan lists, with every field and problem.
    const CommandResult fromImage = runCommand({VANTREL_CLI, "scan", "--json", image});
    const CommandResult fromTree = runCommand({VANTREL_CLI, "scan", "--json", unpacked});
    EXPECT_EQ(fromImage.exitCode, fromTree.exitCode) << fromImage.err;
    const auto banks = scanned(fromImage.out, latin1AsUtf8(image) + "//");
    EXPECT_EQ(banks, scanned(fromTree.out, latin1AsUtf8(unpacked) + "/"));
    EXPECT_EQ(banks.size(), kBankPaths.size() - 1);

    for (const std::string mode : {"mono", "stereo", "sf2", "sfz", "dspreset"}) {
      SCOPED_TRACE(mode);
      const std::string outImage = t.file("out image " + kind.extension + mode);
      const std::string outTree = t.file("out tree " + kind.extension + mode);
      fs::create_directories(outImage);
      fs::create_directories(outTree);
      const CommandResult folder = runCommand({VANTREL_CLI, "folder", "-q", "-m", mode, "--out", outImage, image});
      ASSERT_EQ(folder.exitCode, 0) << folder.err;
      const CommandResult drive = runCommand({VANTREL_CLI, "drive", "-q", "-m", mode, "--out", outTree, unpacked});
      ASSERT_EQ(drive.exitCode, 0) << drive.err;
      const std::string made = onlyFolder(outImage);
      EXPECT_EQ(fs::path(made).filename().string().rfind("bank disk" + kind.extension + "_", 0), 0u) << made;
      const auto files = treeOf(made);
      EXPECT_EQ(files, treeOf(onlyFolder(outTree)));
      EXPECT_GT(files.size(), 6u);
    }
  }
}

TEST(CliArchive, ABankNamedInsideAnImageConvertsAndVerifiesAsItsUnpackedFile) {
  TempDir t;
  makeTree(t.file("tree"));
  const std::string inside = "Pianos/Caf\xE9 Set/S\xE9r 1.TTI";
  for (const Kind& kind : {kKinds[0], kKinds[2]}) {
    SCOPED_TRACE(kind.extension);
    const std::string image = t.file("disk" + kind.extension);
    run(kind.make, t.file("tree"), image);
    const std::string named = image + "//" + inside;
    const std::string outImage = t.file("a" + kind.extension), outFile = t.file("b" + kind.extension);
    fs::create_directories(outImage);
    fs::create_directories(outFile);

    for (const std::string mode : {"stereo", "sf2"}) {
      const CommandResult a = runCommand({VANTREL_CLI, "convert", "-q", "-m", mode, "--out", outImage, named});
      ASSERT_EQ(a.exitCode, 0) << a.err;
      const CommandResult b =
          runCommand({VANTREL_CLI, "convert", "-q", "-m", mode, "--out", outFile, t.file("tree/" + inside)});
      ASSERT_EQ(b.exitCode, 0) << b.err;
    }
    EXPECT_EQ(treeOf(outImage), treeOf(outFile));
    const CommandResult info = runCommand({VANTREL_CLI, "info", "--json", named});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    auto fromImage = nlohmann::json::parse(info.out);
    auto fromFile = nlohmann::json::parse(runCommand({VANTREL_CLI, "info", "--json", t.file("tree/" + inside)}).out);
    EXPECT_EQ(fromImage["file"], latin1AsUtf8(named));
    fromImage.erase("file");
    fromFile.erase("file");
    EXPECT_EQ(fromImage, fromFile);

    // verify: a bank named inside the image, and the whole image, whose
    // banks are matched by their folders inside it.
    const std::string out = t.file("run" + kind.extension);
    fs::create_directories(out);
    ASSERT_EQ(runCommand({VANTREL_CLI, "folder", "-q", "-m", "mono", "--manifest", "--out", out, image}).exitCode, 0);
    CommandResult v = runCommand({VANTREL_CLI, "verify", out, image});
    EXPECT_EQ(v.exitCode, 0) << v.err;
    EXPECT_EQ(runCommand({VANTREL_CLI, "verify", out, named}).exitCode, 0);
    EXPECT_EQ(runCommand({VANTREL_CLI, "verify", out, image + "//NOTHERE.TTI"}).exitCode, 1);
    // A sample changed since: found by the comparison with the bank.
    const std::string wav = out + "/disk" + kind.extension + "_WAV_M/Pianos/Caf\xE9 Set/WAV_MONO_S\xE9r 1.TTI";
    ASSERT_TRUE(fs::is_directory(wav)) << wav;
    const std::string sample = fs::directory_iterator(wav)->path().string();
    std::vector<std::uint8_t> changed = readFileBytes(sample);
    changed.back() ^= 1;
    writeBytes(sample, changed);
    v = runCommand({VANTREL_CLI, "verify", out, image});
    EXPECT_EQ(v.exitCode, 1);
    EXPECT_NE(v.err.find(sample), std::string::npos) << v.err;
  }
}

TEST(CliArchive, ADamagedEntryIsNamedAndPassedOverUnderKeepGoing) {
  struct Damage {
    std::string name;
    std::string extension;
    std::string make;
    std::string damaged;  // the bank named in the error
    std::string reason;   // part of the error's text
  };
  // A zip entry whose stored bytes changed (its checksum no longer
  // matches), and a tar.gz cut short inside 400 kB of noise after its
  // first bank (the banks behind the cut are not even listed).
  const std::vector<Damage> cases = {
      {"zip", ".zip", "cd \"$1\" && zip -q -0 -r \"$2\" .", "Drums/KIT 2.TTI", "CRC"},
      {"tar.gz", ".tar.gz", "tar -C \"$1\" -czf \"$2\" TOP.TTI Drums", "", "runcated"},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir t;
    makeTree(t.file("tree"));
    writeBytes(t.file("tree/Drums/NOISE.BIN"), noisePcm(200000, 3, 1.0));
    const std::string image = t.file("disk" + c.extension);
    run(c.make, t.file("tree"), image);
    std::vector<std::uint8_t> bytes = readFileBytes(image);
    if (!c.damaged.empty()) {
      // The entry's bytes follow its name in its local header.
      const std::string name = "./" + c.damaged;
      auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
      if (at == bytes.end()) at = std::search(bytes.begin(), bytes.end(), name.begin() + 2, name.end());
      ASSERT_NE(at, bytes.end());
      at[name.size() + 600] ^= 0x5A;
    } else {
      bytes.resize(bytes.size() - 100000);
    }
    writeBytes(image, bytes);
    fs::create_directories(t.file("out"));
    const CommandResult r = runCommand({VANTREL_CLI, "folder", "-k", "--out", t.file("out"), image});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    const std::string named = c.damaged.empty() ? image + ":" : image + "//" + c.damaged + ":";
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    // The bank before the damage is converted.
    EXPECT_TRUE(fs::exists(t.file("out/disk" + c.extension + "_WAV_M/WAV_MONO_TOP.TTI"))) << r.err;
    if (!c.damaged.empty()) {
      EXPECT_TRUE(fs::exists(t.file("out/disk.zip_WAV_M/Drums/WAV_MONO_KIT 1.Tti"))) << r.err;
      EXPECT_NE(r.err.find("failed: " + image + "//" + c.damaged), std::string::npos) << r.err;
    }
  }
}

TEST(CliArchive, ALargeImageIsConvertedInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  // Minutes of sanitized reading that prove nothing the normal build does not.
  GTEST_SKIP() << "a 2 GiB image is read in the normal build only";
#endif
  TempDir t;
  // 2 GiB of padding (a sparse file, read back as zeros by xorriso) and a
  // bank of 96 MiB: neither may be held in memory.
  const std::string tree = t.file("tree");
  writeLongBank(tree + "/Big/LONG.TTI", 48u << 20, 7);
  writeBank(tree + "/SMALL.TTI", randomArchiveBank(5));
  ASSERT_EQ(shell("truncate -s 2G " + quoted(tree + "/PADDING.BIN")).exitCode, 0);
  const std::string image = t.file("large.iso");
  run("xorriso -as mkisofs -quiet -R -J -o \"$2\" \"$1\"", tree, image);
  ASSERT_GT(fs::file_size(image), 2ull << 30);
  fs::remove(tree + "/PADDING.BIN");

  fs::create_directories(t.file("out"));
  const CommandResult r = runCommand({VANTREL_CLI, "folder", "-q", "--out", t.file("out"), image});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_LT(r.peakRssKiB, 64 * 1024) << "peak resident set of the folder run";
  std::cout << "peak resident set of a folder run over a " << (fs::file_size(image) >> 20)
            << " MiB image: " << r.peakRssKiB / 1024 << " MiB\n";
  const std::string wav = t.file("out/large.iso_WAV_M/Big/WAV_MONO_LONG.TTI/LONG.WAV");
  ASSERT_TRUE(fs::exists(wav));
  EXPECT_GT(fs::file_size(wav), 96ull << 20);
  fs::create_directories(t.file("ref"));
  ASSERT_EQ(runCommand({VANTREL_CLI, "convert", "-q", "--out", t.file("ref"), tree + "/Big/LONG.TTI"}).exitCode, 0);
  EXPECT_EQ(readFileBytes(wav), readFileBytes(t.file("ref/WAV_MONO_LONG.TTI/LONG.WAV")));
}

TEST(ArchiveBanks, ALargeBankIsReadWhereItLiesWhenStoredAsItIs) {
  TempDir t;
  // Larger than the banks read into memory.
  const std::string tree = t.file("tree");
  writeLongBank(tree + "/Big/LONG.TTI", 5u << 20, 11);
  const std::vector<std::uint8_t> bytes = readFileBytes(tree + "/Big/LONG.TTI");
  ASSERT_GT(bytes.size(), kInMemoryLimit);

  struct Case {
    std::string extension;
    std::string make;  // TREE, IMAGE: the shell's $1, $2
    bool inPlace;      // the entry's bytes lie in the file as they are
    bool apart;        // a bank is read apart without unpacking the entries before it
  };
  const std::vector<Case> cases = {
      {".iso", "xorriso -as mkisofs -quiet -R -J -o \"$2\" \"$1\"", true, true},
      {".tar", "tar -C \"$1\" -cf \"$2\" .", true, true},
      {".zip", "cd \"$1\" && zip -q0r \"$2\" .", true, true},
      {".tar.gz", "tar -C \"$1\" -czf \"$2\" .", false, false},
      {".7z", "cd \"$1\" && 7z a -bd \"$2\" . >/dev/null", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    const std::string image = t.file("disk" + c.extension);
    run(c.make, tree, image);
    const std::unique_ptr<ByteSource> source = archiveBankAt({image, "Big/LONG.TTI"}).open();
    ASSERT_EQ(source->size(), bytes.size());
    std::vector<std::uint8_t> got(bytes.size());
    source->read(got.data(), got.size());
    EXPECT_TRUE(got == bytes);
    // The bytes stay where they were read from: the image, or a
    // temporary file of the bank alone.
    source->rewind();
    const PcmArea area = source->takePcm(0);
    struct stat held {}, file {};
    ASSERT_EQ(::fstat(area.file.descriptor(), &held), 0);
    ASSERT_EQ(::stat(image.c_str(), &file), 0);
    EXPECT_EQ(held.st_ino == file.st_ino && held.st_dev == file.st_dev, c.inPlace);
    // The catalogue's bank, opened apart from its reader, gives the same bytes.
    const std::vector<BankRef> listed = ArchiveCatalogue(image).banksBelow(image + "//");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].size(), bytes.size());
    EXPECT_EQ(listed[0].opensApart(), c.apart);
    const std::unique_ptr<ByteSource> apart = listed[0].openApart();
    std::vector<std::uint8_t> again(bytes.size());
    apart->read(again.data(), again.size());
    EXPECT_TRUE(again == bytes);
  }
}

namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The offset of the ISO 9660 directory record named `name` (its primary
// volume name, as "A.TTI;1" or "PIANOS") in the directory whose extent
// starts at block `lba`, `size` bytes long; 0 when there is none.
std::size_t isoRecord(const std::vector<std::uint8_t>& b, std::uint32_t lba, std::uint32_t size,
                      const std::string& name) {
  for (std::size_t at = std::size_t{lba} * 2048; at < std::size_t{lba} * 2048 + size;) {
    if (b[at] == 0) {
      at = (at / 2048 + 1) * 2048;
      continue;
    }
    if (std::string(b.begin() + static_cast<long>(at) + 33, b.begin() + static_cast<long>(at) + 33 + b[at + 32]) == name)
      return at;
    at += b[at];
  }
  return 0;
}

// Points a directory record at `size` bytes from block `lba`, in both byte
// orders.
void pointRecord(std::vector<std::uint8_t>& b, std::size_t record, std::uint32_t lba, std::uint32_t size) {
  for (int k = 0; k < 4; ++k) {
    b[record + 2 + k] = static_cast<std::uint8_t>(lba >> 8 * k);
    b[record + 9 - k] = static_cast<std::uint8_t>(lba >> 8 * k);
    b[record + 10 + k] = static_cast<std::uint8_t>(size >> 8 * k);
    b[record + 17 - k] = static_cast<std::uint8_t>(size >> 8 * k);
  }
}

}  // namespace

TEST(CliArchive, AnImageWhoseDirectoryLeadsBackIntoItselfIsReportedDamagedInBoundedMemory) {
  TempDir t;
  const std::string tree = t.file("tree");
  fs::create_directories(tree + "/Pianos");
  writeBank(tree + "/TOP.TTI", randomArchiveBank(1));
  writeBank(tree + "/Pianos/A.TTI", randomArchiveBank(2));
  const std::string made = t.file("made.iso");
  run("xorriso -as mkisofs -quiet -R -o \"$2\" \"$1\"", tree, made);
  const std::vector<std::uint8_t> image = readFileBytes(made);
  // The root's record in the primary volume descriptor, the folder's in the root.
  const std::uint32_t rootLba = le32(image, 16 * 2048 + 156 + 2), rootSize = le32(image, 16 * 2048 + 156 + 10);
  const std::size_t pianos = isoRecord(image, rootLba, rootSize, "PIANOS");
  ASSERT_NE(pianos, 0u);
  const std::size_t bank = isoRecord(image, le32(image, pianos + 2), le32(image, pianos + 10), "A.TTI;1");
  ASSERT_NE(bank, 0u);

  struct Case {
    std::string name;
    std::size_t record;
    std::uint32_t lba, size;
    std::string reason;  // part of the damage's text
  };
  // libarchive gives the entries of the first again and again; the second
  // it refuses itself.
  const std::vector<Case> cases = {
      {"bank at block 0 with the image's size", bank, 0, static_cast<std::uint32_t>(image.size()), "repeat"},
      {"folder at its parent", pianos, rootLba, rootSize, "loop"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes = image;
    pointRecord(bytes, c.record, c.lba, c.size);
    const std::string iso = t.file("looping.iso");
    writeBytes(iso, bytes);
    const std::string out = t.file("out " + c.name);
    fs::create_directories(out);
    for (const CommandResult& r : {runCommand({VANTREL_CLI, "folder", "-q", "--out", out, iso}),
                                   runCommand({VANTREL_CLI, "scan", iso})}) {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_NE((r.out + r.err).find(iso + ": Damaged image or archive"), std::string::npos) << r.out << r.err;
      EXPECT_NE((r.out + r.err).find(c.reason), std::string::npos) << r.out << r.err;
#if !defined(__SANITIZE_ADDRESS__)
      EXPECT_LT(r.peakRssKiB, 64 * 1024);
#endif
    }
  }
}

TEST(CliArchive, EveryEntryAnImageRunPassesOverIsNamedAndLinksToBanksAreFollowed) {
  TempDir t;
  const std::string tree = t.file("tree");
  fs::create_directories(tree + "/Sub");
  writeBank(tree + "/B.TTI", randomArchiveBank(3));
  writeBank(tree + "/UP.TTI", randomArchiveBank(4));
  writeBank(tree + "/ABS.TTI", randomArchiveBank(5));
  ASSERT_EQ(shell("cd " + quoted(tree) +
                  " && ln -s B.TTI L.TTI && ln -s ../L.TTI Sub/L2.TTI && ln B.TTI H.TTI && ln -s /etc/passwd OUT.TTI"
                  " && ln -s ../x/NONE.TTI DANGLE.TTI && ln -s Sub DIR.TTI")
                .exitCode,
            0);
  // bsdtar keeps "../" and a leading "/" with -P.
  const std::string tar = t.file("hostile.tar");
  ASSERT_EQ(shell("bsdtar -cPf " + quoted(tar) + " -s ',^UP,../UP,' -s ',^ABS,/ABS,' -C " + quoted(tree) +
                  " B.TTI L.TTI Sub H.TTI OUT.TTI DANGLE.TTI DIR.TTI UP.TTI ABS.TTI")
                .exitCode,
            0);
  const std::string unpacked = t.file("unpacked");
  fs::create_directories(unpacked);
  shell("bsdtar -xf " + quoted(tar) + " -C " + quoted(unpacked));
  fs::remove(unpacked + "/OUT.TTI");  // on the host, outside the image

  fs::create_directories(t.file("a"));
  fs::create_directories(t.file("b"));
  const CommandResult r = runCommand({VANTREL_CLI, "folder", "-k", "--out", t.file("a"), tar});
  ASSERT_EQ(runCommand({VANTREL_CLI, "drive", "-q", "--out", t.file("b"), unpacked}).exitCode, 0);
  // The banks bsdtar unpacks, with the links it makes, are converted.
  const auto files = treeOf(onlyFolder(t.file("a")));
  EXPECT_EQ(files, treeOf(onlyFolder(t.file("b"))));
  EXPECT_EQ(files.count("WAV_MONO_L.TTI/"), 1u);
  EXPECT_EQ(r.exitCode, 1);
  const std::vector<std::pair<std::string, std::string>> named = {
      {"../UP.TTI", "path leaves the image: not used"},
      {"OUT.TTI", "not used (a link to /etc/passwd, outside the image)"},
      {"DANGLE.TTI", "not used (a link to ../x/NONE.TTI, outside the image)"},
      {"DIR.TTI", "not used (a link to the folder Sub)"},
      {"L.TTI", "is a link inside the image: followed to " + tar + "//B.TTI"},
      {"Sub/L2.TTI", "is a link inside the image: followed to " + tar + "//B.TTI"},
  };
  for (const auto& [entry, text] : named) {
    const std::string line = tar + "//" + entry + ": " + text + "\n";
    EXPECT_NE(r.err.find(line), std::string::npos) << line << r.err;
  }
  EXPECT_NE(r.err.find("5 banks converted, 0 failed, 4 entries of the image not used"), std::string::npos) << r.err;
  const CommandResult json = runCommand({VANTREL_CLI, "folder", "--progress=json", "--out", t.file("a"), tar});
  EXPECT_EQ(json.exitCode, 1);
  const std::size_t at = json.err.rfind("\"event\":\"done\"");
  ASSERT_NE(at, std::string::npos) << json.err;
  const std::size_t from = json.err.rfind('\n', at) + 1;
  const std::string done = json.err.substr(from, json.err.find('\n', at) - from);
  EXPECT_EQ(nlohmann::json::parse(done)["notUsed"], 4) << done;
}

TEST(ArchiveBanks, ACompressedBankIsCheckedBeforeItIsWrittenOut) {
  TempDir t;
  // Larger than the banks read into memory: 12 MiB of zeros, no bank
  // (its directory size is 0), and a bank of 5 Mi frames of noise.
  const std::string tree = t.file("tree");
  fs::create_directories(tree);
  writeBytes(tree + "/ZERO.TTI", std::vector<std::uint8_t>(12u << 20, 0));
  writeLongBank(tree + "/LONG.TTI", 5u << 20, 13);
  const std::vector<std::uint8_t> bank = readFileBytes(tree + "/LONG.TTI");
  struct Case {
    std::string extension, make, inside;
    std::uint64_t spillLimit;
    int code;  // 0: read whole
  };
  const std::vector<Case> cases = {
      {".zip", "cd \"$1\" && zip -q \"$2\" ZERO.TTI", "ZERO.TTI", 0, kInvalidBank},
      {".tar.gz", "tar -C \"$1\" -czf \"$2\" ZERO.TTI", "ZERO.TTI", 0, kInvalidBank},
      {".tar.gz", "tar -C \"$1\" -czf \"$2\" LONG.TTI", "LONG.TTI", 0, kDiskFull},
      {".tar.gz", "tar -C \"$1\" -czf \"$2\" LONG.TTI", "LONG.TTI", 1u << 20, kDiskFull},
      {".tar.gz", "tar -C \"$1\" -czf \"$2\" LONG.TTI", "LONG.TTI", kDefaultSpillLimit, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.make + " " + std::to_string(c.spillLimit));
    const std::string image = t.file("disk" + c.extension);
    fs::remove(image);
    run(c.make, tree, image);
    setSpillLimit(c.spillLimit);
    try {
      const std::unique_ptr<ByteSource> source = archiveBankAt({image, c.inside}).open();
      EXPECT_EQ(c.code, 0);
      std::vector<std::uint8_t> got(source->size());
      source->read(got.data(), got.size());
      EXPECT_TRUE(got == bank);
    } catch (const RunError& e) {
      EXPECT_EQ(e.code(), c.code) << e.what();
      const char* tmp = std::getenv("TMPDIR");
      EXPECT_EQ(e.path(), c.code != kDiskFull ? image + "//" + c.inside : tmp && *tmp ? tmp : "/tmp") << e.what();
    }
    setSpillLimit(kDefaultSpillLimit);
  }
}
