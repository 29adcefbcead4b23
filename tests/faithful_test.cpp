// SPDX-License-Identifier: MIT
// --faithful output against what the bank means, worked out here from the
// bank's description and read back by real readers: libsndfile for the
// WAV files' "smpl" chunks.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "output_check.h"
#include "tti/byte_source.h"
#include "verify/expected.h"
#include "verify_banks.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// A random archive bank that reaches every case faithful output treats
// apart: loops within their sample, past its end and reversed, samples
// without frames, a negative root key, tuning beyond -99 cents, a pan
// beyond +500, and lowest keys and velocities stored as 127.
BankDesc faithfulBank(std::uint32_t seed) {
  BankDesc d = randomArchiveBank(seed);
  std::mt19937 rng(seed * 7919);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (std::size_t i = 0; i < d.samples.size(); ++i) {
    SampleDesc& s = d.samples[i];
    const auto frames = static_cast<std::uint32_t>(s.pcm.size() / 2);
    // The right sample of a pair keeps its left sample's loop.
    if (i > 0 && s.name.find("R.WAV") != std::string::npos) {
      s.loopStartFrame = d.samples[i - 1].loopStartFrame;
      s.loopEndFrame = d.samples[i - 1].loopEndFrame;
      continue;
    }
    switch (pick(0, 3)) {
      case 1: s.loopEndFrame = frames + static_cast<std::uint32_t>(pick(1, 40)); break;  // past the end
      case 2:  // reversed
        s.loopStartFrame = frames / 2 + 2;
        s.loopEndFrame = frames / 2;
        break;
      case 3: s.loopStartFrame = frames + 3, s.loopEndFrame = frames + 9; break;  // wholly after it
      default: break;  // within, as drawn
    }
  }
  // Most zones sound: their ranges run upwards.
  for (ZoneDesc& z : d.zones) {
    if (z.keyLow > z.keyHigh) std::swap(z.keyLow, z.keyHigh);
    if (z.velLow > z.velHigh) std::swap(z.velLow, z.velHigh);
  }
  const auto zone = [&](int k) -> ZoneDesc& { return d.zones[(seed + k) % d.zones.size()]; };
  zone(0).keyLow = 127;
  zone(1).transposition = 100;  // root key -36
  zone(2).fineTuneRaw = 0;      // -151 cents
  zone(3).panLeft = 31, zone(3).panRight = 127;  // right level 160 of 31
  zone(4).velLow = 127;
  return d;
}

// A zone as the bank's description means it.
struct Meaning {
  int sample = 0;
  std::uint32_t frames = 0;  // of its sample
  bool sounds = false;
  int root = 60;  // as stored, may be negative
  int cents = 0;  // tuning
  bool loops = false;  // asks for a loop and its sample's loop lies within the sample
  int loopStart = 0, loopEnd = 0;  // first and last frame
};

Meaning meaningOf(const BankDesc& d, std::size_t z) {
  Meaning m;
  // The zone plays the last sample whose list names it; sample 0 if none.
  for (std::size_t i = 0; i < d.samples.size(); ++i) {
    if (std::count(d.samples[i].zones.begin(), d.samples[i].zones.end(), z)) m.sample = static_cast<int>(i);
  }
  std::uint32_t start = static_cast<std::uint32_t>(d.pcmPrefix.size());
  for (int i = 0; i < m.sample; ++i) start += static_cast<std::uint32_t>(d.samples[i].pcm.size());
  const SampleDesc& s = d.samples[m.sample];
  m.frames = (s.end.value_or(start + static_cast<std::uint32_t>(s.pcm.size())) - start) / 2;
  const ZoneDesc& zd = d.zones[z];
  // Low key and velocity are stored one below the first played (a
  // velocity of 0 is "from 0"); velocity 0 is no note.
  const int keyLow = zd.keyLow + 1, velLow = zd.velLow == 0 ? 0 : zd.velLow + 1;
  m.sounds = keyLow <= zd.keyHigh && std::max(velLow, 1) <= zd.velHigh && m.frames > 0;
  m.root = static_cast<std::int8_t>(static_cast<std::uint8_t>(64 - zd.transposition));
  m.cents = static_cast<int>(std::lround((zd.fineTuneRaw - 96) * 11.0 / 7));
  m.loopStart = static_cast<int>(s.loopStartFrame);
  m.loopEnd = static_cast<int>(s.loopEndFrame) - 1;
  m.loops = std::abs(zd.loopWord1 - zd.loopWord2) >= 2 && m.loopStart <= m.loopEnd && m.loopEnd >= 0 &&
            static_cast<std::uint32_t>(m.loopEnd) < m.frames;
  return m;
}

