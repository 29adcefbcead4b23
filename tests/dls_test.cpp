// SPDX-License-Identifier: MIT
// DLS output, read back with real readers: libgig's dlsdump lists one
// region per zone that sounds with its key and velocity range (worked out
// from the bank's description), without an error or a warning, and
// spessasynth_core plays every region; and the DLS check against damaged
// copies.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#include "output_check.h"
#include "verify/dls_check.h"
#include "verify_banks.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// The key and velocity ranges of the zones that sound, in zone order, from
// the bank's description, as "key low-high vel low-high".
std::vector<std::string> soundingRanges(const BankDesc& d) {
  std::vector<std::string> out;
  std::uint32_t total = 0;
  for (const SampleDesc& s : d.samples) total += static_cast<std::uint32_t>(s.pcm.size());
  for (std::size_t z = 0; z < std::max<std::size_t>(d.zones.size(), 1); ++z) {
    std::uint32_t start = 0, before = 0;
    const SampleDesc* sample = &d.samples[0];
    for (const SampleDesc& s : d.samples) {
      if (std::count(s.zones.begin(), s.zones.end(), z)) sample = &s, start = before;
      before += static_cast<std::uint32_t>(s.pcm.size());
    }
    const std::uint32_t frames = (sample->end.value_or(start + static_cast<std::uint32_t>(sample->pcm.size())) - start) / 2;
    const ZoneDesc& zd = d.zones[z];
    const int keyLow = zd.keyLow + 1, velLow = std::max(zd.velLow == 0 ? 0 : zd.velLow + 1, 1);
    if (keyLow > zd.keyHigh || velLow > zd.velHigh || frames < 2 || start >= total) continue;
    out.push_back("key " + std::to_string(std::min(keyLow, 127)) + "-" + std::to_string(zd.keyHigh) + " vel " +
                  std::to_string(velLow) + "-" + std::to_string(zd.velHigh));
  }
  return out;
}

}  // namespace

