// SPDX-License-Identifier: MIT
#include "writers/multisample_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tti/bank_check.h"
#include "tti/stereo_pairs.h"
#include "writers/sfz_writer.h"
#include "writers/wav_writer.h"

namespace vantrel {
namespace {

// Whether two zones play alike but for their sample and pan: the left and
// right channel of one stereo sound.
bool playAlike(const ZonePlay& a, const ZonePlay& b) {
  return a.keyLow == b.keyLow && a.keyHigh == b.keyHigh && a.velLow == b.velLow && a.velHigh == b.velHigh &&
         a.rootKey == b.rootKey && a.tuningCents == b.tuningCents && a.attenuationCb == b.attenuationCb &&
         (a.loop == LoopPlay::Forward) == (b.loop == LoopPlay::Forward) &&
         (a.loop != LoopPlay::Forward || (a.loopStart == b.loopStart && a.loopEnd == b.loopEnd));
}

// Text of a decimal value in the C locale: at most six significant digits
// and no "-0".
std::string decimal(double v) {
  if (v == 0) return "0";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  return std::string(buf, r.ptr);
}

// UTF-8 text for an attribute value or an element's content: markup
// characters as entities, characters XML 1.0 does not allow (C0 controls,
// U+FFFE, U+FFFF) as '_'.
std::string xmlText(std::string_view utf8) {
  std::string out;
  for (std::size_t k = 0; k < utf8.size(); ++k) {
    const auto c = static_cast<unsigned char>(utf8[k]);
    switch (c) {
      case '&': out += "&amp;"; continue;
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '"': out += "&quot;"; continue;
      case '\'': out += "&apos;"; continue;
      default: break;
    }
    if (c < 0x20) {
      out += '_';
    } else if (c == 0xEF && k + 2 < utf8.size() && static_cast<unsigned char>(utf8[k + 1]) == 0xBF &&
               (static_cast<unsigned char>(utf8[k + 2]) & 0xFE) == 0xBE) {
      out += '_';
      k += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// CRC-32 of the zip format (polynomial 0xEDB88320, reflected).
class Crc32 {
 public:
  Crc32() {
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table_[n] = c;
    }
  }
  std::uint32_t of(const std::uint8_t* p, std::size_t n) const {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t k = 0; k < n; ++k) c = table_[(c ^ p[k]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
  }

 private:
  std::array<std::uint32_t, 256> table_{};
};

// A WAV file of the archive, whole, in memory.
std::vector<std::uint8_t> wavBytes(const SampleBank& bank, const std::vector<ZonePlay>& zones,
                                   const MultisampleFile& f) {
  WavSource source;
  source.stereo = f.stereo;
  source.left = f.left;
  source.right = f.right;
  source.smpl = faithfulSmpl(firstZoneOf(zones, f.left));
  const WavHeader header = wavHeaderFor(bank, source);
  // The header's data size: the whole frames of the left sample per channel.
  const std::size_t n = wholeFrames(bank.pcmLength[f.left]);
  const std::size_t channels = f.stereo ? 2 : 1;
  std::vector<std::uint8_t> out(header.size + channels * n);
  std::memcpy(out.data(), header.data(), header.size);
  auto channel = [&](std::uint16_t index, std::uint8_t* to) {
    const SampleSpan span = sampleSpan(bank, index, n);
    bank.pcm.read(span.start, to, span.held);
    std::memset(to + span.held, 0, n - span.held);
  };
  if (!f.stereo) {
    channel(f.left, out.data() + header.size);
    return out;
  }
  std::vector<std::uint8_t> l(n), r(n);
  channel(f.left, l.data());
  channel(f.right, r.data());
  std::uint8_t* data = out.data() + header.size;
  for (std::size_t i = 0; i + 1 < n; i += 2) {
    std::memcpy(data + 2 * i, l.data() + i, 2);
    std::memcpy(data + 2 * i + 2, r.data() + i, 2);
  }
  return out;
}

// Local file header and central directory record of a stored entry.
constexpr std::uint16_t kZipVersion = 10;       // 1.0: stored entries
constexpr std::uint16_t kUtf8Names = 1u << 11;  // general purpose flag bit 11
constexpr std::uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
constexpr std::uint16_t kDosTime = 0;

struct ZipEntry {
  std::string name;
  std::uint32_t crc = 0;
  std::uint32_t size = 0;
  std::uint32_t offset = 0;  // of its local header
};

void putEntryFields(LeBytes& b, const ZipEntry& e) {
  b.u16(kZipVersion);
  b.u16(kUtf8Names);
  b.u16(0);  // stored
  b.u16(kDosTime);
  b.u16(kDosDate);
  b.u32(e.crc);
  b.u32(e.size);  // compressed
  b.u32(e.size);  // uncompressed
  b.u16(static_cast<std::uint16_t>(e.name.size()));
  b.u16(0);  // extra field
}

}  // namespace

MultisamplePlan planMultisample(const SampleBank& bank, const std::vector<ZonePlay>& zones) {
  MultisamplePlan plan;
  const std::vector<std::string> monoNames = sfzSampleNames(bank);
  std::vector<int> rightOf(bank.sampleCount, -1);
  for (const auto& [l, r] : stereoPairs(bank)) rightOf[l] = r;

  std::unordered_set<std::string> taken;  // names without regard to letter case
  for (const std::string& name : monoNames) taken.insert(caseFolded(name, false));
  // Index of each sample's mono file and each pair's stereo file, once made.
  std::vector<int> monoFile(bank.sampleCount, -1), stereoFile(bank.sampleCount, -1);
  auto fileOf = [&](bool stereo, std::uint16_t left, std::uint16_t right) {
    int& index = stereo ? stereoFile[left] : monoFile[left];
    if (index >= 0) return static_cast<std::size_t>(index);
    MultisampleFile f;
    f.stereo = stereo;
    f.left = left;
    f.right = stereo ? right : left;
    if (!stereo) {
      f.name = monoNames[left];
    } else {
      // sfzSampleNames end in ".wav" in some letter case.
      const std::string& l = monoNames[left];
      const std::string base = l.substr(0, l.size() - 4) + "__" + monoNames[right];
      f.name = base;
      for (std::uint32_t k = 2; !taken.insert(caseFolded(f.name, false)).second; ++k) {
        f.name = base.substr(0, base.size() - 4) + "_" + std::to_string(k) + base.substr(base.size() - 4);
      }
    }
    index = static_cast<int>(plan.files.size());
    plan.files.push_back(std::move(f));
    return static_cast<std::size_t>(index);
  };

  std::vector<std::uint8_t> taken_zone(zones.size(), 0);  // right zones written with their left
  for (std::size_t k = 0; k < zones.size(); ++k) {
    const ZonePlay& z = zones[k];
    if (taken_zone[k] || !z.sounds() || hasNoData(bank, z.sample)) continue;
    MultisampleEntry e;
    e.zone = &z;
    const int right = rightOf[z.sample];
    if (right >= 0) {
      for (std::size_t j = k + 1; j < zones.size(); ++j) {
        const ZonePlay& r = zones[j];
        if (!taken_zone[j] && r.sample == right && r.sounds() && !hasNoData(bank, r.sample) && playAlike(z, r)) {
          e.rightZone = &r;
          taken_zone[j] = 1;
          break;
        }
      }
    }
    e.file = e.rightZone ? fileOf(true, z.sample, static_cast<std::uint16_t>(right)) : fileOf(false, z.sample, 0);
    plan.entries.push_back(e);
  }
  return plan;
}

std::string multisampleXml(const SampleBank& bank, const MultisamplePlan& plan) {
  std::string name = utf8OrLatin1(fileNamePart(bank.ttiPath));
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<multisample name=\"" + xmlText(name) + "\">\n";
  out += "  <generator>Vantrel " VANTREL_VERSION "</generator>\n";
  out += "  <category/>\n  <creator/>\n";
  out += "  <description>" + xmlText(utf8OrLatin1(fileNamePart(bank.ttiPath))) + ", converted with Vantrel</description>\n";
  for (const MultisampleEntry& e : plan.entries) {
    const ZonePlay& z = *e.zone;
    out += "  <sample file=\"" + xmlText(plan.files[e.file].name) + "\" gain=\"" +
           decimal(-0.04 * z.attenuationCb) + "\">\n";
    out += "    <key root=\"" + std::to_string(z.rootKey) + "\" low=\"" + std::to_string(std::min(z.keyLow, 127)) +
           "\" high=\"" + std::to_string(z.keyHigh) + "\" tune=\"" + decimal(z.tuningCents / 100.0) + "\"/>\n";
    // Velocity 0 is a note-off: a range starts at 1 at the lowest.
    out += "    <velocity low=\"" + std::to_string(std::clamp(z.velLow, 1, 127)) + "\" high=\"" +
           std::to_string(z.velHigh) + "\"/>\n";
    out += "    <select low=\"0\" high=\"127\"/>\n";
    if (z.loop == LoopPlay::Forward) {
      out += "    <loop mode=\"loop\" start=\"" + std::to_string(z.loopStart) + "\" stop=\"" +
             std::to_string(std::int64_t{z.loopEnd} + 1) + "\"/>\n";
    } else {
      out += "    <loop mode=\"off\"/>\n";
    }
    out += "  </sample>\n";
  }
  out += "</multisample>\n";
  return out;
}

std::string writeMultisample(const SampleBank& bank, const std::vector<ZonePlay>& zones, const std::string& finalPath,
                             std::vector<std::uint8_t>& buffer, const Progress& progress, WriteTap* tap,
                             const OpenFolder* folder, bool /*faithful*/) {
  const MultisamplePlan plan = planMultisample(bank, zones);
  const std::string xml = multisampleXml(bank, plan);
  const Crc32 crc;
  OutputFile file(finalPath, tap, folder);
  BlockWriter out(file.file(), buffer, 0, false, &progress);
  if (progress) progress(1);

  std::vector<ZipEntry> entries;
  std::uint64_t at = 0;
  auto put = [&](std::string name, const std::uint8_t* data, std::size_t size) {
    ZipEntry e;
    e.name = std::move(name);
    e.crc = crc.of(data, size);
    e.size = static_cast<std::uint32_t>(size);
    e.offset = static_cast<std::uint32_t>(at);
    const std::uint64_t end = at + 30 + e.name.size() + size;
    if (size > std::numeric_limits<std::uint32_t>::max() || end > std::numeric_limits<std::uint32_t>::max() ||
        e.name.size() > 0xFFFF) {
      throwInvalidBank(bank.ttiPath, "its samples are too large for a multisample file");
    }
    LeBytes head;
    head.u32(0x04034b50);
    putEntryFields(head, e);
    head.text(e.name, e.name.size());
    out.put(head);
    out.put(data, size);
    at = end;
    entries.push_back(std::move(e));
  };
  put("multisample.xml", reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size());
  for (const MultisampleFile& f : plan.files) {
    const std::vector<std::uint8_t> wav = wavBytes(bank, zones, f);
    put(f.name, wav.data(), wav.size());
    if (progress) progress(f.stereo ? 2 : 1);
  }

  LeBytes central;
  for (const ZipEntry& e : entries) {
    central.u32(0x02014b50);
    central.u16(kZipVersion);  // made by: MS-DOS attributes
    putEntryFields(central, e);
    central.u16(0);  // comment
    central.u16(0);  // disk
    central.u16(0);  // internal attributes
    central.u32(0);  // external attributes
    central.u32(e.offset);
    central.text(e.name, e.name.size());
  }
  if (at + central.size() > std::numeric_limits<std::uint32_t>::max() || entries.size() > 0xFFFF) {
    throwInvalidBank(bank.ttiPath, "its samples are too large for a multisample file");
  }
  LeBytes end;
  end.u32(0x06054b50);
  end.u16(0);  // this disk
  end.u16(0);  // the central directory's disk
  end.u16(static_cast<std::uint16_t>(entries.size()));
  end.u16(static_cast<std::uint16_t>(entries.size()));
  end.u32(static_cast<std::uint32_t>(central.size()));
  end.u32(static_cast<std::uint32_t>(at));
  end.u16(0);  // comment
  out.put(central);
  out.put(end);
  out.finish();
  file.commit();
  return file.finalPath();
}

}  // namespace vantrel
