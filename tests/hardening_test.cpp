// SPDX-License-Identifier: MIT
// Conversions under hostile conditions: a full file system, banks that
// change between selection and conversion, hostile sample names, and
// extreme banks. Whatever happens, nothing is written outside the output
// folder, no sample overwrites another and no partial file is left.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>
#include <set>

#include "jobs/bank_conversion.h"
#include "jobs/folder_jobs.h"
#include "output_check.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "verify/listeners.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

// Every file below `root`, relative to it.
std::set<std::string> filesUnder(const fs::path& root) {
  std::set<std::string> out;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (!e.is_directory()) out.insert(fs::relative(e.path(), root).string());
  return out;
}

bool hasPartFile(const fs::path& root) {
  for (const auto& f : filesUnder(root))
    if (fs::path(f).filename().string().rfind(".vantrel-", 0) == 0) return true;
  return false;
}

// A small tmpfs mounted on a folder for the life of the object.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& at, const std::string& size) : at_(at) {
    fs::create_directories(at);
    mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string at_;
  bool mounted_ = false;
};

int convertAndCatch(JobContext& ctx, const std::string& bank, const std::string& out) {
  try {
    fselect(ctx, bank);
    extractClick(ctx, out);
  } catch (const RunError& e) {
    return e.code();
  }
  return 0;
}

BankDesc bankOf(const std::vector<std::string>& names, std::size_t frames) {
  BankDesc d;
  std::uint8_t seed = 1;
  for (const auto& n : names) d.samples.push_back(pcmSample(n, rampPcm(2 * frames, seed++)));
  return d;
}

}  // namespace

TEST(HardeningDiskFull, AFullFileSystemEndsTheJobAndKeepsWhatWasComplete) {
  TempDir dir;
  SmallFileSystem small(dir.file("small"), "4m");
  if (!small.mounted()) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
  // 1, 1, 1.5 and 1.5 MB: three fit, the fourth fills the disk. The bank is
  // large enough for its files to be written several at a time, so the
  // third and fourth may be written side by side and the fourth may take
  // the room the third needs; the job must still end where writing them in
  // order would.
  BankDesc d;
  const std::pair<const char*, std::size_t> samples[] = {
      {"A.WAV", 1000000}, {"B.WAV", 1000000}, {"C.WAV", 1500000}, {"D.WAV", 1500000}};
  std::uint8_t seed = 1;
  for (const auto& [name, bytes] : samples) d.samples.push_back(pcmSample(name, rampPcm(bytes, seed++)));
  writeBank(dir.file("BANK.TTI"), d);
  for (FormatId mode : {FormatId::Mono, FormatId::Stereo, FormatId::Sf2}) {
    RecordingListener ui;
    JobContext ctx(ui);
    ctx.options.format = &outputFormat(mode);
    EXPECT_EQ(convertAndCatch(ctx, dir.file("BANK.TTI"), dir.file("small")), kDiskFull) << mode;
    EXPECT_FALSE(hasPartFile(dir.file("small")));
    if (mode == FormatId::Sf2) {
      EXPECT_FALSE(fs::exists(dir.file("small/BANK.sf2")));
    } else {
      const std::string folder = dir.file(mode == FormatId::Mono ? "small/WAV_MONO_BANK.TTI/" : "small/WAV_STEREO_BANK.TTI/");
      for (int i = 0; i < 3; ++i) {
        const auto file = readFileBytes(folder + d.samples[static_cast<std::size_t>(i)].name);
        EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 112, file.end()), d.samples[static_cast<std::size_t>(i)].pcm);
      }
      EXPECT_FALSE(fs::exists(folder + "D.WAV"));
      EXPECT_EQ(ui.allLog, (std::vector<std::string>{"processing BANK.TTI", "A.WAV extracted", "B.WAV extracted",
                                                     "C.WAV extracted"}));
    }
    fs::remove_all(dir.file("small/WAV_MONO_BANK.TTI"));
    fs::remove_all(dir.file("small/WAV_STEREO_BANK.TTI"));
  }
}

