// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "verify/checks.h"
#include "verify/expected.h"
#include "verify/libraries.h"
#include "verify/sf3_check.h"
#include "verify/riff.h"

namespace vantrel::verify {
namespace {

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The "pdta" sub-chunks of SoundFont 2.01, in the order the file must hold
// them, with their record sizes; every list ends with a terminal record.
struct HydraList {
  const char* id;
  std::size_t recordSize;
};
constexpr HydraList kHydra[] = {{"phdr", 38}, {"pbag", 4}, {"pmod", 10}, {"pgen", 4}, {"inst", 22},
                                {"ibag", 4},  {"imod", 10}, {"igen", 4}, {"shdr", 46}};
enum { kPhdr, kPbag, kPmod, kPgen, kInst, kIbag, kImod, kIgen, kShdr };

struct Hydra {
  std::vector<std::uint8_t> bytes[9];
  std::size_t count(int list) const { return bytes[list].size() / kHydra[list].recordSize; }
  const std::uint8_t* record(int list, std::size_t k) const {
    return bytes[list].data() + k * kHydra[list].recordSize;
  }
};

const char* generatorName(std::uint16_t oper) {
  switch (oper) {
    case kPan: return "pan";
    case kAttackVolEnv: return "attackVolEnv";
    case kDecayVolEnv: return "decayVolEnv";
    case kSustainVolEnv: return "sustainVolEnv";
    case kReleaseVolEnv: return "releaseVolEnv";
    case kKeyRange: return "keyRange";
    case kVelRange: return "velRange";
    case kInitialAttenuation: return "initialAttenuation";
    case kFineTune: return "fineTune";
    case kCoarseTune: return "coarseTune";
    case kSampleId: return "sampleID";
    case kSampleModes: return "sampleModes";
    case kOverridingRootKey: return "overridingRootKey";
    default: return "unknown";
  }
}

std::string readHydra(File& file, const RiffChunk& pdta, Hydra& hydra) {
  if (pdta.children.size() != 9) return "the pdta list holds " + std::to_string(pdta.children.size()) + " chunks, expected 9";
  for (int k = 0; k < 9; ++k) {
    const RiffChunk& c = pdta.children[k];
    if (c.id != kHydra[k].id) return "pdta chunk " + std::to_string(k) + " is \"" + c.id + "\", expected \"" + kHydra[k].id + "\"";
    if (c.size % kHydra[k].recordSize != 0 || c.size == 0) {
      return std::string("\"") + kHydra[k].id + "\" size " + std::to_string(c.size) + " is no whole number of records";
    }
    hydra.bytes[k].resize(c.size);
    file.readAt(c.offset, hydra.bytes[k].data(), c.size);
  }
  return {};
}

// What the sample headers of a faithful SoundFont hold beside the
// positions: names, original pitches, and links and types of pairs.
struct FaithfulSamples {
  std::vector<std::string> names;
  std::vector<int> pitch;
  std::vector<std::uint16_t> link, type;
  FaithfulSamples(const SampleBank& bank, const ZoneArticulation& zones)
      : names(faithfulSampleNames(bank)), link(bank.sampleCount, 0), type(bank.sampleCount, 1) {
    for (std::uint32_t r = 0; r < bank.sampleCount; ++r) pitch.push_back(samplePitch(bank, zones, r));
    // Left/right pairs, as stereo mode joins them: the left sample is type
    // 4, the right one type 2, each linked to the other's header. A pair
    // whose samples the file does not hold is none.
    const std::vector<std::uint32_t> held = soundFontSamples(bank, true);
    auto header = [&](std::uint32_t r) -> int {
      const auto at = std::lower_bound(held.begin(), held.end(), r);
      return at != held.end() && *at == r ? static_cast<int>(at - held.begin()) : -1;
    };
    for (const WavName& file : bankOutputNames(bank).stereo) {
      if (!file.stereo || header(file.left) < 0 || header(file.right) < 0) continue;
      link[file.left] = static_cast<std::uint16_t>(header(file.right)), type[file.left] = 4;
      link[file.right] = static_cast<std::uint16_t>(header(file.left)), type[file.right] = 2;
    }
  }
};

// Sample r's header `h` against the bank's sample r (`faithful`, when
// given: as faithful output writes it), its positions in frames.
std::string checkSampleHeader(const std::uint8_t* h, const SampleBank& bank, std::uint32_t r,
                              const FaithfulSamples* faithful) {
  const std::uint32_t start = le32(h + 20), end = le32(h + 24);
  const std::uint32_t loopStart = le32(h + 28), loopEnd = le32(h + 32), rate = le32(h + 36);
  const std::string who = "sample " + std::to_string(r) + ": ";
  const std::uint64_t bytes = wavChannelBytes(bank, r);
  if (end < start || end - start != bytes / 2) {
    return who + std::to_string(static_cast<std::int64_t>(end) - start) + " frames, expected " + std::to_string(bytes / 2);
  }
  if (rate != 44100) return who + "sample rate " + std::to_string(rate) + ", expected 44100";
  std::string name;
  std::uint32_t wantStart, wantEnd;
  // Loop points count frames from the first frame of the sample data; the
  // loop end is the frame after the loop's last one.
  const std::int64_t first = bank.loopStart[r], last = bank.loopEnd[r];
  wantStart = start + static_cast<std::uint32_t>(first);
  wantEnd = start + static_cast<std::uint32_t>(last) + 1u;
  if (!faithful) {
    // A mono sample at its own pitch (original key 60, no correction), named
    // as the bank names it without the four-character extension, in at most
    // 20 characters.
    if (h[40] != 60 || h[41] != 0 || le16(h + 42) != 0 || le16(h + 44) != 1) return who + "not a mono sample at key 60";
    const std::string& full = bank.sampleName[r];
    name = full.substr(0, std::min<std::size_t>(full.size() > 4 ? full.size() - 4 : 0, 20));
  } else {
    if (h[40] != faithful->pitch[r] || h[41] != 0) {
      return who + "original pitch " + std::to_string(h[40]) + ", expected " + std::to_string(faithful->pitch[r]);
    }
    if (le16(h + 42) != faithful->link[r] || le16(h + 44) != faithful->type[r]) {
      return who + "sample type " + std::to_string(le16(h + 44)) + " linked to " + std::to_string(le16(h + 42)) +
             ", expected " + std::to_string(faithful->type[r]) + " linked to " + std::to_string(faithful->link[r]);
    }
    name = faithful->names[r];
    // A loop that does not lie within the sample is none: both points at
    // its first frame.
    if (!(0 <= first && first <= last && last < static_cast<std::int64_t>(bytes / 2))) wantStart = wantEnd = start;
  }
  std::string field(reinterpret_cast<const char*>(h), 20);
  if (field != name + std::string(20 - name.size(), '\0')) return who + "the name differs";
  if (loopStart != wantStart) return who + "loop start " + std::to_string(loopStart) + ", expected " + std::to_string(wantStart);
  if (loopEnd != wantEnd) return who + "loop end " + std::to_string(loopEnd) + ", expected " + std::to_string(wantEnd);
  return {};
}

// Sample header k and its data against the bank's sample r (`faithful`,
// when given: as faithful output writes it).
std::string checkSample(const File& file, const RiffChunk& smpl, const Hydra& hydra, const SampleBank& bank,
                        std::size_t k, std::uint32_t r, std::vector<std::uint8_t>& got,
                        std::vector<std::uint8_t>& want, const FaithfulSamples* faithful) {
  const std::uint8_t* h = hydra.record(kShdr, k);
  if (std::string what = checkSampleHeader(h, bank, r, faithful); !what.empty()) return what;
  const std::uint32_t start = le32(h + 20), end = le32(h + 24);
  const std::string who = "sample " + std::to_string(r) + ": ";
  const std::uint64_t bytes = wavChannelBytes(bank, r);
  if (2 * static_cast<std::uint64_t>(end) > smpl.size) return who + "runs past the sample data";

  const ChannelBytes expected(bank, r, bytes);
  const std::uint64_t base = smpl.offset + 2 * static_cast<std::uint64_t>(start);
  for (std::uint64_t at = 0; at < bytes;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(got.size(), bytes - at));
    file.readAt(base + at, got.data(), n);
    const std::uint8_t* w = expected.view(at, n, want.data());
    if (std::memcmp(got.data(), w, n) != 0) {
      std::size_t k = 0;
      while (got[k] == w[k]) ++k;
      return who + "frame " + std::to_string((at + k) / 2) + " differs";
    }
    at += n;
  }
  return {};
}

// Bytes compared per block: two blocks stay in the processor's cache.
constexpr std::size_t kBlockBytes = 128 << 10;

// Every sample the file holds (`held`, one per header), the first
// difference in sample order. A large bank's samples are compared on two
// threads that each take the next sample not yet taken, last first: the
// file's end, written last, is the most likely to be still in the
// processor's cache, and neither thread is left with the colder half.
std::string checkSamples(const File& file, const RiffChunk& smpl, const Hydra& hydra, const SampleBank& bank,
                         const std::vector<std::uint32_t>& held, const FaithfulSamples* faithful) {
  const auto n = static_cast<std::uint32_t>(held.size());
  std::uint64_t total = 0;
  for (const std::uint32_t r : held) total += wavChannelBytes(bank, r);
  std::atomic<std::uint32_t> taken{0};  // samples taken, from the last one down
  std::mutex mutex;
  std::uint32_t firstBad = n;  // guarded by mutex
  std::string what;            // guarded by mutex: how sample firstBad differs
  auto work = [&] {
    std::vector<std::uint8_t> got(kBlockBytes), want(kBlockBytes);
    for (std::uint32_t t; (t = taken.fetch_add(1)) < n;) {
      const std::uint32_t k = n - 1 - t;
      std::string differs;
      try {
        differs = checkSample(file, smpl, hydra, bank, k, held[k], got, want, faithful);
      } catch (const RunError& e) {
        differs = e.message();
      }
      if (!differs.empty()) {
        std::lock_guard<std::mutex> lock(mutex);
        if (k < firstBad) {
          firstBad = k;
          what = std::move(differs);
        }
      }
    }
  };
  // A large bank's samples are compared by two threads of their own while
  // this one waits: measured, that ran about a tenth faster than this
  // thread comparing alongside one other.
  constexpr std::uint64_t kSplitBytes = 4u << 20;
  std::vector<std::thread> threads;
  if (total >= kSplitBytes && std::thread::hardware_concurrency() >= 2) {
    try {
      for (int k = 0; k < 2; ++k) threads.emplace_back(work);
    } catch (const std::system_error&) {
      // Fewer threads: this one takes part.
    }
  }
  if (threads.size() < 2) work();
  for (std::thread& t : threads) t.join();
  return what;
}

// Sample data outside every sample (the frames a player may read past a
// sample's end) must be silence.
std::string checkGaps(File& file, const RiffChunk& smpl, const Hydra& hydra, std::uint32_t samples,
                      std::vector<std::uint8_t>& got) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> used;
  for (std::uint32_t r = 0; r < samples; ++r) {
    const std::uint8_t* h = hydra.record(kShdr, r);
    used.emplace_back(2 * static_cast<std::uint64_t>(le32(h + 20)), 2 * static_cast<std::uint64_t>(le32(h + 24)));
  }
  used.emplace_back(smpl.size, smpl.size);
  std::sort(used.begin(), used.end());
  std::uint64_t at = 0;
  for (const auto& [from, to] : used) {
    while (at < from) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(got.size(), from - at));
      file.readAt(smpl.offset + at, got.data(), n);
      for (std::size_t k = 0; k < n; ++k) {
        if (got[k] != 0) return "sample data byte " + std::to_string(at + k) + " outside every sample is not silence";
      }
      at += n;
    }
    at = std::max(at, to);
  }
  return {};
}

