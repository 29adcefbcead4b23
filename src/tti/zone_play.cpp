// SPDX-License-Identifier: MIT
#include "tti/zone_play.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

const std::array<std::int16_t, 128> envTimeTable = {
    -32768, -32768, -32768, -32768, -32768, -32768, -32768, -32768,  // 0-7
    -32768, -32768, -32768, -32768, -32768, -32768, -32768, -32768,  // 8-15
    -32768, -32768, -32768, -32768, -32768, -32768, -32768, -32768,  // 16-23
    -32768, -32768, -5908,  -5240,  -5013,  -4738,  -4577,  -4300,   // 24-31
    -4184,  -4039,  -3922,  -3825,  -3610,  -3546,  -3414,  -3116,   // 32-39
    -2981,  -2731,  -2412,  -2305,  -2267,  -2113,  -2001,  -1895,   // 40-47
    -1792,  -1688,  -1526,  -1333,  -1220,  -1123,  -967,   -828,    // 48-55
    -637,   -447,   -237,   -102,   20,     131,    271,    414,     // 56-63
    567,    731,    926,    1043,   1155,   1289,   1438,   1591,    // 64-71
    1701,   1820,   1942,   2077,   2226,   2322,   2432,   2543,    // 72-79
    2659,   2787,   2932,   3083,   3251,   3436,   3643,   3732,    // 80-87
    3780,   3830,   3830,   3880,   3930,   3982,   4038,   4094,    // 88-95
    4153,   4213,   4277,   4341,   4341,   4408,   4479,   4552,    // 96-103
    4552,   4629,   4709,   4793,   4882,   4975,   5075,   5075,    // 104-111
    5075,   5075,   5075,   5075,   5075,   5075,   5075,   5075,    // 112-119
    5075,   5075,   5075,   5075,   5075,   5075,   5075,   5075,    // 120-127
};

namespace {

// num / den to the nearest integer, halves away from zero (den > 0).
int roundDiv(int num, int den) {
  return num >= 0 ? (2 * num + den) / (2 * den) : -((-2 * num + den) / (2 * den));
}

int envTime(std::uint8_t stored) { return envTimeTable[stored < 128 ? stored : 127]; }

}  // namespace

double envelopeSeconds(int timecents) {
  return timecents == kShortestTimecents ? 0.0 : std::exp2(timecents / 1200.0);
}

ZonePlay interpretZone(const SampleBank& bank, const ZoneArticulation& a, std::uint16_t zone) {
  const std::size_t z = zone;
  ZonePlay p;
  {
    p.zone = static_cast<std::uint16_t>(z);
    p.sample = bank.zoneSample[z];
    const bool inBank = p.sample < bank.sampleCount;
    // A sample plays in whole 16-bit frames: an odd last byte has no partner.
    p.frames = inBank ? (bank.pcmLength[p.sample] & ~1u) / 2 : 0;

    // The stored low bounds are one below the first key and velocity
    // played, in a byte; a stored low velocity of 0 stays 0.
    p.keyLow = static_cast<std::uint8_t>(a.zoneKeyLow[z] + 1);
    p.keyHigh = a.zoneKeyHigh[z];
    p.velLow = static_cast<std::uint8_t>(a.zoneVelLow[z] == 0 ? 0 : a.zoneVelLow[z] + 1);
    p.velHigh = a.zoneVelHigh[z];

    p.storedRootKey = a.zoneRootKey[z];
    p.rootKey = p.storedRootKey < 0 ? 60 : p.storedRootKey;
    p.tuningCents = roundDiv(a.zoneFineTune[z] * 11, 7);
    p.attenuationCb = 1440 - roundDiv(a.zoneVolume[z] * 1440, 127);

    // Pan from the two stored levels (31 is silent, 0 is full, in a byte):
    // the louder side wins, scaled so that 31 is fully to that side
    // (+-500); equal levels are centred.
    const auto left = static_cast<std::uint8_t>(31 - a.zonePanLeft[z]);
    const auto right = static_cast<std::uint8_t>(31 - a.zonePanRight[z]);
    p.pan = left == right ? 0 : left > right ? -roundDiv(left * 500, 31) : roundDiv(right * 500, 31);

    p.attackTimecents = envTime(a.zoneAttack[z]);
    p.decayTimecents = envTime(a.zoneDecay[z]);
    p.releaseTimecents = envTime(a.zoneRelease[z]);
    p.attack = envelopeSeconds(p.attackTimecents);
    p.decay = envelopeSeconds(p.decayTimecents);
    p.release = envelopeSeconds(p.releaseTimecents);
    // Sustain 63 is no decrease, 0 is 100 dB down.
    p.sustainCb = 1000 - roundDiv(a.zoneSustain[z] * 1000, 63);
    p.sustain = std::pow(10.0, -p.sustainCb / 200.0);

    // The loop is the sample's; its end frame is played.
    p.looped = a.zoneLooped[z] == 1;
    if (inBank) {
      p.loopStart = bank.loopStart[p.sample];
      p.loopEnd = bank.loopEnd[p.sample];
    }
    if (!p.looped) p.loop = LoopPlay::None;
    else if (p.frames == 0) p.loop = LoopPlay::EmptySample;
    else if (p.loopStart > p.loopEnd) p.loop = LoopPlay::Reversed;
    else if (p.loopStart < 0 || static_cast<std::uint32_t>(p.loopEnd) >= p.frames) p.loop = LoopPlay::Outside;
    else p.loop = LoopPlay::Forward;

    // Velocity 0 is a note-off: a range sounds from velocity 1 at the lowest.
    if (!inBank) p.silence = Silence::NoSample;
    else if (p.keyLow > p.keyHigh) p.silence = Silence::EmptyKeys;
    else if (std::max(p.velLow, 1) > p.velHigh) p.silence = Silence::EmptyVelocities;
    else if (p.frames == 0) p.silence = Silence::NoFrames;
    else if (p.frames == 1) p.silence = Silence::OneFrame;
  }
  return p;
}

std::vector<ZonePlay> interpretZones(const SampleBank& bank, const ZoneArticulation& art) {
  std::vector<ZonePlay> zones;
  zones.reserve(art.zoneCount);
  for (std::uint16_t z = 0; z < art.zoneCount; ++z) zones.push_back(interpretZone(bank, art, z));
  return zones;
}

const ZonePlay* firstZoneOf(const std::vector<ZonePlay>& zones, std::uint16_t sample) {
  for (const ZonePlay& z : zones) {
    if (z.sample == sample && z.sounds()) return &z;
  }
  return nullptr;
}

}  // namespace vantrel
