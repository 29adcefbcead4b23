// SPDX-License-Identifier: MIT
#include "writers/sf2_writer.h"

#include <cstring>
#include <limits>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vantrel {

namespace {

constexpr std::uint32_t kPadFrames = 32;  // zero frames after every sample

// A record name: the first length - 4 characters (the name without a
// four-character extension), at most 20; shorter names give an empty field.
std::string_view recordName(std::string_view latin1) {
  const std::size_t n = latin1.size() > 4 ? latin1.size() - 4 : 0;
  return latin1.substr(0, n < 20 ? n : 20);
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

std::vector<std::uint16_t> sf2Zones(const std::vector<ZonePlay>& zones) {
  std::vector<std::uint16_t> kept;
  kept.reserve(zones.size());
  for (const ZonePlay& z : zones) {
    if (z.sampleInBank()) kept.push_back(z.zone);
  }
  return kept;
}

Sf2Layout layoutSf2(const SampleBank& bank, const std::vector<ZonePlay>& zones) {
  const std::uint32_t n = bank.sampleCount;
  Sf2Layout layout;
  const std::string bankFile = utf8ToLatin1(sf2FileNameFor(bank.ttiPath));
  const std::string_view bankName = recordName(bankFile);

  // Sample data: every sample in whole frames, followed by 32 zero frames.
  // Positions count frames from the first frame of "smpl"; the loop end is
  // the frame after the loop's last one.
  std::vector<SamplePositions> pos(n);
  std::uint64_t frames = 0;
  for (std::uint32_t r = 0; r < n; ++r) {
    const auto f = static_cast<std::uint32_t>(frames);
    pos[r].start = f;
    pos[r].loopStart = static_cast<std::uint32_t>(bank.loopStart[r]) + f;
    pos[r].loopEnd = static_cast<std::uint32_t>(bank.loopEnd[r]) + f + 1;
    frames += wholeFrames(bank.pcmLength[r]) / 2;
    pos[r].end = static_cast<std::uint32_t>(frames);
    frames += kPadFrames;
    if (frames > std::numeric_limits<std::uint32_t>::max() / 2) break;  // caught below
  }
  layout.sampleDataBytes = 2 * frames;

  // A zone whose sample is not in the bank cannot be played; it is left
  // out rather than written with a sampleID that points nowhere.
  layout.zones = sf2Zones(zones);
  const std::uint64_t zoneCount = layout.zones.size();

  LeBytes& pdta = layout.pdta;
  // The fixed records, then per zone its bag and generators, per sample
  // its header.
  pdta.reserve(static_cast<std::size_t>(400 + 52 * zoneCount + 46 * n));
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
  pdta.zeros(8);
  pdta.u16(1);
  pdta.tag("pgen");
  pdta.u32(8);
  pdta.u16(kGenInstrument);
  pdta.u16(0);
  pdta.zeros(4);

  // One instrument with one zone per playable bank zone, twelve
  // generators each, no modulators and no global zone.
  pdta.tag("inst");
  pdta.u32(44);
  pdta.text(bankName, 20);
  pdta.u16(0);
  pdta.text("EOI", 20);
  pdta.u16(static_cast<std::uint16_t>(zoneCount));
  pdta.tag("ibag");
  pdta.u32(static_cast<std::uint32_t>(4 * (zoneCount + 1)));
  for (std::uint64_t k = 0; k <= zoneCount; ++k) {
    pdta.u16(static_cast<std::uint16_t>(12 * k));
    pdta.u16(0);
  }
  pdta.tag("imod");  // the terminal modulator only
  pdta.u32(10);
  pdta.zeros(8);
  pdta.u16(22);
  pdta.tag("igen");
  pdta.u32(static_cast<std::uint32_t>(48 * zoneCount + 4));
  std::uint8_t* gen = pdta.append(static_cast<std::size_t>(48 * zoneCount + 4));
  for (std::uint16_t z : layout.zones) {
    for (const GenRecord& g : sf2Generators(zones[z])) {
      putU16(gen, g.oper);
      putU16(gen + 2, g.amount);
      gen += 4;
    }
  }

  // Sample headers in directory order, so sampleID r is sample r.
  pdta.tag("shdr");
  pdta.u32(46 * (n + 1));
  std::uint8_t* header = pdta.append(46 * (static_cast<std::size_t>(n) + 1));
  for (std::uint32_t r = 0; r < n; ++r, header += 46) {
    const std::string_view name = recordName(bank.sampleName[r]);
    std::memcpy(header, name.data(), name.size());  // the rest of the 20 bytes stays zero
    putU32(header + 20, pos[r].start);
    putU32(header + 24, pos[r].end);
    putU32(header + 28, pos[r].loopStart);
    putU32(header + 32, pos[r].loopEnd);
    putU32(header + 36, 44100);
    header[40] = 60;        // original pitch
    header[41] = 0;         // pitch correction
    putU16(header + 42, 0);  // sample link
    putU16(header + 44, 1);  // mono sample
  }
  std::memcpy(header, "EOS", 3);

  // Sizes follow from the bytes: "smpl" holds the sample data, "sdta" that
  // chunk and its own type, RIFF everything after its size field.
  const std::uint64_t sdtaSize = layout.sampleDataBytes + 12;
  const std::uint64_t riffSize = 4 + (8 + 176) + (8 + sdtaSize) + pdta.size();
  if (riffSize > std::numeric_limits<std::uint32_t>::max()) {
    throwInvalidBank(bank.ttiPath, "the samples are too long for one SoundFont file");
  }
  pdta.setU32(4, static_cast<std::uint32_t>(pdta.size() - 8));

  LeBytes& head = layout.head;
  head.reserve(12 + 8 + 176 + 20);
  head.tag("RIFF");
  head.u32(static_cast<std::uint32_t>(riffSize));
  head.tag("sfbk");
  putInfo(head);
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
  for (std::uint32_t r = 0; r < bank.sampleCount; ++r) {
    const SampleSpan span = sampleSpan(bank, r, wholeFrames(bank.pcmLength[r]));
    if (span.held > 0) pieces.push_back({bank.pcm.view(span.start, span.held), span.held});
    silence(span.size - span.held + 2 * kPadFrames);
  }
  pieces.push_back({layout.pdta.data(), layout.pdta.size()});
  file.writeGather(pieces.data(), pieces.size());
  return true;
}

}  // namespace

void writeSf2(const SampleBank& bank, const std::vector<ZonePlay>& zones, const std::string& finalPath,
              std::vector<std::uint8_t>& buffer, const Progress& progress, WriteTap* tap,
              const OpenFolder* folder) {
  const Sf2Layout layout = layoutSf2(bank, zones);
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
    return;
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
    const std::uint32_t len = wholeFrames(bank.pcmLength[r]);
    out.putSpan(bank.pcm, sampleSpan(bank, r, len));
    out.putSilence(2 * kPadFrames);
  }
  for (int k = 0; k < sf2RecordSteps; ++k) step();
  out.put(layout.pdta);
  out.finish();
  file.commit();
}

}  // namespace vantrel
