// SPDX-License-Identifier: MIT
#include "demo_banks.h"

#include <cmath>
#include <stdexcept>

namespace vantrel::testing {
namespace {

constexpr double kRate = 44100.0;

SampleDesc tone(const std::string& name, double hz, std::size_t frames, bool loop) {
  SampleDesc s;
  s.name = name;
  // Whole cycles up to the loop end, so the loop joins without a click.
  double cycles = std::floor(hz * frames / kRate);
  double exactHz = cycles * kRate / static_cast<double>(frames);
  s.pcm = sinePcm(frames, exactHz / kRate, 0.6);
  if (loop) {
    s.loopStartFrame = static_cast<std::uint32_t>(frames / 2);
    s.loopEndFrame = static_cast<std::uint32_t>(frames);
  }
  return s;
}

// The field a bank stores for a lowest key or velocity: one less than the
// value, except that a lowest velocity of 0 is stored as 0. A lowest key
// of 0 cannot be stored; 1 is the lowest there is.
std::uint8_t lowField(int value, bool velocity) {
  if (velocity && value == 0) return 0;
  if (value < 1 || value > 128) throw std::invalid_argument("no field holds that lowest value");
  return static_cast<std::uint8_t>(value - 1);
}

// A zone playing keys lo..hi (both included) at every velocity.
ZoneDesc zone(int lo, int hi, int root, bool looped) {
  ZoneDesc z;
  z.keyLow = lowField(lo, false);
  z.keyHigh = static_cast<std::uint8_t>(hi);
  z.velLow = lowField(0, true);
  z.velHigh = 127;
  z.transposition = static_cast<std::uint8_t>(64 - root);
  z.loopWord1 = looped ? 100 : 0;
  z.loopWord2 = 0;
  z.volume = 110;
  // Equal pan fields are the centre; a left field of 0 with a right field
  // of 31 is hard left, the other way round hard right.
  z.panLeft = 31;
  z.panRight = 31;
  z.attackRate = 120;
  z.sustainLevel = 50;
  z.decayRate = 70;
  z.releaseRate = 80;
  return z;
}

}  // namespace

ZoneSpan zoneSpan(const ZoneDesc& z) {
  return {z.keyLow + 1, z.keyHigh, z.velLow == 0 ? 0 : z.velLow + 1, z.velHigh,
          64 - static_cast<std::int8_t>(z.transposition)};
}

std::vector<DemoBank> demoBanks() {
  std::vector<DemoBank> out;

  // Four organ samples an octave apart, each playing the twelve keys around
  // its own pitch; the outer zones reach to the ends of the keyboard.
  BankDesc organ;
  const double notes[] = {130.81, 261.63, 523.25, 1046.5};
  const char* names[] = {"ORGAN C3.WAV", "ORGAN C4.WAV", "ORGAN C5.WAV", "ORGAN C6.WAV"};
  for (int k = 0; k < 4; ++k) {
    const int root = 48 + 12 * k;
    organ.samples.push_back(tone(std::string("DEMO\\") + names[k], notes[k],
                                 22050 - 2205 * static_cast<std::size_t>(k), true));
    organ.samples.back().zones = {static_cast<std::uint8_t>(k)};
    organ.zones.push_back(zone(k == 0 ? 1 : root - 6, k == 3 ? 127 : root + 5, root, true));
  }
  out.push_back({"ORGAN.TTI", organ});

  // A stereo pair: equal length and loop, each side its own pitch, panned
  // hard to its side.
  BankDesc pad;
  SampleDesc left = tone("PAD L.WAV", 220.0, 44100, true);
  SampleDesc right = tone("PAD R.WAV", 277.0, 44100, true);
  left.zones = {0};
  right.zones = {1};
  pad.samples = {left, right};
  ZoneDesc zl = zone(1, 127, 57, true), zr = zone(1, 127, 57, true);
  zl.panLeft = 0;   // left side unattenuated, right side silent
  zl.panRight = 31;
  zr.panLeft = 31;  // and the other way round
  zr.panRight = 0;
  pad.zones = {zl, zr};
  out.push_back({"PAD.TTI", pad});

  // One key per drum: kick on 36, snare on 38, hat on 40.
  BankDesc drums;
  const char* hits[] = {"KICK.WAV", "SNARE.WAV", "HAT.WAV"};
  for (int k = 0; k < 3; ++k) {
    SampleDesc s;
    s.name = hits[k];
    s.pcm = k == 0 ? sinePcm(8820, 60.0 / kRate, 0.8) : noisePcm(k == 1 ? 8820 : 2205, 7u + k, 0.5);
    s.zones = {static_cast<std::uint8_t>(k)};
    drums.samples.push_back(s);
    const int key = 36 + 2 * k;
    drums.zones.push_back(zone(key, key, key, false));
  }
  out.push_back({"DRUMS.TTI", drums});

  // Two velocity layers on the same keys: soft below 64, loud from 64.
  BankDesc bells;
  for (int k = 0; k < 2; ++k) {
    bells.samples.push_back(tone("BELL.WAV", 880.0 * (k + 1), 11025, false));
    bells.samples.back().zones = {static_cast<std::uint8_t>(k)};
    ZoneDesc z = zone(60, 84, 72, false);
    z.velLow = lowField(k == 0 ? 0 : 64, true);
    z.velHigh = k == 0 ? 63 : 127;
    bells.zones.push_back(z);
  }
  out.push_back({"MORE/BELLS.TTI", bells});
  return out;
}

}  // namespace vantrel::testing
