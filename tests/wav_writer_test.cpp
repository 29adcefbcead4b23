// SPDX-License-Identifier: MIT
// The WAV writer: headers byte for byte, mono and interleaved stereo data,
// silence for missing bytes, whole frames, the temporary name, and
// libsndfile reading our files back.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "output_check.h"
#include "platform/errors.h"
#include "writers/output_file.h"
#include "jobs/wav_steps.h"
#include "writers/wav_writer.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

std::vector<std::uint8_t> fromHex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t k = 0; k < hex.size();) {
    if (hex[k] == ' ') {
      ++k;
      continue;
    }
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
    k += 2;
  }
  return out;
}

std::vector<std::uint8_t> headerOf(const std::vector<std::uint8_t>& file) {
  return {file.begin(), file.begin() + 112};
}

std::vector<std::uint8_t> dataOf(const std::vector<std::uint8_t>& file) {
  return {file.begin() + 112, file.end()};
}

void writeMono(BankFixture& f, const std::string& out, std::uint16_t index) {
  OutputFile file = WriteWavHeaderMono(f.ctx, out, index);
  CopyPCMDataMono(f.ctx, file, index);
}

void writeStereo(BankFixture& f, const std::string& out, const std::string& name, std::uint16_t l,
                 std::uint16_t r) {
  OutputFile file = WriteWavHeaderStereo(f.ctx, out, name, l, r);
  CopyPCMDataStereo(f.ctx, file, l, r);
}

SampleDesc looped(const std::string& name, std::vector<std::uint8_t> pcm, std::uint32_t loopStart,
                  std::uint32_t loopEnd) {
  SampleDesc s = pcmSample(name, std::move(pcm));
  s.loopStartFrame = loopStart;
  s.loopEndFrame = loopEnd;
  return s;
}

}  // namespace

TEST(WavHeader, MonoHeaderIsByteExact) {
  BankFixture f;
  BankDesc d;
  d.samples = {looped("ONE.WAV", rampPcm(1000), 100, 400)};
  f.load(f.write(d));
  const std::string out = f.out();
  writeMono(f, out, 0);
  const auto file = readFileBytes(out + "ONE.WAV");
  ASSERT_EQ(file.size(), 1112u);
  EXPECT_EQ(headerOf(file),
            fromHex("52494646 50040000 57415645 666d7420 10000000 0100 0100 44ac0000 88580100"
                    "0200 1000 736d706c 3c000000 00000000 00000000 93580000 3c000000 00000000"
                    "00000000 00000000 01000000 00000000 00000000 00000000 64000000 8f010000"
                    "00000000 00000000 64617461 e8030000"));
  EXPECT_EQ(dataOf(file), d.samples[0].pcm);
}

TEST(WavHeader, StereoHeaderIsByteExact) {
  BankFixture f;
  BankDesc d;
  d.samples = {looped("L.WAV", rampPcm(8, 1), 1, 3), looped("R.WAV", rampPcm(8, 2), 1, 3)};
  f.load(f.write(d));
  const std::string out = f.out();
  writeStereo(f, out, "L__R.WAV", 0, 1);
  const auto file = readFileBytes(out + "L__R.WAV");
  ASSERT_EQ(file.size(), 112u + 16u);
  EXPECT_EQ(headerOf(file),
            fromHex("52494646 78000000 57415645 666d7420 10000000 0100 0200 44ac0000 10b10200"
                    "0400 1000 736d706c 3c000000 00000000 00000000 93580000 3c000000 00000000"
                    "00000000 00000000 01000000 00000000 00000000 00000000 01000000 02000000"
                    "00000000 00000000 64617461 10000000"));
}

TEST(WavData, StereoInterleavesTheTwoChannelsFrameByFrame) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("L.WAV", {0xA0, 0xA1, 0xA2, 0xA3}), pcmSample("R.WAV", {0xB0, 0xB1, 0xB2, 0xB3})};
  f.load(f.write(d));
  const std::string out = f.out();
  writeStereo(f, out, "LR.WAV", 0, 1);
  EXPECT_EQ(dataOf(readFileBytes(out + "LR.WAV")),
            (std::vector<std::uint8_t>{0xA0, 0xA1, 0xB0, 0xB1, 0xA2, 0xA3, 0xB2, 0xB3}));
  EXPECT_EQ(f.ui.log, (std::vector<std::string>{"LR.WAV extracted"}));
}

