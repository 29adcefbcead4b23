// SPDX-License-Identifier: MIT
// Reading output back: the checks' own derivation against the writers' on
// random banks, damage done after writing named with its path, a writer
// fault caught by the verifying listener, and the manifest as sha256sum
// reads it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "bank_builder.h"
#include "jobs/bank_conversion.h"
#include "jobs/bank_reading.h"
#include "jobs/job_context.h"
#include "platform/errors.h"
#include "test_support.h"
#include "tti/tti_reader.h"
#include "verify/checks.h"
#include "verify/expected.h"
#include "verify/listeners.h"
#include "verify/manifest.h"
#include "writers/wav_writer.h"
#include "verify/tree_check.h"
#include "verify_banks.h"
#include "writers/sf2_writer.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const FormatId kModes[] = {FormatId::Mono, FormatId::Stereo, FormatId::Sf2, FormatId::Sfz};

// Converts the bank at `bankPath` into `out` in `mode`, with the job
// reporting to `ui`.
void convert(JobListener& ui, const std::string& bankPath, const std::string& out, FormatId mode) {
  JobContext ctx(ui);
  ctx.options.format = &outputFormat(mode);
  ctx.bank.ttiPath = bankPath;
  getttidata(ctx);
  ctx.destinationFolder = withSeparator(out);
  extracttti(ctx);
}

// Regular files below a folder, relative to it.
std::set<std::string> filesUnder(const std::string& root) {
  std::set<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) out.insert(fs::relative(e.path(), root).string());
  }
  return out;
}

std::set<std::string> failedPaths(const verify::TreeReport& r) { return r.failedFiles(); }

void patch(const std::string& path, std::uint64_t at, std::uint8_t xorWith) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekg(static_cast<std::streamoff>(at));
  char c = 0;
  f.read(&c, 1);
  c = static_cast<char>(c ^ xorWith);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(&c, 1);
}

SampleDesc pcmSampleOf(const std::string& name, std::vector<std::uint8_t> pcm, std::uint32_t loopStart,
                       std::uint8_t zone) {
  SampleDesc s;
  s.name = name;
  s.loopStartFrame = loopStart;
  s.loopEndFrame = static_cast<std::uint32_t>(pcm.size() / 2);
  s.pcm = std::move(pcm);
  s.zones = {zone};
  return s;
}

std::uint64_t findTag(const std::string& path, const std::string& tag) {
  const auto bytes = readFileBytes(path);
  auto at = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
  return static_cast<std::uint64_t>(at - bytes.begin());
}

}  // namespace

TEST(VerifyExpected, GeneratorsAgreeWithTheWritersOnRandomZones) {
  TempDir dir;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    BankDesc d = randomArchiveBank(seed, 10);
    std::mt19937 rng(seed);
    d.zones.clear();
    for (int z = 0; z < 40; ++z) d.zones.push_back(randomZone(rng));
    writeBank(dir.file("Z.TTI"), d);
    SampleBank bank;
    ZoneArticulation zones;
    loadBank(BankRef::file(dir.file("Z.TTI")), bank, {&zones, false});
    for (std::uint16_t z = 0; z < zones.zoneCount; ++z) {
      std::vector<verify::GeneratorValue> writer;
      for (const GenRecord& g : convertval(bank, zones, z)) writer.emplace_back(g.oper, g.amount);
      std::sort(writer.begin(), writer.end());
      const auto mine = verify::zoneGenerators(bank, zones, z);
      EXPECT_EQ(writer, std::vector<verify::GeneratorValue>(mine.begin(), mine.end())) << "seed " << seed << " zone " << z;
    }
  }
}

// Random banks in every mode pass the run's check, the tree check finds
// every file the run wrote, and sha256sum accepts the manifest.
TEST(VerifyOutputs, RandomBanksPassInEveryModeAndTheTreeCheckFindsEveryFile) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    TempDir dir;
    const std::string bank = dir.file("R" + std::to_string(seed) + ".TTI");
    writeBank(bank, randomArchiveBank(seed));
    const std::string out = dir.file("out");
    fs::create_directories(out);
    RecordingListener console;
    verify::ManifestListener manifest(console, out);
    verify::VerifyingListener verifier(manifest);
    for (FormatId mode : kModes) ASSERT_NO_THROW(convert(verifier, bank, out, mode)) << "seed " << seed;
    EXPECT_EQ(manifest.write(), verifier.verified());

    std::set<std::string> written = filesUnder(out);
    written.erase(verify::kManifestName);
    EXPECT_EQ(written.size(), verifier.verified());
    verify::TreeReport report;
    verify::checkManifestFiles(out, report);
    verify::checkBankOutputs(out, bank, report);
    EXPECT_TRUE(report.failures.empty()) << report.failures.front().path << ": " << report.failures.front().what;
    EXPECT_EQ(report.verifiedCount(), written.size());
    EXPECT_EQ(runCommand({"/usr/bin/sha256sum", "--quiet", "-c", verify::kManifestName}, out).exitCode, 0);
  }
}