TEST(DlsCommandLine, DlsdumpListsARegionPerSoundingZoneAndSpessasynthPlaysThem) {
  const std::string dlsdump = onPath("dlsdump"), node = onPath("node");
  const std::string modules = VANTREL_SPESSASYNTH_MODULES;
  const bool spessa = fs::exists(modules + "/spessasynth_core/dist/index.js") && !node.empty();
  if (dlsdump.empty() && !spessa) GTEST_SKIP() << "neither dlsdump (gigtools) nor spessasynth_core with node";
  if (dlsdump.empty()) std::cerr << "dlsdump (gigtools) missing: libgig does not read the files\n";
  if (!spessa) std::cerr << "spessasynth_core or node missing (cmake --build build --target spessasynth)\n";
  for (std::uint32_t seed = 41; seed <= 48; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TempDir dir;
    const BankDesc d = randomArchiveBank(seed);
    writeBank(dir.file("BANK.TTI"), d);
    fs::create_directories(dir.file("out"));
    const CommandResult r =
        runCommand({kCli, "convert", "--mode", "dls", "--verify", "--out", dir.file("out"), dir.file("BANK.TTI")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string dls = dir.file("out/BANK.dls");
    const std::vector<std::string> want = soundingRanges(d);
    if (!dlsdump.empty()) {
      const CommandResult dump = runCommand({dlsdump, dls});
      EXPECT_EQ(dump.exitCode, 0);
      EXPECT_EQ(std::regex_search(dump.out + dump.err, std::regex("[Ee]rror|[Ww]arning")), false)
          << dump.out << dump.err;
      // "Region 3) ... KeyRange=60-72 VelocityRange=1-127 ..."
      std::vector<std::string> got;
      static const std::regex region("KeyRange=(\\d+)-(\\d+).*?VelocityRange=(\\d+)-(\\d+)");
      for (std::sregex_iterator m(dump.out.begin(), dump.out.end(), region), end; m != end; ++m) {
        got.push_back("key " + (*m)[1].str() + "-" + (*m)[2].str() + " vel " + (*m)[3].str() + "-" + (*m)[4].str());
      }
      EXPECT_EQ(got, want) << dump.out;
    }
    if (spessa && !want.empty()) {
      // Each zone's first key at its last velocity sounds.
      std::vector<std::string> argv = {node, std::string(VANTREL_SOURCE_DIR) + "/tests/spessasynth_render.mjs",
                                       modules, dls};
      for (const std::string& w : want) {
        int kl, kh, vl, vh;
        std::sscanf(w.c_str(), "key %d-%d vel %d-%d", &kl, &kh, &vl, &vh);
        argv.push_back(std::to_string(kl) + ":" + std::to_string(vh));
      }
      const CommandResult play = runCommand(argv);
      ASSERT_EQ(play.exitCode, 0) << play.err;
      EXPECT_EQ(play.out.find("[0,"), std::string::npos) << play.out;
      EXPECT_EQ(play.out.find(",0,"), std::string::npos) << play.out;
      EXPECT_EQ(play.out.find(",0]"), std::string::npos) << play.out;
    }
  }
}

TEST(DlsCheck, FindsEveryKindOfDamage) {
  TempDir dir;
  // One looped sample on one zone.
  BankDesc d;
  d.samples.resize(1);
  d.samples[0].name = "ONE.WAV";
  d.samples[0].pcm = noisePcm(400, 7);
  d.samples[0].loopStartFrame = 100, d.samples[0].loopEndFrame = 300;
  d.samples[0].zones = {0};
  d.zones.resize(1);
  d.zones[0].loopWord2 = 2;
  writeBank(dir.file("BANK.TTI"), d);
  fs::create_directories(dir.file("out"));
  ASSERT_EQ(runCommand({kCli, "convert", "--mode", "dls", "--out", dir.file("out"), dir.file("BANK.TTI")}).exitCode, 0);
  const std::vector<std::uint8_t> intact = readFileBytes(dir.file("out/BANK.dls"));
  const std::vector<std::uint8_t> bytes = buildBank(d);
  SampleBank bank;
  ZoneArticulation art;
  MemorySource source(bytes.data(), bytes.size(), dir.file("BANK.TTI"));
  readDirectory(source, bank);
  source.rewind();
  readValues(source, bank, {&art, true});
  // Each row adds `delta` to the byte `offset` bytes into the first chunk
  // tagged `tag`.
  struct Row {
    const char* tag;
    std::size_t offset;
    int delta;
    std::string expected;  // the start of the check's answer; "" for none
  };
  const std::vector<Row> rows = {
      {"colh", 8, 0, ""},
      {"colh", 8, 1, "colh does not say one instrument"},
      {"rgnh", 8, 1, "zone 0: key low 2, expected 1"},
      {"wsmp", 12, 1, "zone 0: unity note 65, expected 64"},
      {"wsmp", 40, 1, "zone 0: loop length 201, expected 200"},
      {"art1", 24, 1, "zone 0: connection 0 differs"},  // the attack's scale
      {"ptbl", 16, 2, "wave 0: not where the pool table points"},
      {"data", 8, 1, "wave 0: its frames differ"},
  };
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const Row& row = rows[k];
    SCOPED_TRACE(std::to_string(k) + ": " + row.tag);
    std::vector<std::uint8_t> damaged = intact;
    const auto at = std::search(damaged.begin(), damaged.end(), row.tag, row.tag + 4);
    ASSERT_NE(at, damaged.end());
    at[static_cast<std::ptrdiff_t>(row.offset)] = static_cast<std::uint8_t>(at[static_cast<std::ptrdiff_t>(row.offset)] + row.delta);
    const std::string path = dir.file("row" + std::to_string(k) + ".dls");
    writeBytes(path, damaged);
    const std::string got = verify::checkDls(path, bank, art);
    EXPECT_EQ(got.rfind(row.expected, 0), 0u) << got;
    if (row.expected.empty()) {
      EXPECT_EQ(got, "");
    }
  }
}