TEST(WavData, EmptySampleGivesAHeaderOnlyFile) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("EMPTY.WAV", {})};
  f.load(f.write(d));
  const std::string out = f.out();
  writeMono(f, out, 0);
  const auto file = readFileBytes(out + "EMPTY.WAV");
  ASSERT_EQ(file.size(), 112u);
  EXPECT_EQ(u32At(file, 4), 104u);
  EXPECT_EQ(u32At(file, 108), 0u);
  EXPECT_EQ(f.ui.log, (std::vector<std::string>{"EMPTY.WAV extracted"}));
}

TEST(WavData, BytesTheLoadedDataDoesNotHoldAreSilence) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("CUT.WAV", rampPcm(1000, 9))};
  auto bytes = buildBank(d);
  bytes.resize(bytes.size() - 400);  // the file ends 400 bytes early
  const std::string bank = f.dir.file("BANK.TTI");
  writeBytes(bank, bytes);
  f.load(bank);
  ASSERT_EQ(f.ctx.bank.pcm.size, 600u);
  const std::string out = f.out();
  writeMono(f, out, 0);
  const auto file = readFileBytes(out + "CUT.WAV");
  ASSERT_EQ(file.size(), 1112u);
  EXPECT_EQ(u32At(file, 108), 1000u);
  std::vector<std::uint8_t> expected(d.samples[0].pcm.begin(), d.samples[0].pcm.begin() + 600);
  expected.resize(1000, 0);
  EXPECT_EQ(dataOf(file), expected);
}

TEST(WavData, SampleStartingBeyondTheLoadedDataIsAllSilence) {
  BankFixture f;
  BankDesc d;
  SampleDesc s = pcmSample("FAR.WAV", rampPcm(4));
  s.start = 100000;
  s.end = 100010;
  d.samples = {s};
  f.load(f.write(d));
  const std::string out = f.out();
  writeMono(f, out, 0);
  EXPECT_EQ(dataOf(readFileBytes(out + "FAR.WAV")), std::vector<std::uint8_t>(10, 0));
}

TEST(WavData, OddLengthIsWrittenInWholeFrames) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("ODD.WAV", rampPcm(1001)), pcmSample("NEXT.WAV", rampPcm(4, 7))};
  f.load(f.write(d));
  const std::string out = f.out();
  writeMono(f, out, 0);
  const auto file = readFileBytes(out + "ODD.WAV");
  ASSERT_EQ(file.size(), 1112u);
  EXPECT_EQ(u32At(file, 4), 1104u);
  EXPECT_EQ(u32At(file, 108), 1000u);
  EXPECT_EQ(dataOf(file), std::vector<std::uint8_t>(d.samples[0].pcm.begin(), d.samples[0].pcm.end() - 1));
}

TEST(WavData, LoopFieldsHoldTheBanksValuesAsTheyAre) {
  BankFixture f;
  BankDesc d;
  SampleDesc s = pcmSample("NOLOOP.WAV", rampPcm(20));
  s.loopStart = 0;
  s.loopEnd = 0;  // loop end at the sample start: last loop frame -1
  d.samples = {s};
  f.load(f.write(d));
  const std::string out = f.out();
  writeMono(f, out, 0);
  const auto file = readFileBytes(out + "NOLOOP.WAV");
  EXPECT_EQ(u32At(file, 88), 0u);
  EXPECT_EQ(u32At(file, 92), 0xFFFFFFFFu);
}

TEST(WavData, StereoLengthComesFromTheLeftSampleAndTheRightIsFittedToIt) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("L.WAV", {1, 2, 3, 4, 5, 6}), pcmSample("SHORT.WAV", {9, 8}),
               pcmSample("LONG.WAV", {7, 7, 6, 6, 5, 5, 4, 4})};
  f.load(f.write(d));
  const std::string out = f.out();
  writeStereo(f, out, "A.WAV", 0, 1);
  writeStereo(f, out, "B.WAV", 0, 2);
  const auto a = readFileBytes(out + "A.WAV");
  EXPECT_EQ(u32At(a, 108), 12u);
  EXPECT_EQ(dataOf(a), (std::vector<std::uint8_t>{1, 2, 9, 8, 3, 4, 0, 0, 5, 6, 0, 0}));
  const auto b = readFileBytes(out + "B.WAV");
  EXPECT_EQ(dataOf(b), (std::vector<std::uint8_t>{1, 2, 7, 7, 3, 4, 6, 6, 5, 6, 5, 5}));
}

