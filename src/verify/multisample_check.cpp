// SPDX-License-Identifier: MIT
#include "verify/multisample_check.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "verify/checks.h"
#include "verify/expected.h"
#include "verify/xml_pieces.h"

namespace vantrel::verify {
namespace {

std::uint32_t u16At(const std::string& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}
std::uint32_t u32At(const std::string& b, std::size_t at) { return u16At(b, at) | u16At(b, at + 2) << 16; }

// CRC-32 as zip readers compute it, bit by bit.
std::uint32_t crc32Of(const char* p, std::size_t n) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t k = 0; k < n; ++k) {
    c ^= static_cast<std::uint8_t>(p[k]);
    for (int b = 0; b < 8; ++b) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

struct Entry {
  std::string name;
  std::size_t at = 0, size = 0;  // the stored bytes in the file
};

// The entries of a zip archive that stores them all as they are; "" or
// what is wrong.
std::string readZip(const std::string& b, std::vector<Entry>& entries) {
  if (b.size() < 22) return "too short for a zip archive";
  const std::size_t eocd = b.size() - 22;
  if (u32At(b, eocd) != 0x06054b50) return "no end of central directory record at the end";
  const std::uint32_t count = u16At(b, eocd + 10), cdSize = u32At(b, eocd + 12), cdAt = u32At(b, eocd + 16);
  if (u16At(b, eocd + 8) != count || std::uint64_t{cdAt} + cdSize != eocd) return "a central directory out of place";
  std::size_t at = cdAt;
  for (std::uint32_t k = 0; k < count; ++k) {
    if (at + 46 > eocd || u32At(b, at) != 0x02014b50) return "central record " + std::to_string(k) + " damaged";
    const std::uint32_t method = u16At(b, at + 10), crc = u32At(b, at + 16), packed = u32At(b, at + 20),
                        size = u32At(b, at + 24), nameLen = u16At(b, at + 28),
                        more = u16At(b, at + 30) + u16At(b, at + 32), local = u32At(b, at + 42);
    if (at + 46 + nameLen + more > eocd) return "central record " + std::to_string(k) + " damaged";
    Entry e;
    e.name = b.substr(at + 46, nameLen);
    at += 46 + nameLen + more;
    if (method != 0 || packed != size) return e.name + ": not stored";
    if (std::uint64_t{local} + 30 > cdAt || u32At(b, local) != 0x04034b50) return e.name + ": no local header";
    const std::size_t data = local + 30 + u16At(b, local + 26) + u16At(b, local + 28);
    if (u16At(b, local + 8) != 0 || u32At(b, local + 14) != crc || u32At(b, local + 18) != size ||
        u32At(b, local + 22) != size || b.compare(local + 30, nameLen, e.name) != 0) {
      return e.name + ": the local header differs from the central record";
    }
    if (std::uint64_t{data} + size > cdAt) return e.name + ": runs past the central directory";
    if (crc32Of(b.data() + data, size) != crc) return e.name + ": CRC-32 differs";
    e.at = data;
    e.size = size;
    entries.push_back(std::move(e));
  }
  return {};
}

// What a zone's <sample> element must say, from its SoundFont generators.
struct ZoneWant {
  std::uint16_t zone = 0, sample = 0;
  int pan = 0;
  // key root, low, high, tune; velocity low, high; gain; loop start, stop.
  std::map<std::string, double> values;
  bool loop = false;
  bool alike(const ZoneWant& o) const { return values == o.values && loop == o.loop; }
};

ZoneWant zoneWant(const SampleBank& bank, const ZoneArticulation& zones, std::uint16_t zone) {
  std::uint16_t gen[64] = {};
  for (const auto& [oper, amount] : zoneGenerators(bank, zones, zone)) gen[oper] = amount;
  auto s = [&](int oper) { return static_cast<std::int16_t>(gen[oper]); };
  ZoneWant w;
  w.zone = zone;
  w.sample = gen[kSampleId];
  w.pan = s(kPan);
  const std::uint64_t frames = wavChannelBytes(bank, w.sample) / 2;
  const std::int32_t loopStart = bank.loopStart[w.sample], loopEnd = bank.loopEnd[w.sample];
  w.loop = gen[kSampleModes] == 1 && loopStart >= 0 && loopStart <= loopEnd &&
           static_cast<std::uint64_t>(loopEnd) < frames;
  // Players take a negative root key as none and play the sample's own
  // pitch, 60; velocity 0 is a note-off, so a range starts at 1.
  w.values = {{"key root", s(kOverridingRootKey) < 0 ? 60 : s(kOverridingRootKey)},
              {"key low", std::min(gen[kKeyRange] & 0xFF, 127)},
              {"key high", gen[kKeyRange] >> 8},
              {"key tune", s(kFineTune) / 100.0},
              {"velocity low", std::clamp(gen[kVelRange] & 0xFF, 1, 127)},
              {"velocity high", gen[kVelRange] >> 8},
              {"sample gain", -0.04 * s(kInitialAttenuation)}};
  if (w.loop) {
    w.values["loop start"] = loopStart;
    w.values["loop stop"] = loopEnd + 1.0;
  }
  return w;
}

// One <sample> element: its attributes and those of its children, as
// "element attribute".
using Element = std::map<std::string, std::string>;

std::string readElements(const std::vector<Piece>& pieces, std::vector<Element>& samples) {
  std::size_t k = 0;
  auto is = [&](Piece::Kind kind, const char* name) {
    return k < pieces.size() && pieces[k].kind == kind && pieces[k].text == name;
  };
  if (!is(Piece::Start, "multisample")) return "no <multisample>";
  ++k;
  // generator, category and creator, each with text or empty; then a
  // description at most.
  for (const char* name : {"generator", "category", "creator", "description"}) {
    if (is(Piece::Empty, name)) {
      ++k;
      continue;
    }
    if (!is(Piece::Start, name)) {
      if (std::strcmp(name, "description") == 0) break;
      return std::string("no <") + name + ">";
    }
    ++k;
    if (std::strcmp(name, "generator") == 0 &&
        !(k < pieces.size() && pieces[k].kind == Piece::Text && pieces[k].text.rfind("Vantrel ", 0) == 0)) {
      return "the generator is not Vantrel";
    }
    if (k < pieces.size() && pieces[k].kind == Piece::Text) ++k;
    if (!is(Piece::End, name)) return std::string("<") + name + "> does not end";
    ++k;
  }
  while (is(Piece::Start, "sample")) {
    Element e;
    for (const auto& [n, v] : pieces[k].attributes) e["sample " + n] = v;
    ++k;
    for (; k < pieces.size() && pieces[k].kind == Piece::Empty; ++k) {
      for (const auto& [n, v] : pieces[k].attributes) e[pieces[k].text + " " + n] = v;
      e[pieces[k].text] = "";
    }
    if (!is(Piece::End, "sample")) return "a <sample> holds more than empty elements";
    ++k;
    samples.push_back(std::move(e));
  }
  if (!is(Piece::End, "multisample")) return "unexpected content after the samples";
  return ++k == pieces.size() ? std::string() : "content after </multisample>";
}

// Checks one WAV file of the archive, copied to a file of its own.
std::string checkWavEntry(const std::string& bytes, const SampleBank& bank, const ZoneArticulation& zones,
                          bool stereo, std::uint16_t left, std::uint16_t right) {
  std::string path = (std::filesystem::temp_directory_path() / "vantrel-multisample-XXXXXX").string();
  const int fd = ::mkstemp(path.data());
  if (fd < 0) return "no temporary file to check it in";
  ::close(fd);
  std::string what;
  {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) what = "cannot be copied to check it";
  }
  if (what.empty()) what = checkWav(path, bank, stereo, left, right, &zones);
  ::unlink(path.c_str());
  return what;
}

}  // namespace