// When the files a job writes side by side fill the disk, the job writes
// them again in order; the manifest must list each file's digest as the
// file is, not one of a failed attempt's bytes. Whether the threads race
// into that case varies from run to run: twenty tries per mode.
TEST(HardeningDiskFull, TheManifestListsTheFilesAsTheyAreAfterAFullDisk) {
  TempDir dir;
  SmallFileSystem small(dir.file("small"), "4m");
  if (!small.mounted()) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
  BankDesc d;
  const std::pair<const char*, std::size_t> samples[] = {
      {"A L.WAV", 700000}, {"A R.WAV", 700000}, {"C.WAV", 1500000}, {"D.WAV", 1500000}};
  std::uint8_t seed = 1;
  for (const auto& [name, bytes] : samples) d.samples.push_back(pcmSample(name, rampPcm(bytes, seed++)));
  writeBank(dir.file("BANK.TTI"), d);
  for (FormatId mode : {FormatId::Mono, FormatId::Stereo}) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      SCOPED_TRACE(std::string(outputFormat(mode).word) + " try " + std::to_string(attempt));
      for (const auto& e : fs::directory_iterator(dir.file("small"))) fs::remove_all(e.path());
      RecordingListener ui;
      verify::ManifestListener manifest(ui, dir.file("small"));
      JobContext ctx(manifest);
      ctx.options.format = &outputFormat(mode);
      EXPECT_EQ(convertAndCatch(ctx, dir.file("BANK.TTI"), dir.file("small")), kDiskFull);
      // The manifest needs room of its own.
      fs::remove_all(dir.file("small/WAV_MONO_BANK.TTI/C.WAV"));
      fs::remove_all(dir.file("small/WAV_STEREO_BANK.TTI/C.WAV"));
      manifest.write();
      const CommandResult check = runCommand({"/usr/bin/sha256sum", "--quiet", "-c", "SHA256SUMS"}, dir.file("small"));
      ASSERT_EQ(check.exitCode, 0) << check.out << check.err;
    }
  }
}

TEST(HardeningChangedBanks, ABankRemovedAfterSelectionIsFileNotFound) {
  TempDir dir;
  writeBank(dir.file("BANK.TTI"), bankOf({"A.WAV"}, 8));
  RecordingListener ui;
  JobContext ctx(ui);
  fselect(ctx, dir.file("BANK.TTI"));
  fs::remove(dir.file("BANK.TTI"));
  fs::create_directory(dir.file("out"));
  try {
    extractClick(ctx, dir.file("out"));
    FAIL() << "no error";
  } catch (const RunError& e) {
    EXPECT_EQ(e.message(), "File not found");
    EXPECT_EQ(e.path(), dir.file("BANK.TTI"));
  }
  EXPECT_TRUE(filesUnder(dir.file("out")).empty());
  EXPECT_FALSE(ctx.bank.pcm.held());
}

TEST(HardeningChangedBanks, ABankTruncatedAfterSelection) {
  TempDir dir;
  const BankDesc d = bankOf({"A.WAV", "B.WAV"}, 100);
  const auto full = buildBank(d);
  fs::create_directory(dir.file("out"));
  // Cut inside the directory: the conversion fails and writes nothing.
  writeBytes(dir.file("BANK.TTI"), full);
  RecordingListener ui;
  JobContext ctx(ui);
  ctx.options.format = &outputFormat(FormatId::Mono);
  fselect(ctx, dir.file("BANK.TTI"));
  writeBytes(dir.file("BANK.TTI"), std::vector<std::uint8_t>(full.begin(), full.begin() + 700));
  EXPECT_THROW(extractClick(ctx, dir.file("out")), RunError);
  EXPECT_TRUE(filesUnder(dir.file("out")).empty());
  // Cut inside the sample data: what is held is written, the rest is silence.
  writeBytes(dir.file("BANK.TTI"), full);
  fselect(ctx, dir.file("BANK.TTI"));
  writeBytes(dir.file("BANK.TTI"), std::vector<std::uint8_t>(full.begin(), full.end() - 50));
  extractClick(ctx, dir.file("out"));
  const auto b = readFileBytes(dir.file("out/WAV_MONO_BANK.TTI/B.WAV"));
  ASSERT_EQ(b.size(), 112u + 200u);
  std::vector<std::uint8_t> expected(d.samples[1].pcm.begin(), d.samples[1].pcm.end() - 50);
  expected.resize(200, 0);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 112, b.end()), expected);
}

