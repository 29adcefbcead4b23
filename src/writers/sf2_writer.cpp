// SPDX-License-Identifier: MIT
#include "writers/sf2_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tti/stereo_pairs.h"

namespace vantrel {

namespace {

constexpr std::uint32_t kPadFrames = 32;          // zero frames after every sample
constexpr std::uint32_t kFaithfulPadFrames = 46;  // the least the format asks for
constexpr int kShortestFaithful = -12000;         // the shortest envelope time it allows

// A record name: the first length - 4 characters (the name without a
// four-character extension), at most 20; shorter names give an empty field.
std::string_view recordName(std::string_view latin1) {
  const std::size_t n = latin1.size() > 4 ? latin1.size() - 4 : 0;
  return latin1.substr(0, n < 20 ? n : 20);
}

// A name for faithful output (Latin-1): without a last extension of one to
// three characters, '/' and control characters made '_', cut to `width`.
std::string faithfulName(std::string_view latin1, std::size_t width) {
  const std::size_t dot = latin1.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && latin1.size() - dot >= 2 && latin1.size() - dot <= 4) {
    latin1 = latin1.substr(0, dot);
  }
  std::string name(latin1.substr(0, width));
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == '/' || (u >= 127 && u < 160)) c = '_';
  }
  return name;
}

// The sample names of faithful output, each apart from the others: a name
// an earlier sample has gets "_2", "_3", ..., its base cut to stay within
// 20 characters.
std::vector<std::string> faithfulSampleNames(const SampleBank& bank) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (std::uint32_t r = 0; r < bank.sampleCount; ++r) {
    std::string base = faithfulName(bank.sampleName[r], 20);
    if (base.empty()) base = "Sample";
    std::string name = base;
    for (int k = 2; taken.count(name); ++k) {
      const std::string suffix = "_" + std::to_string(k);
      name = base.substr(0, 20 - suffix.size()) + suffix;
    }
    taken.insert(name);
    names.push_back(std::move(name));
  }
  return names;
}

struct SamplePositions {
  std::uint32_t start, end, loopStart, loopEnd;
};

// INFO list: version 2.01 and fixed texts, 176 bytes from "INFO" on.
void putInfo(LeBytes& b) {
  b.tag("LIST");
  b.u32(176);
  b.tag("INFO");
  b.tag("ifil");
  b.u32(4);
  b.u16(2);
  b.u16(1);
  b.tag("INAM");
  b.u32(14);
  b.text("Name des TTI", 14);
  b.tag("isng");
  b.u32(10);
  b.text("E-mu 10K1", 10);
  b.tag("IPRD");
  b.u32(8);
  b.text("SBAWE32", 8);
  b.tag("IENG");
  b.u32(2);
  b.zeros(2);
  b.tag("ISFT");
  b.u32(14);
  b.text("SFEDT v1.29:", 14);
  b.tag("ICRD");
  b.u32(14);
  b.text("Feb 29, 2000", 14);
  b.tag("ICMT");
  b.u32(32);
  b.text("converted with Vantrel 2.0", 32);
  b.tag("ICOP");
  b.u32(2);
  b.zeros(2);
}

// A zero-terminated text chunk, padded to an even size.
void putText(LeBytes& b, const char (&id)[5], std::string_view text) {
  const std::size_t size = (text.size() + 2) & ~std::size_t{1};
  b.tag(id);
  b.u32(static_cast<std::uint32_t>(size));
  b.text(text, size);
}

// INFO list of faithful output: the version, the sound engine the format
// requires a file to name (its default, EMU8000), the bank's name and this
// program.
void putFaithfulInfo(LeBytes& b, std::string_view bankName) {
  LeBytes info;
  info.tag("INFO");
  info.tag("ifil");
  info.u32(4);
  info.u16(2);
  info.u16(1);
  putText(info, "isng", "EMU8000");
  putText(info, "INAM", bankName);
  putText(info, "ISFT", "Vantrel " VANTREL_VERSION);
  b.tag("LIST");
  b.u32(static_cast<std::uint32_t>(info.size()));
  b.put(info);
}

}  // namespace

