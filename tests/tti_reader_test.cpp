// SPDX-License-Identifier: MIT
// Reading banks: names, output names, the directory and parameter walks,
// tag searches, and refusal of malformed banks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <filesystem>

#include "bank_builder.h"
#include "jobs/job_context.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "test_support.h"
#include "jobs/bank_reading.h"
#include "tti/tti_reader.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

std::string nameOf(const std::string& field) {
  std::vector<std::uint8_t> f(256, 0);
  std::memcpy(f.data(), field.data(), std::min<std::size_t>(field.size(), 256));
  return sampleNameFromField(f.data(), 256);
}

std::vector<std::string> outputsOf(const std::vector<std::string>& names) {
  std::vector<std::string> out(names.size());
  makeOutputNames(names, static_cast<std::uint32_t>(names.size()), out);
  // A bank of many samples is named by other means: behind 40 other names
  // these must come out the same.
  std::vector<std::string> many;
  for (int k = 0; k < 40; ++k) many.push_back("FILLER" + std::to_string(k) + ".WAV");
  many.insert(many.end(), names.begin(), names.end());
  std::vector<std::string> manyOut(many.size());
  makeOutputNames(many, static_cast<std::uint32_t>(many.size()), manyOut);
  EXPECT_EQ(std::vector<std::string>(manyOut.begin() + 40, manyOut.end()), out);
  return out;
}

struct Loaded {
  RecordingListener ui;
  JobContext ctx{ui};
};

void loadFromMemory(Loaded& l, const std::vector<std::uint8_t>& bytes, std::uint8_t step,
                    FormatId mode = FormatId::Mono) {
  l.ctx.options.format = &outputFormat(mode);
  MemorySource a(bytes.data(), bytes.size(), "bank.tti");
  getttidata(l.ctx, a);
  MemorySource b(bytes.data(), bytes.size(), "bank.tti");
  getttivalues(l.ctx, b, step);
}

SampleDesc sample(const std::string& name, std::size_t bytes, std::vector<std::uint8_t> zones = {0}) {
  SampleDesc s;
  s.name = name;
  s.pcm.resize(bytes);
  for (std::size_t k = 0; k < bytes; ++k) s.pcm[k] = static_cast<std::uint8_t>(k * 7 + name.size());
  s.zones = std::move(zones);
  return s;
}

int errorCodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RunError& e) {
    return e.code();
  }
  return 0;
}

}  // namespace

TEST(TtiNames, NameIsWhatFollowsTheLastBackslash) {
  EXPECT_EQ(nameOf("C:\\SAMPLES\\PIANO.WAV"), "PIANO.WAV");
  EXPECT_EQ(nameOf("DRUMS\\"), "");
  EXPECT_EQ(nameOf(std::string("\0ABC", 4)), "");
  EXPECT_EQ(nameOf("Kick.wav"), "Kick.wav");
}

TEST(TtiNames, FieldWithoutZeroEndsAtTheFieldEnd) {
  std::vector<std::uint8_t> f(256, 'x');
  EXPECT_EQ(sampleNameFromField(f.data(), 256), std::string(256, 'x'));
}

TEST(TtiNames, HighBytesAreKeptAsTheyAre) {
  EXPECT_EQ(nameOf("\xC9T\xC9.WAV"), "\xC9T\xC9.WAV");
}

TEST(TtiOutputNames, RepeatsGetANumberBeforeTheLastFourCharacters) {
  EXPECT_EQ(outputsOf({"PIANO.WAV", "PIANO.WAV", "PIANO.WAV"}),
            (std::vector<std::string>{"PIANO.WAV", "PIANO_1.WAV", "PIANO_2.WAV"}));
  EXPECT_EQ(outputsOf({"ABC", "ABC"}), (std::vector<std::string>{"ABC", "_1ABC"}));
  // Letter case aside, as FAT and exFAT compare names (ASCII and Latin-1).
  EXPECT_EQ(outputsOf({"Kick.wav", "KICK.WAV", "kick_1.WAV"}),
            (std::vector<std::string>{"Kick.wav", "KICK_1.WAV", "kick_1_1.WAV"}));
  EXPECT_EQ(outputsOf({"\xC9T\xC9.WAV", "\xE9t\xE9.wav", "\xD7.WAV", "\xF7.WAV"}),
            (std::vector<std::string>{"\xC9T\xC9.WAV", "\xE9t\xE9_1.wav", "\xD7.WAV", "\xF7.WAV"}));
}

