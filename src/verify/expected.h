// SPDX-License-Identifier: MIT
#pragma once
// What an output file of a bank must hold, derived from the bank alone: the
// bytes of each channel, the twelve SoundFont generators of a zone and the
// names the conversion modes give their files. Nothing here is taken from
// the writers: a check that shared their code would repeat their faults.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel::verify {

// The bytes of one channel of an output file that holds n bytes per
// channel of sample `index`: the sample's own bytes, in whole 16-bit frames
// (an odd last byte is dropped) and as far as the bank's PCM data area
// holds them, then silence (zero bytes) up to n.
class ChannelBytes {
 public:
  // `read`, when given, may hold the bytes as read for the file checked.
  ChannelBytes(const SampleBank& bank, std::uint32_t index, std::uint64_t n, const PcmReadCopy* read = nullptr);
  ChannelBytes(const ChannelBytes&) = delete;
  ChannelBytes& operator=(const ChannelBytes&) = delete;

  // Copies bytes [at, at + count) of the channel into `to`.
  void read(std::uint64_t at, std::uint8_t* to, std::size_t count) const;
  // Bytes [at, at + count): in place where the bank's data holds them all,
  // else copied into `scratch` (count bytes).
  const std::uint8_t* view(std::uint64_t at, std::size_t count, std::uint8_t* scratch) const;
  std::uint64_t size() const noexcept { return size_; }

 private:
  const PcmArea& pcm_;
  std::uint64_t start_ = 0;
  std::uint64_t held_ = 0;
  std::uint64_t size_ = 0;
  const std::uint8_t* inPlace_ = nullptr;  // the held bytes in memory, if they are
  const PcmReadCopy* read_ = nullptr;

  // The held bytes [at, at + n) in memory (the bank's or the copy's), or null.
  const std::uint8_t* inMemory(std::uint64_t at, std::size_t n) const;
};

// The bytes per channel of a WAV file whose first (or only) channel is
// sample `index`: its length in whole frames.
std::uint64_t wavChannelBytes(const SampleBank& bank, std::uint32_t index);

// SoundFont 2.01 generator operators a zone of ours carries.
enum Generator : std::uint16_t {
  kPan = 17,
  kAttackVolEnv = 34,
  kDecayVolEnv = 36,
  kSustainVolEnv = 37,
  kReleaseVolEnv = 38,
  kKeyRange = 43,
  kVelRange = 44,
  kInitialAttenuation = 48,
  kFineTune = 52,
  kSampleId = 53,
  kSampleModes = 54,
  kOverridingRootKey = 58,
};

// One generator: operator and 16-bit amount (signed amounts in two's
// complement, ranges as low byte, high byte).
using GeneratorValue = std::pair<std::uint16_t, std::uint16_t>;

// The twelve generators bank zone `zone` gives, ordered by operator.
std::array<GeneratorValue, 12> zoneGenerators(const SampleBank& bank, const ZoneArticulation& zones,
                                              std::uint16_t zone);

// The bank zones a SoundFont holds as instrument zones, in order: those
// whose sample is in the bank.
std::vector<std::uint16_t> playableZones(const SampleBank& bank, const ZoneArticulation& zones);

// The output names of a bank (UTF-8), as the modes lay them out.
struct WavName {
  std::string name;           // the file's name inside its folder
  bool stereo = false;
  std::uint16_t left = 0, right = 0;
};
struct BankOutputNames {
  std::string monoFolder;        // "WAV_MONO_<bank file name>"
  std::vector<WavName> mono;     // one file per sample
  std::string stereoFolder;      // "WAV_STEREO_<bank file name>"
  std::vector<WavName> stereo;   // a file per pair, then per sample left single
  std::string soundFont;         // "<bank file name but its last 3 characters>sf2"
  std::string sfzFolder;         // "SFZ_<bank file name>"
  std::string sfz;               // in it, named as the SoundFont but "sfz"
};
BankOutputNames bankOutputNames(const SampleBank& bank);

}  // namespace vantrel::verify
