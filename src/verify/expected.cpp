// SPDX-License-Identifier: MIT
#include "verify/expected.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/file.h"
#include "platform/text.h"
#include "tti/stereo_pairs.h"

namespace vantrel::verify {

ChannelBytes::ChannelBytes(const SampleBank& bank, std::uint32_t index, std::uint64_t n, const PcmReadCopy* read)
    : pcm_(bank.pcm), start_(bank.pcmStart[index]), size_(n), read_(read) {
  // A sample plays in 16-bit frames: its odd last byte has no partner.
  std::uint64_t own = bank.pcmLength[index] & ~std::uint64_t{1};
  // A bank may promise more bytes than its data area holds; those that are
  // missing play as silence.
  const std::uint64_t inArea = bank.pcm.held() && start_ < bank.pcm.size ? bank.pcm.size - start_ : 0;
  held_ = std::min({own, inArea, n});
  if (held_ == 0) return;
  if (bank.pcm.memory) inPlace_ = bank.pcm.bytes() + start_;
  // Bytes in the bank file are read (pread) as they are compared, unless
  // `read` holds them as they were read for the file: a mapping would stop
  // the process if the bank were cut short meanwhile.
}

void ChannelBytes::read(std::uint64_t at, std::uint8_t* to, std::size_t count) const {
  const std::uint64_t fromPcm = at < held_ ? std::min<std::uint64_t>(count, held_ - at) : 0;
  if (fromPcm > 0) {
    const auto n = static_cast<std::size_t>(fromPcm);
    if (const std::uint8_t* kept = inMemory(at, n)) std::memcpy(to, kept, n);
    else pcm_.read(start_ + at, to, n);
  }
  std::memset(to + fromPcm, 0, count - static_cast<std::size_t>(fromPcm));
}

const std::uint8_t* ChannelBytes::view(std::uint64_t at, std::size_t count, std::uint8_t* scratch) const {
  if (at + count <= held_) {
    if (const std::uint8_t* kept = inMemory(at, count)) return kept;
  }
  read(at, scratch, count);
  return scratch;
}

const std::uint8_t* ChannelBytes::inMemory(std::uint64_t at, std::size_t n) const {
  if (inPlace_) return inPlace_ + at;
  return read_ ? read_->find(start_ + at, n) : nullptr;
}

std::uint64_t wavChannelBytes(const SampleBank& bank, std::uint32_t index) {
  return bank.pcmLength[index] & ~std::uint32_t{1};
}

namespace {

// Envelope times in timecents (1200 x log2 of seconds) of the sampler's
// 128 stored envelope values (127 minus the rate): the values up to 25 are
// instant (-32768, the shortest time a SoundFont can hold), those from 110
// on are the longest time, 5075.
constexpr int kFirstTimed = 26;
constexpr int kFirstLongest = 110;
constexpr std::int16_t kTimedCents[kFirstLongest - kFirstTimed] = {
    -5908, -5240, -5013, -4738, -4577, -4300, -4184, -4039, -3922, -3825, -3610, -3546,
    -3414, -3116, -2981, -2731, -2412, -2305, -2267, -2113, -2001, -1895, -1792, -1688,
    -1526, -1333, -1220, -1123, -967,  -828,  -637,  -447,  -237,  -102,  20,    131,
    271,   414,   567,   731,   926,   1043,  1155,  1289,  1438,  1591,  1701,  1820,
    1942,  2077,  2226,  2322,  2432,  2543,  2659,  2787,  2932,  3083,  3251,  3436,
    3643,  3732,  3780,  3830,  3830,  3880,  3930,  3982,  4038,  4094,  4153,  4213,
    4277,  4341,  4341,  4408,  4479,  4552,  4552,  4629,  4709,  4793,  4882,  4975,
};

int envelopeCents(int stored) {
  if (stored < kFirstTimed) return -32768;
  if (stored >= kFirstLongest) return 5075;
  return kTimedCents[stored - kFirstTimed];
}

std::uint16_t amountOf(long value) { return static_cast<std::uint16_t>(static_cast<std::int16_t>(value)); }

// A range generator: low bound in the low byte, high bound in the high one.
std::uint16_t rangeOf(int low, int high) {
  return static_cast<std::uint16_t>((low & 0xFF) | (high & 0xFF) << 8);
}

}  // namespace

std::array<GeneratorValue, 12> zoneGenerators(const SampleBank& bank, const ZoneArticulation& a,
                                              std::uint16_t zone) {
  const std::size_t z = zone;
  // The bank stores the low key and velocity one below the first one
  // played, in a byte; a low velocity of 0 means "from 0".
  const int keyLow = a.zoneKeyLow[z] + 1;
  const int velLow = a.zoneVelLow[z] == 0 ? 0 : a.zoneVelLow[z] + 1;
  // Pan: each side's level is 31 minus its raw value, in a byte; the louder
  // side sets the pan, 31 being fully to that side (+-500 tenths of a
  // percent), and equal sides are centred.
  const int leftLevel = (31 - a.zonePanLeft[z]) & 0xFF;
  const int rightLevel = (31 - a.zonePanRight[z]) & 0xFF;
  long pan = 0;
  if (leftLevel > rightLevel) pan = -std::lround(leftLevel * 500.0 / 31.0);
  if (leftLevel < rightLevel) pan = std::lround(rightLevel * 500.0 / 31.0);
  auto envelope = [](std::uint8_t stored) { return amountOf(envelopeCents(std::min<int>(stored, 127))); };
  // Volume 127 is full level, 0 is 144 dB down (attenuation in centibels);
  // sustain 63 is no decrease, 0 is 100 dB down; fine tune counts in steps
  // of 11/7 cent. No product falls on a half, so rounding is plain.
  return {{
      {kPan, amountOf(pan)},
      {kAttackVolEnv, envelope(a.zoneAttack[z])},
      {kDecayVolEnv, envelope(a.zoneDecay[z])},
      {kSustainVolEnv, amountOf(std::lround((63 - a.zoneSustain[z]) * 1000.0 / 63.0))},
      {kReleaseVolEnv, envelope(a.zoneRelease[z])},
      {kKeyRange, rangeOf(keyLow, a.zoneKeyHigh[z])},
      {kVelRange, rangeOf(velLow, a.zoneVelHigh[z])},
      {kInitialAttenuation, amountOf(std::lround((127 - a.zoneVolume[z]) * 1440.0 / 127.0))},
      {kFineTune, amountOf(std::lround(a.zoneFineTune[z] * 11.0 / 7.0))},
      {kSampleId, bank.zoneSample[z]},
      {kSampleModes, a.zoneLooped[z]},
      {kOverridingRootKey, amountOf(a.zoneRootKey[z])},
  }};
}

double envelopeSeconds(std::uint16_t timecents) {
  const int tc = signedAmount(timecents);
  return tc == -32768 ? 0.0 : std::exp2(tc / 1200.0);
}

std::string shownValue(double v) {
  if (v == 0) return "0";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  return std::string(buf, r.ptr);
}

std::vector<std::uint16_t> playableZones(const SampleBank& bank, const ZoneArticulation& zones) {
  std::vector<std::uint16_t> out;
  for (std::uint32_t z = 0; z < zones.zoneCount && z < kMaxZones; ++z) {
    if (bank.zoneSample[z] < bank.sampleCount) out.push_back(static_cast<std::uint16_t>(z));
  }
  return out;
}

bool zoneSounds(const SampleBank& bank, const ZoneArticulation& zones, std::uint16_t zone) {
  if (zone >= zones.zoneCount || bank.zoneSample[zone] >= bank.sampleCount) return false;
  // A sample of one frame is not played by every player: it counts as none.
  if (wavChannelBytes(bank, bank.zoneSample[zone]) < 4) return false;
  // The first key and velocity are one above the stored low bounds (a low
  // velocity of 0 stays 0); velocity 0 is no note.
  const int firstKey = zones.zoneKeyLow[zone] + 1;
  const int firstVelocity = std::max(zones.zoneVelLow[zone] == 0 ? 0 : zones.zoneVelLow[zone] + 1, 1);
  return firstKey <= zones.zoneKeyHigh[zone] && firstVelocity <= zones.zoneVelHigh[zone];
}

std::vector<std::uint16_t> soundingZones(const SampleBank& bank, const ZoneArticulation& zones) {
  std::vector<std::uint16_t> out;
  for (std::uint32_t z = 0; z < zones.zoneCount && z < kMaxZones; ++z) {
    if (zoneSounds(bank, zones, static_cast<std::uint16_t>(z))) out.push_back(static_cast<std::uint16_t>(z));
  }
  return out;
}

std::vector<std::uint32_t> soundFontSamples(const SampleBank& bank, bool faithful) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t r = 0; r < bank.sampleCount; ++r) {
    if (!faithful || wavChannelBytes(bank, r) >= 4) out.push_back(r);
  }
  return out;
}