// No output is ever taken for a bank (a name ending in .tti) or for a part
// file that a later run would remove.
TEST(TtiOutputNames, NoNameLooksLikeABankOrAPartFile) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"EVIL.TTI", "EVIL.TTI.wav"}, {"x.tTi", "x.tTi.wav"}, {"TTI", "TTI"}, {"A.TTIX", "A.TTIX"},
      {".vantrel-12-0123456789abcdef.part", "_vantrel-12-0123456789abcdef.part"},
      {".vantrel-12-0123.part", ".vantrel-12-0123.part"}};
  for (const auto& [name, safe] : cases) EXPECT_EQ(safeFileName(name), safe) << name;
}

TEST(TtiOutputNames, NamesStayUniqueWhenAMarkedNameExistsAlready) {
  EXPECT_EQ(outputsOf({"A_1.WAV", "A.WAV", "A.WAV"}),
            (std::vector<std::string>{"A_1.WAV", "A.WAV", "A_2.WAV"}));
  EXPECT_EQ(outputsOf({"A.WAV", "A_1.WAV", "A.WAV"}),
            (std::vector<std::string>{"A.WAV", "A_1.WAV", "A_2.WAV"}));
}

TEST(TtiOutputNames, NamesNeverLeaveTheOutputFolder) {
  EXPECT_EQ(outputsOf({"a/b.WAV"}), (std::vector<std::string>{"a_b.WAV"}));
  EXPECT_EQ(outputsOf({".."}), (std::vector<std::string>{"__"}));
  EXPECT_EQ(outputsOf({"."}), (std::vector<std::string>{"_"}));
  EXPECT_EQ(outputsOf({"", ""}), (std::vector<std::string>{"_", "_1"}));
  EXPECT_EQ(outputsOf({"a/b.WAV", "a_b.WAV"}), (std::vector<std::string>{"a_b.WAV", "a_b_1.WAV"}));
  EXPECT_EQ(outputsOf({"../x"}), (std::vector<std::string>{".._x"}));
}

TEST(TtiOutputNames, LongNamesAreShortenedToFitTheFileSystemAndStayUnique) {
  // 252 Latin-1 letters above 0x7F take 504 bytes as UTF-8.
  const std::string longName = std::string(252, '\xE9') + ".WAV";
  auto out = outputsOf({longName, longName, longName});
  for (const auto& o : out) {
    EXPECT_LE(utf8Length(o), kMaxFileNameBytes);
    EXPECT_EQ(o.substr(o.size() - 4), ".WAV");
  }
  EXPECT_EQ(out[1].substr(out[1].size() - 6), "_1.WAV");
  EXPECT_EQ(out[2].substr(out[2].size() - 6), "_2.WAV");
  EXPECT_NE(out[0], out[1]);
  const std::string ascii(256, 'a');
  EXPECT_EQ(outputsOf({ascii})[0], std::string(255, 'a'));
}

TEST(TtiDirectoryWalk, ListsNamesAndCount) {
  BankDesc d;
  d.samples = {sample("X\\PIANO.WAV", 8), sample("PIANO.WAV", 8), sample("BASS.WAV", 8)};
  Loaded l;
  loadFromMemory(l, buildBank(d), 0);
  EXPECT_EQ(l.ctx.bank.sampleCount, 3u);
  EXPECT_EQ(l.ui.sampleList, (std::vector<std::string>{"PIANO.WAV", "PIANO.WAV", "BASS.WAV"}));
  EXPECT_EQ(l.ctx.bank.outputName[1], "PIANO_1.WAV");
}

TEST(TtiDirectoryWalk, SecondBankReplacesTheNamesOfTheFirst) {
  BankDesc a, b;
  a.samples = {sample("A.WAV", 4), sample("A.WAV", 4)};
  b.samples = {sample("B.WAV", 4), sample("A.WAV", 4)};
  Loaded l;
  loadFromMemory(l, buildBank(a), 0);
  loadFromMemory(l, buildBank(b), 0);
  EXPECT_EQ(l.ctx.bank.outputName[0], "B.WAV");
  EXPECT_EQ(l.ctx.bank.outputName[1], "A.WAV");
}