// Damage done to a converted tree after the run: the tree check names
// exactly the damaged file, by its bytes, its manifest line or both.
TEST(VerifyFaults, DamageIsNamedWithItsPath) {
  struct Damage {
    const char* what;
    const char* file;  // relative to the output folder
    std::function<void(const std::string& path)> harm;
    const char* says;  // part of the finding
  };
  const Damage damages[] = {
      {"flipped PCM byte", "WAV_MONO_D.TTI/ONE.WAV", [](const std::string& p) { patch(p, 112 + 501, 0x10); },
       "frame 250 differs"},
      {"flipped right-channel byte", "WAV_STEREO_D.TTI/PADL__PADR.WAV",
       [](const std::string& p) { patch(p, 112 + 4 * 250 + 3, 0x10); }, "frame 250 differs"},
      {"truncated stereo file", "WAV_STEREO_D.TTI/PADL__PADR.WAV",
       [](const std::string& p) { fs::resize_file(p, fs::file_size(p) - 64); }, "frames, expected 500"},
      {"changed loop point", "WAV_MONO_D.TTI/PADL.WAV", [](const std::string& p) { patch(p, 88, 1); },
       "loop start"},
      {"changed SoundFont generator", "D.sf2",
       [](const std::string& p) { patch(p, findTag(p, "igen") + 8 + 4 * 5 + 2, 0x01); }, "zone 0: initialAttenuation"},
      {"flipped SoundFont sample byte", "D.sf2",
       [](const std::string& p) { patch(p, findTag(p, "smpl") + 8 + 1000 + 64 + 7, 0x80); },
       "sample 1: frame 3 differs"},
      {"missing file", "WAV_STEREO_D.TTI/ONE.WAV", [](const std::string& p) { fs::remove(p); }, "missing"},
  };
  for (const Damage& d : damages) {
    TempDir dir;
    BankDesc bank;
    bank.samples = {pcmSampleOf("PADL.WAV", noisePcm(500, 1), 100, 0),
                    pcmSampleOf("PADR.WAV", noisePcm(500, 2), 100, 2),
                    pcmSampleOf("ONE.WAV", noisePcm(700, 3), 7, 1)};
    std::mt19937 rng(5);
    bank.zones = {randomZone(rng), randomZone(rng), randomZone(rng)};
    const std::string bankPath = dir.file("D.TTI");
    writeBank(bankPath, bank);
    const std::string out = dir.file("out");
    fs::create_directories(out);
    RecordingListener console;
    verify::ManifestListener manifest(console, out);
    for (FormatId mode : kModes) convert(manifest, bankPath, out, mode);
    manifest.write();

    const std::string damaged = out + "/" + d.file;
    ASSERT_TRUE(fs::exists(damaged)) << d.what;
    d.harm(damaged);
    verify::TreeReport byManifest, byBank;
    verify::checkManifestFiles(out, byManifest);
    verify::checkBankOutputs(out, bankPath, byBank);
    EXPECT_EQ(failedPaths(byManifest), std::set<std::string>{damaged}) << d.what;
    ASSERT_EQ(failedPaths(byBank), std::set<std::string>{damaged}) << d.what;
    EXPECT_NE(byBank.failures[0].what.find(d.says), std::string::npos) << d.what << ": " << byBank.failures[0].what;
  }
}

TEST(VerifyFaults, AnEditedManifestLineIsNamed) {
  TempDir dir;
  const std::string bankPath = dir.file("E.TTI");
  writeBank(bankPath, randomArchiveBank(3));
  const std::string out = dir.file("out");
  fs::create_directories(out);
  RecordingListener console;
  verify::ManifestListener manifest(console, out);
  convert(manifest, bankPath, out, FormatId::Sf2);
  convert(manifest, bankPath, out, FormatId::Mono);
  manifest.write();
  verify::Manifest lines = verify::readManifest(out);
  const std::string edited = lines.rbegin()->first;
  lines.rbegin()->second[10] = lines.rbegin()->second[10] == '0' ? '1' : '0';
  verify::writeManifest(out, lines);

  verify::TreeReport report;
  verify::checkManifestFiles(out, report);
  EXPECT_EQ(failedPaths(report), std::set<std::string>{out + "/" + edited});
}