std::string checkMultisample(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot be read";
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return "cannot be read";
  std::vector<Entry> entries;
  if (std::string what = readZip(bytes, entries); !what.empty()) return what;
  if (entries.empty() || entries[0].name != "multisample.xml") return "multisample.xml is not the first entry";
  const std::string xml = bytes.substr(entries[0].at, entries[0].size);
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  if (xml.rfind(declaration, 0) != 0) return "multisample.xml does not start with " + declaration;
  std::vector<Piece> pieces;
  if (std::string what = readPieces(xml, declaration.size(), pieces); !what.empty()) return "multisample.xml: " + what;
  std::erase_if(pieces, [](const Piece& p) { return p.kind == Piece::Comment; });
  std::vector<Element> samples;
  if (std::string what = readElements(pieces, samples); !what.empty()) return "multisample.xml: " + what;

  std::vector<ZoneWant> wants;
  for (std::uint16_t z : soundingZones(bank, zones)) {
    if (!sampleWithoutData(bank, bank.zoneSample[z])) wants.push_back(zoneWant(bank, zones, z));
  }
  std::map<std::uint16_t, std::uint16_t> rightOf;
  for (const WavName& n : bankOutputNames(bank).stereo) {
    if (n.stereo) rightOf[n.left] = n.right;
  }
  std::map<std::string, const Entry*> files;
  for (const Entry& e : entries) files[e.name] = &e;
  std::set<std::string> used{"multisample.xml"}, checkedFiles;
  std::vector<std::uint8_t> done(wants.size(), 0);
  std::size_t next = 0;
  for (const Element& e : samples) {
    while (next < wants.size() && done[next]) ++next;
    if (next == wants.size()) return std::to_string(samples.size()) + " samples, more than the zones that sound";
    const ZoneWant& w = wants[next];
    done[next] = 1;
    const std::string who = "zone " + std::to_string(w.zone) + ": ";
    // Its right channel: the first later zone of the pair's right sample
    // that plays alike.
    const ZoneWant* right = nullptr;
    if (const auto r = rightOf.find(w.sample); r != rightOf.end()) {
      for (std::size_t j = next + 1; j < wants.size() && !right; ++j) {
        if (!done[j] && wants[j].sample == r->second && wants[j].alike(w)) {
          right = &wants[j];
          done[j] = 1;
        }
      }
    }
    for (const auto& [name, want] : w.values) {
      const auto it = e.find(name);
      if (it == e.end()) return who + "no " + name;
      double got = 0;
      const auto res = std::from_chars(it->second.data(), it->second.data() + it->second.size(), got);
      if (res.ec != std::errc() || res.ptr != it->second.data() + it->second.size() ||
          std::fabs(got - want) > std::max(1e-4 * std::fabs(want), 1e-9)) {
        return who + name + " " + it->second + ", expected " + std::to_string(want);
      }
    }
    const auto mode = e.find("loop mode");
    if (mode == e.end() || mode->second != (w.loop ? "loop" : "off")) {
      return who + "loop mode " + (mode == e.end() ? "missing" : mode->second);
    }
    const auto file = e.find("sample file");
    if (file == e.end() || !files.count(file->second)) return who + "its file is not in the archive";
    used.insert(file->second);
    if (!checkedFiles.insert(file->second).second) continue;
    const Entry& f = *files[file->second];
    if (std::string what = checkWavEntry(bytes.substr(f.at, f.size), bank, zones, right != nullptr, w.sample,
                                         right ? right->sample : w.sample);
        !what.empty()) {
      return who + f.name + ": " + what;
    }
  }
  if (std::count(done.begin(), done.end(), 0) > 0) {
    return std::to_string(samples.size()) + " samples, fewer than the zones that sound";
  }
  if (used.size() != entries.size()) return "the archive holds files no sample plays";
  return {};
}

}  // namespace vantrel::verify