TEST(TtiDirectoryWalk, EntrySizeDecidesTheStepOfTheDirectoryWalkOnly) {
  // The last entry claims 8 more bytes than it has: the name walk steps by
  // the claim (into the bytes after the directory), the parameter walk by
  // the zone count, and both still read their fields right.
  BankDesc d;
  d.samples = {sample("ONE.WAV", 8), sample("TWO.WAV", 6)};
  d.samples[1].entrySize = 292 + 2 + 8;
  Loaded l;
  loadFromMemory(l, buildBank(d), 1);
  EXPECT_EQ(l.ctx.bank.sampleName[1], "TWO.WAV");
  EXPECT_EQ(l.ctx.bank.pcmStart[1], 8u);
  EXPECT_EQ(l.ctx.bank.pcmLength[1], 6u);
  // Claiming more than the file holds ends the name walk.
  d.samples[1].entrySize = 100000;
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, buildBank(d), 0); }), kReadBeyondEnd);
}

TEST(TtiDirectoryWalk, EmptyBank) {
  BankDesc d;
  Loaded l;
  loadFromMemory(l, buildBank(d), 1);
  EXPECT_EQ(l.ctx.bank.sampleCount, 0u);
  EXPECT_TRUE(l.ui.sampleList.empty());
  EXPECT_EQ(l.ctx.bank.pcm.size, 0u);
}

TEST(TtiParameterWalk, OffsetsLoopsAndRounding) {
  BankDesc d;
  SampleDesc s = sample("S.WAV", 4);
  s.start = 1000;
  s.end = 5000;
  s.loopStart = 3001;
  s.loopEnd = 5000;
  SampleDesc t = sample("T.WAV", 4);
  t.start = 0;
  t.end = 2000;
  t.loopStart = 1003;  // 501.5 -> 502
  t.loopEnd = 0;       // loop end at the start -> -1
  SampleDesc u = sample("U.WAV", 4);
  u.start = 10;
  u.end = 20;
  u.loopStart = 8;     // 2 bytes before the start: wraps
  u.loopEnd = 1012;    // 1002 bytes -> 501 frames, last frame 500
  d.samples = {s, t, u};
  Loaded l;
  loadFromMemory(l, buildBank(d), 0);
  const SampleBank& b = l.ctx.bank;
  EXPECT_EQ(b.pcmLength[0], 4000u);
  EXPECT_EQ(b.loopStart[0], 1000);
  EXPECT_EQ(b.loopEnd[0], 1999);
  EXPECT_EQ(b.loopStart[1], 502);
  EXPECT_EQ(b.loopEnd[1], -1);
  EXPECT_EQ(b.loopStart[2], 2147483647);
  EXPECT_EQ(b.loopEnd[2], 500);
}

TEST(TtiParameterWalk, LengthIsAnUnsignedDifference) {
  BankDesc d;
  SampleDesc s = sample("S.WAV", 4);
  s.start = 10;
  s.end = 4;
  d.samples = {s};
  Loaded l;
  loadFromMemory(l, buildBank(d), 0);
  EXPECT_EQ(l.ctx.bank.pcmLength[0], 0xFFFFFFFAu);
}

TEST(TtiParameterWalk, ZoneMapTakesTheLaterEntryAndIsClearedAtEveryLoad) {
  BankDesc a;
  a.samples = {sample("A.WAV", 4, {5, 9}), sample("B.WAV", 4, {5}), sample("C.WAV", 4, {})};
  Loaded l;
  loadFromMemory(l, buildBank(a), 0);
  EXPECT_EQ(l.ctx.bank.zoneSample[5], 1);
  EXPECT_EQ(l.ctx.bank.zoneSample[9], 0);
  BankDesc b;
  b.samples = {sample("X.WAV", 4, {}), sample("Y.WAV", 4, {9})};
  loadFromMemory(l, buildBank(b), 0);
  EXPECT_EQ(l.ctx.bank.zoneSample[5], 0);
  EXPECT_EQ(l.ctx.bank.zoneSample[9], 1);
}

TEST(TtiParameterWalk, StepOneAdvancesTheGaugeNPlusTwoTimesAndLoadsThePcm) {
  BankDesc d;
  d.samples = {sample("A.WAV", 6), sample("B.WAV", 10)};
  Loaded l;
  l.ctx.gauge1.setRange(0, 100);
  l.ctx.gauge1.setProgress(0);
  l.ui.gauges.clear();
  loadFromMemory(l, buildBank(d), 1);
  EXPECT_EQ(l.ui.progressOf(GaugeId::Bank), (std::vector<std::int64_t>{1, 2, 3, 4}));
  ASSERT_EQ(l.ctx.bank.pcm.size, 16u);
  EXPECT_EQ(0, std::memcmp(l.ctx.bank.pcm.bytes(), d.samples[0].pcm.data(), 6));
  EXPECT_EQ(0, std::memcmp(l.ctx.bank.pcm.bytes() + 6, d.samples[1].pcm.data(), 10));
}

