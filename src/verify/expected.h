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
  kCoarseTune = 51,
  kFineTune = 52,
  kSampleId = 53,
  kSampleModes = 54,
  kOverridingRootKey = 58,
};

// One generator: operator and 16-bit amount (signed amounts in two's
// complement, ranges as low byte, high byte).
using GeneratorValue = std::pair<std::uint16_t, std::uint16_t>;

// A generator's amount as the signed value it stands for.
inline std::int16_t signedAmount(std::uint16_t amount) { return static_cast<std::int16_t>(amount); }
// Seconds of an envelope time in timecents; the shortest (-32768) is 0.
double envelopeSeconds(std::uint16_t timecents);
// A value for a message: at most six significant digits.
std::string shownValue(double v);

// The twelve generators bank zone `zone` gives, ordered by operator.
std::array<GeneratorValue, 12> zoneGenerators(const SampleBank& bank, const ZoneArticulation& zones,
                                              std::uint16_t zone);

// The bank zones a SoundFont holds as instrument zones, in order: those
// whose sample is in the bank.
std::vector<std::uint16_t> playableZones(const SampleBank& bank, const ZoneArticulation& zones);

// Faithful output (--faithful) says what the bank means. Its rules, worked
// out here from the bank's stored zones:

// Whether bank zone `zone` ever sounds: its sample is in the bank and holds
// two frames or more, a key reaches it (the stored low key is one below the first,
// so 127 reaches none) and a velocity from 1 up does.
bool zoneSounds(const SampleBank& bank, const ZoneArticulation& zones, std::uint16_t zone);
// The zones a faithful SoundFont holds, in order: those that sound.
std::vector<std::uint16_t> soundingZones(const SampleBank& bank, const ZoneArticulation& zones);
// The bank samples a SoundFont holds, in order, one per sample header:
// every one; a faithful one leaves out each sample of fewer than two
// frames (no zone that sounds plays it).
std::vector<std::uint32_t> soundFontSamples(const SampleBank& bank, bool faithful);
// The first zone, in zone order, that sounds and plays `sample`; -1 if none.
int firstZoneOfSample(const SampleBank& bank, const ZoneArticulation& zones, std::uint32_t sample);

// What a faithful WAV file's "smpl" chunk says of its (left) sample, as
// libsndfile reads it: the pitch of its first zone (the root key minus the
// tuning, from MIDI note 0 to 127, a negative root key taken as 60; note
// 60 without a zone) and that zone's loop if it loops within the sample;
// and, with such a zone, what its "inst" chunk says: that note and cents,
// the zone's gain in whole dB (0.4 dB per centibel of attenuation, as
// SoundFont players apply it) and its keys and velocities (from 1).
struct ExpectedSmpl {
  int note = 60;
  int cents = 0;  // above the note
  bool loop = false;
  std::uint32_t loopStart = 0, loopEnd = 0;  // the loop's first and last frame
  bool inst = false;
  int gain = 0, keyLow = 0, keyHigh = 127, velocityLow = 1, velocityHigh = 127;
};
ExpectedSmpl expectedSmpl(const SampleBank& bank, const ZoneArticulation& zones, std::uint32_t sample);

// A faithful SoundFont's original pitch of `sample`: the root key of its
// first zone (60 for a negative one), 60 without a zone.
int samplePitch(const SampleBank& bank, const ZoneArticulation& zones, std::uint32_t sample);
// The generators of sounding zone `zone` in a faithful SoundFont, ordered
// by operator: zoneGenerators' values within the SoundFont 2.01 ranges
// (envelope times from -12000, pan within +-500), the tuning as
// coarseTune (when not 0) and fineTune, a loop only within the sample, and
// overridingRootKey only where the root key (60 for a negative one) is not
// the sample's original pitch, and sampleID its sample's header.
std::vector<GeneratorValue> faithfulGenerators(const SampleBank& bank, const ZoneArticulation& zones,
                                               std::uint16_t zone);
// A faithful SoundFont's sample names (Latin-1), each apart from the
// others, and its bank name (INAM, the preset's and instrument's name).
std::vector<std::string> faithfulSampleNames(const SampleBank& bank);
std::string faithfulBankName(const SampleBank& bank);

// A sample whose bytes all lie past the end of the PCM data area: it has no
// WAV file of its own, and an instrument's zones of it never sound.
bool sampleWithoutData(const SampleBank& bank, std::uint32_t sample);

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
};
BankOutputNames bankOutputNames(const SampleBank& bank);

}  // namespace vantrel::verify