// The instrument zones against the bank's playable zones, in order. The
// SoundFont rules on order: keyRange first, velRange only after keyRange
// or first, sampleID last.
std::string checkZones(const Hydra& hydra, const SampleBank& bank, const ZoneArticulation& art, bool faithful) {
  const std::size_t insts = hydra.count(kInst), bags = hydra.count(kIbag), gens = hydra.count(kIgen);
  if (insts < 2) return "no instrument";
  const std::uint16_t firstBag = le16(hydra.record(kInst, 0) + 20);
  const std::uint16_t endBag = le16(hydra.record(kInst, insts - 1) + 20);
  if (firstBag > endBag || endBag >= bags) return "the instrument zone indexes are out of order";
  const std::vector<std::uint16_t> zones = faithful ? soundingZones(bank, art) : playableZones(bank, art);
  if (static_cast<std::size_t>(endBag - firstBag) != zones.size()) {
    return std::to_string(endBag - firstBag) + " instrument zones, expected " + std::to_string(zones.size());
  }
  for (std::size_t k = 0; k < zones.size(); ++k) {
    const std::string who = "zone " + std::to_string(zones[k]) + ": ";
    const std::uint16_t from = le16(hydra.record(kIbag, firstBag + k));
    const std::uint16_t to = le16(hydra.record(kIbag, firstBag + k + 1));
    if (from > to || to >= gens) return who + "generator indexes out of order";
    std::vector<GeneratorValue> want;
    if (faithful) {
      want = faithfulGenerators(bank, art, zones[k]);
    } else {
      const auto twelve = zoneGenerators(bank, art, zones[k]);
      want.assign(twelve.begin(), twelve.end());
    }
    if (static_cast<std::size_t>(to - from) != want.size()) {
      return who + std::to_string(to - from) + " generators, expected " + std::to_string(want.size());
    }
    std::vector<GeneratorValue> got;
    for (std::uint16_t g = from; g < to; ++g) {
      const std::uint8_t* p = hydra.record(kIgen, g);
      got.emplace_back(le16(p), le16(p + 2));
    }
    for (std::size_t g = 0; g < got.size(); ++g) {
      const std::uint16_t oper = got[g].first;
      if ((oper == kKeyRange && g != 0) || (oper == kVelRange && g > 1) ||
          (oper == kVelRange && g == 1 && got[0].first != kKeyRange) || (oper == kSampleId && g + 1 != got.size())) {
        return who + generatorName(oper) + " out of its place";
      }
    }
    std::sort(got.begin(), got.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t g = 0; g < want.size(); ++g) {
      if (got[g].first != want[g].first) return who + "no " + generatorName(want[g].first) + " generator";
      if (got[g].second != want[g].second) {
        return who + generatorName(want[g].first) + " " + std::to_string(got[g].second) + ", expected " +
               std::to_string(want[g].second);
      }
    }
  }
  return {};
}

