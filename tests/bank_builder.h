// SPDX-License-Identifier: MIT
#pragma once
// Writes .tti banks from a description, for tests, benchmarks, fuzz seeds and
// the demo banks. By default everything is consistent; the override fields
// make deliberately broken banks.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vantrel::testing {

struct SampleDesc {
  std::string name;                    // written into the 256-byte name field
  std::optional<std::vector<std::uint8_t>> nameField;  // exact field bytes (<= 256)
  std::vector<std::uint8_t> pcm;       // bytes appended to the PCM data area
  std::uint32_t loopStartFrame = 0;    // loop start, frames from the sample start
  std::uint32_t loopEndFrame = 0;      // loop end offset in frames (one past the last)
  std::vector<std::uint8_t> zones;     // zone numbers named by this sample
  // Raw offsets instead of those derived from the PCM placement.
  std::optional<std::uint32_t> start, end, loopStart, loopEnd;
  std::optional<std::uint32_t> entrySize;  // instead of 292 + 2 x zone count
};

struct ZoneDesc {
  std::uint8_t keyLow = 0, keyHigh = 127, velLow = 0, velHigh = 127;
  std::uint8_t volume = 127;
  std::uint8_t fineTuneRaw = 96;      // 96 is no detune
  std::uint8_t transposition = 0;     // signed byte; root key = 64 - it
  std::uint16_t loopWord1 = 0, loopWord2 = 0;
  std::uint8_t panLeft = 0, panRight = 0;  // raw levels (5 and 7 bits)
  std::uint8_t attackRate = 127, sustainLevel = 63, decayRate = 127, releaseRate = 127;
  bool a = false, b = false, c = false, d = false;  // optional record words
};

struct BankDesc {
  std::vector<SampleDesc> samples;
  std::vector<ZoneDesc> zones;         // at least one zone is written
  std::optional<std::vector<std::uint8_t>> paramBlock;  // raw "TTIP" body
  bool endBit = true;                  // set the last zone's end-of-list bit
  bool ttkl = true;                    // write a "TTKL" block
  std::uint32_t ttklSize = 16;
  std::vector<std::uint8_t> beforeTtip;  // bytes between directory and "TTIP"
  std::vector<std::uint8_t> beforeTtsa;  // bytes between the blocks and "TTSA"
  std::optional<std::uint32_t> sampleCount, directorySize, dataSize;
  std::vector<std::uint8_t> pcmPrefix;   // bytes at the start of the PCM area
};

// Encodes zones as a parameter block.
std::vector<std::uint8_t> buildParamBlock(const std::vector<ZoneDesc>& zones, bool endBit = true);
std::vector<std::uint8_t> buildBank(const BankDesc& desc);
void writeBank(const std::string& path, const BankDesc& desc);
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A zone with every field drawn at random over its whole range.
ZoneDesc randomZone(std::mt19937& rng);

// 16-bit little-endian PCM bytes of a sine or of noise.
std::vector<std::uint8_t> sinePcm(std::size_t frames, double cyclesPerFrame, double amplitude = 0.5);
std::vector<std::uint8_t> noisePcm(std::size_t frames, std::uint32_t seed, double amplitude = 0.3);

}  // namespace vantrel::testing