TEST(TtiParameterWalk, StepZeroLeavesGaugeAndPcmAloneAndNeedsNoSampleData) {
  BankDesc d;
  d.samples = {sample("A.WAV", 6)};
  auto bytes = buildBank(d);
  // Cut the file right after the parameter block.
  auto ttkl = std::search(bytes.begin(), bytes.end(), "TTKL", "TTKL" + 4);
  bytes.erase(ttkl, bytes.end());
  Loaded l;
  l.ctx.bank.pcm.memory = allocatePcm(3);
  l.ctx.bank.pcm.size = 3;
  l.ui.gauges.clear();
  loadFromMemory(l, bytes, 0);
  EXPECT_TRUE(l.ui.progressOf(GaugeId::Bank).empty());
  EXPECT_EQ(l.ctx.bank.pcm.size, 3u);
  EXPECT_EQ(l.ctx.bank.pcmStart[0], 0u);
}

TEST(TtiParameterWalk, TagSearchesSkipOtherData) {
  BankDesc d;
  d.samples = {sample("A.WAV", 6)};
  d.beforeTtip = {1, 2, 3, 4, 5, 6, 7};
  d.ttkl = false;
  d.beforeTtsa = {'T', 'T', 'x', 'y', 'T', 'T'};
  Loaded l;
  loadFromMemory(l, buildBank(d), 1);
  EXPECT_EQ(l.ctx.bank.pcm.size, 6u);
  EXPECT_EQ(0, std::memcmp(l.ctx.bank.pcm.bytes(), d.samples[0].pcm.data(), 6));
}

TEST(TtiParameterWalk, TtklBlockIsSkippedWhateverItsSize) {
  for (std::uint32_t size : {0u, 1u, 333u}) {
    BankDesc d;
    d.samples = {sample("A.WAV", 6)};
    d.ttklSize = size;
    Loaded l;
    loadFromMemory(l, buildBank(d), 1);
    EXPECT_EQ(l.ctx.bank.pcm.size, 6u) << size;
  }
}

TEST(TtiParameterWalk, SampleDataSizeIsClampedToTheFile) {
  BankDesc d;
  d.samples = {sample("A.WAV", 100)};
  d.dataSize = 0x7FFFFFFF;
  Loaded l;
  loadFromMemory(l, buildBank(d), 1);
  EXPECT_EQ(l.ctx.bank.pcm.size, 100u);
  d.dataSize = 40;
  loadFromMemory(l, buildBank(d), 1);
  EXPECT_EQ(l.ctx.bank.pcm.size, 40u);
}

TEST(TtiParameterWalk, MissingTagsEndInReadBeyondEndOfFile) {
  BankDesc d;
  d.samples = {sample("A.WAV", 6)};
  auto bytes = buildBank(d);
  auto noTtsa = bytes;
  auto at = std::search(noTtsa.begin(), noTtsa.end(), "TTSA", "TTSA" + 4);
  (*at) = 'X';
  auto noTtipOrTtkl = bytes;
  at = std::search(noTtipOrTtkl.begin(), noTtipOrTtkl.end(), "TTIP", "TTIP" + 4);
  (*at) = 'X';
  Loaded l;
  // With "TTKL" present the sample-data tag is not compared at all.
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, noTtsa, 1); }), 0);
  d.ttkl = false;
  auto plain = buildBank(d);
  at = std::search(plain.begin(), plain.end(), "TTSA", "TTSA" + 4);
  (*at) = 'X';
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, plain, 1); }), kReadBeyondEnd);
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, noTtipOrTtkl, 0); }), kReadBeyondEnd);
}

TEST(TtiParameterWalk, SfTwoModeDecodesTheZones) {
  BankDesc d;
  d.samples = {sample("A.WAV", 6, {0}), sample("B.WAV", 6, {1})};
  ZoneDesc z0, z1;
  z0.keyLow = 10;
  z1.keyLow = 20;
  d.zones = {z0, z1};
  Loaded l;
  loadFromMemory(l, buildBank(d), 0, FormatId::Mono);
  EXPECT_EQ(l.ctx.art.zoneCount, 0);
  loadFromMemory(l, buildBank(d), 0, FormatId::Sf2);
  EXPECT_EQ(l.ctx.art.zoneCount, 2);
  EXPECT_EQ(l.ctx.art.zoneKeyLow[1], 20);
}

