// SPDX-License-Identifier: MIT
// SF3 output: FluidSynth plays every zone of the .sf3 at the pitch and
// level it plays the .sf2 of the same bank at, from the first key of the
// zone's range at its last velocity (both worked out from the bank's
// description), FluidSynth loads it without a word, and the .sf3 is
// smaller than the .sf2 once the bank holds more than 64 KiB of audio.

#include <gtest/gtest.h>

#include <cmath>

#include "output_check.h"
#include "verify_banks.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// Sines of three pitches on zones of their own keys, roots, tunings and
// levels, looped, 180 KiB of audio.
BankDesc toneBank() {
  BankDesc d;
  const double cycles[3] = {220.0 / 44100, 331.0 / 44100, 497.0 / 44100};
  for (int i = 0; i < 3; ++i) {
    SampleDesc s;
    s.name = "TONE" + std::to_string(i) + ".WAV";
    s.pcm = sinePcm(30000, cycles[i]);
    s.loopStartFrame = 10000;
    s.loopEndFrame = 30000;
    s.zones = {static_cast<std::uint8_t>(2 * i), static_cast<std::uint8_t>(2 * i + 1)};
    d.samples.push_back(std::move(s));
  }
  d.zones.resize(6);
  for (int z = 0; z < 6; ++z) {
    ZoneDesc& zd = d.zones[z];
    zd.keyLow = static_cast<std::uint8_t>(20 * z + 9);  // first key 20z + 10
    zd.keyHigh = static_cast<std::uint8_t>(20 * z + 19);
    zd.transposition = static_cast<std::uint8_t>(64 - (20 * z + 12));
    zd.fineTuneRaw = static_cast<std::uint8_t>(96 + 7 * (z - 2));
    zd.volume = static_cast<std::uint8_t>(127 - 9 * z);
    zd.loopWord2 = 2;
  }
  return d;
}

// The first key and last velocity of each zone that sounds.
std::vector<std::pair<int, int>> notesOf(const BankDesc& d) {
  std::vector<std::pair<int, int>> notes;
  for (const ZoneDesc& z : d.zones) {
    const int key = z.keyLow + 1, velocity = z.velHigh;
    if (key <= z.keyHigh && std::max(z.velLow == 0 ? 1 : z.velLow + 1, 1) <= velocity) notes.emplace_back(key, velocity);
  }
  return notes;
}

// The frequency of a rendered tone in cycles per frame, from its rising
// zero crossings (interpolated) after the attack.
double frequency(const std::vector<float>& x) {
  double first = -1, last = -1;
  int crossings = 0;
  for (std::size_t k = 4410; k + 1 < x.size(); ++k) {
    if (x[k] <= 0 && x[k + 1] > 0) {
      const double at = static_cast<double>(k) + x[k] / (x[k] - x[k + 1]);
      if (first < 0) first = at;
      last = at;
      ++crossings;
    }
  }
  return crossings > 1 ? (crossings - 1) / (last - first) : 0;
}

}  // namespace

TEST(Sf3CommandLine, FluidSynthPlaysEveryZoneAtTheSoundFontsPitchAndLevel) {
  std::vector<BankDesc> banks = {toneBank()};
  for (std::uint32_t seed = 51; seed <= 53; ++seed) banks.push_back(randomArchiveBank(seed, 40000));
  double worstCents = 0, worstDb = 0;
  for (std::size_t k = 0; k < banks.size(); ++k) {
    SCOPED_TRACE("bank " + std::to_string(k));
    TempDir dir;
    const BankDesc& d = banks[k];
    writeBank(dir.file("BANK.TTI"), d);
    fs::create_directories(dir.file("out"));
    for (const char* mode : {"sf2", "sf3"}) {
      const CommandResult r =
          runCommand({kCli, "convert", "--mode", mode, "--verify", "--out", dir.file("out"), dir.file("BANK.TTI")});
      ASSERT_EQ(r.exitCode, 0) << mode << ": " << r.out << r.err;
    }
    std::uint64_t audio = 0;
    for (const SampleDesc& s : d.samples) audio += s.pcm.size();
    const auto sf2Size = fs::file_size(dir.file("out/BANK.sf2")), sf3Size = fs::file_size(dir.file("out/BANK.sf3"));
    std::printf("bank %zu: %llu bytes of audio, sf2 %llu bytes, sf3 %llu bytes\n", k,
                static_cast<unsigned long long>(audio), static_cast<unsigned long long>(sf2Size),
                static_cast<unsigned long long>(sf3Size));
    if (audio > 64 * 1024) {
      EXPECT_LT(sf3Size, sf2Size);
    }

    FluidCheck sf2, sf3;
    ASSERT_NE(sf2.load(dir.file("out/BANK.sf2")), FLUID_FAILED);
    ASSERT_NE(sf3.load(dir.file("out/BANK.sf3")), FLUID_FAILED);
    EXPECT_TRUE(sf3.messages().empty()) << sf3.messages().front();
    for (const auto& [key, velocity] : notesOf(d)) {
      SCOPED_TRACE("key " + std::to_string(key));
      const auto a = sf2.render(key, velocity, 22050), b = sf3.render(key, velocity, 22050);
      double ea = 0, eb = 0;
      for (std::size_t i = 0; i < a.left.size(); ++i) {
        ea += a.left[i] * a.left[i] + a.right[i] * a.right[i];
        eb += b.left[i] * b.left[i] + b.right[i] * b.right[i];
      }
      if (ea < 1e-9) continue;  // a zone too quiet to measure plays silence in both
      const double db = 10 * std::log10(eb / ea);
      EXPECT_LT(std::fabs(db), 1.0);
      worstDb = std::max(worstDb, std::fabs(db));
      if (k == 0) {
        const double cents = 1200 * std::log2(frequency(b.left) / frequency(a.left));
        EXPECT_LT(std::fabs(cents), 2.0);
        worstCents = std::max(worstCents, std::fabs(cents));
      }
    }
  }
  std::printf("sf3 against sf2: at most %.3f cents and %.3f dB apart\n", worstCents, worstDb);
}