int firstZoneOfSample(const SampleBank& bank, const ZoneArticulation& zones, std::uint32_t sample) {
  for (const std::uint16_t z : soundingZones(bank, zones)) {
    if (bank.zoneSample[z] == sample) return z;
  }
  return -1;
}

namespace {

// Whether a looped zone's loop lies within sample `sample`: from a frame
// of it to a later or the same frame of it.
bool loopWithin(const SampleBank& bank, std::uint32_t sample) {
  const std::int64_t frames = static_cast<std::int64_t>(wavChannelBytes(bank, sample) / 2);
  const std::int64_t first = bank.loopStart[sample], last = bank.loopEnd[sample];
  return 0 <= first && first <= last && last < frames;
}

// The tuning of a zone in cents (the bank counts steps of 11/7 cent).
long tuningCents(const ZoneArticulation& zones, std::uint16_t zone) {
  return std::lround(zones.zoneFineTune[zone] * 11.0 / 7.0);
}

}  // namespace

ExpectedSmpl expectedSmpl(const SampleBank& bank, const ZoneArticulation& zones, std::uint32_t sample) {
  ExpectedSmpl e;
  const int z = firstZoneOfSample(bank, zones, sample);
  if (z < 0) return e;
  const auto zone = static_cast<std::uint16_t>(z);
  e.inst = true;
  for (const auto& [oper, amount] : zoneGenerators(bank, zones, zone)) {
    if (oper == kInitialAttenuation) e.gain = static_cast<int>(std::lround(-0.04 * static_cast<std::int16_t>(amount)));
    if (oper == kKeyRange) e.keyLow = std::min(amount & 0xFF, 127), e.keyHigh = amount >> 8;
    if (oper == kVelRange) e.velocityLow = std::clamp(amount & 0xFF, 1, 127), e.velocityHigh = amount >> 8;
  }
  if (zones.zoneLooped[zone] == 1 && loopWithin(bank, sample)) {
    e.loop = true;
    e.loopStart = static_cast<std::uint32_t>(bank.loopStart[sample]);
    e.loopEnd = static_cast<std::uint32_t>(bank.loopEnd[sample]);
  }
  // Players take a negative root key as 60, and keep the tuning.
  const int root = zones.zoneRootKey[zone] < 0 ? 60 : zones.zoneRootKey[zone];
  // The pitch at which the sample sounds unchanged, in cents from note 0:
  // the zone plays it there on its root key, moved by the tuning.
  const long pitch = std::clamp<long>(100L * root - tuningCents(zones, zone), 0, 12700);
  e.note = static_cast<int>(pitch / 100);
  e.cents = static_cast<int>(pitch % 100);
  return e;
}

