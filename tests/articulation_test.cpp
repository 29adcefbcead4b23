// SPDX-License-Identifier: MIT
// Decoding the zone articulation of a parameter block.

#include <gtest/gtest.h>

#include "bank_builder.h"
#include "platform/errors.h"
#include "tti/articulation.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

ZoneArticulation decode(const std::vector<std::uint8_t>& block) {
  ZoneArticulation art;
  getsf2values(block.data(), block.size(), art, "bank.tti");
  return art;
}

void putWord(std::vector<std::uint8_t>& block, std::size_t index, std::uint16_t value) {
  if (block.size() < 2 * index + 2) block.resize(2 * index + 2, 0);
  block[2 * index] = static_cast<std::uint8_t>(value);
  block[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
}

int errorCodeOf(const std::vector<std::uint8_t>& block) {
  try {
    decode(block);
  } catch (const RunError& e) {
    return e.code();
  }
  return 0;
}

}  // namespace

TEST(Sf2Articulation, DirectoryEntryWithTheEndBitIsTheLastZone) {
  ZoneDesc z;
  z.keyLow = 47;
  z.keyHigh = 60;
  z.velLow = 0;
  z.velHigh = 127;
  auto art = decode(buildParamBlock({z}));
  EXPECT_EQ(art.zoneCount, 1);
  EXPECT_EQ(art.zoneKeyLow[0], 47);
  EXPECT_EQ(art.zoneKeyHigh[0], 60);
  EXPECT_EQ(art.zoneVelLow[0], 0);
  EXPECT_EQ(art.zoneVelHigh[0], 127);
}

TEST(Sf2Articulation, RecordWalkFollowsTheFlagWords) {
  // R = 100, a = 1, b = 0, c = 0, d = 1: second flag word at 114, volume at
  // 115, tuning at 117, loop words at 119 and 124, third flag word at 126,
  // fourth at 127, pan at 129, envelope words at 135 to 138.
  std::vector<std::uint8_t> block;
  putWord(block, 0, 0x2F00);          // low key 47, low velocity 0
  putWord(block, 1, 0x8000 | 0x3C7F);  // end bit, high key 60, high velocity 127
  putWord(block, 2, 100);
  putWord(block, 111, 0x0041);        // first flag word: bits 0 and 6 -> a = 1
  putWord(block, 114, 0x0000);        // b = 0
  putWord(block, 115, 100 << 8);      // volume 100
  putWord(block, 117, (4 << 8) | (106 << 1));  // transposition 4, fine tune raw 106
  putWord(block, 119, 10);
  putWord(block, 124, 12);            // loop words differ by 2: looped
  putWord(block, 126, 0x0000);        // c = 0
  putWord(block, 127, 0x0040);        // d = 1
  putWord(block, 129, (25 << 9) | (10 << 4));  // right 25, left 10
  putWord(block, 135, 127);           // attack rate 127 -> 0
  putWord(block, 136, 40 << 7);       // sustain level 40
  putWord(block, 137, 100);           // decay rate 100 -> 27
  putWord(block, 138, 67);            // release rate 67 -> 60
  auto art = decode(block);
  ASSERT_EQ(art.zoneCount, 1);
  EXPECT_EQ(art.zoneVolume[0], 100);
  EXPECT_EQ(art.zoneFineTune[0], 10);
  EXPECT_EQ(art.zoneRootKey[0], 60);
  EXPECT_EQ(art.zoneLooped[0], 1);
  EXPECT_EQ(art.zonePanLeft[0], 10);
  EXPECT_EQ(art.zonePanRight[0], 25);
  EXPECT_EQ(art.zoneAttack[0], 0);
  EXPECT_EQ(art.zoneSustain[0], 40);
  EXPECT_EQ(art.zoneDecay[0], 27);
  EXPECT_EQ(art.zoneRelease[0], 60);
}