// What only faithful output holds: INFO naming the bank and this program
// and no other text, at least 46 zero frames after each sample (checkGaps
// finds them silent), and terminal modulator records all zero.
std::string checkFaithfulFrame(File& file, const RiffChunk& info, const RiffChunk& smpl, const Hydra& hydra,
                               const SampleBank& bank) {
  auto text = [&](const char* id) {
    const RiffChunk* c = findChunk(info.children, id);
    if (!c) return std::string("(none)");
    std::string bytes(c->size, '\0');
    file.readAt(c->offset, bytes.data(), c->size);
    return bytes.substr(0, bytes.find('\0'));
  };
  for (const RiffChunk& c : info.children) {
    if (c.id != "ifil" && c.id != "isng" && c.id != "INAM" && c.id != "ISFT") return "INFO holds " + c.id;
  }
  if (text("INAM") != faithfulBankName(bank)) return "INAM \"" + text("INAM") + "\", expected the bank's name";
  if (text("ISFT") != std::string("Vantrel ") + VANTREL_VERSION) return "ISFT \"" + text("ISFT") + "\"";
  const std::vector<std::uint32_t> held = soundFontSamples(bank, true);
  for (std::size_t k = 0; k < held.size(); ++k) {
    const std::uint64_t end = le32(hydra.record(kShdr, k) + 24);
    const std::uint64_t next = k + 1 < held.size() ? le32(hydra.record(kShdr, k + 1) + 20) : smpl.size / 2;
    if (next < end + 46) return "sample " + std::to_string(held[k]) + ": fewer than 46 zero frames after it";
  }
  for (const int list : {kPmod, kImod}) {
    const std::uint8_t* last = hydra.record(list, hydra.count(list) - 1);
    if (std::any_of(last, last + 10, [](std::uint8_t b) { return b != 0; })) {
      return std::string(kHydra[list].id) + ": the terminal record is not all zero";
    }
  }
  return {};
}

