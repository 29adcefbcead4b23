// SPDX-License-Identifier: MIT
// The SoundFont writer: the generators of a zone, the file's layout byte
// for byte, sample positions, silence for missing bytes, and FluidSynth
// loading and playing what we write.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "output_check.h"
#include "platform/errors.h"
#include "jobs/bank_conversion.h"
#include "tti/tti_reader.h"
#include "writers/sf2_writer.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace vantrel {
void PrintTo(const GenRecord& g, std::ostream* os) { *os << "{" << g.oper << ", " << g.amount << "}"; }
}  // namespace vantrel

namespace {

std::uint16_t s16(int v) { return static_cast<std::uint16_t>(static_cast<std::int16_t>(v)); }

// The sub-chunks of the "pdta" list, by id: offset of the body and size.
struct Chunk {
  std::size_t body = 0;
  std::uint32_t size = 0;
};

Chunk pdtaChunk(const std::vector<std::uint8_t>& file, const std::string& id) {
  const std::size_t pdta = 216 + u32At(file, 212);  // after the sample data
  EXPECT_EQ(textAt(file, pdta, 4), "LIST");
  EXPECT_EQ(textAt(file, pdta + 8, 4), "pdta");
  std::size_t p = pdta + 12;
  while (p + 8 <= file.size()) {
    const std::uint32_t size = u32At(file, p + 4);
    if (textAt(file, p, 4) == id) return {p + 8, size};
    p += 8 + size;
  }
  ADD_FAILURE() << "no chunk " << id;
  return {};
}

struct Shdr {
  std::string name;
  std::uint32_t start, end, loopStart, loopEnd, rate;
  std::uint8_t pitch;
  std::uint16_t type;
};

Shdr shdrAt(const std::vector<std::uint8_t>& file, std::size_t r) {
  const std::size_t p = pdtaChunk(file, "shdr").body + 46 * r;
  std::string name = textAt(file, p, 20);
  name.resize(std::strlen(name.c_str()));
  return {name,           u32At(file, p + 20), u32At(file, p + 24), u32At(file, p + 28),
          u32At(file, p + 32), u32At(file, p + 36), file.at(p + 40), u16At(file, p + 44)};
}

std::vector<GenRecord> igenOf(const std::vector<std::uint8_t>& file) {
  const Chunk c = pdtaChunk(file, "igen");
  std::vector<GenRecord> out;
  for (std::size_t p = c.body; p < c.body + c.size; p += 4) out.push_back({u16At(file, p), u16At(file, p + 2)});
  return out;
}


// Writes the bank and converts it; returns the SoundFont's bytes.
std::vector<std::uint8_t> convert(BankFixture& f, const BankDesc& d, const std::string& name = "BANK.TTI") {
  f.ctx.options.format = &outputFormat(FormatId::Sf2);
  f.select(f.write(d, name));
  const std::string out = f.out();
  writeSoundFontBank(f.ctx, out, nullptr);
  return readFileBytes(out + sf2FileNameFor(name));
}

// The zone of the worked example, as the bank stores it.
ZoneDesc exampleZone() {
  ZoneDesc z;
  z.keyLow = 47;
  z.keyHigh = 60;
  z.velLow = 0;
  z.velHigh = 127;
  z.loopWord1 = 10;
  z.loopWord2 = 500;   // the loop words differ by 2 or more: looped
  z.fineTuneRaw = 106;  // +10
  z.transposition = 4;  // root key 60
  z.volume = 100;
  z.releaseRate = 67;  // stored 60
  z.sustainLevel = 40;
  z.decayRate = 100;   // stored 27
  z.attackRate = 127;  // stored 0
  z.panLeft = 10;
  z.panRight = 25;
  return z;
}

const std::vector<GenRecord> kExampleGenerators = {
    {43, 48 | 60 << 8},  // keyRange 48-60
    {44, 0 | 127 << 8},  // velRange 0-127, right after keyRange
    {54, 1},             // sampleModes: loop
    {52, 16},            // fineTune
    {58, 60},            // overridingRootKey
    {48, 306},           // initialAttenuation
    {38, 20},            // releaseVolEnv
    {37, 365},           // sustainVolEnv
    {36, s16(-5240)},    // decayVolEnv
    {34, s16(-32768)},   // attackVolEnv
    {17, s16(-339)},     // pan
    {53, 3},             // sampleID
};

SampleDesc sine(const std::string& name, std::vector<std::uint8_t> zones, std::size_t frames = 4410) {
  SampleDesc s = pcmSample(name, sinePcm(frames, 440.0 / 44100.0, 0.8), std::move(zones));
  s.loopStartFrame = 0;
  s.loopEndFrame = static_cast<std::uint32_t>(frames);
  return s;
}

}  // namespace