TEST(WavData, StereoPairCutShortAtAnOddByteKeepsTheHeldBytesAndPadsWithSilence) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("P L.WAV", {1, 2, 3, 4, 5, 6}), pcmSample("P R.WAV", {11, 12, 13, 14, 15, 16})};
  auto bytes = buildBank(d);
  bytes.resize(bytes.size() - 3);  // the right sample loses its last three bytes
  const std::string bank = f.dir.file("BANK.TTI");
  writeBytes(bank, bytes);
  f.load(bank);
  ASSERT_EQ(f.ctx.bank.pcm.size, 9u);
  const std::string out = f.out();
  writeStereo(f, out, "P__P R.WAV", 0, 1);
  EXPECT_EQ(dataOf(readFileBytes(out + "P__P R.WAV")),
            (std::vector<std::uint8_t>{1, 2, 11, 12, 3, 4, 13, 0, 5, 6, 0, 0}));
}

TEST(WavData, LongStereoPairIsInterleavedAcrossWriteBlocks) {
  BankFixture f;
  BankDesc d;
  const std::size_t frames = 3 * 1024 * 1024;  // 12 MiB of output, more than one block
  d.samples = {pcmSample("BIG L.WAV", rampPcm(2 * frames, 1)), pcmSample("BIG R.WAV", rampPcm(2 * frames, 5))};
  f.load(f.write(d));
  const std::string out = f.out();
  writeStereo(f, out, "BIG.WAV", 0, 1);
  const auto file = readFileBytes(out + "BIG.WAV");
  ASSERT_EQ(file.size(), 112 + 4 * frames);
  const auto& l = d.samples[0].pcm;
  const auto& r = d.samples[1].pcm;
  for (std::size_t k : {std::size_t{0}, frames / 2 - 1, frames / 2, frames - 1}) {
    EXPECT_EQ(file[112 + 4 * k], l[2 * k]) << k;
    EXPECT_EQ(file[112 + 4 * k + 1], l[2 * k + 1]) << k;
    EXPECT_EQ(file[112 + 4 * k + 2], r[2 * k]) << k;
    EXPECT_EQ(file[112 + 4 * k + 3], r[2 * k + 1]) << k;
  }
}

TEST(WavData, PromisedSilenceIsWrittenUpToTheBanksBound) {
  // Samples of a bank of a few hundred bytes that promise 512 KiB each:
  // the file gets its promised length, the bytes the data area holds first
  // (here the 8 bytes of both samples) and silence after them, without
  // writing it. Promising 1 GiB, past the bank's bound of 1 MiB of
  // silence, they keep the bytes the file holds.
  for (const std::uint32_t promised : {1u << 19, 1u << 30}) {
    SCOPED_TRACE(promised);
    BankFixture f;
    BankDesc d;
    SampleDesc s = pcmSample("HUGE L.WAV", {1, 2, 3, 4});
    s.end = promised;
    d.samples = {s, s};
    d.samples[1].name = "HUGE R.WAV";
    f.load(f.write(d));
    const std::string out = f.out();
    writeMono(f, out, 0);
    writeStereo(f, out, "HUGE.WAV", 0, 1);
    const std::uint64_t length = promised < (1u << 20) ? promised : 8;
    EXPECT_EQ(std::filesystem::file_size(out + "HUGE L.WAV"), 112 + length);
    EXPECT_EQ(std::filesystem::file_size(out + "HUGE.WAV"), 112 + 2 * length);
    std::ifstream mono(out + "HUGE L.WAV", std::ios::binary);
    std::vector<char> head(120);
    mono.read(head.data(), 120);
    EXPECT_EQ(std::vector<char>(head.begin() + 112, head.end()), (std::vector<char>{1, 2, 3, 4, 1, 2, 3, 4}));
    std::ifstream stereo(out + "HUGE.WAV", std::ios::binary);
    stereo.read(head.data(), 120);
    EXPECT_EQ(std::vector<char>(head.begin() + 112, head.end()), (std::vector<char>{1, 2, 1, 2, 3, 4, 3, 4}));
    if (length == 8) continue;
    std::vector<char> tail(4);
    mono.read(tail.data(), 4);
    EXPECT_EQ(tail, std::vector<char>(4, 0));
    stereo.seekg(-4, std::ios::end);
    stereo.read(tail.data(), 4);
    EXPECT_EQ(tail, std::vector<char>(4, 0));
  }
}