// A compressed sample r of an SF3 file: its header as checkSample has it
// but for the positions (start and end the bytes of one Ogg stream in the
// sample data, loop points from the sample's first frame) and the
// compressed flag in its type; the stream, decoded by libsndfile, as long
// as the sample and at its level.
std::string checkCompressedSample(const File& file, const RiffChunk& smpl, const Hydra& hydra,
                                  const SampleBank& bank, std::size_t k, std::uint32_t r,
                                  const FaithfulSamples* faithful) {
  const std::uint8_t* h = hydra.record(kShdr, k);
  const std::uint32_t start = le32(h + 20), end = le32(h + 24);
  const std::string who = "sample " + std::to_string(r) + ": ";
  if ((le16(h + 44) & 0x10) == 0) return who + "not flagged as compressed";
  if (end <= start || end > smpl.size) return who + "its stream lies outside the sample data";
  // The header as an uncompressed sample at frame 0 of the data would have it.
  std::uint8_t plain[46];
  std::memcpy(plain, h, 46);
  const std::uint64_t bytes = wavChannelBytes(bank, r);
  const auto frames = static_cast<std::uint32_t>(bytes / 2);
  for (int k = 0; k < 4; ++k) {
    plain[20 + k] = 0;
    plain[24 + k] = static_cast<std::uint8_t>(frames >> (8 * k));
  }
  plain[44] = static_cast<std::uint8_t>(plain[44] & ~0x10);
  if (std::string what = checkSampleHeader(plain, bank, r, faithful); !what.empty()) return what;

  std::vector<std::uint8_t> stream(end - start);
  file.readAt(smpl.offset + start, stream.data(), stream.size());
  if (stream.size() < 4 || std::memcmp(stream.data(), "OggS", 4) != 0) return who + "its stream is not Ogg";
  struct Memory {
    const std::vector<std::uint8_t>* bytes;
    sf_count_t at = 0;
  } memory{&stream};
  SF_VIRTUAL_IO io{};
  io.get_filelen = [](void* m) { return static_cast<sf_count_t>(static_cast<Memory*>(m)->bytes->size()); };
  io.seek = [](sf_count_t offset, int whence, void* m) {
    Memory& mem = *static_cast<Memory*>(m);
    const auto size = static_cast<sf_count_t>(mem.bytes->size());
    mem.at = std::clamp<sf_count_t>(whence == SEEK_SET ? offset : whence == SEEK_CUR ? mem.at + offset : size + offset,
                                    0, size);
    return mem.at;
  };
  io.read = [](void* to, sf_count_t n, void* m) {
    Memory& mem = *static_cast<Memory*>(m);
    const sf_count_t take = std::min<sf_count_t>(n, static_cast<sf_count_t>(mem.bytes->size()) - mem.at);
    std::memcpy(to, mem.bytes->data() + mem.at, static_cast<std::size_t>(take));
    mem.at += take;
    return take;
  };
  io.write = [](const void*, sf_count_t, void*) { return sf_count_t{0}; };
  io.tell = [](void* m) { return static_cast<Memory*>(m)->at; };
  const Sndfile& sf = sndfile();
  SF_INFO info{};
  SNDFILE* decoder = sf.openVirtual(&io, SFM_READ, &info, &memory);
  if (!decoder) return who + "libsndfile cannot read its stream: " + sf.strerror(nullptr);
  std::vector<std::int16_t> decoded(frames + 1u);
  const sf_count_t got = info.channels == 1 ? sf.readShort(decoder, decoded.data(), frames + 1) : -1;
  sf.close(decoder);
  if (got != frames) return who + std::to_string(got) + " frames decoded, expected " + std::to_string(frames);
  std::vector<std::uint8_t> want(bytes);
  if (bytes) ChannelBytes(bank, r, bytes).read(0, want.data(), want.size());
  // A lossy codec keeps a sample's level, not its waveform: the decoded
  // stream's energy within 1 dB of the sample's, or both below 1% of full
  // scale.
  double original = 0, got2 = 0;
  for (std::uint32_t k = 0; k < frames; ++k) {
    const double w = static_cast<std::int16_t>(want[2 * k] | want[2 * k + 1] << 8);
    original += w * w;
    got2 += static_cast<double>(decoded[k]) * decoded[k];
  }
  const double floor = 0.01 * 32768 * 0.01 * 32768 * frames;
  if (std::max(original, got2) > floor && std::fabs(10 * std::log10((got2 + 1) / (original + 1))) > 1) {
    return who + "the decoded stream's level differs from its frames' by more than 1 dB";
  }
  return {};
}