TEST(HardeningHostileNames, NothingLeavesTheOutputFolderAndNoSampleOverwritesAnother) {
  TempDir dir;
  std::vector<std::string> names = {
      "../../escape L.WAV", "../../escape R.WAV", "/etc/passwd", "..", ".", "", "",
      std::string("bell\x07 and\x1f tab\t.WAV"), "x/../../y.WAV", "A.WAV", "A.WAV", "A_1.WAV",
      "A.WAV", "C:\\..\\..\\win.WAV", "\xE9\xE8\xFF.WAV", "A_2.WAV"};
  BankDesc d = bankOf(names, 4);
  // A name field of 256 bytes without a zero byte, most of them above 0x7F.
  SampleDesc full = pcmSample("", rampPcm(8, 99));
  full.nameField = std::vector<std::uint8_t>(256, 0xE9);
  (*full.nameField)[250] = '.';
  d.samples.push_back(full);
  d.samples.push_back(full);
  // A pair whose stereo name is hostile as well.
  d.samples.push_back(pcmSample("..", rampPcm(8, 1)));
  d.samples.push_back(pcmSample("/../../../tmp/x", rampPcm(8, 1)));
  const fs::path root = dir.path() / "root";
  fs::create_directories(root / "src");
  fs::create_directories(root / "out");
  writeBank((root / "src" / "BANK.TTI").string(), d);
  for (FormatId mode : {FormatId::Mono, FormatId::Stereo, FormatId::Sf2}) {
    RecordingListener ui;
    JobContext ctx(ui);
    ctx.options.format = &outputFormat(mode);
    ASSERT_EQ(convertAndCatch(ctx, (root / "src" / "BANK.TTI").string(), (root / "out").string()), 0);
    // Only the bank below src/, only output below out/.
    EXPECT_EQ(filesUnder(root / "src"), std::set<std::string>{"BANK.TTI"});
    std::set<std::string> top;
    for (auto& e : fs::directory_iterator(root)) top.insert(e.path().filename().string());
    EXPECT_EQ(top, (std::set<std::string>{"out", "src"}));
    EXPECT_FALSE(hasPartFile(root / "out"));
    if (mode == FormatId::Mono) {
      // One file per sample: the names are distinct, nothing was lost.
      const auto files = filesUnder(root / "out" / "WAV_MONO_BANK.TTI");
      EXPECT_EQ(files.size(), d.samples.size());
      std::set<std::string> expected;
      for (std::uint32_t i = 0; i < ctx.bank.sampleCount; ++i) {
        expected.insert(latin1ToUtf8(ctx.bank.outputName[i]));
        EXPECT_LE(latin1ToUtf8(ctx.bank.outputName[i]).size(), 255u);
      }
      EXPECT_EQ(files, expected);
    }
  }
}

TEST(HardeningExtremeBanks, FourThousandNinetySixSamplesConvertInEveryMode) {
  TempDir dir;
  BankDesc d;
  for (int i = 0; i < 4096; ++i) {
    const std::string stem = "S" + std::to_string(i / 2);
    d.samples.push_back(pcmSample(stem + (i % 2 ? " R.WAV" : " L.WAV"), rampPcm(4, static_cast<std::uint8_t>(i))));
    d.samples.back().zones = {static_cast<std::uint8_t>(i % 256)};
  }
  d.zones.resize(256);
  writeBank(dir.file("BIG.TTI"), d);
  fs::create_directory(dir.file("out"));
  for (FormatId mode : {FormatId::Mono, FormatId::Stereo, FormatId::Sf2}) {
    RecordingListener ui;
    JobContext ctx(ui);
    ctx.options.format = &outputFormat(mode);
    ASSERT_EQ(convertAndCatch(ctx, dir.file("BIG.TTI"), dir.file("out")), 0);
  }
  EXPECT_EQ(filesUnder(dir.file("out/WAV_MONO_BIG.TTI")).size(), 4096u);
  EXPECT_EQ(filesUnder(dir.file("out/WAV_STEREO_BIG.TTI")).size(), 2048u);
  FluidCheck fluid;
  EXPECT_NE(fluid.load(dir.file("out/BIG.sf2")), FLUID_FAILED);
  EXPECT_TRUE(fluid.messages().empty()) << fluid.messages().front();
  EXPECT_GT(fluid.peak(60, 100), 0.0f);
}

TEST(HardeningExtremeBanks, EmptyBanksAndEmptySamples) {
  TempDir dir;
  fs::create_directory(dir.file("out"));
  writeBank(dir.file("NONE.TTI"), BankDesc{});
  BankDesc zero = bankOf({"Z1.WAV", "Z2.WAV"}, 0);
  writeBank(dir.file("ZERO.TTI"), zero);
  for (FormatId mode : {FormatId::Mono, FormatId::Stereo, FormatId::Sf2}) {
    RecordingListener ui;
    JobContext ctx(ui);
    ctx.options.format = &outputFormat(mode);
    ASSERT_EQ(convertAndCatch(ctx, dir.file("NONE.TTI"), dir.file("out")), 0);
    ASSERT_EQ(convertAndCatch(ctx, dir.file("ZERO.TTI"), dir.file("out")), 0);
  }
  EXPECT_TRUE(fs::is_directory(dir.file("out/WAV_MONO_NONE.TTI")));
  EXPECT_TRUE(filesUnder(dir.file("out/WAV_MONO_NONE.TTI")).empty());
  EXPECT_EQ(fs::file_size(dir.file("out/WAV_MONO_ZERO.TTI/Z1.WAV")), 112u);
  EXPECT_EQ(fs::file_size(dir.file("out/WAV_STEREO_ZERO.TTI/Z1__Z2.WAV")), 112u);
  FluidCheck fluid;
  EXPECT_NE(fluid.load(dir.file("out/ZERO.sf2")), FLUID_FAILED);
  EXPECT_TRUE(fs::exists(dir.file("out/NONE.sf2")));
}