// A file that takes the name while a WAV file is written is left as it is
// (the job compares it), unless the run overwrites; a folder in the way
// is left as it is too.
TEST(WavFiles, AFileFoundAtTheNameIsKeptUnlessTheRunOverwrites) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("ONE.WAV", rampPcm(10))};
  f.load(f.write(d));
  for (const bool overwrite : {false, true}) {
    for (const bool folder : {false, true}) {
      SCOPED_TRACE(std::string(overwrite ? "overwrite" : "keep") + (folder ? " folder" : " file"));
      const std::string out = f.out(std::string("out") + (overwrite ? "1" : "0") + (folder ? "f" : ""));
      f.ctx.options.overwrite = overwrite;
      OutputFile file = WriteWavHeaderMono(f.ctx, out, 0);
      if (folder) std::filesystem::create_directory(out + "ONE.WAV");
      else writeBytes(out + "ONE.WAV", std::vector<std::uint8_t>(5000, 0xEE));
      bool named = false;
      try {
        named = CopyPCMDataMono(f.ctx, file, 0);
      } catch (const RunError& e) {
        EXPECT_TRUE(folder && overwrite) << e.message();
      }
      EXPECT_EQ(named, overwrite && !folder);
      if (folder) EXPECT_TRUE(std::filesystem::is_directory(out + "ONE.WAV"));
      else EXPECT_EQ(readFileBytes(out + "ONE.WAV").size(), named ? 122u : 5000u);
      EXPECT_EQ(namesIn(out), (std::vector<std::string>{"ONE.WAV"}));
    }
  }
}

TEST(WavFiles, TheFinalNameAppearsOnlyWhenTheDataIsWritten) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("ONE.WAV", rampPcm(10))};
  f.load(f.write(d));
  const std::string out = f.out();
  OutputFile file = WriteWavHeaderMono(f.ctx, out, 0);
  EXPECT_FALSE(std::filesystem::exists(out + "ONE.WAV"));
  EXPECT_TRUE(namesIn(out).empty());  // the header is in a file with no name yet
  CopyPCMDataMono(f.ctx, file, 0);
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"ONE.WAV"}));
}

TEST(WavFiles, LatinOneNamesBecomeUtf8FileNamesAndLogLines) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("\xC9T\xC9.WAV", rampPcm(4))};
  f.load(f.write(d));
  const std::string out = f.out();
  writeMono(f, out, 0);
  EXPECT_TRUE(std::filesystem::exists(out + "\xC3\x89T\xC3\x89.WAV"));
  EXPECT_EQ(f.ui.log, (std::vector<std::string>{"\xC3\x89T\xC3\x89.WAV extracted"}));
}

TEST(WavFiles, AWriteBeyondTheFileSizeLimitIsDiskFullAndLeavesNothing) {
  BankFixture f;
  BankDesc d;
  d.samples = {pcmSample("BIG.WAV", rampPcm(20000))};
  f.load(f.write(d));
  const std::string out = f.out();
  try {
    FileSizeLimit limit(8192);
    OutputFile file = WriteWavHeaderMono(f.ctx, out, 0);
    CopyPCMDataMono(f.ctx, file, 0);
    FAIL() << "no error";
  } catch (const RunError& e) {
    EXPECT_EQ(e.code(), kDiskFull);
    EXPECT_EQ(e.message(), "Disk full (file too large)");
    EXPECT_EQ(e.path(), out + "BIG.WAV");
  }
  EXPECT_TRUE(namesIn(out).empty());
}

TEST(WavSndfile, MonoFileReadsBackWithItsFramesAndLoop) {
  BankFixture f;
  BankDesc d;
  d.samples = {looped("SINE.WAV", sinePcm(3000, 0.01), 1000, 2500)};
  f.load(f.write(d));
  const std::string out = f.out();
  writeMono(f, out, 0);
  const SndRead r = readWithSndfile(out + "SINE.WAV");
  ASSERT_TRUE(r.opened);
  EXPECT_EQ(r.info.channels, 1);
  EXPECT_EQ(r.info.frames, 3000);
  EXPECT_EQ(r.info.samplerate, 44100);
  ASSERT_TRUE(r.hasInstrument);
  ASSERT_EQ(r.inst.loop_count, 1);
  EXPECT_EQ(r.inst.loops[0].mode, SF_LOOP_FORWARD);
  EXPECT_EQ(r.inst.loops[0].start, 1000u);
  // libsndfile reports the frame after the loop's last one.
  EXPECT_EQ(r.inst.loops[0].end, 2500u);
  EXPECT_EQ(r.inst.basenote, 60);
  ASSERT_EQ(r.frames.size(), 3000u);
  EXPECT_EQ(0, std::memcmp(r.frames.data(), d.samples[0].pcm.data(), 6000));
}

