// SPDX-License-Identifier: MIT
#include "tti/tti_reader.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "platform/errors.h"
#include "platform/text.h"

namespace vantrel {
namespace {

constexpr std::size_t kNameFieldSize = 256;

std::uint32_t u32At(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Bytes to frames: an unsigned 32-bit byte difference halved, halves rounded
// to the even neighbour (1001 -> 500, 1003 -> 502), kept as its low 32 bits.
std::uint32_t framesFromBytes(std::uint32_t byteDiff) {
  std::uint32_t half = byteDiff >> 1;
  if ((byteDiff & 1u) && (half & 1u)) ++half;
  return half;
}

void checkSampleCount(std::uint32_t count, const std::string& path) {
  if (count > kMaxSamples) {
    throwInvalidBank(path, std::to_string(count) + " samples; at most " +
                               std::to_string(kMaxSamples) + " are supported");
  }
}

// Searches the stream for a four-character tag. The first four bytes are
// read and compared as a whole; when they differ, the search reads on one
// byte at a time, comparing the last four bytes read by the search itself.
// The stream then stands right after the tag. The end of the file ends the
// search with "Read beyond end of file".
void findTag(ByteSource& src, const char tag[4], std::uint8_t first[4]) {
  if (std::memcmp(first, tag, 4) == 0) return;
  std::uint8_t window[4] = {0, 0, 0, 0};
  std::size_t count = 0;
  for (;;) {
    std::uint8_t b = src.readU8();
    window[0] = window[1];
    window[1] = window[2];
    window[2] = window[3];
    window[3] = b;
    if (++count >= 4 && std::memcmp(window, tag, 4) == 0) return;
  }
}

}  // namespace

std::string sampleNameFromField(const std::uint8_t* field, std::size_t size) {
  const std::uint8_t* end = static_cast<const std::uint8_t*>(std::memchr(field, 0, size));
  std::size_t len = end ? static_cast<std::size_t>(end - field) : size;
  std::size_t start = 0;
  for (std::size_t k = 0; k < len; ++k) {
    if (field[k] == '\\') start = k + 1;
  }
  return std::string(reinterpret_cast<const char*>(field) + start, len - start);
}

void makeOutputNames(const std::vector<std::string>& names, std::uint32_t n,
                     std::vector<std::string>& outputNames) {
  // Names are compared without regard to letter case: on a case-insensitive
  // target (FAT, exFAT, where banks are often copied) "PAD.WAV" and
  // "Pad.wav" are one file. The names of a bank of a few samples are looked
  // up by scanning those before them; a larger bank's through hash tables.
  const bool few = n <= 32;
  std::vector<std::string> folded(n), foldedOut(n);
  std::unordered_set<std::string> taken;
  std::unordered_map<std::string, std::uint32_t> seen;  // folded sampleName -> earlier count
  if (!few) {
    taken.reserve(n * 2);
    seen.reserve(n * 2);
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::string& name = names[i];
    folded[i] = caseFolded(name, true);
    std::uint32_t repeat = 0;
    if (few) {
      for (std::uint32_t j = 0; j < i; ++j) repeat += folded[j] == folded[i];
    } else {
      repeat = seen[folded[i]]++;
    }
    auto isTaken = [&](const std::string& candidate) {
      if (!few) return taken.count(candidate) != 0;
      for (std::uint32_t j = 0; j < i; ++j) {
        if (foldedOut[j] == candidate) return true;
      }
      return false;
    };
    auto candidate = [&](std::uint32_t k) { return safeFileName(k == 0 ? name : repeatedName(name, k)); };
    std::string out = candidate(repeat);
    while (isTaken(caseFolded(out, true))) out = candidate(++repeat);
    foldedOut[i] = caseFolded(out, true);
    if (!few) taken.insert(foldedOut[i]);
    outputNames[i] = std::move(out);
  }
}

void readDirectory(ByteSource& src, SampleBank& bank) {
  // Said as it is: a bank of no bytes at all is an empty file.
  if (src.size() == 0) throw RunError(kReadBeyondEnd, src.path(), "empty file");
  src.skip(512);
  const std::uint32_t count = src.readU32();
  checkSampleCount(count, src.path());

  std::vector<std::string> names(count);
  std::uint8_t field[kNameFieldSize];
  for (std::uint32_t i = 0; i < count; ++i) {
    src.skip(4);
    const std::uint32_t entrySize = src.readU32();
    if (entrySize < kNameFieldSize) {
      throwInvalidBank(src.path(), "entry " + std::to_string(i) + " has size " +
                                       std::to_string(entrySize) + ", below 256");
    }
    src.read(field, kNameFieldSize);
    names[i] = sampleNameFromField(field, kNameFieldSize);
    src.skip(entrySize - kNameFieldSize);
  }

  bank.sampleCount = count;
  makeOutputNames(names, count, bank.outputName);
  for (std::uint32_t i = 0; i < count; ++i) bank.sampleName[i] = std::move(names[i]);
}

void readValues(ByteSource& src, SampleBank& bank, const ValuesToRead& what,
                const ReadCheckpoint& checkpoint) {
  const std::string& path = src.path();
  auto check = [&] {
    if (checkpoint) checkpoint();
  };
  check();

  src.skip(504);
  src.skip(4);  // directory tag
  const std::uint32_t dirSize = src.readU32();
  const std::uint32_t count = src.readU32();
  checkSampleCount(count, path);
  if (dirSize < 4) throwInvalidBank(path, "directory size " + std::to_string(dirSize) + " below 4");
  const std::uint32_t bodySize = dirSize - 4;
  if (bodySize > src.left()) src.throwEnd();
  // The entries take at most kMaxSamples x (300 + 2 x 255) bytes: only as
  // much of the body is read, the rest is passed over. A body that claims
  // gigabytes (a sparse file) costs no memory.
  constexpr std::uint32_t kMaxEntryBytes = 300 + 2 * 255;
  const std::uint32_t used = std::min<std::uint64_t>(bodySize, std::uint64_t{count} * kMaxEntryBytes);
  std::vector<std::uint8_t> body(used);
  src.read(body.data(), used);
  src.skip(bodySize - used);

  // Entries are 300 + 2 x zone count bytes; the entry size field plays no
  // part here. Offsets start 272 bytes into the entry, the zone count at 296,
  // the zone list (2 bytes per zone, zone number first) at 298.
  struct Values {
    std::uint32_t start, end, loopStart, loopEnd;
  };
  std::vector<Values> values(count);
  std::vector<std::uint16_t> zoneMap(kMaxZones, 0);
  std::size_t p = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    check();
    auto shortBody = [&] {
      throwInvalidBank(path, "directory body of " + std::to_string(bodySize) +
                                 " bytes ends inside entry " + std::to_string(i));
    };
    if (used - p < 300) shortBody();
    const std::uint8_t* e = body.data() + p;
    values[i] = {u32At(e + 272), u32At(e + 276), u32At(e + 280), u32At(e + 284)};
    const std::size_t zones = e[296];
    if (used - p < 300 + 2 * zones) shortBody();
    for (std::size_t k = 0; k < zones; ++k) zoneMap[e[298 + 2 * k]] = static_cast<std::uint16_t>(i);
    p += 300 + 2 * zones;
  }
  body = {};

