// SPDX-License-Identifier: MIT
#include "bank_builder.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vantrel::testing {
namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

void putTag(std::vector<std::uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

std::vector<std::uint8_t> buildParamBlock(const std::vector<ZoneDesc>& zonesIn, bool endBit) {
  std::vector<ZoneDesc> zones = zonesIn;
  if (zones.empty()) zones.push_back({});
  const std::size_t n = zones.size();
  // Directory of 3 words per zone, then one record per zone.
  std::vector<std::uint16_t> words(3 * n, 0);
  for (std::size_t z = 0; z < n; ++z) {
    const ZoneDesc& zd = zones[z];
    const std::size_t r = words.size();
    const std::size_t a = zd.a, b = zd.b, c = zd.c, d = zd.d;
    const std::size_t bPos = r + 13 + a;
    const std::size_t v = bPos + 1;
    const std::size_t t = v + 2 + b;
    const std::size_t cPos = t + 9;
    const std::size_t dPos = cPos + 1 + c;
    const std::size_t p = dPos + 1 + d;
    words.resize(p + 10, 0);
    if (a) words[r + 11] = 0x0001;
    if (b) words[bPos] = 0x0040;
    words[v] = static_cast<std::uint16_t>((zd.volume & 0x7F) << 8);
    words[t] = static_cast<std::uint16_t>(((zd.fineTuneRaw & 0x7F) << 1) | (zd.transposition << 8));
    words[t + 2] = zd.loopWord1;
    words[t + 7] = zd.loopWord2;
    if (c) words[cPos] = 0x0080;
    if (d) words[dPos] = 0x0080;
    words[p] = static_cast<std::uint16_t>(((zd.panLeft & 0x1F) << 4) | ((zd.panRight & 0x7F) << 9));
    words[p + 6] = zd.attackRate & 0x7F;
    words[p + 7] = static_cast<std::uint16_t>((zd.sustainLevel & 0x3F) << 7);
    words[p + 8] = zd.decayRate & 0x7F;
    words[p + 9] = zd.releaseRate & 0x7F;

    words[3 * z] = static_cast<std::uint16_t>((zd.velLow & 0x7F) | (zd.keyLow & 0x7F) << 8);
    words[3 * z + 1] = static_cast<std::uint16_t>((zd.velHigh & 0x7F) | (zd.keyHigh & 0x7F) << 8);
    if (endBit && z + 1 == n) words[3 * z + 1] |= 0x8000;
    words[3 * z + 2] = static_cast<std::uint16_t>(r);
  }
  std::vector<std::uint8_t> out;
  for (auto w : words) put16(out, w);
  return out;
}

std::vector<std::uint8_t> buildBank(const BankDesc& desc) {
  std::vector<std::uint8_t> out(504, 0);
  std::memcpy(out.data(), "TTI bank written by the test bank builder", 41);

  // Place every sample's PCM bytes in the data area, in order.
  std::vector<std::uint8_t> pcm = desc.pcmPrefix;
  std::vector<std::uint32_t> starts;
  for (const auto& s : desc.samples) {
    starts.push_back(static_cast<std::uint32_t>(pcm.size()));
    pcm.insert(pcm.end(), s.pcm.begin(), s.pcm.end());
  }

  std::vector<std::uint8_t> dir;
  put32(dir, desc.sampleCount.value_or(static_cast<std::uint32_t>(desc.samples.size())));
  for (std::size_t i = 0; i < desc.samples.size(); ++i) {
    const SampleDesc& s = desc.samples[i];
    const std::size_t entryStart = dir.size();
    putTag(dir, "TTSM");
    put32(dir, s.entrySize.value_or(static_cast<std::uint32_t>(292 + 2 * s.zones.size())));
    std::vector<std::uint8_t> field(256, 0);
    if (s.nameField) {
      if (s.nameField->size() > 256) throw std::invalid_argument("name field over 256 bytes");
      std::memcpy(field.data(), s.nameField->data(), s.nameField->size());
    } else {
      if (s.name.size() > 256) throw std::invalid_argument("name over 256 bytes");
      std::memcpy(field.data(), s.name.data(), s.name.size());
    }
    dir.insert(dir.end(), field.begin(), field.end());
    dir.insert(dir.end(), 8, 0);
    const std::uint32_t start = s.start.value_or(starts[i]);
    const std::uint32_t end = s.end.value_or(starts[i] + static_cast<std::uint32_t>(s.pcm.size()));
    put32(dir, start);
    put32(dir, end);
    put32(dir, s.loopStart.value_or(starts[i] + 2 * s.loopStartFrame));
    put32(dir, s.loopEnd.value_or(starts[i] + 2 * s.loopEndFrame));
    dir.insert(dir.end(), 8, 0);
    dir.push_back(static_cast<std::uint8_t>(s.zones.size()));
    dir.push_back(0);
    for (auto z : s.zones) {
      dir.push_back(z);
      dir.push_back(0);
    }
    dir.insert(dir.end(), 2, 0);
    if (dir.size() - entryStart != 300 + 2 * s.zones.size()) throw std::logic_error("entry size");
  }

  putTag(out, "TTDR");
  put32(out, desc.directorySize.value_or(static_cast<std::uint32_t>(dir.size())));
  out.insert(out.end(), dir.begin(), dir.end());
  out.insert(out.end(), desc.beforeTtip.begin(), desc.beforeTtip.end());

  const std::vector<std::uint8_t> param =
      desc.paramBlock ? *desc.paramBlock : buildParamBlock(desc.zones, desc.endBit);
  putTag(out, "TTIP");
  put32(out, static_cast<std::uint32_t>(param.size()));
  out.insert(out.end(), param.begin(), param.end());

  if (desc.ttkl) {
    putTag(out, "TTKL");
    put32(out, desc.ttklSize);
    out.insert(out.end(), desc.ttklSize, 0x5A);
  }
  out.insert(out.end(), desc.beforeTtsa.begin(), desc.beforeTtsa.end());
  putTag(out, "TTSA");
  put32(out, desc.dataSize.value_or(static_cast<std::uint32_t>(pcm.size())));
  out.insert(out.end(), pcm.begin(), pcm.end());
  return out;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

void writeBank(const std::string& path, const BankDesc& desc) { writeBytes(path, buildBank(desc)); }

ZoneDesc randomZone(std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto byte = [&](int hi) { return static_cast<std::uint8_t>(pick(0, hi)); };
  ZoneDesc z;
  z.keyLow = byte(127);
  z.keyHigh = byte(127);
  z.velLow = byte(127);
  z.velHigh = byte(127);
  z.volume = byte(127);
  z.fineTuneRaw = byte(127);
  z.transposition = byte(255);
  z.loopWord1 = static_cast<std::uint16_t>(pick(0, 5));
  z.loopWord2 = static_cast<std::uint16_t>(pick(0, 5));
  z.panLeft = byte(31);
  z.panRight = byte(127);
  z.attackRate = byte(127);
  z.sustainLevel = byte(63);
  z.decayRate = byte(127);
  z.releaseRate = byte(127);
  z.a = pick(0, 1);
  z.b = pick(0, 1);
  z.c = pick(0, 1);
  z.d = pick(0, 1);
  return z;
}

std::vector<std::uint8_t> sinePcm(std::size_t frames, double cyclesPerFrame, double amplitude) {
  std::vector<std::uint8_t> out;
  out.reserve(frames * 2);
  for (std::size_t k = 0; k < frames; ++k) {
    double v = amplitude * 32767.0 * std::sin(2.0 * M_PI * cyclesPerFrame * static_cast<double>(k));
    put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v))));
  }
  return out;
}

std::vector<std::uint8_t> noisePcm(std::size_t frames, std::uint32_t seed, double amplitude) {
  std::vector<std::uint8_t> out;
  out.reserve(frames * 2);
  std::uint32_t x = seed ? seed : 1;
  for (std::size_t k = 0; k < frames; ++k) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    double unit = static_cast<double>(x) / 4294967295.0 * 2.0 - 1.0;
    put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(unit * amplitude * 32767.0))));
  }
  return out;
}

}  // namespace vantrel::testing