TEST(Sf2Generators, WorkedExampleZone) {
  RecordingListener ui;
  JobContext ctx(ui);
  ZoneArticulation& a = ctx.art;
  a.zoneCount = 1;
  a.zoneKeyLow[0] = 47;
  a.zoneKeyHigh[0] = 60;
  a.zoneVelLow[0] = 0;
  a.zoneVelHigh[0] = 127;
  a.zoneLooped[0] = 1;
  a.zoneFineTune[0] = 10;
  a.zoneRootKey[0] = 60;
  a.zoneVolume[0] = 100;
  a.zoneRelease[0] = 60;
  a.zoneSustain[0] = 40;
  a.zoneDecay[0] = 27;
  a.zoneAttack[0] = 0;
  a.zonePanLeft[0] = 10;
  a.zonePanRight[0] = 25;
  ctx.bank.zoneSample[0] = 3;
  const auto g = convertval(ctx.bank, ctx.art, 0);
  EXPECT_EQ(std::vector<GenRecord>(g.begin(), g.end()), kExampleGenerators);
}

TEST(Sf2Generators, LowBoundsAreComputedInEightBits) {
  RecordingListener ui;
  JobContext ctx(ui);
  ctx.art.zoneKeyLow[0] = 0;
  ctx.art.zoneVelLow[0] = 0;
  ctx.art.zoneKeyLow[1] = 127;
  ctx.art.zoneVelLow[1] = 1;
  ctx.art.zoneKeyHigh[1] = 127;
  EXPECT_EQ(convertval(ctx.bank, ctx.art, 0)[0].amount & 0xFF, 1);
  EXPECT_EQ(convertval(ctx.bank, ctx.art, 0)[1].amount & 0xFF, 0);
  EXPECT_EQ(convertval(ctx.bank, ctx.art, 1)[0].amount, 128 | 127 << 8);
  EXPECT_EQ(convertval(ctx.bank, ctx.art, 1)[1].amount & 0xFF, 2);
}

TEST(Sf2Generators, TuningVolumeSustainAndRootKeyExamples) {
  RecordingListener ui;
  JobContext ctx(ui);
  ZoneArticulation& a = ctx.art;
  a.zoneFineTune[0] = -96;
  a.zoneVolume[0] = 127;
  a.zoneSustain[0] = 63;
  a.zoneRootKey[0] = -1;
  a.zoneFineTune[1] = 31;
  a.zoneVolume[1] = 0;
  a.zoneSustain[1] = 0;
  const auto g0 = convertval(ctx.bank, ctx.art, 0), g1 = convertval(ctx.bank, ctx.art, 1);
  EXPECT_EQ(g0[3].amount, s16(-151));
  EXPECT_EQ(g1[3].amount, 49);
  EXPECT_EQ(g0[5].amount, 0);
  EXPECT_EQ(g1[5].amount, 1440);
  EXPECT_EQ(g0[7].amount, 0);
  EXPECT_EQ(g1[7].amount, 1000);
  EXPECT_EQ(g0[4].amount, 0xFFFF);
}

