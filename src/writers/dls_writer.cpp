// SPDX-License-Identifier: MIT
#include "writers/dls_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tti/bank_check.h"

namespace vantrel {
namespace {

// A chunk: id, size, data, a pad byte after odd data.
void putChunk(LeBytes& b, const char (&id)[5], const LeBytes& data) {
  b.tag(id);
  b.u32(static_cast<std::uint32_t>(data.size()));
  b.put(data);
  if (data.size() & 1) b.u8(0);
}

void putList(LeBytes& b, const char (&type)[5], const LeBytes& body) {
  b.tag("LIST");
  b.u32(static_cast<std::uint32_t>(4 + body.size()));
  b.tag(type);
  b.put(body);
}

// An INFO list with INAM (Latin-1 text, zero-terminated) and, when given, ISFT.
LeBytes infoList(std::string_view name, std::string_view software = {}) {
  LeBytes info;
  auto text = [&](const char (&id)[5], std::string_view s) {
    LeBytes t;
    t.text(s, s.size() + 1);
    putChunk(info, id, t);
  };
  text("INAM", name);
  if (!software.empty()) text("ISFT", software);
  LeBytes out;
  putList(out, "INFO", info);
  return out;
}

// A connection block of art1: no source, no control, no transform.
void putConnection(LeBytes& b, std::uint16_t destination, std::int32_t scale) {
  b.u16(0);
  b.u16(0);
  b.u16(destination);
  b.u16(0);
  b.u32(static_cast<std::uint32_t>(scale));
}

// An envelope time in DLS units: timecents in 16.16; the shortest time is
// the format's own 0x80000000.
std::int32_t timeScale(int timecents) {
  return timecents == kShortestTimecents ? std::numeric_limits<std::int32_t>::min()
                                         : static_cast<std::int32_t>(timecents * 65536);
}

LeBytes region(const ZonePlay& z, std::uint32_t wave) {
  LeBytes rgn;
  LeBytes rgnh;
  // Ranges: the first and last key and velocity; velocity 0 is a note-off.
  rgnh.u16(static_cast<std::uint16_t>(std::min(z.keyLow, 127)));
  rgnh.u16(static_cast<std::uint16_t>(z.keyHigh));
  rgnh.u16(static_cast<std::uint16_t>(std::clamp(z.velLow, 1, 127)));
  rgnh.u16(static_cast<std::uint16_t>(z.velHigh));
  rgnh.u16(0);  // options
  rgnh.u16(0);  // key group
  putChunk(rgn, "rgnh", rgnh);

  LeBytes wsmp;
  const bool loop = z.loop == LoopPlay::Forward;
  wsmp.u32(20);
  wsmp.u16(static_cast<std::uint16_t>(z.rootKey));
  wsmp.u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(z.tuningCents)));
  // Gain in 1/655360 dB: players apply 0.4 dB per centibel of attenuation.
  wsmp.u32(static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(-0.04 * z.attenuationCb * 655360.0))));
  wsmp.u32(0);  // options
  wsmp.u32(loop ? 1 : 0);
  if (loop) {
    wsmp.u32(16);
    wsmp.u32(0);  // forward
    wsmp.u32(static_cast<std::uint32_t>(z.loopStart));
    wsmp.u32(static_cast<std::uint32_t>(z.loopEnd - z.loopStart + 1));
  }
  putChunk(rgn, "wsmp", wsmp);

  LeBytes wlnk;
  wlnk.u16(0);  // options
  wlnk.u16(0);  // phase group
  wlnk.u32(1);  // channel: left (mono)
  wlnk.u32(wave);
  putChunk(rgn, "wlnk", wlnk);

  LeBytes art1;
  art1.u32(8);
  art1.u32(5);
  putConnection(art1, kDlsEg1Attack, timeScale(z.attackTimecents));
  putConnection(art1, kDlsEg1Decay, timeScale(z.decayTimecents));
  // Sustain in 0.1% of the envelope's 100 dB range.
  putConnection(art1, kDlsEg1Sustain, (1000 - std::clamp(z.sustainCb, 0, 1000)) * 65536);
  putConnection(art1, kDlsEg1Release, timeScale(z.releaseTimecents));
  putConnection(art1, kDlsPan, std::clamp(z.pan, -500, 500) * 65536);
  LeBytes lart;
  putChunk(lart, "art1", art1);
  putList(rgn, "lart", lart);

  LeBytes out;
  putList(out, "rgn ", rgn);
  return out;
}

}  // namespace