int samplePitch(const SampleBank& bank, const ZoneArticulation& zones, std::uint32_t sample) {
  const int z = firstZoneOfSample(bank, zones, sample);
  return z < 0 || zones.zoneRootKey[z] < 0 ? 60 : zones.zoneRootKey[z];
}

std::vector<GeneratorValue> faithfulGenerators(const SampleBank& bank, const ZoneArticulation& zones,
                                               std::uint16_t zone) {
  const std::uint32_t sample = bank.zoneSample[zone];
  std::vector<GeneratorValue> out;
  for (const auto& [oper, amount] : zoneGenerators(bank, zones, zone)) {
    long v = static_cast<std::int16_t>(amount);
    switch (oper) {
      case kAttackVolEnv:
      case kDecayVolEnv:
      case kReleaseVolEnv: v = std::max(v, -12000L); break;
      case kPan: v = std::clamp(v, -500L, 500L); break;
      case kSampleModes: v = zones.zoneLooped[zone] == 1 && loopWithin(bank, sample) ? 1 : 0; break;
      case kFineTune:
        // Semitones and the cents left over, both rounded toward zero.
        if (v / 100 != 0) out.emplace_back(kCoarseTune, amountOf(v / 100));
        v %= 100;
        break;
      case kOverridingRootKey:
        if (v < 0) v = 60;
        if (v == samplePitch(bank, zones, sample)) continue;
        break;
      case kSampleId: {
        // Headers of the samples before it that the file holds.
        const std::vector<std::uint32_t> held = soundFontSamples(bank, true);
        v = std::lower_bound(held.begin(), held.end(), sample) - held.begin();
        break;
      }
      default: break;
    }
    out.emplace_back(oper, oper == kKeyRange || oper == kVelRange ? amount : amountOf(v));
  }
  std::sort(out.begin(), out.end(), [](const GeneratorValue& a, const GeneratorValue& b) { return a.first < b.first; });
  return out;
}