TEST(HardeningExtremeBanks, HugeDataSizeFieldOnASmallFileLoadsWhatIsThere) {
  TempDir dir;
  BankDesc d = bankOf({"A.WAV"}, 50);
  d.dataSize = 0x80000000u;
  writeBank(dir.file("BANK.TTI"), d);
  fs::create_directory(dir.file("out"));
  for (FormatId mode : {FormatId::Mono, FormatId::Sf2}) {
    RecordingListener ui;
    JobContext ctx(ui);
    ctx.options.format = &outputFormat(mode);
    ASSERT_EQ(convertAndCatch(ctx, dir.file("BANK.TTI"), dir.file("out")), 0);
  }
  const auto a = readFileBytes(dir.file("out/WAV_MONO_BANK.TTI/A.WAV"));
  EXPECT_EQ(std::vector<std::uint8_t>(a.begin() + 112, a.end()), d.samples[0].pcm);
}

TEST(HardeningExtremeBanks, ZoneDirectoryWithoutEndIsRefusedForSoundFontsOnly) {
  TempDir dir;
  BankDesc d = bankOf({"A.WAV"}, 8);
  d.zones.resize(3);
  d.endBit = false;
  writeBank(dir.file("BANK.TTI"), d);
  fs::create_directory(dir.file("out"));
  RecordingListener ui;
  JobContext ctx(ui);
  ctx.options.format = &outputFormat(FormatId::Sf2);
  EXPECT_EQ(convertAndCatch(ctx, dir.file("BANK.TTI"), dir.file("out")), kInvalidBank);
  EXPECT_TRUE(filesUnder(dir.file("out")).empty());
  ctx.options.format = &outputFormat(FormatId::Mono);
  EXPECT_EQ(convertAndCatch(ctx, dir.file("BANK.TTI"), dir.file("out")), 0);
  EXPECT_TRUE(fs::exists(dir.file("out/WAV_MONO_BANK.TTI/A.WAV")));
}

// What a bank claims is bounded by what its file holds: a directory that
// claims gigabytes of a sparse file costs no memory, and a sample none of
// whose bytes lie in the file is warned of instead of written as silence.
TEST(HardeningBounds, ClaimsBeyondTheFileCostNeitherMemoryNorOutput) {
  TempDir dir;
  const std::string out = dir.file("out");
  fs::create_directories(out);
  // A directory claiming 3.75 GiB of a sparse file.
  BankDesc sparse = bankOf({"A.WAV"}, 8);
  sparse.directorySize = 0xF0000000u;
  writeBank(dir.file("SPARSE.TTI"), sparse);
  fs::resize_file(dir.file("SPARSE.TTI"), 0xF0001000u);
  // A 2 KB bank whose second sample claims 2 GiB past its data.
  BankDesc claims = bankOf({"REAL.WAV", "GHOST.WAV"}, 200);
  claims.samples[1].start = 0x7FFF0000u;
  claims.samples[1].end = 0xFFFF0000u;
  writeBank(dir.file("CLAIMS.TTI"), claims);
  // A 2 KB bank whose four samples start inside the file and claim almost
  // 4 GiB each: written with the bytes the file holds.
  BankDesc huge = bankOf({"H0.WAV", "H1.WAV", "H2.WAV", "H3.WAV"}, 200);
  for (std::uint32_t k = 0; k < 4; ++k) {
    huge.samples[k].start = 100 * k;
    huge.samples[k].end = huge.samples[k].loopEnd = 0xFFFFFF00u;
  }
  writeBank(dir.file("HUGE.TTI"), huge);
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"scan", dir.file("SPARSE.TTI")}, "SPARSE.TTI: Read beyond end of file"},
      {{"convert", "-o", out, dir.file("CLAIMS.TTI")}, "sample 1 \"GHOST.WAV\" has no data in the file"},
      {{"convert", "--verify", "-o", out, dir.file("HUGE.TTI")}, "sample 3 \"H3.WAV\" claims 4,294,966,"},
      {{"convert", "--verify", "--mode", "sf2", "-o", out, dir.file("HUGE.TTI")}, "the file holds"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    std::vector<std::string> argv = {VANTREL_CLI};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const CommandResult r = runCommand(argv);
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
#if !defined(__SANITIZE_ADDRESS__)
    // A sanitized build shadows every byte it maps: its figure says nothing.
    EXPECT_LT(r.peakRssKiB, 64 * 1024);
#endif
  }
  EXPECT_EQ(filesUnder(out).size(), 6u);  // REAL.WAV, H0 to H3 and HUGE.sf2
  for (const auto& e : fs::recursive_directory_iterator(out)) {
    if (e.is_regular_file()) {
      EXPECT_LT(e.file_size(), 8192u) << e.path();
    }
  }
}