TEST(WavSndfile, StereoFileReadsBackAsTwoChannels) {
  BankFixture f;
  BankDesc d;
  d.samples = {looped("PAD L.WAV", sinePcm(2000, 0.01), 500, 2000),
               looped("PAD R.WAV", noisePcm(2000, 7), 500, 2000)};
  f.load(f.write(d));
  const std::string out = f.out();
  writeStereo(f, out, "PAD L__PAD R.WAV", 0, 1);
  const SndRead r = readWithSndfile(out + "PAD L__PAD R.WAV");
  ASSERT_TRUE(r.opened);
  EXPECT_EQ(r.info.channels, 2);
  EXPECT_EQ(r.info.frames, 2000);
  ASSERT_TRUE(r.hasInstrument);
  EXPECT_EQ(r.inst.loops[0].start, 500u);
  EXPECT_EQ(r.inst.loops[0].end, 2000u);
  ASSERT_EQ(r.frames.size(), 4000u);
  for (std::size_t k : {std::size_t{0}, std::size_t{777}, std::size_t{1999}}) {
    std::int16_t l, rr;
    std::memcpy(&l, d.samples[0].pcm.data() + 2 * k, 2);
    std::memcpy(&rr, d.samples[1].pcm.data() + 2 * k, 2);
    EXPECT_EQ(r.frames[2 * k], l) << k;
    EXPECT_EQ(r.frames[2 * k + 1], rr) << k;
  }
}

TEST(WavFiles, ABankCutShortAfterLoadingIsReadBeyondEndOfFileAndLeavesNothing) {
  // The sample bytes stay in the bank file until they are written.
  for (bool stereo : {false, true}) {
    BankFixture f;
    BankDesc d;
    d.samples = {pcmSample("L.WAV", rampPcm(5000)), pcmSample("R.WAV", rampPcm(5000, 3))};
    const std::string bank = f.write(d);
    f.load(bank);
    std::filesystem::resize_file(bank, std::filesystem::file_size(bank) - 1000);
    const std::string out = f.out();
    try {
      if (stereo) writeStereo(f, out, "LR.WAV", 0, 1);
      else writeMono(f, out, 1);
      ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
      EXPECT_EQ(e.code(), kReadBeyondEnd);
      EXPECT_EQ(e.path(), bank);
    }
    EXPECT_TRUE(namesIn(out).empty()) << stereo;
  }
}


TEST(OutputBlocks, BytesSpansAndSilenceArriveInOrderAcrossBlocks) {
  // A PCM area of 3 MiB with a pattern; pieces of every kind cross the
  // 1 MiB block ends, and a long silence run moves the file's end; blocks
  // written by the calling thread and by a thread of the writer's own.
  TempDir t;
  PcmArea pcm;
  pcm.size = 3u << 20;
  pcm.memory = allocatePcm(pcm.size);
  for (std::uint32_t k = 0; k < pcm.size; ++k) pcm.memory[k] = static_cast<std::uint8_t>(k * 31 + k / 4099);
  for (bool background : {false, true}) {
    std::vector<std::uint8_t> expected(77, 0xAB), buffer;
    File f(t.file("out"), File::Mode::Create);
    f.writeAll(expected.data(), expected.size());  // the writer starts mid-block
    {
      BlockWriter out(f, buffer, expected.size(), background);
      const std::vector<std::uint8_t> bytes(5000, 7);
      auto span = [&](std::uint64_t start, std::size_t held, std::size_t size) {
        out.putSpan(pcm, {start, held, size});
        expected.insert(expected.end(), pcm.memory.get() + start, pcm.memory.get() + start + held);
        expected.resize(expected.size() + size - held, 0);
      };
      span(10, (1u << 20) + 123, (1u << 20) + 123);
      out.put(bytes.data(), bytes.size());
      expected.insert(expected.end(), bytes.begin(), bytes.end());
      span(999, 300000, 300064);               // a short silence after the bytes
      span(5, 2000, (3u << 20) + 1);            // a silence run longer than a block
      span(pcm.size - 1001, 1000, 1000);
      out.putSilence(64);
      expected.resize(expected.size() + 64, 0);
      out.finish();
    }
    f.close();
    EXPECT_TRUE(readFileBytes(t.file("out")) == expected) << background;
  }
}
