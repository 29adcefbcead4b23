// vantrel-cli info and the command line's shape: help, version, usage errors.

#include <gtest/gtest.h>

#include <random>

#include "bank_builder.h"
#include "test_support.h"

using namespace vantrel::testing;

namespace {

std::string latin1ToUtf8(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string json(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// What the reader must make of a description, computed independently.
std::string expectedJson(const std::string& file, const BankDesc& d) {
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
  for (std::size_t i = 0; i < names.size(); ++i) {
    int k = 0;
    for (std::size_t j = 0; j < i; ++j) k += names[j] == names[i];
    for (;; ++k) {
      std::string cand = names[i];
      if (k) cand.insert(cand.size() > 4 ? cand.size() - 4 : 0, "_" + std::to_string(k));
      for (char& c : cand)
        if (c == '/') c = '_';
      if (cand.find_first_not_of('.') == std::string::npos)
        for (char& c : cand) c = '_';
      if (cand.empty()) cand = "_";
      bool taken = false;
      for (const auto& o : outputs) taken |= o == cand;
      if (!taken) {
        outputs.push_back(cand);
        break;
      }
    }
  }
  std::string s = "{\"file\": " + json(file) + ", \"sampleCount\": " +
                  std::to_string(d.samples.size()) + ",\n \"samples\": [";
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
    s += i ? ",\n  " : "\n  ";
    s += "{\"index\":" + std::to_string(i) + ", \"name\":" + json(latin1ToUtf8(names[i])) +
         ", \"outputName\":" + json(latin1ToUtf8(outputs[i])) +
         ", \"pcmStart\":" + std::to_string(start) + ", \"pcmEnd\":" + std::to_string(end) +
         ", \"pcmLength\":" + std::to_string(end - start) +
         ", \"loopStart\":" + std::to_string(frames(ls)) +
         ", \"loopEnd\":" + std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(frames(le)) - 1u)) + "}";
  }
  s += "],\n \"zones\": [";
  for (std::size_t z = 0; z < d.zones.size(); ++z) {
    const ZoneDesc& zd = d.zones[z];
    int sample = 0;
    for (std::size_t i = 0; i < d.samples.size(); ++i)
      for (auto zz : d.samples[i].zones)
        if (zz == z) sample = static_cast<int>(i);
    int root = static_cast<std::int8_t>(static_cast<std::uint8_t>(64 - zd.transposition));
    s += z ? ",\n  " : "\n  ";
    s += "{\"keyLow\":" + std::to_string(zd.keyLow) + ", \"keyHigh\":" + std::to_string(zd.keyHigh) +
         ", \"velLow\":" + std::to_string(zd.velLow) + ", \"velHigh\":" + std::to_string(zd.velHigh) +
         ", \"volume\":" + std::to_string(zd.volume) +
         ", \"fineTune\":" + std::to_string(static_cast<int>(zd.fineTuneRaw) - 96) +
         ", \"rootKey\":" + std::to_string(root) +
         ", \"looped\":" + std::to_string(std::abs(int(zd.loopWord1) - int(zd.loopWord2)) >= 2) +
         ", \"panLeft\":" + std::to_string(zd.panLeft) + ", \"panRight\":" + std::to_string(zd.panRight) +
         ", \"attack\":" + std::to_string(127 - zd.attackRate) +
         ", \"sustain\":" + std::to_string(zd.sustainLevel) +
         ", \"decay\":" + std::to_string(127 - zd.decayRate) +
         ", \"release\":" + std::to_string(127 - zd.releaseRate) +
         ", \"sample\":" + std::to_string(sample) + "}";
  }
  return s + "]}\n";
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
    EXPECT_EQ(r.out, expectedJson(file, d)) << "round " << round;
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
}

TEST(CliUsage, HelpVersionAndUsageErrors) {
  auto r = runCommand({VANTREL_CLI, "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("vantrel-cli info    BANK.tti [--json]"), std::string::npos);
  r = runCommand({VANTREL_CLI, "--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("vantrel-cli ", 0), 0u);
  for (std::vector<std::string> args : {std::vector<std::string>{VANTREL_CLI},
                                        {VANTREL_CLI, "nonsense"},
                                        {VANTREL_CLI, "info"},
                                        {VANTREL_CLI, "info", "a.tti", "b.tti"},
                                        {VANTREL_CLI, "info", "a.tti", "--mode", "sf2"},
                                        {VANTREL_CLI, "info", "a.tti", "--json=1"}}) {
    r = runCommand(args);
    EXPECT_EQ(r.exitCode, 2) << args.size();
    EXPECT_NE(r.err.find("Usage:"), std::string::npos);
    EXPECT_EQ(r.out, "");
  }
}
