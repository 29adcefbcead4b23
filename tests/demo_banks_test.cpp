// SPDX-License-Identifier: MIT
// The demo banks, converted to SoundFonts by vantrel-cli, sound in FluidSynth
// on every key and velocity their zones claim, and the stereo pad keeps
// its two sides apart.

#include <gtest/gtest.h>

#include <filesystem>

#include "demo_banks.h"
#include "output_check.h"

using namespace vantrel::testing;

namespace {

// Upward zero crossings per second of a channel: its pitch for a sine.
double crossingsPerSecond(const std::vector<float>& wave) {
  int n = 0;
  for (std::size_t k = 1; k < wave.size(); ++k)
    if (wave[k - 1] < 0 && wave[k] >= 0) ++n;
  return n * 44100.0 / static_cast<double>(wave.size());
}

}  // namespace

TEST(DemoBanks, EverySoundFontSoundsOnEveryKeyAndVelocityItsZonesClaim) {
  TempDir dir;
  const std::string out = dir.file("out");
  std::filesystem::create_directories(out);
  for (const DemoBank& demo : demoBanks()) {
    SCOPED_TRACE(demo.path);
    const std::string bank = dir.file(std::filesystem::path(demo.path).filename().string());
    writeBank(bank, demo.bank);
    const auto r = runCommand({VANTREL_CLI, "convert", "--mode", "sf2", "--out", out, bank});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string font = out + "/" + std::filesystem::path(bank).stem().string() + ".sf2";
    FluidCheck fluid;
    ASSERT_NE(fluid.load(font), FLUID_FAILED) << font;
    for (const ZoneDesc& zone : demo.bank.zones) {
      const ZoneSpan span = zoneSpan(zone);
      ASSERT_LE(span.keyLow, span.rootKey);
      ASSERT_GE(span.keyHigh, span.rootKey);
      // Velocity 0 is a note off: the softest note is 1, and so soft that
      // any output at all is what tells a zone that plays from none.
      for (int key : {span.keyLow, span.rootKey, span.keyHigh})
        for (int velocity : {std::max(span.velLow, 1), span.velHigh})
          EXPECT_GT(fluid.peak(key, velocity), 0.0f) << "key " << key << " velocity " << velocity;
      EXPECT_GT(fluid.peak(span.rootKey, span.velHigh), 0.001f) << "root key " << span.rootKey;
    }
    EXPECT_TRUE(fluid.messages().empty()) << fluid.messages().front();
  }
}

TEST(DemoBanks, PadSidesPlayTheirOwnPitchOnTheirOwnSide) {
  TempDir dir;
  const std::string out = dir.file("out");
  std::filesystem::create_directories(out);
  const std::string bank = dir.file("PAD.TTI");
  for (const DemoBank& demo : demoBanks())
    if (demo.path == "PAD.TTI") writeBank(bank, demo.bank);
  ASSERT_EQ(runCommand({VANTREL_CLI, "convert", "--mode", "sf2", "--out", out, bank}).exitCode, 0);
  FluidCheck fluid;
  ASSERT_NE(fluid.load(out + "/PAD.sf2"), FLUID_FAILED);
  // At the root key each sample plays at its own pitch: 220 Hz left,
  // 277 Hz right.
  const FluidCheck::Sound s = fluid.render(57, 100, 44100);
  EXPECT_NEAR(crossingsPerSecond(s.left), 220.0, 3.0);
  EXPECT_NEAR(crossingsPerSecond(s.right), 277.0, 3.0);
}
