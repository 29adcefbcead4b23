// SPDX-License-Identifier: MIT
// vantrel-cli info: the bank as the reader sees it, and its errors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>

#include "bank_builder.h"
#include "test_support.h"

using namespace vantrel::testing;
using nlohmann::ordered_json;

namespace {

// What the reader must make of a description, computed independently, in
// the documented field order.
ordered_json expectedJson(const std::string& file, const BankDesc& d) {
  std::vector<std::string> names, outputs;
  std::vector<std::uint32_t> starts;
  std::uint32_t pos = 0;
  for (const auto& s : d.samples) {
    std::string field = s.name.substr(0, s.name.find('\0'));
    auto slash = field.rfind('\\');
    names.push_back(slash == std::string::npos ? field : field.substr(slash + 1));
    starts.push_back(pos);
    pos += static_cast<std::uint32_t>(s.pcm.size());
  }
  // Repeats are found letter case aside (ASCII and Latin-1 letters), as FAT
  // and exFAT compare names.
  auto lower = [](std::string s) {
    for (char& c : s) {
      const auto u = static_cast<unsigned char>(c);
      if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) c = static_cast<char>(u | 0x20);
    }
    return s;
  };
  for (std::size_t i = 0; i < names.size(); ++i) {
    int k = 0;
    for (std::size_t j = 0; j < i; ++j) k += lower(names[j]) == lower(names[i]);
    for (;; ++k) {
      std::string cand = names[i];
      if (k) cand.insert(cand.size() > 4 ? cand.size() - 4 : 0, "_" + std::to_string(k));
      // '/' and control characters (C0, DEL, C1) cannot stand in a name.
      for (char& c : cand) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || u < 32 || (u >= 127 && u < 160)) c = '_';
      }
      if (cand.find_first_not_of('.') == std::string::npos)
        for (char& c : cand) c = '_';
      if (cand.empty()) cand = "_";
      bool taken = false;
      for (const auto& o : outputs) taken |= lower(o) == lower(cand);
      if (!taken) {
        outputs.push_back(cand);
        break;
      }
    }
  }
  ordered_json samples = ordered_json::array();
  for (std::size_t i = 0; i < d.samples.size(); ++i) {
    const auto& sd = d.samples[i];
    std::uint32_t start = starts[i], end = start + static_cast<std::uint32_t>(sd.pcm.size());
    std::uint32_t ls = sd.loopStart.value_or(start + 2 * sd.loopStartFrame) - start;
    std::uint32_t le = sd.loopEnd.value_or(start + 2 * sd.loopEndFrame) - start;
    auto frames = [](std::uint32_t bytes) {
      std::uint64_t twice = bytes;  // frames = bytes / 2, halves to even
      std::uint64_t f = twice / 2;
      if (twice % 2 == 1 && f % 2 == 1) ++f;
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(f));
    };
    samples.push_back({{"index", i},
                       {"name", latin1AsUtf8(names[i])},
                       {"outputName", latin1AsUtf8(outputs[i])},
                       {"pcmStart", start},
                       {"pcmEnd", end},
                       {"pcmLength", end - start},
                       {"loopStart", frames(ls)},
                       {"loopEnd", static_cast<std::int32_t>(static_cast<std::uint32_t>(frames(le)) - 1u)}});
  }
  ordered_json zones = ordered_json::array();
  for (std::size_t z = 0; z < d.zones.size(); ++z) {
    const ZoneDesc& zd = d.zones[z];
    int sample = 0;
    for (std::size_t i = 0; i < d.samples.size(); ++i)
      for (auto zz : d.samples[i].zones)
        if (zz == z) sample = static_cast<int>(i);
    // How the zone plays: keys and velocities from one above the stored
    // low bounds (a low velocity 0 is "from 0", velocity 0 no note), the
    // root key 60 where the stored one is negative, tuning in cents (steps
    // of 11/7 cent), the loop if it asks for one and whether it can have it.
    const bool inBank = sample < static_cast<int>(d.samples.size());
    const std::int64_t frames = inBank ? static_cast<std::int64_t>(d.samples[sample].pcm.size() / 2) : 0;
    const std::int32_t loopStart = inBank ? samples[static_cast<std::size_t>(sample)]["loopStart"].get<std::int32_t>() : 0;
    const std::int32_t loopEnd = inBank ? samples[static_cast<std::size_t>(sample)]["loopEnd"].get<std::int32_t>() : 0;
    const int keyLow = zd.keyLow + 1, velLow = std::max(zd.velLow == 0 ? 0 : zd.velLow + 1, 1);
    const char* silence = !inBank               ? "noSample"
                          : keyLow > zd.keyHigh ? "emptyKeys"
                          : velLow > zd.velHigh ? "emptyVelocities"
                          : frames == 0         ? "noFrames"
                          : frames == 1         ? "oneFrame"
                                                : "none";
    const bool looped = std::abs(int(zd.loopWord1) - int(zd.loopWord2)) >= 2;
    const char* loop = !looped                              ? "none"
                       : frames == 0                        ? "emptySample"
                       : loopStart > loopEnd                ? "reversed"
                       : loopStart < 0 || loopEnd >= frames ? "outside"
                                                            : "forward";
    const int root = static_cast<std::int8_t>(static_cast<std::uint8_t>(64 - zd.transposition));
    const ordered_json plays = {{"sounds", std::string(silence) == "none"},
                                {"silence", silence},
                                {"keyLow", keyLow},
                                {"keyHigh", zd.keyHigh},
                                {"velLow", velLow},
                                {"velHigh", zd.velHigh},
                                {"rootKey", root < 0 ? 60 : root},
                                {"tuningCents", std::lround((int(zd.fineTuneRaw) - 96) * 11.0 / 7.0)},
                                {"loop", loop},
                                {"loopStart", loopStart},
                                {"loopEnd", loopEnd}};
    zones.push_back({{"keyLow", zd.keyLow},
                     {"keyHigh", zd.keyHigh},
                     {"velLow", zd.velLow},
                     {"velHigh", zd.velHigh},
                     {"volume", zd.volume},
                     {"fineTune", static_cast<int>(zd.fineTuneRaw) - 96},
                     {"rootKey", static_cast<std::int8_t>(static_cast<std::uint8_t>(64 - zd.transposition))},
                     {"looped", std::abs(int(zd.loopWord1) - int(zd.loopWord2)) >= 2 ? 1 : 0},
                     {"panLeft", zd.panLeft},
                     {"panRight", zd.panRight},
                     {"attack", 127 - zd.attackRate},
                     {"sustain", zd.sustainLevel},
                     {"decay", 127 - zd.decayRate},
                     {"release", 127 - zd.releaseRate},
                     {"sample", sample},
                     {"plays", plays}});
  }
  return {{"formatVersion", 1},
          {"file", file},
          {"sampleCount", d.samples.size()},
          {"samples", samples},
          {"zones", zones}};
}