TEST(Sf2Generators, PanFromTheTwoLevels) {
  RecordingListener ui;
  JobContext ctx(ui);
  auto pan = [&](std::uint8_t left, std::uint8_t right) {
    ctx.art.zonePanLeft[0] = left;
    ctx.art.zonePanRight[0] = right;
    return static_cast<std::int16_t>(convertval(ctx.bank, ctx.art, 0)[10].amount);
  };
  EXPECT_EQ(pan(0, 31), -500);
  EXPECT_EQ(pan(31, 0), 500);
  EXPECT_EQ(pan(0, 1), -500);
  EXPECT_EQ(pan(10, 25), -339);
  EXPECT_EQ(pan(7, 7), 0);
  EXPECT_EQ(pan(31, 31), 0);
  EXPECT_EQ(pan(20, 40), 3984);  // right: 31 - 40 wraps to 247 (8 bits), above 11
}

TEST(Sf2Generators, EnvelopeTimesAtTheRowBoundaries) {
  EXPECT_EQ(envTimeTable[0], -32768);
  EXPECT_EQ(envTimeTable[25], -32768);
  EXPECT_EQ(envTimeTable[26], -5908);
  EXPECT_EQ(envTimeTable[31], -4300);
  EXPECT_EQ(envTimeTable[32], -4184);
  EXPECT_EQ(envTimeTable[55], -828);
  EXPECT_EQ(envTimeTable[60], 20);
  EXPECT_EQ(envTimeTable[87], 3732);
  EXPECT_EQ(envTimeTable[89], 3830);
  EXPECT_EQ(envTimeTable[90], 3830);
  EXPECT_EQ(envTimeTable[103], 4552);
  EXPECT_EQ(envTimeTable[104], 4552);
  EXPECT_EQ(envTimeTable[109], 4975);
  for (int k = 110; k < 128; ++k) EXPECT_EQ(envTimeTable[static_cast<std::size_t>(k)], 5075) << k;
  for (int k = 27; k < 110; ++k) {
    EXPECT_LE(envTimeTable[static_cast<std::size_t>(k) - 1], envTimeTable[static_cast<std::size_t>(k)]) << k;
  }
}

TEST(Sf2File, OneSampleOfThousandBytesAndOneZone) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("ONE.WAV", rampPcm(1000), {0})};
  d.zones = {ZoneDesc{}};
  const auto file = convert(f, d);
  ASSERT_EQ(file.size(), 1672u);
  EXPECT_EQ(u32At(file, 4), 1664u);
  EXPECT_EQ(u32At(file, 16), 176u);
  EXPECT_EQ(u32At(file, 200), 1076u);
  EXPECT_EQ(u32At(file, 212), 1064u);
  EXPECT_EQ(u32At(file, 220 + 1064), 384u);
}

TEST(Sf2File, FixedHeaderIsByteExact) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("ONE.WAV", rampPcm(10), {0})};
  const auto file = convert(f, d);
  std::string expected("RIFF\0\0\0\0sfbkLIST\xb0\0\0\0INFO"
                       "ifil\4\0\0\0\2\0\1\0"
                       "INAM\x0e\0\0\0Name des TTI\0\0"
                       "isng\x0a\0\0\0E-mu 10K1\0"
                       "IPRD\x08\0\0\0SBAWE32\0"
                       "IENG\x02\0\0\0\0\0"
                       "ISFT\x0e\0\0\0SFEDT v1.29:\0\0"
                       "ICRD\x0e\0\0\0"
                       "Feb 29, 2000\0\0"
                       "ICMT\x20\0\0\0converted with Vantrel 2.0\0\0\0\0\0\0"
                       "ICOP\x02\0\0\0\0\0"
                       "LIST",
                       200);
  std::string got = textAt(file, 0, 200);
  got.replace(4, 4, std::string(4, '\0'));  // the RIFF size is checked elsewhere
  EXPECT_EQ(got, expected);
  EXPECT_EQ(textAt(file, 204, 8), "sdtasmpl");
}