DlsLayout layoutDls(const SampleBank& bank, const std::vector<ZonePlay>& zones) {
  DlsLayout layout;
  // The waves: every sample a region plays, in sample order.
  std::vector<int> waveOf(bank.sampleCount, -1);
  std::vector<const ZonePlay*> regions;
  for (const ZonePlay& z : zones) {
    if (!z.sounds() || hasNoData(bank, z.sample)) continue;
    regions.push_back(&z);
    waveOf[z.sample] = 0;
  }
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    if (waveOf[i] < 0) continue;
    waveOf[i] = static_cast<int>(layout.waves.size());
    layout.waves.push_back(static_cast<std::uint16_t>(i));
  }

  std::string name = fileNamePart(bank.ttiPath);
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  name = utf8ToLatin1(utf8OrLatin1(name));

  LeBytes lrgn;
  for (const ZonePlay* z : regions) lrgn.put(region(*z, static_cast<std::uint32_t>(waveOf[z->sample])));
  LeBytes ins;
  LeBytes insh;
  insh.u32(static_cast<std::uint32_t>(regions.size()));
  insh.u32(0);  // bank 0 (melodic)
  insh.u32(0);  // program 0
  putChunk(ins, "insh", insh);
  putList(ins, "lrgn", lrgn);
  ins.put(infoList(name));
  LeBytes lins;
  putList(lins, "ins ", ins);

  // The waves' heads, sizes and offsets in the pool.
  std::uint64_t pool = 0;
  std::vector<std::uint32_t> offsets;
  for (std::uint16_t s : layout.waves) {
    const std::uint32_t n = wholeFrames(bank.pcmLength[s]);
    LeBytes body;
    body.put(infoList(bank.sampleName[s].substr(0, bank.sampleName[s].find('\0'))));
    LeBytes fmt;
    fmt.u16(1);  // PCM
    fmt.u16(1);
    fmt.u32(44100);
    fmt.u32(44100 * 2);
    fmt.u16(2);
    fmt.u16(16);
    putChunk(body, "fmt ", fmt);
    body.tag("data");
    body.u32(n);
    LeBytes head;
    head.tag("LIST");
    const std::uint64_t listSize = 4 + body.size() + n;
    if (listSize > std::numeric_limits<std::uint32_t>::max()) {
      throwInvalidBank(bank.ttiPath, "its samples are too large for a DLS file");
    }
    head.u32(static_cast<std::uint32_t>(listSize));
    head.tag("wave");
    head.put(body);
    offsets.push_back(static_cast<std::uint32_t>(pool));
    pool += head.size() + n;
    layout.waveHeads.push_back(std::move(head));
    layout.waveBytes.push_back(n);
  }

  LeBytes ptbl;
  ptbl.u32(8);
  ptbl.u32(static_cast<std::uint32_t>(offsets.size()));
  for (std::uint32_t o : offsets) ptbl.u32(o);
  LeBytes colh;
  colh.u32(1);
  // vers: the version as four 16-bit numbers, most significant first.
  LeBytes vers;
  unsigned v[4] = {0, 0, 0, 0};
  std::sscanf(VANTREL_VERSION, "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]);
  vers.u16(static_cast<std::uint16_t>(v[1]));
  vers.u16(static_cast<std::uint16_t>(v[0]));
  vers.u16(static_cast<std::uint16_t>(v[3]));
  vers.u16(static_cast<std::uint16_t>(v[2]));

  layout.tail = infoList(name, "Vantrel " VANTREL_VERSION);
  LeBytes body;
  putChunk(body, "colh", colh);
  putChunk(body, "vers", vers);
  putList(body, "lins", lins);
  putChunk(body, "ptbl", ptbl);
  const std::uint64_t total = 4 + body.size() + 12 + pool + layout.tail.size();
  if (total > std::numeric_limits<std::uint32_t>::max()) {
    throwInvalidBank(bank.ttiPath, "its samples are too large for a DLS file");
  }
  layout.head.tag("RIFF");
  layout.head.u32(static_cast<std::uint32_t>(total));
  layout.head.tag("DLS ");
  layout.head.put(body);
  layout.head.tag("LIST");
  layout.head.u32(static_cast<std::uint32_t>(4 + pool));
  layout.head.tag("wvpl");
  return layout;
}

std::string writeDls(const SampleBank& bank, const std::vector<ZonePlay>& zones, const std::string& finalPath,
                     std::vector<std::uint8_t>& buffer, const Progress& progress, WriteTap* tap,
                     const OpenFolder* folder, bool /*faithful*/) {
  const DlsLayout layout = layoutDls(bank, zones);
  OutputFile file(finalPath, tap, folder);
  BlockWriter out(file.file(), buffer, 0, false, &progress);
  if (progress) progress(1);
  out.put(layout.head);
  for (std::size_t k = 0; k < layout.waves.size(); ++k) {
    out.put(layout.waveHeads[k]);
    out.putSpan(bank.pcm, sampleSpan(bank, layout.waves[k], layout.waveBytes[k]));
    if (progress) progress(1);
  }
  out.put(layout.tail);
  out.finish();
  file.commit();
  return file.finalPath();
}

}  // namespace vantrel