std::array<GenRecord, 12> sf2Generators(const ZonePlay& p) {
  auto amount = [](int v) { return static_cast<std::uint16_t>(static_cast<std::int16_t>(v)); };
  // Ranges: low byte the first key or velocity played, high byte the last.
  // keyRange must come first and velRange right after it: a player discards
  // a velRange that follows any other generator. sampleID ends the zone.
  return {{
      {kGenKeyRange, static_cast<std::uint16_t>(p.keyLow | p.keyHigh << 8)},
      {kGenVelRange, static_cast<std::uint16_t>(p.velLow | p.velHigh << 8)},
      {kGenSampleModes, p.looped ? std::uint16_t{1} : std::uint16_t{0}},
      {kGenFineTune, amount(p.tuningCents)},
      {kGenOverridingRootKey, amount(p.storedRootKey)},
      {kGenInitialAttenuation, amount(p.attenuationCb)},
      {kGenReleaseVolEnv, amount(p.releaseTimecents)},
      {kGenSustainVolEnv, amount(p.sustainCb)},
      {kGenDecayVolEnv, amount(p.decayTimecents)},
      {kGenAttackVolEnv, amount(p.attackTimecents)},
      {kGenPan, amount(p.pan)},
      {kGenSampleId, p.sample},
  }};
}

std::vector<GenRecord> sf2FaithfulGenerators(const ZonePlay& p, int samplePitch, std::uint16_t sampleId) {
  auto amount = [](int v) { return static_cast<std::uint16_t>(static_cast<std::int16_t>(v)); };
  auto time = [&](int timecents) { return amount(std::max(timecents, kShortestFaithful)); };
  std::vector<GenRecord> g;
  g.reserve(13);
  g.push_back({kGenKeyRange, static_cast<std::uint16_t>(p.keyLow | p.keyHigh << 8)});
  g.push_back({kGenVelRange, static_cast<std::uint16_t>(p.velLow | p.velHigh << 8)});
  g.push_back({kGenSampleModes, p.loop == LoopPlay::Forward ? std::uint16_t{1} : std::uint16_t{0}});
  // Whole semitones, then the cents left, both toward zero.
  if (p.tuningCents / 100 != 0) g.push_back({kGenCoarseTune, amount(p.tuningCents / 100)});
  g.push_back({kGenFineTune, amount(p.tuningCents % 100)});
  if (p.rootKey != samplePitch) g.push_back({kGenOverridingRootKey, amount(p.rootKey)});
  g.push_back({kGenInitialAttenuation, amount(p.attenuationCb)});
  g.push_back({kGenReleaseVolEnv, time(p.releaseTimecents)});
  g.push_back({kGenSustainVolEnv, amount(p.sustainCb)});
  g.push_back({kGenDecayVolEnv, time(p.decayTimecents)});
  g.push_back({kGenAttackVolEnv, time(p.attackTimecents)});
  g.push_back({kGenPan, amount(std::clamp(p.pan, -500, 500))});
  g.push_back({kGenSampleId, sampleId});
  return g;
}

std::array<GenRecord, 12> convertval(const SampleBank& bank, const ZoneArticulation& art, std::uint16_t zone) {
  return sf2Generators(interpretZone(bank, art, zone));
}

std::string bankFileNameFor(const std::string& ttiPath, const std::string& extension) {
  std::string name = fileNamePart(ttiPath);
  // Drop three characters (UTF-8 sequences count as one).
  std::size_t end = name.size();
  for (int k = 0; k < 3 && end > 0; ++k) {
    --end;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  }
  return name.substr(0, end) + extension;
}

std::string sf2FileNameFor(const std::string& ttiPath) { return bankFileNameFor(ttiPath, "sf2"); }

std::vector<std::uint16_t> sf2Zones(const std::vector<ZonePlay>& zones, bool faithful) {
  std::vector<std::uint16_t> kept;
  kept.reserve(zones.size());
  for (const ZonePlay& z : zones) {
    if (faithful ? z.sounds() : z.sampleInBank()) kept.push_back(z.zone);
  }
  return kept;
}