TEST(Sf2File, PresetAndInstrumentChunksAreAsTabled) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("A.WAV", rampPcm(10), {0}), pcmSample("B.WAV", rampPcm(10), {1})};
  d.zones = {ZoneDesc{}, ZoneDesc{}};
  const auto file = convert(f, d, "PIANO.TTI");

  const Chunk phdr = pdtaChunk(file, "phdr");
  ASSERT_EQ(phdr.size, 76u);
  EXPECT_EQ(textAt(file, phdr.body, 20), std::string("PIANO") + std::string(15, '\0'));
  EXPECT_EQ(textAt(file, phdr.body + 20, 18), std::string(18, '\0'));
  EXPECT_EQ(textAt(file, phdr.body + 38, 20), std::string("EOP") + std::string(17, '\0'));
  EXPECT_EQ(u16At(file, phdr.body + 58), 255);
  EXPECT_EQ(u16At(file, phdr.body + 60), 255);
  EXPECT_EQ(u16At(file, phdr.body + 62), 1);
  EXPECT_EQ(textAt(file, phdr.body + 64, 12), std::string(12, '\0'));

  const Chunk pbag = pdtaChunk(file, "pbag");
  EXPECT_EQ(textAt(file, pbag.body - 4, 12), std::string("\x08\0\0\0\0\0\0\0\1\0\0\0", 12));
  const Chunk pmod = pdtaChunk(file, "pmod");
  EXPECT_EQ(textAt(file, pmod.body - 4, 14), std::string("\x0a\0\0\0\0\0\0\0\0\0\0\0\1\0", 14));
  const Chunk pgen = pdtaChunk(file, "pgen");
  EXPECT_EQ(textAt(file, pgen.body - 4, 12), std::string("\x08\0\0\0\x29\0\0\0\0\0\0\0", 12));

  const Chunk inst = pdtaChunk(file, "inst");
  ASSERT_EQ(inst.size, 44u);
  EXPECT_EQ(textAt(file, inst.body, 22), std::string("PIANO") + std::string(17, '\0'));
  EXPECT_EQ(textAt(file, inst.body + 22, 20), std::string("EOI") + std::string(17, '\0'));
  EXPECT_EQ(u16At(file, inst.body + 42), 2);

  const Chunk ibag = pdtaChunk(file, "ibag");
  ASSERT_EQ(ibag.size, 12u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(u16At(file, ibag.body + 4 * k), 12 * k);
    EXPECT_EQ(u16At(file, ibag.body + 4 * k + 2), 0);
  }
  const Chunk imod = pdtaChunk(file, "imod");
  EXPECT_EQ(textAt(file, imod.body - 4, 14), std::string("\x0a\0\0\0\0\0\0\0\0\0\0\0\x16\0", 14));

  const Chunk igen = pdtaChunk(file, "igen");
  ASSERT_EQ(igen.size, 48u * 2 + 4);
  EXPECT_EQ(u32At(file, igen.body + 96), 0u);
  EXPECT_EQ(u16At(file, igen.body + 44), 53);  // sampleID ends zone 0 ...
  EXPECT_EQ(u16At(file, igen.body + 46), 0);
  EXPECT_EQ(u16At(file, igen.body + 92), 53);  // ... and zone 1
  EXPECT_EQ(u16At(file, igen.body + 94), 1);

  const Chunk shdr = pdtaChunk(file, "shdr");
  ASSERT_EQ(shdr.size, 46u * 3);
  EXPECT_EQ(textAt(file, shdr.body + 92, 46), std::string("EOS") + std::string(43, '\0'));
  EXPECT_EQ(shdr.body + shdr.size, file.size());
}

TEST(Sf2File, ZoneGeneratorsComeFromTheBanksParameterBlock) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("A.WAV", rampPcm(10)), pcmSample("B.WAV", rampPcm(10)),
               pcmSample("C.WAV", rampPcm(10)), pcmSample("D.WAV", rampPcm(10), {0})};
  d.zones = {exampleZone()};
  const auto gens = igenOf(convert(f, d));
  ASSERT_EQ(gens.size(), 13u);
  EXPECT_EQ(std::vector<GenRecord>(gens.begin(), gens.begin() + 12), kExampleGenerators);
  EXPECT_EQ(gens[12], (GenRecord{0, 0}));
}

