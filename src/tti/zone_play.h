// SPDX-License-Identifier: MIT
#pragma once
// How each zone of a bank plays, worked out once from its stored values:
// the plain record every writer, the preview and the listings read. The
// stored values themselves (ZoneArticulation) stay as the bank has them.

#include <array>
#include <cstdint>
#include <vector>

#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel {

// Envelope times in timecents for the stored envelope values 0-127
// (127 minus the bank's rate); -32768 stands for the shortest time.
extern const std::array<std::int16_t, 128> envTimeTable;
constexpr int kShortestTimecents = -32768;

// Why a zone never sounds, if it does not.
enum class Silence : std::uint8_t {
  None,            // it sounds
  EmptyKeys,       // its first key lies above its last (a stored low key of 127 too)
  EmptyVelocities, // its first velocity (1 at the lowest) lies above its last
  NoFrames,        // its sample holds no whole frame
  OneFrame,        // its sample holds one frame: FluidSynth refuses such a sample, others play it
  NoSample,        // its sample is not in the bank
};

// Whether a zone loops, and if it asks for a loop but cannot have one, why.
enum class LoopPlay : std::uint8_t {
  None,        // the zone plays its sample once
  Forward,     // loopStart..loopEnd, both within the sample
  Outside,     // the loop starts before the sample or ends at or past its last frame
  Reversed,    // the loop ends before it starts
  EmptySample, // the sample holds no frame to loop
};

struct ZonePlay {
  std::uint16_t zone = 0;    // the bank's zone number
  std::uint16_t sample = 0;  // the bank's sample it plays
  std::uint32_t frames = 0;  // whole 16-bit frames of that sample (0 when not in the bank)

  // Keys and velocities that sound it: the bank stores each low bound one
  // below the first one played, in a byte (so a stored 127 gives 128, an
  // empty range); a stored low velocity of 0 means "from 0".
  int keyLow = 0, keyHigh = 127;
  int velLow = 0, velHigh = 127;

  int storedRootKey = 60;  // the bank's root key, which may be negative
  int rootKey = 60;        // the key that plays the sample unchanged: 60 where the bank's is negative
  int tuningCents = 0;     // fine tune, in cents (the bank counts in steps of 11/7 cent)
  int attenuationCb = 0;   // 0 at full volume, 1440 (144 dB) at volume 0
  int pan = 0;             // -500 fully left ... +500 fully right; the bank's extremes reach beyond

  // The loop the zone asks for, in frames from the sample's first frame,
  // the end frame played; `loop` says whether it can have it.
  bool looped = false;
  LoopPlay loop = LoopPlay::None;
  std::int32_t loopStart = 0, loopEnd = 0;

  // Volume envelope: times in timecents (kShortestTimecents for the
  // shortest) and in seconds (0 for the shortest), sustain as an
  // attenuation in centibels (0 none, 1000 = 100 dB) and as a linear level.
  int attackTimecents = kShortestTimecents, decayTimecents = kShortestTimecents,
      releaseTimecents = kShortestTimecents;
  double attack = 0, decay = 0, release = 0;
  int sustainCb = 0;
  double sustain = 1;

  Silence silence = Silence::None;
  bool sounds() const noexcept { return silence == Silence::None; }
  // Whether a converted bank keeps the zone at all: its sample must exist.
  bool sampleInBank() const noexcept { return silence != Silence::NoSample; }
};

// Zone `zone` of the bank (below art.zoneCount).
ZonePlay interpretZone(const SampleBank& bank, const ZoneArticulation& art, std::uint16_t zone);
// Every zone of the bank, in zone order.
std::vector<ZonePlay> interpretZones(const SampleBank& bank, const ZoneArticulation& art);

// The first zone, in zone order, that sounds and plays sample `sample`:
// the one whose root key, tuning and loop say how the bank means the
// sample to be heard; null when no zone that sounds plays it.
const ZonePlay* firstZoneOf(const std::vector<ZonePlay>& zones, std::uint16_t sample);

// Seconds of an envelope time in timecents; 0 for the shortest time.
double envelopeSeconds(int timecents);

}  // namespace vantrel