// A file checked before it is named is compared with the sample bytes as
// they were read for it, where they lie at the samples' places in the
// bank's area; the area is read again for bytes not kept.
TEST(VerifyWav, AFileIsComparedWithTheBytesReadForIt) {
  TempDir dir;
  BankDesc d;
  d.samples = {pcmSampleOf("L.WAV", noisePcm(60000, 1), 10, 0), pcmSampleOf("R.WAV", noisePcm(60000, 2), 10, 0)};
  const std::string bankPath = dir.file("P.TTI");
  writeBank(bankPath, d);
  SampleBank bank;
  ValuesToRead what;
  what.pcm = true;
  loadBank(BankRef::file(bankPath), bank, what);
  ASSERT_EQ(bank.pcm.bytes(), nullptr);  // the area stays in the bank file
  const std::string out = dir.file("LR.WAV");
  std::vector<std::uint8_t> buffer;
  writeWavFile(bank, WavSource{true, 0, 1, std::nullopt}, out, buffer, {});
  const File file(out, File::Mode::Read);

  const std::size_t n = 120000;  // bytes per channel
  std::vector<std::uint8_t> bytes(n);
  struct Case {
    const char* what;
    std::function<void(PcmReadCopy&)> keep;
    const char* says;  // empty: the file passes
  };
  const Case cases[] = {
      {"nothing kept", [](PcmReadCopy&) {}, ""},
      {"both samples as read",
       [&](PcmReadCopy& c) {
         for (int i : {0, 1}) bank.pcm.read(bank.pcmStart[i], bytes.data(), n, &c);
       },
       ""},
      {"other bytes where the left sample lies",
       [&](PcmReadCopy& c) {
         bank.pcm.read(bank.pcmStart[0], bytes.data(), n);
         bytes[2 * 300] ^= 1;
         c.add(bank.pcmStart[0], bytes.data(), n);
       },
       "frame 300 differs"},
      {"other bytes two bytes off the left sample's place",
       [&](PcmReadCopy& c) {
         std::fill(bytes.begin(), bytes.end(), 0x55);
         c.add(bank.pcmStart[0] + 2, bytes.data(), n - 2);
       },
       ""},
      {"more bytes than the copy keeps",
       [&](PcmReadCopy& c) {
         std::fill(bytes.begin(), bytes.end(), 0x55);
         c.add(bank.pcmStart[0], bytes.data(), n);
         c.clear();
         std::vector<std::uint8_t> many(300000, 0x55);
         c.add(bank.pcmStart[0], many.data(), many.size());
       },
       ""},
  };
  for (const Case& c : cases) {
    PcmReadCopy copy(256 << 10);
    c.keep(copy);
    const std::string found = verify::checkWav(file, bank, true, 0, 1, &copy);
    if (*c.says == '\0') EXPECT_EQ(found, "") << c.what;
    else EXPECT_NE(found.find(c.says), std::string::npos) << c.what << ": " << found;
  }
}

// The writer fault: a listener placed between the job and the check
// damages one file before the check reads it, as a writer that put a wrong
// byte would: through the open file before it is named, or when it is
// reported, for a file checked once named. The run ends with the error
// naming the file, the file is gone, and the manifest lists only the files
// reported before it.
TEST(VerifyListener, AWriterFaultEndsTheRunAndRemovesTheFile) {
  struct Corrupter : verify::ForwardingListener {
    using ForwardingListener::ForwardingListener;
    std::string victim;
    std::atomic<bool> harmed{false};
    void checkBeforeNaming(const OutputFileEvent& e, const File& file, const PcmReadCopy* read) override {
      if (e.path == victim && !harmed.exchange(true)) {
        std::uint8_t b = 0;
        const auto at = static_cast<off_t>(file.size() - 200);
        ASSERT_EQ(::pread(file.descriptor(), &b, 1, at), 1);
        b ^= 0x04;
        ASSERT_EQ(::pwrite(file.descriptor(), &b, 1, at), 1);
      }
      next_.checkBeforeNaming(e, file, read);
    }
    void outputFile(const OutputFileEvent& e) override {
      if (e.path == victim && !harmed.exchange(true)) patch(e.path, fs::file_size(e.path) - 200, 0x04);
      next_.outputFile(e);
    }
  };
  struct Written : JobListener {
    std::vector<std::string> paths;
    void outputFile(const OutputFileEvent& e) override { paths.push_back(e.path); }
  };
  // A large bank's files are written on several threads.
  for (const bool large : {false, true}) for (FormatId mode : kModes) {
    TempDir dir;
    const std::string bankPath = dir.file("W.TTI");
    BankDesc bank = randomArchiveBank(9, 20000);
    if (large) bank.samples.push_back(pcmSampleOf("LONG.WAV", noisePcm(5u << 20, 3), 0, 1));
    writeBank(bankPath, bank);
    const std::string clean = dir.file("clean");
    const std::string out = dir.file("out");
    fs::create_directories(clean);
    fs::create_directories(out);
    // The victim: the second file the job reports (the only one, for a SoundFont).
    Written written;
    convert(written, bankPath, clean, mode);
    const std::size_t before = mode == FormatId::Sf2 ? 0 : 1;
    ASSERT_GT(written.paths.size(), before);

    RecordingListener console;
    verify::ManifestListener manifest(console, out);
    verify::VerifyingListener verifier(manifest);
    Corrupter corrupter(verifier);
    corrupter.victim = out + written.paths[before].substr(clean.size());
    try {
      convert(corrupter, bankPath, out, mode);
      ADD_FAILURE() << "mode " << mode << ": the damaged file passed";
    } catch (const RunError& e) {
      EXPECT_EQ(e.code(), kVerificationFailed);
      EXPECT_EQ(e.path(), corrupter.victim);
      EXPECT_EQ(std::string(e.what()).rfind("Verification failed: " + corrupter.victim + ": ", 0), 0u) << e.what();
    }
    EXPECT_TRUE(corrupter.harmed);
    EXPECT_FALSE(fs::exists(corrupter.victim));
    EXPECT_EQ(verifier.verified(), before) << "mode " << mode;  // files checked but never named do not count
    manifest.write();
    EXPECT_EQ(verify::readManifest(out).size(), before) << "mode " << mode << (large ? ", large bank" : "");
  }
}