TEST(Sf2File, SamplesAreFollowedByThirtyTwoZeroFramesAndPositionedInFrames) {
  BankFixture f;
  BankDesc d;
  SampleDesc a = pcmSample("FIRST.WAV", rampPcm(1000, 3), {0});
  a.loopStartFrame = 100;
  a.loopEndFrame = 400;
  SampleDesc b = pcmSample("SECOND.WAV", rampPcm(10, 5), {1});
  b.loopStartFrame = 1;
  b.loopEndFrame = 5;
  d.samples = {a, b};
  d.zones = {ZoneDesc{}, ZoneDesc{}};
  const auto file = convert(f, d);
  EXPECT_EQ(textAt(file, 216, 1000), textAt(a.pcm, 0, 1000));
  EXPECT_EQ(textAt(file, 1216, 64), std::string(64, '\0'));
  EXPECT_EQ(textAt(file, 1280, 10), textAt(b.pcm, 0, 10));
  EXPECT_EQ(textAt(file, 1290, 64), std::string(64, '\0'));
  EXPECT_EQ(u32At(file, 212), 1138u);

  const Shdr s0 = shdrAt(file, 0), s1 = shdrAt(file, 1);
  EXPECT_EQ(s0.name, "FIRST");
  EXPECT_EQ(s0.start, 0u);
  EXPECT_EQ(s0.end, 500u);
  EXPECT_EQ(s0.loopStart, 100u);
  EXPECT_EQ(s0.loopEnd, 400u);  // the bank's last loop frame 399, plus one
  EXPECT_EQ(s0.rate, 44100u);
  EXPECT_EQ(s0.pitch, 60);
  EXPECT_EQ(s0.type, 1);
  EXPECT_EQ(s1.start, 532u);
  EXPECT_EQ(s1.end, 537u);
  EXPECT_EQ(s1.loopStart, 533u);
  EXPECT_EQ(s1.loopEnd, 537u);
}

TEST(Sf2File, EmptySampleStillGetsItsPadding) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("NONE.WAV", {}, {0}), pcmSample("NEXT.WAV", rampPcm(4))};
  const auto file = convert(f, d);
  EXPECT_EQ(shdrAt(file, 0).start, 0u);
  EXPECT_EQ(shdrAt(file, 0).end, 0u);
  EXPECT_EQ(shdrAt(file, 1).start, 32u);
  EXPECT_EQ(textAt(file, 216, 64), std::string(64, '\0'));
}

TEST(Sf2File, BytesTheLoadedDataDoesNotHoldAreSilenceNotAnotherSample) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("FIRST.WAV", rampPcm(100, 1), {0}), pcmSample("CUT.WAV", rampPcm(100, 2))};
  auto bytes = buildBank(d);
  bytes.resize(bytes.size() - 40);
  f.ctx.options.format = &outputFormat(FormatId::Sf2);
  const std::string bank = f.dir.file("BANK.TTI");
  writeBytes(bank, bytes);
  f.select(bank);
  const std::string out = f.out();
  writeSoundFontBank(f.ctx, out, nullptr);
  const auto file = readFileBytes(out + "BANK.sf2");
  const std::size_t second = 216 + 100 + 64;
  EXPECT_EQ(textAt(file, second, 60), textAt(d.samples[1].pcm, 0, 60));
  EXPECT_EQ(textAt(file, second + 60, 40 + 64), std::string(104, '\0'));
  EXPECT_EQ(shdrAt(file, 1).end - shdrAt(file, 1).start, 50u);
}

