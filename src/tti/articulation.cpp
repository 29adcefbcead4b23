// SPDX-License-Identifier: MIT
#include "tti/articulation.h"

#include <algorithm>

#include "platform/errors.h"

namespace vantrel {
namespace {

class Words {
 public:
  Words(const std::uint8_t* data, std::size_t bytes, const std::string& path)
      : data_(data), count_(bytes / 2), path_(path) {}

  std::uint16_t at(std::size_t index, const char* what) const {
    if (index >= count_) tooShort(index, what);
    return static_cast<std::uint16_t>(data_[2 * index] | data_[2 * index + 1] << 8);
  }

 private:
  // Out of line, so that at() is inlined where the words are read.
  [[noreturn, gnu::noinline]] void tooShort(std::size_t index, const char* what) const {
    throwInvalidBank(path_, std::string("parameter block too short for ") + what + " (word " +
                                std::to_string(index) + " of " + std::to_string(count_) + ")");
  }

  const std::uint8_t* data_;
  std::size_t count_;
  const std::string& path_;
};

bool eitherBit(std::uint16_t w, int a, int b) { return ((w >> a) & 1u) || ((w >> b) & 1u); }

// Decodes the zone directory and records into art's slots 0 to the zone
// count, and sets the count.
void decodeZones(const std::uint8_t* paramBlock, std::size_t paramBlockSize, ZoneArticulation& art,
                 const std::string& path);

}  // namespace

void getsf2values(const std::uint8_t* paramBlock, std::size_t paramBlockSize,
                  ZoneArticulation& art, const std::string& path) {
  const std::size_t before = art.zoneCount;
  try {
    decodeZones(paramBlock, paramBlockSize, art, path);
  } catch (...) {
    art = ZoneArticulation();
    throw;
  }
  // Zones past the new count are as a new table has them.
  const std::size_t end = std::max<std::size_t>(before, art.zoneCount);
  auto clear = [&](auto&... fields) { (std::fill(fields.begin() + art.zoneCount, fields.begin() + end, 0), ...); };
  clear(art.zoneKeyLow, art.zoneKeyHigh, art.zoneVelLow, art.zoneVelHigh, art.zoneVolume, art.zoneFineTune,
        art.zoneRootKey, art.zoneLooped, art.zonePanLeft, art.zonePanRight, art.zoneAttack, art.zoneSustain,
        art.zoneDecay, art.zoneRelease);
}

namespace {

void decodeZones(const std::uint8_t* paramBlock, std::size_t paramBlockSize, ZoneArticulation& art,
                 const std::string& path) {
  const Words words(paramBlock, paramBlockSize, path);

  // Zone directory: three words per zone from word 0.
  //   w0 bits 0-6 low velocity, bits 8-14 low key;
  //   w1 bits 0-6 high velocity, bits 8-14 high key, bit 15 last entry;
  //   w2 the word index of the zone's record.
  std::vector<std::size_t> record;
  record.reserve(16);
  std::size_t n = 0;
  for (;;) {
    if (n >= kMaxZones) {
      throwInvalidBank(path, "zone directory does not end within " + std::to_string(kMaxZones) +
                                 " zones");
    }
    const std::uint16_t w0 = words.at(3 * n, "the zone directory");
    const std::uint16_t w1 = words.at(3 * n + 1, "the zone directory");
    const std::uint16_t w2 = words.at(3 * n + 2, "the zone directory");
    art.zoneVelLow[n] = w0 & 0x7F;
    art.zoneKeyLow[n] = (w0 >> 8) & 0x7F;
    art.zoneVelHigh[n] = w1 & 0x7F;
    art.zoneKeyHigh[n] = (w1 >> 8) & 0x7F;
    record.push_back(w2);
    ++n;
    if (w1 & 0x8000) break;
  }
  art.zoneCount = static_cast<std::uint16_t>(n);

  // Zone records. Optional words move the later positions; flags tell
  // which are present:
  //   R+11 first flag word: a = bit 0 or bit 6
  //   B = R+13+a second flag word: b = bit 0 or bit 6
  //   V = B+1 volume (bits 8-14)
  //   T = V+2+b tuning: bits 1-7 fine tune (raw), bits 8-15 transposition
  //   T+2, T+7 loop words: looped when they differ by 2 or more
  //   C = T+9 third flag word: c = bit 7
  //   D = C+1+c fourth flag word: d = bit 6 or bit 7
  //   P = D+1+d pan: bits 4-8 left level, bits 9-15 right level
  //   P+6..P+9 envelope: attack rate, sustain level (bits 7-12), decay rate,
  //   release rate (rates in bits 0-6)
  for (std::size_t z = 0; z < n; ++z) {
    const std::size_t r = record[z];
    const std::size_t a = eitherBit(words.at(r + 11, "a zone record"), 0, 6);
    const std::size_t b_pos = r + 13 + a;
    const std::size_t b = eitherBit(words.at(b_pos, "a zone record"), 0, 6);
    const std::size_t v = b_pos + 1;
    const std::size_t t = v + 2 + b;
    const std::size_t c_pos = t + 9;
    const std::size_t c = (words.at(c_pos, "a zone record") >> 7) & 1u;
    const std::size_t d_pos = c_pos + 1 + c;
    const std::size_t d = eitherBit(words.at(d_pos, "a zone record"), 6, 7);
    const std::size_t p = d_pos + 1 + d;

    const std::uint16_t tuning = words.at(t, "a zone record");
    const std::uint16_t loop1 = words.at(t + 2, "a zone record");
    const std::uint16_t loop2 = words.at(t + 7, "a zone record");
    const std::uint16_t pan = words.at(p, "a zone record");

    art.zoneVolume[z] = (words.at(v, "a zone record") >> 8) & 0x7F;
    art.zoneFineTune[z] = static_cast<std::int8_t>(((tuning >> 1) & 0x7F) - 96);
    art.zoneRootKey[z] = static_cast<std::int8_t>(static_cast<std::uint8_t>(64 - (tuning >> 8)));
    art.zoneLooped[z] = (loop1 > loop2 ? loop1 - loop2 : loop2 - loop1) >= 2 ? 1 : 0;
    art.zonePanLeft[z] = (pan >> 4) & 0x1F;
    art.zonePanRight[z] = static_cast<std::uint8_t>(pan >> 9);
    art.zoneAttack[z] = static_cast<std::uint8_t>(127 - (words.at(p + 6, "a zone record") & 0x7F));
    art.zoneSustain[z] = (words.at(p + 7, "a zone record") >> 7) & 0x3F;
    art.zoneDecay[z] = static_cast<std::uint8_t>(127 - (words.at(p + 8, "a zone record") & 0x7F));
    art.zoneRelease[z] = static_cast<std::uint8_t>(127 - (words.at(p + 9, "a zone record") & 0x7F));
  }
}

}  // namespace

}  // namespace vantrel