TEST(TtiLargeBanks, FourThousandNinetySixSamplesAreReadInFull) {
  BankDesc d;
  for (int i = 0; i < 4096; ++i) d.samples.push_back(sample("S.WAV", 2, {static_cast<std::uint8_t>(i)}));
  Loaded l;
  loadFromMemory(l, buildBank(d), 1);
  EXPECT_EQ(l.ctx.bank.sampleCount, 4096u);
  EXPECT_EQ(l.ctx.bank.outputName[4095], "S_4095.WAV");
  EXPECT_EQ(l.ctx.bank.pcmStart[4095], 2u * 4095);
  EXPECT_EQ(l.ctx.bank.zoneSample[255], 4095);
}

TEST(TtiBadInput, TooManySamplesIsAnInvalidBank) {
  BankDesc d;
  d.samples = {sample("A.WAV", 2)};
  d.sampleCount = 4097;
  Loaded l;
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, buildBank(d), 0); }), kInvalidBank);
  d.sampleCount = 0xFFFFFFFF;
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, buildBank(d), 0); }), kInvalidBank);
}

TEST(TtiBadInput, EntrySizeBelowTheNameFieldIsAnInvalidBank) {
  BankDesc d;
  d.samples = {sample("A.WAV", 2)};
  d.samples[0].entrySize = 255;
  Loaded l;
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, buildBank(d), 0); }), kInvalidBank);
}

TEST(TtiBadInput, DirectoryBodyShorterThanItsEntriesIsAnInvalidBank) {
  BankDesc d;
  d.samples = {sample("A.WAV", 2), sample("B.WAV", 2)};
  d.directorySize = 4 + 302 + 100;
  d.beforeTtip.assign(302 - 100 + 8, 0);
  Loaded l;
  l.ctx.options.format = &outputFormat(FormatId::Mono);
  auto bytes = buildBank(d);
  MemorySource src(bytes.data(), bytes.size(), "bank.tti");
  EXPECT_EQ(errorCodeOf([&] { getttivalues(l.ctx, src, 0); }), kInvalidBank);
  d.directorySize = 2;
  bytes = buildBank(d);
  MemorySource src2(bytes.data(), bytes.size(), "bank.tti");
  EXPECT_EQ(errorCodeOf([&] { getttivalues(l.ctx, src2, 0); }), kInvalidBank);
}

TEST(TtiBadInput, HugeSizesOnASmallFileEndInReadBeyondEndOfFile) {
  BankDesc d;
  d.samples = {sample("A.WAV", 2)};
  d.directorySize = 0xFFFFFFF0;
  Loaded l;
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, buildBank(d), 0); }), kReadBeyondEnd);
  BankDesc e;
  e.samples = {sample("A.WAV", 2)};
  e.samples[0].entrySize = 0xFFFFFFFF;
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, buildBank(e), 0); }), kReadBeyondEnd);
  BankDesc f;
  f.samples = {sample("A.WAV", 2)};
  f.ttklSize = 0;
  auto bytes = buildBank(f);
  auto ttkl = std::search(bytes.begin(), bytes.end(), "TTKL", "TTKL" + 4) - bytes.begin();
  bytes[ttkl + 7] = 0x80;  // a 2 GiB "TTKL" block
  EXPECT_EQ(errorCodeOf([&] { loadFromMemory(l, bytes, 1); }), kReadBeyondEnd);
}