// An SFZ instrument whose regions name each other's sample files: every
// sample file passed its own check, but not as the sample of its region.
TEST(VerifyListener, AnSfzRegionNamingAnotherSampleFileFails) {
  struct Swapper : verify::ForwardingListener {
    using ForwardingListener::ForwardingListener;
    void outputFile(const OutputFileEvent& e) override {
      if (e.kind == FormatId::Sfz && e.outcome == OutputOutcome::Written) {
        std::ifstream in(e.path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        const auto a = text.find("sample=samples/A.WAV"), b = text.find("sample=samples/B.WAV");
        ASSERT_NE(a, std::string::npos);
        ASSERT_NE(b, std::string::npos);
        text[a + 15] = 'B';
        text[b + 15] = 'A';
        std::ofstream(e.path, std::ios::binary) << text;
      }
      next_.outputFile(e);
    }
  };
  TempDir dir;
  BankDesc bank;
  bank.samples = {pcmSampleOf("A.WAV", noisePcm(400, 1), 10, 0), pcmSampleOf("B.WAV", noisePcm(400, 2), 10, 1)};
  bank.zones = {ZoneDesc{}, ZoneDesc{}};
  const std::string bankPath = dir.file("S.TTI");
  writeBank(bankPath, bank);
  const std::string out = dir.file("out");
  fs::create_directories(out);
  RecordingListener console;
  verify::VerifyingListener verifier(console);
  Swapper swapper(verifier);
  try {
    convert(swapper, bankPath, out, FormatId::Sfz);
    ADD_FAILURE() << "the swapped regions passed";
  } catch (const RunError& e) {
    EXPECT_EQ(e.code(), kVerificationFailed);
    EXPECT_NE(std::string(e.what()).find("S.sfz: region 0: "), std::string::npos) << e.what();
  }
}

// The manifest keeps the lines of other files, replaces those of files
// written again, escapes names as sha256sum does, and sha256sum accepts it.
TEST(VerifyManifest, KeepsOtherLinesAndSha256sumAcceptsIt) {
  TempDir dir;
  const std::string out = dir.str();
  writeBytes(dir.file("kept.txt"), {1, 2, 3});
  writeBytes(dir.file("again.wav"), {4});
  writeBytes(dir.file("back\\slash.wav"), {5, 6});
  verify::Manifest old;
  old["kept.txt"] = verify::sha256File(dir.file("kept.txt"));
  old["again.wav"] = std::string(64, '0');
  verify::writeManifest(out, old);

  RecordingListener console;
  verify::ManifestListener manifest(console, out);
  for (const char* name : {"again.wav", "back\\slash.wav", "gone.wav"}) {
    OutputFileEvent e;
    e.path = dir.file(name);
    manifest.outputFile(e);
  }
  EXPECT_EQ(manifest.write(), 2u);  // gone.wav is not there: never listed
  const verify::Manifest now = verify::readManifest(out);
  EXPECT_EQ(now.size(), 3u);
  EXPECT_EQ(now.at("kept.txt"), old.at("kept.txt"));
  const auto r = runCommand({"/usr/bin/sha256sum", "-c", verify::kManifestName}, out);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "again.wav: OK\nback\\slash.wav: OK\nkept.txt: OK\n");
}