// What both SoundFont checks read first: the chunk tree, the INFO list
// with its version (with `version`, that version), the sample data, the
// hydra with a header for each sample the file holds, and the zones.
struct SoundFontParts {
  std::vector<RiffChunk> top;
  const RiffChunk* info = nullptr;
  const RiffChunk* smpl = nullptr;
  Hydra hydra;
  std::vector<std::uint32_t> held;
};

std::string readSoundFontParts(File& file, const SampleBank& bank, const ZoneArticulation& zones, bool faithful,
                               std::optional<int> version, SoundFontParts& p) {
  if (std::string what = readRiffTree(file, "sfbk", p.top); !what.empty()) return what;
  p.info = findChunk(p.top, "LIST", "INFO");
  const RiffChunk* sdta = findChunk(p.top, "LIST", "sdta");
  const RiffChunk* pdta = findChunk(p.top, "LIST", "pdta");
  const RiffChunk* ifil = p.info ? findChunk(p.info->children, "ifil") : nullptr;
  if (!ifil || (version && ifil->size != 4)) return "no INFO list with a version";
  if (version) {
    std::uint8_t bytes[4];
    file.readAt(ifil->offset, bytes, 4);
    if (le16(bytes) != *version) return "version " + std::to_string(le16(bytes)) + ", expected " + std::to_string(*version);
  }
  if (!sdta || !pdta) return "no sdta or pdta list";
  p.smpl = findChunk(sdta->children, "smpl");
  if (!p.smpl) return "no sample data";
  if (std::string what = readHydra(file, *pdta, p.hydra); !what.empty()) return what;
  p.held = soundFontSamples(bank, faithful);
  if (p.hydra.count(kShdr) != p.held.size() + 1u) {
    return std::to_string(p.hydra.count(kShdr) - 1) + " sample headers, expected " + std::to_string(p.held.size());
  }
  return checkZones(p.hydra, bank, zones, faithful);
}

}  // namespace