TEST(Sf2File, SampleDataIsTheBanksBytesInSmallAndLargeFiles) {
  // A file of up to a block goes out in one gathered write from the bank's
  // memory, a larger one through the write buffer; both carry the same
  // bytes, and a bank cut short once loaded fails both without a file.
  for (const std::size_t firstBytes : {std::size_t{1000}, std::size_t{(1u << 20) + 1000}}) {
    SCOPED_TRACE(firstBytes);
    BankFixture f;
    BankDesc d;
    d.samples = {pcmSample("FIRST.WAV", rampPcm(firstBytes, 1), {0}),
                 pcmSample("CUT.WAV", rampPcm(100, 2))};
    auto bytes = buildBank(d);
    bytes.resize(bytes.size() - 40);  // the last 40 bytes of CUT.WAV are missing
    const std::string bank = f.dir.file("BANK.TTI");
    writeBytes(bank, bytes);

    std::string expected = textAt(d.samples[0].pcm, 0, firstBytes) + std::string(64, '\0') +
                           textAt(d.samples[1].pcm, 0, 60) + std::string(40 + 64, '\0');
    SampleBank loaded;
    ZoneArticulation art;
    ValuesToRead what;
    what.zones = &art;
    what.pcm = true;
    loadBank(BankRef::file(bank), loaded, what);
    std::vector<std::uint8_t> buffer;
    const std::string out = f.out() + "BANK.sf2";
    writeSf2(loaded, interpretZones(loaded, art), out, buffer, {});
    const auto file = readFileBytes(out);
    EXPECT_EQ(u32At(file, 212), expected.size());
    EXPECT_TRUE(textAt(file, 216, expected.size()) == expected);
    EXPECT_EQ(textAt(file, 216 + expected.size(), 4), "LIST");

    loadBank(BankRef::file(bank), loaded, what);
    std::filesystem::resize_file(bank, bytes.size() - 30);
    const std::string cut = f.out("cut") + "BANK.sf2";
    try {
      writeSf2(loaded, interpretZones(loaded, art), cut, buffer, {});
      ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
      EXPECT_EQ(e.code(), kReadBeyondEnd);
      EXPECT_EQ(e.path(), bank);
    }
    EXPECT_FALSE(std::filesystem::exists(cut));
    EXPECT_TRUE(std::filesystem::is_empty(f.dir.file("cut")));
  }
}

TEST(Sf2File, OddLengthPositionsMatchTheData) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("ODD.WAV", rampPcm(1001, 1), {0}), pcmSample("NEXT.WAV", rampPcm(4, 2))};
  const auto file = convert(f, d);
  EXPECT_EQ(u32At(file, 212), 2u * (500 + 32 + 2 + 32));
  EXPECT_EQ(shdrAt(file, 1).start, 532u);
  // The second sample starts where its position says.
  EXPECT_EQ(textAt(file, 216 + 2 * 532, 4), textAt(d.samples[1].pcm, 0, 4));
}

TEST(Sf2File, RecordNamesDropFourCharactersAndKeepTwenty) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", rampPcm(4), {0}), pcmSample("ABC", rampPcm(4)),
               pcmSample("PIANO.WAV", rampPcm(4))};
  const auto file = convert(f, d);
  EXPECT_EQ(shdrAt(file, 0).name, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(shdrAt(file, 1).name, "");
  EXPECT_EQ(shdrAt(file, 2).name, "PIANO");
}

TEST(Sf2File, FileNameReplacesTheLastThreeCharacters) {
  EXPECT_EQ(sf2FileNameFor("/banks/BANK.TTI"), "BANK.sf2");
  EXPECT_EQ(sf2FileNameFor("/banks/Piano.tti"), "Piano.sf2");
  EXPECT_EQ(sf2FileNameFor("/banks/bank.ttix"), "bank.tsf2");
  EXPECT_EQ(sf2FileNameFor("/banks/\xC3\x89T\xC3\x89.tti"), "\xC3\x89T\xC3\x89.sf2");
  EXPECT_EQ(sf2FileNameFor("/banks/\xC3\x89\xC3\x89\xC3\x89"), "sf2");
}

TEST(Sf2File, BankNameInTheRecordsIsTheFileNameWithoutExtension) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("A.WAV", rampPcm(4), {0})};
  const auto file = convert(f, d, "A VERY LONG BANK NAME INDEED.TTI");
  EXPECT_EQ(textAt(file, pdtaChunk(file, "phdr").body, 20), "A VERY LONG BANK NAM");
  EXPECT_EQ(textAt(file, pdtaChunk(file, "inst").body, 20), "A VERY LONG BANK NAM");
}

