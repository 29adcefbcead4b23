// Writes a few small synthetic banks (sines, noise, a left/right pair,
// loops, several zones) into the folder given on the command line.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bank_builder.h"

using namespace vantrel::testing;

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

ZoneDesc zone(std::uint8_t lo, std::uint8_t hi, std::uint8_t root, bool looped) {
  ZoneDesc z;
  z.keyLow = lo;
  z.keyHigh = hi;
  z.transposition = static_cast<std::uint8_t>(64 - root);
  z.loopWord1 = looped ? 100 : 0;
  z.loopWord2 = 0;
  z.volume = 110;
  z.panLeft = 31;
  z.panRight = 31;
  z.attackRate = 120;
  z.sustainLevel = 50;
  z.decayRate = 70;
  z.releaseRate = 80;
  return z;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-demo-banks FOLDER\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path dir = argv[1];
  fs::create_directories(dir / "MORE");

  BankDesc organ;
  const double notes[] = {130.81, 261.63, 523.25, 1046.5};
  const char* names[] = {"ORGAN C3.WAV", "ORGAN C4.WAV", "ORGAN C5.WAV", "ORGAN C6.WAV"};
  for (int k = 0; k < 4; ++k) {
    organ.samples.push_back(tone(std::string("DEMO\\") + names[k], notes[k], 22050 - 2205 * static_cast<std::size_t>(k), true));
    organ.samples.back().zones = {static_cast<std::uint8_t>(k)};
    organ.zones.push_back(zone(static_cast<std::uint8_t>(36 + 12 * k), static_cast<std::uint8_t>(47 + 12 * k),
                               static_cast<std::uint8_t>(48 + 12 * k), true));
  }
  writeBank((dir / "ORGAN.TTI").string(), organ);

  BankDesc pad;
  SampleDesc left = tone("PAD L.WAV", 220.0, 44100, true);
  SampleDesc right = tone("PAD R.WAV", 220.0 * 1.003, 44100, true);
  left.zones = {0};
  right.zones = {1};
  pad.samples = {left, right};
  ZoneDesc zl = zone(0, 127, 57, true), zr = zone(0, 127, 57, true);
  zl.panLeft = 31; zl.panRight = 0;   // left channel
  zr.panLeft = 0;  zr.panRight = 31;  // right channel
  pad.zones = {zl, zr};
  writeBank((dir / "PAD.TTI").string(), pad);

  BankDesc drums;
  const char* hits[] = {"KICK.WAV", "SNARE.WAV", "HAT.WAV"};
  for (int k = 0; k < 3; ++k) {
    SampleDesc s;
    s.name = hits[k];
    s.pcm = k == 0 ? sinePcm(8820, 60.0 / kRate, 0.8) : noisePcm(k == 1 ? 8820 : 2205, 7u + k, 0.5);
    s.zones = {static_cast<std::uint8_t>(k)};
    drums.samples.push_back(s);
    ZoneDesc z = zone(static_cast<std::uint8_t>(36 + 2 * k), static_cast<std::uint8_t>(36 + 2 * k), static_cast<std::uint8_t>(36 + 2 * k), false);
    z.velLow = 0;
    drums.zones.push_back(z);
  }
  writeBank((dir / "DRUMS.TTI").string(), drums);

  BankDesc bells;
  for (int k = 0; k < 2; ++k) {
    bells.samples.push_back(tone("BELL.WAV", 880.0 * (k + 1), 11025, false));
    bells.samples.back().zones = {static_cast<std::uint8_t>(k)};
    ZoneDesc z = zone(60, 84, 72, false);
    z.velLow = k == 0 ? 0 : 64;
    z.velHigh = k == 0 ? 63 : 127;
    bells.zones.push_back(z);
  }
  writeBank((dir / "MORE" / "BELLS.TTI").string(), bells);
  return 0;
}
