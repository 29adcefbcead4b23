// SPDX-License-Identifier: MIT
#include "verify/dls_check.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "platform/errors.h"
#include "verify/expected.h"
#include "verify/riff.h"

namespace vantrel::verify {
namespace {

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) v = v << 8 | b[at + static_cast<std::size_t>(k)];
  return v;
}

std::vector<std::uint8_t> dataOf(const File& file, const RiffChunk& c) {
  std::vector<std::uint8_t> b(c.size);
  if (c.size) file.readAt(c.offset, b.data(), c.size);
  return b;
}

// What a zone's region must hold, in DLS units, from its generators.
struct RegionWant {
  std::uint16_t sample = 0;
  std::vector<std::pair<const char*, std::uint32_t>> rgnh, wsmp;  // field, value (low bytes first)
  std::vector<std::uint32_t> art;  // destination, scale pairs
};

RegionWant regionWant(const SampleBank& bank, const ZoneArticulation& zones, std::uint16_t zone) {
  std::uint16_t gen[64] = {};
  for (const auto& [oper, amount] : zoneGenerators(bank, zones, zone)) gen[oper] = amount;
  auto s = [&](int oper) { return static_cast<std::int16_t>(gen[oper]); };
  RegionWant w;
  w.sample = gen[kSampleId];
  const std::uint64_t frames = wavChannelBytes(bank, w.sample) / 2;
  const std::int32_t loopStart = bank.loopStart[w.sample], loopEnd = bank.loopEnd[w.sample];
  const bool loop = gen[kSampleModes] == 1 && loopStart >= 0 && loopStart <= loopEnd &&
                    static_cast<std::uint64_t>(loopEnd) < frames;
  w.rgnh = {{"key low", std::min(gen[kKeyRange] & 0xFF, 127)},
            {"key high", gen[kKeyRange] >> 8u},
            {"velocity low", std::clamp(gen[kVelRange] & 0xFF, 1, 127)},
            {"velocity high", gen[kVelRange] >> 8u}};
  // A negative root key plays as 60. Attenuation: 0.4 dB per centibel, in
  // 1/655360 dB, negative.
  const std::int64_t gain = -std::llround(0.04 * s(kInitialAttenuation) * 655360.0);
  w.wsmp = {{"unity note", s(kOverridingRootKey) < 0 ? 60u : static_cast<std::uint32_t>(s(kOverridingRootKey))},
            {"fine tune", static_cast<std::uint16_t>(s(kFineTune))},
            {"attenuation", static_cast<std::uint32_t>(gain)},
            {"loops", loop ? 1u : 0u}};
  if (loop) {
    w.wsmp.push_back({"loop start", static_cast<std::uint32_t>(loopStart)});
    w.wsmp.push_back({"loop length", static_cast<std::uint32_t>(loopEnd - loopStart + 1)});
  }
  auto time = [&](int oper) {
    return s(oper) == -32768 ? 0x80000000u : static_cast<std::uint32_t>(s(oper) * 65536);
  };
  const int sustain = 1000 - std::clamp<int>(s(kSustainVolEnv), 0, 1000);
  w.art = {0x0206, time(kAttackVolEnv), 0x0207, time(kDecayVolEnv), 0x020A,
           static_cast<std::uint32_t>(sustain * 65536), 0x0209, time(kReleaseVolEnv),
           0x0004, static_cast<std::uint32_t>(std::clamp<int>(s(kPan), -500, 500) * 65536)};
  return w;
}