TEST(Sf2File, AnExistingFileIsReplaced) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("A.WAV", rampPcm(1000), {0})};
  const std::string out = f.out();
  writeBytes(out + "BANK.sf2", std::vector<std::uint8_t>(10000, 0xEE));
  EXPECT_EQ(convert(f, d).size(), 1672u);
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"BANK.sf2"}));
}

TEST(Sf2File, GaugeEndsAtTwoNPlusTenAndThePcmIsReleased) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("A.WAV", rampPcm(10), {0}), pcmSample("B.WAV", rampPcm(10)),
               pcmSample("C.WAV", rampPcm(10))};
  convert(f, d);
  ASSERT_FALSE(f.ui.gauges.empty());
  EXPECT_EQ(f.ui.gauges.back().max, 16);
  const auto progress = f.ui.progressOf(GaugeId::Bank);
  EXPECT_EQ(progress.back(), 16);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.size(), 2u + 16u);  // the reset to 0, then 16 single steps
  EXPECT_EQ(f.ui.busyCalls, (std::vector<bool>{true, false}));
  EXPECT_FALSE(f.ctx.bank.pcm.held());
  EXPECT_EQ(f.ui.log, std::vector<std::string>{"BANK.sf2 written"});
}

TEST(Sf2File, AZoneWithoutASampleIsLeftOut) {
  // A bank without samples: its zones map to sample 0, which it lacks.
  BankFixture f;
  BankDesc d;
  d.zones = {ZoneDesc{}, ZoneDesc{}};
  const std::string path = f.dir.file("EMPTY.TTI");
  writeBank(path, d);
  f.ctx.options.format = &outputFormat(FormatId::Sf2);
  f.select(path);
  const std::string out = f.out();
  writeSoundFontBank(f.ctx, out, nullptr);
  const auto file = readFileBytes(out + "EMPTY.sf2");
  EXPECT_EQ(pdtaChunk(file, "igen").size, 4u);
  EXPECT_EQ(u16At(file, pdtaChunk(file, "inst").body + 42), 0);
  EXPECT_EQ(u32At(file, 4) + 8, file.size());
  EXPECT_EQ(u32At(file, 220 + u32At(file, 212)), 286u);
  // FluidSynth refuses any font without sample data ("File contains no
  // samples"), so no player can judge this one.
}

TEST(Sf2File, AFailedWriteLeavesNoPartAndKeepsTheEarlierFile) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("A.WAV", rampPcm(20000), {0})};
  const auto first = convert(f, d);
  const std::string out = f.dir.file("out") + "/";
  try {
    FileSizeLimit limit(4096);
    writeSoundFontBank(f.ctx, out, nullptr);
    FAIL() << "no error";
  } catch (const RunError& e) {
    EXPECT_EQ(e.message(), "Disk full (file too large)");
    EXPECT_EQ(e.path(), out + "BANK.sf2");
  }
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"BANK.sf2"}));
  EXPECT_EQ(readFileBytes(out + "BANK.sf2"), first);
  EXPECT_FALSE(f.ctx.bank.pcm.held());
  EXPECT_EQ(f.ui.busyCalls.back(), false);
}

TEST(Sf2Fluid, LoadsWithoutWarningsAndEveryZoneSounds) {
  BankFixture f;
  BankDesc d;
  d.samples = {sine("LOW.WAV", {0}), sine("MID.WAV", {1}), sine("HIGH.WAV", {2})};
  ZoneDesc low = exampleZone();  // keys 48-60
  low.attackRate = 120;
  ZoneDesc mid;
  mid.keyLow = 60;  // keys 61-72
  mid.keyHigh = 72;
  mid.velLow = 20;  // velocities 21-100
  mid.velHigh = 100;
  mid.panLeft = 31;
  mid.panRight = 0;
  ZoneDesc high;
  high.keyLow = 80;  // keys 81-100
  high.keyHigh = 100;
  high.transposition = 0xFC;  // root key 68
  high.fineTuneRaw = 0;
  d.zones = {low, mid, high};
  f.ctx.options.format = &outputFormat(FormatId::Sf2);
  f.select(f.write(d));
  const std::string out = f.out();
  writeSoundFontBank(f.ctx, out, nullptr);

  FluidCheck fluid;
  ASSERT_NE(fluid.load(out + "BANK.sf2"), FLUID_FAILED);
  EXPECT_TRUE(fluid.messages().empty()) << fluid.messages().front();
  EXPECT_GT(fluid.peak(48, 100), 0.01f);
  EXPECT_GT(fluid.peak(60, 100), 0.01f);
  EXPECT_GT(fluid.peak(66, 64), 0.01f);
  EXPECT_GT(fluid.peak(90, 64), 0.01f);
  // Outside every range nothing sounds.
  EXPECT_EQ(fluid.peak(47, 100), 0.0f);
  EXPECT_EQ(fluid.peak(75, 100), 0.0f);
  EXPECT_EQ(fluid.peak(66, 110), 0.0f);  // above the middle zone's velocities
}