std::string checkSoundFont(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones,
                           bool faithful) {
  try {
    File file(path, File::Mode::Read);
    SoundFontParts p;
    if (std::string what = readSoundFontParts(file, bank, zones, faithful, std::nullopt, p); !what.empty()) return what;
    std::optional<FaithfulSamples> samples;
    if (faithful) {
      samples.emplace(bank, zones);
      if (std::string what = checkFaithfulFrame(file, *p.info, *p.smpl, p.hydra, bank); !what.empty()) return what;
    }
    if (std::string what = checkSamples(file, *p.smpl, p.hydra, bank, p.held, samples ? &*samples : nullptr);
        !what.empty()) {
      return what;
    }
    std::vector<std::uint8_t> got(kBlockBytes);
    return checkGaps(file, *p.smpl, p.hydra, static_cast<std::uint32_t>(p.held.size()), got);
  } catch (const RunError& e) {
    return e.message();
  }
}

std::string checkSf3(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones, bool faithful) {
  try {
    File file(path, File::Mode::Read);
    SoundFontParts p;
    if (std::string what = readSoundFontParts(file, bank, zones, faithful, 3, p); !what.empty()) return what;
    std::optional<FaithfulSamples> samples;
    if (faithful) samples.emplace(bank, zones);
    for (std::size_t k = 0; k < p.held.size(); ++k) {
      if (std::string what = checkCompressedSample(file, *p.smpl, p.hydra, bank, k, p.held[k], samples ? &*samples : nullptr);
          !what.empty()) {
        return what;
      }
    }
    return {};
  } catch (const RunError& e) {
    return e.message();
  }
}

}  // namespace vantrel::verify