// A name the target file system refuses (FAT: '?', '*', ':' ...) is tried
// once more with those characters made '_', and the run says so: the bank
// converts whole, by unnamed files or by part files.
TEST(HardeningRefusedNames, ANameTheFileSystemRefusesIsWrittenUnderASafeOne) {
  TempDir dir;
  const std::string bank = dir.file("Q?.TTI");
  writeBank(bank, bankOf({"WHAT?.WAV", "FINE.WAV"}, 8));
  struct Case {
    std::string mode;
    bool partFiles;
    std::set<std::string> files;  // below the output folder
  };
  const std::vector<Case> cases = {
      {"mono", false, {"WAV_MONO_Q_.TTI/WHAT_.WAV", "WAV_MONO_Q_.TTI/FINE.WAV"}},
      {"mono", true, {"WAV_MONO_Q_.TTI/WHAT_.WAV", "WAV_MONO_Q_.TTI/FINE.WAV"}},
      {"sfz", true, {"SFZ_Q_.TTI/Q_.sfz", "SFZ_Q_.TTI/samples/WHAT_.WAV", "SFZ_Q_.TTI/samples/FINE.WAV"}},
      {"sf2", false, {"Q_.sf2"}},
  };
  const char* asan = std::getenv("ASAN_OPTIONS");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode + (c.partFiles ? " by part files" : ""));
    const std::string out = dir.file("out-" + c.mode + (c.partFiles ? "-part" : ""));
    fs::create_directories(out);
    std::string preload = VANTREL_REFUSE_NAMES;
    if (c.partFiles) preload += std::string(":") + VANTREL_NO_TMPFILE;
    const CommandResult r = runCommand(
        {"/usr/bin/env", "LD_PRELOAD=" + preload,
         std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0", VANTREL_CLI,
         "convert", "--verify", "--mode", c.mode, "-o", out, bank});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(filesUnder(out), c.files);
    EXPECT_NE(r.err.find("Q?"), std::string::npos) << r.err;
    if (c.mode != "sf2") {
      EXPECT_NE(r.err.find("written as WHAT_."), std::string::npos) << r.err;
    }
  }
}

// SFZ and DecentSampler output has no sample file for a sample none of
// whose bytes the bank's file holds, as WAV output has none: it is warned
// of, its zones stay out of the instrument, and only --strict fails the bank.
TEST(HardeningBounds, InstrumentsLeaveOutSamplesWithNoDataInTheFile) {
  TempDir dir;
  BankDesc claims = bankOf({"REAL.WAV", "GHOST.WAV"}, 200);
  claims.samples[1].start = 0x7FFF0000u;
  claims.samples[1].end = 0xFFFF0000u;
  writeBank(dir.file("CLAIMS.TTI"), claims);
  for (const std::string mode : {"sfz", "dspreset"}) {
    for (const bool strict : {false, true}) {
      SCOPED_TRACE(mode + (strict ? " --strict" : ""));
      const std::string out = dir.file("out-" + mode + (strict ? "-strict" : ""));
      fs::create_directories(out);
      std::vector<std::string> argv = {VANTREL_CLI, "convert", "--verify", "--mode", mode, "-o", out,
                                       dir.file("CLAIMS.TTI")};
      if (strict) argv.insert(argv.begin() + 2, "--strict");
      const CommandResult r = runCommand(argv);
      const std::string says = strict ? "refused under --strict" : "sample 1 \"GHOST.WAV\" has no data in the file";
      EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
      EXPECT_EQ(r.exitCode, strict ? 1 : 0) << r.err;
      const fs::path samples = fs::path(out) / ((mode == "sfz" ? "SFZ_" : "DS_") + std::string("CLAIMS.TTI")) / "samples";
      EXPECT_EQ(strict ? std::set<std::string>{} : std::set<std::string>{"REAL.WAV"},
                fs::exists(samples) ? filesUnder(samples) : std::set<std::string>{});
    }
  }
}