Sf2Layout layoutSf2(const SampleBank& bank, const std::vector<ZonePlay>& zones, bool faithful) {
  const std::uint32_t n = bank.sampleCount;
  Sf2Layout layout;
  layout.padFrames = faithful ? kFaithfulPadFrames : kPadFrames;
  const std::string bankFile = utf8ToLatin1(sf2FileNameFor(bank.ttiPath));
  const std::string bankName = faithful ? faithfulName(utf8ToLatin1(fileNamePart(bank.ttiPath)), 255)
                                        : std::string(recordName(bankFile));
  std::vector<std::string> names;
  if (faithful) names = faithfulSampleNames(bank);
  // The samples written: faithful output leaves out those of fewer than two
  // frames, which no zone that sounds plays; header[r] is sample r's.
  layout.holds.assign(n, true);
  std::vector<std::uint16_t> header(n, 0);
  for (std::uint32_t r = 0; r < n; ++r) {
    if (faithful && wholeFrames(bank.pcmLength[r]) / 2 < 2) {
      layout.holds[r] = false;
      continue;
    }
    header[r] = static_cast<std::uint16_t>(layout.samples.size());
    layout.samples.push_back(r);
  }
  // Faithful output: each sample's original pitch, and its partner in a
  // left/right pair with its type (4 left, 2 right; 1 mono). The two of a
  // pair are of one length: both are written or neither.
  std::vector<std::uint8_t> pitch(n, 60);
  std::vector<std::uint16_t> link(n, 0), type(n, 1);
  if (faithful) {
    for (std::uint32_t r = 0; r < n; ++r) {
      if (const ZonePlay* first = firstZoneOf(zones, static_cast<std::uint16_t>(r))) {
        pitch[r] = static_cast<std::uint8_t>(first->rootKey);
      }
    }
    for (const auto& [l, r] : stereoPairs(bank)) {
      if (!layout.holds[l] || !layout.holds[r]) continue;
      link[l] = header[r], type[l] = 4;
      link[r] = header[l], type[r] = 2;
    }
  }

  // Sample data: every sample written in whole frames, followed by the zero
  // frames. Positions count frames from the first frame of "smpl"; the loop
  // end is the frame after the loop's last one.
  std::vector<SamplePositions> pos(n);
  std::uint64_t frames = 0;
  for (const std::uint32_t r : layout.samples) {
    const auto f = static_cast<std::uint32_t>(frames);
    const std::uint32_t length = wholeFrames(bank.pcmLength[r]) / 2;
    pos[r].start = f;
    pos[r].loopStart = static_cast<std::uint32_t>(bank.loopStart[r]) + f;
    pos[r].loopEnd = static_cast<std::uint32_t>(bank.loopEnd[r]) + f + 1;
    if (faithful && !(bank.loopStart[r] >= 0 && bank.loopStart[r] <= bank.loopEnd[r] &&
                      static_cast<std::uint32_t>(bank.loopEnd[r]) < length)) {
      pos[r].loopStart = pos[r].loopEnd = f;
    }
    frames += length;
    pos[r].end = static_cast<std::uint32_t>(frames);
    frames += layout.padFrames;
    if (frames > std::numeric_limits<std::uint32_t>::max() / 2) break;  // caught below
  }
  layout.sampleDataBytes = 2 * frames;

  // A zone whose sample is not in the bank cannot be played; it is left
  // out rather than written with a sampleID that points nowhere. Faithful
  // output leaves out every zone that never sounds.
  layout.zones = sf2Zones(zones, faithful);
  const std::uint64_t zoneCount = layout.zones.size();
  std::vector<std::vector<GenRecord>> gens;
  std::uint64_t genCount = 0;
  for (std::uint16_t z : layout.zones) {
    if (faithful) {
      gens.push_back(sf2FaithfulGenerators(zones[z], pitch[zones[z].sample], header[zones[z].sample]));
    } else {
      const auto twelve = sf2Generators(zones[z]);
      gens.emplace_back(twelve.begin(), twelve.end());
    }
    genCount += gens.back().size();
  }
  // A terminal modulator record: all zero in faithful output.
  auto terminalModulator = [&](LeBytes& b, std::uint16_t last) {
    b.zeros(8);
    b.u16(faithful ? 0 : last);
  };

  LeBytes& pdta = layout.pdta;
  // The fixed records, then per zone its bag and generators, per sample
  // its header.
  const std::size_t headers = layout.samples.size();
  pdta.reserve(static_cast<std::size_t>(400 + 8 * zoneCount + 4 * genCount + 46 * headers));
  pdta.tag("LIST");
  pdta.u32(0);  // the list's size, set below
  pdta.tag("pdta");
  // One preset (bank 0, program 0) with one zone that selects instrument 0.
  pdta.tag("phdr");
  pdta.u32(76);
  pdta.text(bankName, 20);
  pdta.u16(0);  // wPreset
  pdta.u16(0);  // wBank
  pdta.u16(0);  // wPresetBagNdx
  pdta.zeros(12);  // dwLibrary, dwGenre, dwMorphology
  pdta.text("EOP", 20);
  pdta.u16(255);
  pdta.u16(255);
  pdta.u16(1);
  pdta.zeros(12);
  pdta.tag("pbag");
  pdta.u32(8);
  pdta.u16(0);
  pdta.u16(0);
  pdta.u16(1);
  pdta.u16(0);
  pdta.tag("pmod");  // the terminal modulator only
  pdta.u32(10);
  terminalModulator(pdta, 1);
  pdta.tag("pgen");
  pdta.u32(8);
  pdta.u16(kGenInstrument);
  pdta.u16(0);
  pdta.zeros(4);

  // One instrument with one zone per playable bank zone, no modulators and
  // no global zone.
  pdta.tag("inst");
  pdta.u32(44);
  pdta.text(bankName, 20);
  pdta.u16(0);
  pdta.text("EOI", 20);
  pdta.u16(static_cast<std::uint16_t>(zoneCount));
  pdta.tag("ibag");
  pdta.u32(static_cast<std::uint32_t>(4 * (zoneCount + 1)));
  std::uint64_t genIndex = 0;
  for (std::uint64_t k = 0; k <= zoneCount; ++k) {
    pdta.u16(static_cast<std::uint16_t>(genIndex));
    pdta.u16(0);
    if (k < zoneCount) genIndex += gens[k].size();
  }
  pdta.tag("imod");  // the terminal modulator only
  pdta.u32(10);
  terminalModulator(pdta, 22);
  pdta.tag("igen");
  pdta.u32(static_cast<std::uint32_t>(4 * genCount + 4));
  std::uint8_t* gen = pdta.append(static_cast<std::size_t>(4 * genCount + 4));
  for (const std::vector<GenRecord>& zone : gens) {
    for (const GenRecord& g : zone) {
      putU16(gen, g.oper);
      putU16(gen + 2, g.amount);
      gen += 4;
    }
  }

  // Sample headers in directory order: in exact output sampleID r is
  // sample r.
  pdta.tag("shdr");
  pdta.u32(static_cast<std::uint32_t>(46 * (headers + 1)));
  std::uint8_t* record = pdta.append(46 * (headers + 1));
  for (const std::uint32_t r : layout.samples) {
    std::uint8_t* const h = record;
    record += 46;
    const std::string_view name = faithful ? std::string_view(names[r]) : recordName(bank.sampleName[r]);
    std::memcpy(h, name.data(), name.size());  // the rest of the 20 bytes stays zero
    putU32(h + 20, pos[r].start);
    putU32(h + 24, pos[r].end);
    putU32(h + 28, pos[r].loopStart);
    putU32(h + 32, pos[r].loopEnd);
    putU32(h + 36, 44100);
    h[40] = pitch[r];     // original pitch
    h[41] = 0;            // pitch correction
    putU16(h + 42, link[r]);  // sample link
    putU16(h + 44, type[r]);  // sample type
  }
  std::memcpy(record, "EOS", 3);

  LeBytes info;
  if (faithful) putFaithfulInfo(info, bankName);
  else putInfo(info);

  // Sizes follow from the bytes: "smpl" holds the sample data, "sdta" that
  // chunk and its own type, RIFF everything after its size field.
  const std::uint64_t sdtaSize = layout.sampleDataBytes + 12;
  const std::uint64_t riffSize = 4 + info.size() + (8 + sdtaSize) + pdta.size();
  if (riffSize > std::numeric_limits<std::uint32_t>::max()) {
    throwInvalidBank(bank.ttiPath, "the samples are too long for one SoundFont file");
  }
  pdta.setU32(4, static_cast<std::uint32_t>(pdta.size() - 8));

  LeBytes& head = layout.head;
  head.reserve(12 + info.size() + 20);
  head.tag("RIFF");
  head.u32(static_cast<std::uint32_t>(riffSize));
  head.tag("sfbk");
  head.put(info);
  head.tag("LIST");
  head.u32(static_cast<std::uint32_t>(sdtaSize));
  head.tag("sdta");
  head.tag("smpl");
  head.u32(static_cast<std::uint32_t>(layout.sampleDataBytes));
  return layout;
}