TEST(Sf2Fluid, VelocityLayersStaySeparate) {
  // Two zones over the same keys: soft notes play a silent sample, loud
  // notes a sine. A player that dropped the velocity ranges would sound
  // both at every velocity.
  BankFixture f;
  BankDesc d;
  SampleDesc quiet = pcmSample("QUIET.WAV", std::vector<std::uint8_t>(8820, 0), {0});
  quiet.loopEndFrame = 4410;
  d.samples = {quiet, sine("LOUD.WAV", {1})};
  ZoneDesc soft, loud;
  soft.velLow = 0;  // 0-63
  soft.velHigh = 63;
  loud.velLow = 63;  // 64-127
  loud.velHigh = 127;
  d.zones = {soft, loud};
  f.ctx.options.format = &outputFormat(FormatId::Sf2);
  f.select(f.write(d));
  const std::string out = f.out();
  writeSoundFontBank(f.ctx, out, nullptr);

  FluidCheck fluid;
  ASSERT_NE(fluid.load(out + "BANK.sf2"), FLUID_FAILED);
  EXPECT_FALSE(fluid.said("invalid generators"));
  EXPECT_EQ(fluid.peak(60, 30), 0.0f);
  EXPECT_GT(fluid.peak(60, 100), 0.01f);
}

TEST(Sf2Fluid, RandomBanksLoadWithoutDiscardedGenerators) {
  std::mt19937 rng(20240607);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 20; ++round) {
    BankFixture f;
    BankDesc d;
    const int samples = pick(1, 6), zones = pick(1, 8);
    for (int i = 0; i < samples; ++i) {
      std::vector<std::uint8_t> named;
      for (int z = i; z < zones; z += samples) named.push_back(static_cast<std::uint8_t>(z));
      SampleDesc s = pcmSample("S" + std::to_string(i) + ".WAV", noisePcm(static_cast<std::size_t>(pick(16, 3000)),
                                                                           static_cast<std::uint32_t>(pick(1, 1000))),
                               named);
      s.loopStartFrame = static_cast<std::uint32_t>(pick(0, 4));
      s.loopEndFrame = static_cast<std::uint32_t>(s.pcm.size() / 2);
      d.samples.push_back(s);
    }
    for (int z = 0; z < zones; ++z) {
      ZoneDesc zd = randomZone(rng);
      zd.keyLow = static_cast<std::uint8_t>(pick(0, 100));
      zd.keyHigh = static_cast<std::uint8_t>(pick(zd.keyLow + 1, 127));
      zd.velLow = static_cast<std::uint8_t>(pick(0, 100));
      zd.velHigh = static_cast<std::uint8_t>(pick(zd.velLow + 1, 127));
      zd.loopWord2 = 0;
      d.zones.push_back(zd);
    }
    const auto file = convert(f, d);
    EXPECT_EQ(u32At(file, 4) + 8, file.size()) << round;
    FluidCheck fluid;
    ASSERT_NE(fluid.load(f.dir.file("out/BANK.sf2")), FLUID_FAILED) << round;
    EXPECT_FALSE(fluid.said("invalid generators")) << round;
    EXPECT_FALSE(fluid.said("invalid")) << round << ": " << fluid.messages().front();
  }
}
