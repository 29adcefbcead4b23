// SPDX-License-Identifier: MIT
// vantrel-cli scan: crafted banks and the problems it must report, as JSON
// Lines a strict parser takes; nothing is written.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bank_builder.h"
#include "test_support.h"

using namespace vantrel::testing;
using json = nlohmann::ordered_json;

namespace {

SampleDesc sample(const std::string& name, std::size_t bytes, std::vector<std::uint8_t> zones = {0}) {
  SampleDesc s;
  s.name = name;
  s.pcm.assign(bytes, 9);
  s.zones = std::move(zones);
  return s;
}

struct Crafted {
  std::string file;
  BankDesc desc;
  std::vector<std::string> problems;  // a text each problem must contain, in order
  std::vector<std::string> notes = {};  // the same for each note
};

std::vector<Crafted> craftedBanks() {
  std::vector<Crafted> banks;
  BankDesc sound;
  sound.samples = {sample("PIANO.WAV", 64), sample("BASS.WAV", 32, {1})};
  sound.zones = {ZoneDesc{}, ZoneDesc{}};
  banks.push_back({"SOUND.TTI", sound, {}});

  BankDesc beyond = sound;
  beyond.samples[1].end = 5000;  // the data area holds 96 bytes
  banks.push_back({"BEYOND.TTI", beyond, {"sample 1 \"BASS.WAV\" needs bytes 64 to 5000"}});

  BankDesc reversed = sound;
  reversed.samples[0].start = 40;
  reversed.samples[0].end = 8;
  banks.push_back({"REVERSED.TTI", reversed, {"sample 0 \"PIANO.WAV\" ends before it starts"}});

  BankDesc loop = sound;
  loop.samples[0].loopStartFrame = 4;
  loop.samples[0].loopEndFrame = 200;  // 32 frames
  banks.push_back({"LOOP.TTI", loop, {"sample 0 \"PIANO.WAV\": loop from frame 4 to 199 lies outside"}});

  BankDesc ranges = sound;
  ranges.zones[0].keyLow = 80;
  ranges.zones[0].keyHigh = 60;
  ranges.zones[1].velLow = 100;
  ranges.zones[1].velHigh = 20;
  banks.push_back({"RANGES.TTI", ranges, {"zone 0: empty key range 80-60", "zone 1: empty velocity range 100-20"}});

  // Zones that never sound though their stored ranges are not reversed, a
  // sample without frames, and loops reversed or empty.
  BankDesc silent = sound;
  silent.samples.push_back(sample("NONE.WAV", 1, {2}));
  silent.zones = {ZoneDesc{}, ZoneDesc{}, ZoneDesc{}, ZoneDesc{}};
  silent.zones[0].keyLow = 127;
  silent.zones[1].velLow = 60, silent.zones[1].velHigh = 60;
  silent.samples[0].loopStartFrame = 20, silent.samples[0].loopEndFrame = 11;  // frames 20 to 10
  silent.samples[1].loopStartFrame = 6, silent.samples[1].loopEndFrame = 6;    // frames 6 to 5
  banks.push_back({"SILENT.TTI", silent,
                   {"sample 0 \"PIANO.WAV\": loop from frame 20 to 10 is reversed",
                    "sample 1 \"BASS.WAV\": loop from frame 6 to 5 is empty", "sample 2 \"NONE.WAV\" has no frames",
                    "zone 0: never sounds: its first key 128 lies above its last, 127",
                    "zone 1: never sounds: its velocities 61-60 hold none from 1 up",
                    "zone 2: never sounds: its sample 2 has no frames"}});

  BankDesc orphan;  // zones, but no sample for them
  orphan.zones = {ZoneDesc{}};
  banks.push_back({"ORPHAN.TTI", orphan, {"zone 0: its sample 0 does not exist"}});

  BankDesc pair;
  pair.samples = {sample("PAD L.WAV", 64), sample("PAD R.WAV", 64, {1}), sample("PAD X.WAV", 32, {1})};
  pair.zones = {ZoneDesc{}, ZoneDesc{}};
  banks.push_back({"PAIR.TTI", pair, {}, {"sample 0 \"PAD L.WAV\" and sample 1 \"PAD R.WAV\" form a left/right pair"}});
  return banks;
}

}  // namespace

TEST(CliScan, ReportsTheProblemsOfCraftedBanksAndWritesNothing) {
  TempDir dir;
  const std::string root = dir.file("disk");
  std::filesystem::create_directories(root + "/sub");
  std::map<std::string, Crafted> byPath;
  for (const Crafted& c : craftedBanks()) {
    const std::string path = root + "/sub/" + c.file;
    writeBank(path, c.desc);
    byPath[path] = c;
  }
  const std::string unreadable = root + "/CUT.TTI";
  writeBytes(unreadable, std::vector<std::uint8_t>(300, 0));
  const std::string empty = root + "/EMPTY.TTI";  // a bank of no bytes says so
  writeBytes(empty, {});
  const auto before = std::distance(std::filesystem::recursive_directory_iterator(dir.path()), {});

  auto r = runCommand({VANTREL_CLI, "scan", "--json", root});
  EXPECT_EQ(r.exitCode, 1);
  std::istringstream lines(r.out);
  std::size_t seen = 0;
  for (std::string line; std::getline(lines, line); ++seen) {
    const json bank = json::parse(line);
    const std::string path = bank.at("path");
    std::vector<std::string> keys;
    for (const auto& item : bank.items()) keys.push_back(item.key());
    if (path == unreadable || path == empty) {
      EXPECT_EQ(keys, (std::vector<std::string>{"formatVersion", "path", "samples", "zones", "sampleBytes",
                                                "problems", "notes", "error"}));
      EXPECT_EQ(bank["error"], path == empty ? "Read beyond end of file (empty file)" : "Read beyond end of file");
      continue;
    }
    SCOPED_TRACE(path);
    ASSERT_EQ(byPath.count(path), 1u);
    const Crafted& c = byPath[path];
    EXPECT_EQ(keys, (std::vector<std::string>{"formatVersion", "path", "samples", "zones", "sampleBytes", "problems",
                                              "notes"}));
    EXPECT_EQ(bank["formatVersion"], 1);
    EXPECT_EQ(bank["samples"], c.desc.samples.size());
    EXPECT_EQ(bank["zones"], c.desc.zones.size());
    const auto problems = bank["problems"].get<std::vector<std::string>>();
    ASSERT_EQ(problems.size(), c.problems.size()) << line;
    for (std::size_t k = 0; k < problems.size(); ++k)
      EXPECT_NE(problems[k].find(c.problems[k]), std::string::npos) << problems[k];
    const auto notes = bank["notes"].get<std::vector<std::string>>();
    ASSERT_EQ(notes.size(), c.notes.size()) << line;
    for (std::size_t k = 0; k < notes.size(); ++k)
      EXPECT_NE(notes[k].find(c.notes[k]), std::string::npos) << notes[k];
  }
  EXPECT_EQ(seen, byPath.size() + 2);
  EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.path()), {}), before);

  // A single sound bank: text, exit 0.
  const std::string sound = root + "/sub/SOUND.TTI";
  r = runCommand({VANTREL_CLI, "scan", sound});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, sound + ": 2 samples, 2 zones, 96 sample bytes\n");
  r = runCommand({VANTREL_CLI, "scan", dir.file("nothing")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("nothing: File not found"), std::string::npos);
}