BankDesc randomBank(std::mt19937& rng) {
  static const std::vector<std::string> pool = {
      "PIANO.WAV", "C:\\SAMPLES\\PIANO.WAV", "A_1.WAV", "A.WAV", "ABC", "", "DRUMS\\",
      "Kick.wav", "KICK.WAV", "\xC9T\xC9 \"1\".WAV", "a/b.WAV", "..", "tab\there.WAV",
      std::string("ZERO\0HIDDEN", 11)};
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  BankDesc d;
  const int samples = pick(0, 12);
  const int zones = pick(1, 8);
  for (int i = 0; i < samples; ++i) {
    SampleDesc s;
    s.name = pool[static_cast<std::size_t>(pick(0, static_cast<int>(pool.size()) - 1))];
    s.pcm.resize(static_cast<std::size_t>(2 * pick(0, 40)));
    s.loopStartFrame = static_cast<std::uint32_t>(pick(0, 40));
    s.loopEndFrame = static_cast<std::uint32_t>(pick(0, 40));
    if (pick(0, 3) == 0) s.loopStart = static_cast<std::uint32_t>(pick(0, 1000));  // odd, wrapping
    if (pick(0, 3) == 0) s.loopEnd = static_cast<std::uint32_t>(pick(0, 1000));
    for (int k = pick(0, 3); k > 0; --k) s.zones.push_back(static_cast<std::uint8_t>(pick(0, zones - 1)));
    d.samples.push_back(s);
  }
  for (int z = 0; z < zones; ++z) d.zones.push_back(randomZone(rng));
  d.ttkl = pick(0, 1);
  return d;
}

}  // namespace

TEST(CliInfo, JsonMatchesTheBankFieldByFieldForRandomBanks) {
  TempDir dir;
  std::mt19937 rng(20261207);
  for (int round = 0; round < 40; ++round) {
    BankDesc d = randomBank(rng);
    const std::string file = dir.file("bank" + std::to_string(round) + ".tti");
    writeBank(file, d);
    auto r = runCommand({VANTREL_CLI, "info", file, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ordered_json::parse(r.out), expectedJson(file, d)) << "round " << round;
    EXPECT_EQ(r.err, "");
  }
}

TEST(CliInfo, ErrorsNameTheFileAndExitOne) {
  TempDir dir;
  auto r = runCommand({VANTREL_CLI, "info", dir.file("missing.tti")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "vantrel-cli: " + dir.file("missing.tti") + ": File not found\n");
  writeBytes(dir.file("short.tti"), std::vector<std::uint8_t>(300, 0));
  r = runCommand({VANTREL_CLI, "info", dir.file("short.tti"), "--json"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("short.tti: Read beyond end of file"), std::string::npos) << r.err;
  BankDesc d;
  d.sampleCount = 5000;
  writeBank(dir.file("huge.tti"), d);
  r = runCommand({VANTREL_CLI, "info", dir.file("huge.tti")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Invalid TTI file: 5000 samples"), std::string::npos) << r.err;
}

TEST(CliInfo, TextListingShowsSamplesAndZones) {
  TempDir dir;
  BankDesc d;
  SampleDesc s;
  s.name = "\xC9T\xC9.WAV";
  s.pcm.resize(100);
  s.zones = {0};
  d.samples = {s, s};
  d.zones = {ZoneDesc{}};
  writeBank(dir.file("b.tti"), d);
  auto r = runCommand({VANTREL_CLI, "info", dir.file("b.tti")});
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("2 samples, 1 zones"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\xC3\x89T\xC3\x89_1.WAV"), std::string::npos) << r.out;
  // How the zone plays: keys and velocities 1-127, root key 64, no tuning, no loop.
  EXPECT_NE(r.out.find("\nhow the zones play:\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n    0  yes                       1-127    1-127   64      0  none\n"), std::string::npos)
      << r.out;
}