namespace {

// A small file whose sample data is in memory goes out in one gathered
// write straight from the bank's bytes: no copy into a write buffer. The
// pieces are the same bytes the block writer would put, in the same order.
bool writeGathered(const SampleBank& bank, const Sf2Layout& layout, File& file) {
  const std::uint64_t total = layout.head.size() + layout.sampleDataBytes + layout.pdta.size();
  if (total > BlockWriter::kBlockSize || (bank.pcm.held() && !bank.pcm.bytes())) return false;
  static constexpr std::uint8_t kZeros[4096] = {};
  std::vector<ConstBuffer> pieces;
  pieces.reserve(2 + 3 * static_cast<std::size_t>(bank.sampleCount));
  pieces.push_back({layout.head.data(), layout.head.size()});
  auto silence = [&](std::uint64_t n) {
    for (; n > 0;) {
      const std::size_t take = n < sizeof kZeros ? static_cast<std::size_t>(n) : sizeof kZeros;
      pieces.push_back({kZeros, take});
      n -= take;
    }
  };
  for (const std::uint32_t r : layout.samples) {
    const SampleSpan span = sampleSpan(bank, r, wholeFrames(bank.pcmLength[r]));
    if (span.held > 0) pieces.push_back({bank.pcm.view(span.start, span.held), span.held});
    silence(span.size - span.held + 2 * std::uint64_t{layout.padFrames});
  }
  pieces.push_back({layout.pdta.data(), layout.pdta.size()});
  file.writeGather(pieces.data(), pieces.size());
  return true;
}

}  // namespace