std::string checkTree(File& file, const SampleBank& bank, const ZoneArticulation& zones) {
  std::vector<RiffChunk> top;
  if (std::string what = readRiffTree(file, "DLS ", top, 5); !what.empty()) return what;
  const RiffChunk* colh = findChunk(top, "colh");
  if (!colh || colh->size != 4 || le(dataOf(file, *colh), 0, 4) != 1) return "colh does not say one instrument";
  const RiffChunk* lins = findChunk(top, "LIST", "lins");
  const RiffChunk* ins = lins ? findChunk(lins->children, "LIST", "ins ") : nullptr;
  const RiffChunk* insh = ins ? findChunk(ins->children, "insh") : nullptr;
  const RiffChunk* lrgn = ins ? findChunk(ins->children, "LIST", "lrgn") : nullptr;
  if (!insh || !lrgn || insh->size != 12) return "no instrument with a header and regions";

  std::vector<std::uint16_t> expected;
  std::set<std::uint16_t> samples;
  for (std::uint16_t z : soundingZones(bank, zones)) {
    if (sampleWithoutData(bank, bank.zoneSample[z])) continue;
    expected.push_back(z);
    samples.insert(bank.zoneSample[z]);
  }
  const std::vector<std::uint16_t> waves(samples.begin(), samples.end());
  if (le(dataOf(file, *insh), 0, 4) != expected.size() || lrgn->children.size() != expected.size()) {
    return std::to_string(lrgn->children.size()) + " regions, expected " + std::to_string(expected.size());
  }
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const RiffChunk& rgn = lrgn->children[k];
    const std::string who = "zone " + std::to_string(expected[k]) + ": ";
    const RegionWant w = regionWant(bank, zones, expected[k]);
    const RiffChunk* rgnh = findChunk(rgn.children, "rgnh");
    const RiffChunk* wsmp = findChunk(rgn.children, "wsmp");
    const RiffChunk* wlnk = findChunk(rgn.children, "wlnk");
    const RiffChunk* lart = findChunk(rgn.children, "LIST", "lart");
    const RiffChunk* art1 = lart ? findChunk(lart->children, "art1") : nullptr;
    if (rgn.listType != "rgn " || !rgnh || !wsmp || !wlnk || !art1 || rgnh->size < 12 || wlnk->size != 12 ||
        wsmp->size != (w.wsmp.size() > 4 ? 36u : 20u) || art1->size != 8 + 60) {
      return who + "its region lacks a chunk or has one of another size";
    }
    const auto h = dataOf(file, *rgnh);
    for (std::size_t f = 0; f < w.rgnh.size(); ++f) {
      if (le(h, 2 * f, 2) != w.rgnh[f].second) {
        return who + w.rgnh[f].first + " " + std::to_string(le(h, 2 * f, 2)) + ", expected " +
               std::to_string(w.rgnh[f].second);
      }
    }
    const auto ws = dataOf(file, *wsmp);
    const std::size_t at[] = {4, 6, 8, 16, 28, 32};
    const int width[] = {2, 2, 4, 4, 4, 4};
    for (std::size_t f = 0; f < w.wsmp.size(); ++f) {
      if (le(ws, at[f], width[f]) != w.wsmp[f].second) {
        return who + w.wsmp[f].first + " " + std::to_string(le(ws, at[f], width[f])) + ", expected " +
               std::to_string(w.wsmp[f].second);
      }
    }
    const auto link = dataOf(file, *wlnk);
    const std::uint32_t wave = le(link, 8, 4);
    if (wave >= waves.size() || waves[wave] != w.sample || le(link, 4, 4) != 1) {
      return who + "its wave link points at wave " + std::to_string(wave);
    }
    const auto art = dataOf(file, *art1);
    if (le(art, 0, 4) != 8 || le(art, 4, 4) != 5) return who + "art1 does not hold five connections";
    for (std::size_t c = 0; c < 5; ++c) {
      const std::size_t o = 8 + 12 * c;
      if (le(art, o, 4) != 0 || le(art, o + 4, 2) != w.art[2 * c] || le(art, o + 6, 2) != 0 ||
          le(art, o + 8, 4) != w.art[2 * c + 1]) {
        return who + "connection " + std::to_string(c) + " differs";
      }
    }
  }

  // The pool: one wave per sample a region plays, the table pointing at each.
  const RiffChunk* ptbl = findChunk(top, "ptbl");
  const RiffChunk* wvpl = findChunk(top, "LIST", "wvpl");
  if (!ptbl || !wvpl || wvpl->children.size() != waves.size() || ptbl->size != 8 + 4 * waves.size()) {
    return "the wave pool does not hold " + std::to_string(waves.size()) + " waves";
  }
  const auto table = dataOf(file, *ptbl);
  std::vector<std::uint8_t> got, want;
  for (std::size_t k = 0; k < waves.size(); ++k) {
    const RiffChunk& wave = wvpl->children[k];
    const std::string who = "wave " + std::to_string(k) + ": ";
    if (wave.listType != "wave" || le(table, 8 + 4 * k, 4) != wave.offset - 12 - wvpl->offset) {
      return who + "not where the pool table points";
    }
    const RiffChunk* fmt = findChunk(wave.children, "fmt ");
    const RiffChunk* data = findChunk(wave.children, "data");
    if (!fmt || !data || fmt->size < 16) return who + "no fmt or data";
    const auto f = dataOf(file, *fmt);
    if (le(f, 0, 2) != 1 || le(f, 2, 2) != 1 || le(f, 4, 4) != 44100 || le(f, 14, 2) != 16) {
      return who + "not 16-bit mono PCM at 44.1 kHz";
    }
    const std::uint64_t n = wavChannelBytes(bank, waves[k]);
    if (data->size != n) return who + std::to_string(data->size) + " data bytes, expected " + std::to_string(n);
    const ChannelBytes bytes(bank, waves[k], n);
    got.resize(data->size);
    want.resize(data->size);
    if (n) {
      file.readAt(data->offset, got.data(), got.size());
      bytes.read(0, want.data(), want.size());
    }
    if (got != want) return who + "its frames differ from sample " + std::to_string(waves[k]) + "'s";
  }
  return {};
}

}  // namespace

std::string checkDls(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones) {
  try {
    File file(path, File::Mode::Read);
    return checkTree(file, bank, zones);
  } catch (const RunError& e) {
    return e.message();
  }
}

}  // namespace vantrel::verify