TEST(TtiBadInput, TruncationAtEveryRegionBoundaryIsAnErrorNeverACrash) {
  BankDesc d;
  d.samples = {sample("A.WAV", 64, {0}), sample("B.WAV", 64, {1})};
  d.zones = {ZoneDesc{}, ZoneDesc{}};
  const auto full = buildBank(d);
  const std::size_t dirEnd = 516 + 2 * 302;
  const std::size_t ttip = dirEnd;
  const std::size_t paramSize = buildParamBlock(d.zones).size();
  const std::size_t ttkl = ttip + 8 + paramSize;
  const std::size_t ttsa = ttkl + 8 + d.ttklSize;
  const std::size_t pcm = ttsa + 8;
  ASSERT_EQ(full.size(), pcm + 128);
  for (std::size_t cut : {std::size_t{0}, std::size_t{4}, std::size_t{504}, std::size_t{508},
                          std::size_t{512}, std::size_t{516}, std::size_t{516 + 8},
                          std::size_t{516 + 264}, std::size_t{516 + 272}, std::size_t{516 + 300},
                          std::size_t{818}, dirEnd - 1, ttip, ttip + 4, ttip + 8, ttkl - 1, ttkl,
                          ttkl + 8, ttsa, ttsa + 4, pcm - 1}) {
    std::vector<std::uint8_t> cutBytes(full.begin(), full.begin() + static_cast<long>(cut));
    for (FormatId mode : {FormatId::Mono, FormatId::Sf2}) {
      Loaded l;
      int code = errorCodeOf([&] { loadFromMemory(l, cutBytes, 1, mode); });
      EXPECT_EQ(code, kReadBeyondEnd) << "cut at " << cut << " mode " << mode;
    }
  }
  // Cut inside the PCM data: what is there is loaded.
  for (std::size_t have : {0, 1, 100}) {
    std::vector<std::uint8_t> part(full.begin(), full.begin() + static_cast<long>(pcm + have));
    Loaded l;
    loadFromMemory(l, part, 1);
    EXPECT_EQ(l.ctx.bank.pcm.size, have);
  }
}

TEST(TtiSelection, ExtensionTestLooksAtFourCharactersIgnoringCase) {
  TempDir dir;
  BankDesc d;
  d.samples = {sample("A.WAV", 2)};
  for (const char* name : {"bank.TTI", "bank.tti", "bank.ttix"}) {
    writeBank(dir.file(name), d);
    RecordingListener ui;
    JobContext ctx(ui);
    fselect(ctx, dir.file(name));
    EXPECT_EQ(ctx.bank.ttiPath, dir.file(name));
    EXPECT_EQ(ui.lastStatus(), "1 Samples found");
    EXPECT_TRUE(ui.buttonOn(ButtonId::Extract));
    EXPECT_TRUE(ui.listVisible);
  }
  for (const char* name : {"bank.tt", "bank", "bank.wav", "bank.tti.bak"}) {
    RecordingListener ui;
    JobContext ctx(ui);
    ctx.bank.ttiPath = "old";
    fselect(ctx, dir.file(name));
    EXPECT_EQ(ctx.bank.ttiPath, "");
    EXPECT_EQ(ui.lastStatus(), "No TTI file selected");
    EXPECT_FALSE(ui.buttonOn(ButtonId::Extract));
    EXPECT_EQ(ui.logClears, 1);
  }
}

TEST(TtiSelection, MissingFileIsFileNotFoundAndKeepsThePath) {
  TempDir dir;
  RecordingListener ui;
  JobContext ctx(ui);
  EXPECT_EQ(errorCodeOf([&] { file1Click(ctx, dir.file("gone.tti")); }), kFileNotFound);
  EXPECT_EQ(ctx.bank.ttiPath, dir.file("gone.tti"));
  EXPECT_EQ(ui.busyCalls, (std::vector<bool>{true, false}));
}

TEST(TtiSelection, ClickLoadsParametersAndSwitchesSampleExtractionOff) {
  TempDir dir;
  BankDesc d;
  d.samples = {sample("A.WAV", 2), sample("B.WAV", 10)};
  writeBank(dir.file("x.tti"), d);
  RecordingListener ui;
  JobContext ctx(ui);
  ctx.setButton(ButtonId::WavExtr, true);
  file1Click(ctx, dir.file("x.tti"));
  EXPECT_EQ(ui.lastStatus(), "2 Samples found");
  EXPECT_FALSE(ui.buttonOn(ButtonId::WavExtr));
  EXPECT_EQ(ctx.bank.pcmLength[1], 10u);
  EXPECT_FALSE(ctx.bank.pcm.held());
}

TEST(TtiFolderCheck, FindsTtiFilesButNotFolders) {
  TempDir dir;
  RecordingListener ui;
  JobContext ctx(ui);
  std::filesystem::create_directory(dir.path() / "folder.tti");
  EXPECT_FALSE(checkfortti(ctx, dir.str()));
  EXPECT_EQ(ui.lastStatus(), "No TTI files found in source dir");
  EXPECT_FALSE(ui.buttonOn(ButtonId::Complete));
  writeBytes(dir.file("Bank.TtI"), {1});
  EXPECT_TRUE(checkfortti(ctx, dir.str()));
  EXPECT_EQ(ui.lastStatus(), "TTI files detected in source dir");
  EXPECT_TRUE(ui.buttonOn(ButtonId::Complete));
}