std::string writeSf2(const SampleBank& bank, const std::vector<ZonePlay>& zones, const std::string& finalPath,
                     std::vector<std::uint8_t>& buffer, const Progress& progress, WriteTap* tap,
                     const OpenFolder* folder, bool faithful) {
  const Sf2Layout layout = layoutSf2(bank, zones, faithful);
  auto step = [&] {
    if (progress) progress(1);
  };
  OutputFile file(finalPath, tap, folder);
  // The steps: the file is begun, each sample, then the steps of the
  // records: the sample data is complete, then the preset, instrument,
  // bag, modulator, generator and sample header lists.
  const int steps = 1 + static_cast<int>(bank.sampleCount) + sf2RecordSteps;
  if (writeGathered(bank, layout, file.file())) {
    for (int k = 0; k < steps; ++k) step();
    if (progress) progress(0);
    file.commit();
    return file.finalPath();
  }
  // A second thread writes full blocks while the next is filled; for a
  // small file starting it costs more than it saves.
  constexpr std::uint64_t kBackgroundBytes = 4u << 20;
  BlockWriter out(file.file(), buffer, 0, layout.sampleDataBytes >= kBackgroundBytes, &progress,
                  layout.head.size() + layout.sampleDataBytes + layout.pdta.size());
  step();
  out.put(layout.head);
  for (std::uint32_t r = 0; r < bank.sampleCount; ++r) {
    step();
    if (!layout.holds[r]) continue;
    const std::uint32_t len = wholeFrames(bank.pcmLength[r]);
    out.putSpan(bank.pcm, sampleSpan(bank, r, len));
    out.putSilence(2 * std::uint64_t{layout.padFrames});
  }
  for (int k = 0; k < sf2RecordSteps; ++k) step();
  out.put(layout.pdta);
  out.finish();
  file.commit();
  return file.finalPath();
}

}  // namespace vantrel