namespace {

// A name as faithful output shows it: the extension after a last dot (one
// to three characters, the dot not first) dropped, control characters and
// '/' as '_', at most `width` characters.
std::string shownName(std::string name, std::size_t width) {
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot >= 1) {
    const std::size_t extension = name.size() - 1 - dot;
    if (extension >= 1 && extension <= 3) name.erase(dot);
  }
  for (char& c : name) {
    const unsigned u = static_cast<unsigned char>(c);
    if ((u & 0x7F) < 32 || u == 127 || u == '/') c = '_';
  }
  if (name.size() > width) name.resize(width);
  return name;
}

}  // namespace

std::vector<std::string> faithfulSampleNames(const SampleBank& bank) {
  std::vector<std::string> names;
  for (std::uint32_t r = 0; r < bank.sampleCount; ++r) {
    std::string base = shownName(bank.sampleName[r], 20);
    if (base.empty()) base = "Sample";
    std::string name = base;
    // A name taken already gets "_2", "_3", ... within the 20 characters.
    for (int k = 2; std::find(names.begin(), names.end(), name) != names.end(); ++k) {
      const std::string tag = "_" + std::to_string(k);
      name = base.substr(0, std::min(base.size(), 20 - tag.size())) + tag;
    }
    names.push_back(name);
  }
  return names;
}

std::string faithfulBankName(const SampleBank& bank) {
  return shownName(utf8ToLatin1(fileNamePart(bank.ttiPath)), 255);
}

bool sampleWithoutData(const SampleBank& bank, std::uint32_t i) {
  return (bank.pcmLength[i] & ~std::uint32_t{1}) > 0 && bank.pcmStart[i] >= bank.pcm.size;
}

BankOutputNames bankOutputNames(const SampleBank& bank) {
  BankOutputNames names;
  const std::string file = fileNamePart(bank.ttiPath);
  names.monoFolder = "WAV_MONO_" + file;
  names.stereoFolder = "WAV_STEREO_" + file;

  // Which samples stereo mode joins, and how it names their files, are the
  // bank's own rule; what this check reads back is independent of it.
  const std::uint32_t n = bank.sampleCount;
  std::vector<int> rightOf(n, -1);
  std::vector<bool> taken(n, false);
  for (const auto& [l, r] : stereoPairs(bank)) {
    rightOf[l] = r;
    taken[r] = true;
  }
  // A pair has a file while either side has bytes.
  auto noData = [&](std::uint32_t i) { return sampleWithoutData(bank, i); };
  for (std::uint32_t i = 0; i < n; ++i) {
    const auto left = static_cast<std::uint16_t>(i);
    if (!noData(i)) names.mono.push_back({latin1ToUtf8(bank.outputName[i]), false, left, left});
    if (taken[i]) continue;
    if (noData(i) && (rightOf[i] < 0 || noData(static_cast<std::uint32_t>(rightOf[i])))) continue;
    if (rightOf[i] >= 0) {
      const auto right = static_cast<std::uint16_t>(rightOf[i]);
      names.stereo.push_back({latin1ToUtf8(stereoFileName(bank, left, right)), true, left, right});
    } else {
      names.stereo.push_back({latin1ToUtf8(bank.outputName[i]), false, left, left});
    }
  }
  return names;
}

}  // namespace vantrel::verify