  // Parameter block: "TTIP", its size, its body.
  std::uint8_t tag[4];
  src.read(tag, 4);
  findTag(src, "TTIP", tag);
  const std::uint32_t paramSize = src.readU32();
  if (paramSize > src.left()) src.throwEnd();
  if (what.zones) {
    // Zone records lie at 16-bit word positions, each within a few dozen
    // words of its position: no word past kParamWordsRead is ever read, so
    // no more of a larger block is held.
    constexpr std::uint32_t kParamWordsRead = 65536 + 256;
    const std::uint32_t held = std::min(paramSize, 2 * kParamWordsRead);
    std::vector<std::uint8_t> paramBlock(held);
    src.read(paramBlock.data(), held);
    src.skip(paramSize - held);
    // The zones go straight into the caller's table, reused from bank to
    // bank; the rest of the bank is committed below.
    getsf2values(paramBlock.data(), paramBlock.size(), *what.zones, path);
  } else {
    src.skip(paramSize);
  }

  PcmArea pcm;
  if (what.pcm) {
    src.read(tag, 4);
    std::uint32_t dataSize;
    if (std::memcmp(tag, "TTKL", 4) == 0) {
      src.skip(src.readU32());
      src.skip(4);  // the sample-data block's tag, not compared
      dataSize = src.readU32();
    } else {
      findTag(src, "TTSA", tag);
      dataSize = src.readU32();
    }
    const std::uint64_t left = src.left();
    check();
    pcm = src.takePcm(dataSize < left ? dataSize : static_cast<std::uint32_t>(left));
  }