TEST(Sf2Articulation, BothFlagBitsMoveByOneWordLikeOne) {
  for (std::uint16_t flag : {0x0001, 0x0040, 0x0041}) {
    ZoneDesc z;
    z.volume = 77;
    // A record laid out for a = 1, whose first flag word holds `flag`.
    ZoneDesc shifted = z;
    shifted.a = true;
    auto expected = buildParamBlock({shifted});
    putWord(expected, 3 + 11, flag);
    EXPECT_EQ(decode(expected).zoneVolume[0], 77) << flag;
  }
}

TEST(Sf2Articulation, FineTuneRootKeyAndRates) {
  struct Case {
    std::uint8_t fineRaw, transposition;
    int fine, root;
  } cases[] = {{96, 0, 0, 64}, {0, 4, -96, 60}, {127, 0xFC, 31, 68}, {96, 65, 0, -1}, {96, 127, 0, -63}};
  for (const auto& c : cases) {
    ZoneDesc z;
    z.fineTuneRaw = c.fineRaw;
    z.transposition = c.transposition;
    z.attackRate = 0;
    z.releaseRate = 127;
    auto art = decode(buildParamBlock({z}));
    EXPECT_EQ(art.zoneFineTune[0], c.fine);
    EXPECT_EQ(art.zoneRootKey[0], c.root);
    EXPECT_EQ(art.zoneAttack[0], 127);
    EXPECT_EQ(art.zoneRelease[0], 0);
  }
}

TEST(Sf2Articulation, LoopFlagNeedsADifferenceOfTwo) {
  struct Case {
    std::uint16_t a, b;
    int looped;
  } cases[] = {{5, 5, 0}, {5, 6, 0}, {6, 5, 0}, {5, 7, 1}, {7, 5, 1}, {0, 0xFFFF, 1}};
  for (const auto& c : cases) {
    ZoneDesc z;
    z.loopWord1 = c.a;
    z.loopWord2 = c.b;
    EXPECT_EQ(decode(buildParamBlock({z})).zoneLooped[0], c.looped) << c.a << " " << c.b;
  }
}

TEST(Sf2Articulation, RightPanLevelKeepsSevenBits) {
  ZoneDesc z;
  z.panLeft = 31;
  z.panRight = 127;
  auto art = decode(buildParamBlock({z}));
  EXPECT_EQ(art.zonePanLeft[0], 31);
  EXPECT_EQ(art.zonePanRight[0], 127);
}

TEST(Sf2Articulation, ManyZonesAreDecodedInFull) {
  std::vector<ZoneDesc> zones(300);
  for (std::size_t k = 0; k < zones.size(); ++k) zones[k].volume = static_cast<std::uint8_t>(k % 128);
  auto art = decode(buildParamBlock(zones));
  ASSERT_EQ(art.zoneCount, 300);
  EXPECT_EQ(art.zoneVolume[299], 299 % 128);
}

TEST(Sf2Articulation, MalformedBlocksAreInvalidBanksNeverReadsOutside) {
  EXPECT_EQ(errorCodeOf({}), kInvalidBank);
  EXPECT_EQ(errorCodeOf({1, 2, 3}), kInvalidBank);
  // No end bit: the directory runs into the records and off the block.
  EXPECT_EQ(errorCodeOf(buildParamBlock({ZoneDesc{}}, false)), kInvalidBank);
  // A record index beyond the block.
  std::vector<std::uint8_t> block = buildParamBlock({ZoneDesc{}});
  putWord(block, 2, 0xFFF0);
  EXPECT_EQ(errorCodeOf(block), kInvalidBank);
  // A block cut one word short of the last envelope word.
  block = buildParamBlock({ZoneDesc{}});
  block.resize(block.size() - 2);
  EXPECT_EQ(errorCodeOf(block), kInvalidBank);
  // An odd trailing byte is not a word.
  block = buildParamBlock({ZoneDesc{}});
  block.push_back(0xAB);
  EXPECT_EQ(errorCodeOf(block), 0);
}

TEST(Sf2Articulation, DirectoryWithoutEndWithin4096ZonesIsRefused) {
  // 4097 directory entries, none with the end bit, all pointing at record 0.
  std::vector<std::uint8_t> block(2 * (3 * 4097 + 20), 0);
  EXPECT_EQ(errorCodeOf(block), kInvalidBank);
}