// The first zone that sounds and plays `sample`, if any.
std::optional<Meaning> firstZone(const BankDesc& d, int sample) {
  for (std::size_t z = 0; z < d.zones.size(); ++z) {
    const Meaning m = meaningOf(d, z);
    if (m.sample == sample && m.sounds) return m;
  }
  return std::nullopt;
}

// A bank as the reader loads it, for the names of its output files.
SampleBank loaded(const BankDesc& d, const std::string& path) {
  SampleBank bank;
  const std::vector<std::uint8_t> bytes = buildBank(d);
  MemorySource source(bytes.data(), bytes.size(), path);
  readDirectory(source, bank);
  bank.ttiPath = path;
  return bank;
}

void convert(const std::string& bank, const std::string& mode, const std::string& out, bool faithful) {
  fs::create_directories(out);
  std::vector<std::string> argv = {kCli, "convert", "-q", "--mode", mode, "--out", out, bank};
  if (faithful) argv.push_back("--faithful");
  const CommandResult r = runCommand(argv);
  ASSERT_EQ(r.exitCode, 0) << mode << ": " << r.err;
}

// The bytes of every file in a folder, sorted.
std::vector<std::vector<std::uint8_t>> contents(const std::string& folder) {
  std::vector<std::vector<std::uint8_t>> all;
  for (const auto& e : fs::directory_iterator(folder)) all.push_back(readFileBytes(e.path().string()));
  std::sort(all.begin(), all.end());
  return all;
}

}  // namespace

// Each WAV file's unity note and pitch fraction are its sample's root key
// minus the tuning of the first zone that plays it, its loop that zone's
// loop where it lies within the sample; frames and format stay as the
// exact file has them. SFZ and DecentSampler folders hold the same files.
TEST(FaithfulWav, SmplSaysTheFirstZonesPitchAndOnlyALoopThatPlays) {
  TempDir dir;
  int pitched = 0, looped = 0, unlooped = 0;
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const BankDesc d = faithfulBank(seed);
    const std::string bank = dir.file("F" + std::to_string(seed) + ".TTI");
    writeBank(bank, d);
    const verify::BankOutputNames names = verify::bankOutputNames(loaded(d, bank));
    const std::string exact = dir.file("exact" + std::to_string(seed)), faithful = dir.file("f" + std::to_string(seed));
    for (const auto& [mode, folder, files] : {std::tuple{"mono", names.monoFolder, names.mono},
                                              std::tuple{"stereo", names.stereoFolder, names.stereo}}) {
      convert(bank, mode, exact, false);
      convert(bank, mode, faithful, true);
      for (const verify::WavName& f : files) {
        SCOPED_TRACE(f.name);
        const SndRead a = readWithSndfile(exact + "/" + folder + "/" + f.name);
        const SndRead b = readWithSndfile(faithful + "/" + folder + "/" + f.name);
        ASSERT_EQ(b.opened, a.opened);
        if (!a.opened) continue;  // libsndfile opens no file without frames
        ASSERT_TRUE(b.hasInstrument);
        EXPECT_EQ(b.info.format, a.info.format);
        EXPECT_EQ(b.info.channels, a.info.channels);
        EXPECT_EQ(b.info.samplerate, a.info.samplerate);
        EXPECT_EQ(b.frames, a.frames);
        const std::optional<Meaning> m = firstZone(d, f.left);
        const int cents = m && m->root >= 0 ? std::clamp(m->root * 100 - m->cents, 0, 12700) : 6000;
        EXPECT_EQ(b.inst.basenote, cents / 100);
        EXPECT_EQ(b.inst.detune, cents % 100);
        pitched += cents != 6000;
        if (m && m->loops) {
          ++looped;
          ASSERT_EQ(b.inst.loop_count, 1);
          EXPECT_EQ(b.inst.loops[0].mode, SF_LOOP_FORWARD);
          EXPECT_EQ(b.inst.loops[0].start, static_cast<unsigned>(m->loopStart));
          EXPECT_EQ(b.inst.loops[0].end, static_cast<unsigned>(m->loopEnd) + 1);
        } else {
          ++unlooped;
          EXPECT_EQ(b.inst.loop_count, 0);
        }
      }
    }
    for (const char* mode : {"sfz", "dspreset"}) {
      convert(bank, mode, faithful, true);
      const std::string samples = faithful + "/" + (mode == std::string("sfz") ? "SFZ_" : "DS_") + fileNamePart(bank) + "/samples";
      EXPECT_EQ(contents(samples), contents(faithful + "/" + names.monoFolder)) << mode;
    }
  }
  EXPECT_GT(pitched, 10);
  EXPECT_GT(looped, 5);
  EXPECT_GT(unlooped, 5);
}