  for (std::uint32_t i = 0; i < count; ++i) {
    const Values& v = values[i];
    bank.pcmStart[i] = v.start;
    bank.pcmEnd[i] = v.end;
    bank.pcmLength[i] = v.end - v.start;
    bank.loopStart[i] = static_cast<std::int32_t>(framesFromBytes(v.loopStart - v.start));
    bank.loopEnd[i] = static_cast<std::int32_t>(framesFromBytes(v.loopEnd - v.start) - 1u);
  }
  bank.zoneSample = std::move(zoneMap);
  bank.claimedLength.clear();
  if (what.pcm) {
    bank.pcm = std::move(pcm);
    bank.fileSize = src.size();
    boundSilence(bank);
  }
}

// Bytes a sample claims that the PCM data area does not hold are written
// as silence, so that a bank copied only part of the way still gives its
// samples at full length. The silence of one bank is bounded: at most 16
// times the bank file's own size, and 1 MiB for any bank, which a copy
// cut short anywhere past its first sixteenth stays within, while a small
// file whose entries claim gigabytes would otherwise be written as
// gigabytes of silence. A sample whose missing bytes go past the bound
// (in the bank's order) keeps only the bytes the file holds, and its loop
// is clamped to them. Samples with no byte in the file get no file at all
// and take nothing of the bound.
void boundSilence(SampleBank& bank) {
  const std::uint64_t bound = bank.silenceBound();
  std::uint64_t silence = 0;
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    const std::uint64_t need = bank.pcmLength[i] & ~std::uint32_t{1};
    const std::uint64_t start = bank.pcmStart[i];
    if (need == 0 || start >= bank.pcm.size) continue;
    const std::uint64_t held = std::min<std::uint64_t>(need, (bank.pcm.size - start) & ~std::uint64_t{1});
    if (silence + (need - held) <= bound) {
      silence += need - held;
      continue;
    }
    if (bank.claimedLength.empty()) bank.claimedLength.assign(bank.sampleCount, 0);
    bank.claimedLength[i] = bank.pcmLength[i];
    bank.pcmLength[i] = static_cast<std::uint32_t>(held);
    const auto frames = static_cast<std::int32_t>(held / 2);
    bank.loopEnd[i] = std::min(bank.loopEnd[i], frames - 1);
    bank.loopStart[i] = std::min(bank.loopStart[i], bank.loopEnd[i] + 1);
  }
}

void loadBank(const BankRef& ref, SampleBank& bank, const ValuesToRead& what) {
  const std::unique_ptr<ByteSource> src = ref.open();
  SampleBank loaded;
  loaded.ttiPath = ref.path();
  readDirectory(*src, loaded);
  src->rewind();
  readValues(*src, loaded, what);
  bank = std::move(loaded);
}

}  // namespace vantrel
