// SPDX-License-Identifier: MIT
// Hundreds of mutated banks through vantrel-cli in every mode: never a
// signal, only exit 0 or 1, nothing outside the output folder, no partial
// file.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "bank_builder.h"
#include "test_support.h"

using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> seedBank() {
  BankDesc d;
  const char* names[] = {"PAD L.WAV", "PAD R.WAV", "KICK.WAV", "KICK.WAV", "DIR\\HAT.WAV"};
  for (int i = 0; i < 5; ++i) {
    SampleDesc s;
    s.name = names[i];
    s.pcm = sinePcm(64, 0.05 * (i + 1));
    s.loopStartFrame = 16;
    s.loopEndFrame = 64;
    s.zones = {static_cast<std::uint8_t>(i)};
    d.samples.push_back(s);
  }
  d.zones.resize(5);
  d.zones[2].a = d.zones[3].d = true;
  return buildBank(d);
}

std::vector<std::uint8_t> mutate(std::vector<std::uint8_t> b, std::mt19937& rng) {
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  const int kind = static_cast<int>(pick(5));
  const int count = 1 + static_cast<int>(pick(8));
  for (int k = 0; k < count && !b.empty(); ++k) {
    switch (kind) {
      case 0: b[pick(b.size())] ^= static_cast<std::uint8_t>(1u << pick(8)); break;
      case 1: b[pick(b.size())] = static_cast<std::uint8_t>(pick(256)); break;
      case 2: b.resize(pick(b.size())); break;
      case 3: {  // a field set to an extreme value
        const std::size_t at = pick(b.size());
        const std::uint8_t v = pick(2) ? 0xFF : 0x00;
        for (std::size_t j = at; j < at + 4 && j < b.size(); ++j) b[j] = v;
        break;
      }
      default: b.insert(b.begin() + static_cast<long>(pick(b.size())), static_cast<std::uint8_t>(pick(256)));
    }
  }
  return b;
}

std::set<std::string> entriesBelow(const fs::path& root) {
  std::set<std::string> out;
  for (auto& e : fs::recursive_directory_iterator(root)) out.insert(fs::relative(e.path(), root).string());
  return out;
}

}  // namespace

TEST(CliMutatedBanks, NoSignalNoStrayFileNoPartialFile) {
  TempDir dir;
  const auto seed = seedBank();
  std::mt19937 rng(7);
  const fs::path in = dir.path() / "in", out = dir.path() / "out";
  fs::create_directories(in);
  int failures = 0, successes = 0;
  for (int round = 0; round < 150; ++round) {
    const std::string bank = (in / "M.TTI").string();
    writeBytes(bank, mutate(seed, rng));
    for (const char* mode : {"mono", "stereo", "sf2"}) {
      fs::remove_all(out);
      fs::create_directories(out);
      auto r = runCommand({VANTREL_CLI, "convert", "--mode", mode, "--out", out.string(), bank});
      ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << "round " << round << " " << mode << " exit "
                                                       << r.exitCode << "\n" << r.err;
      (r.exitCode == 0 ? successes : failures)++;
      if (r.exitCode == 1) {
        EXPECT_NE(r.err.find(bank), std::string::npos) << r.err;
      }
      EXPECT_EQ(entriesBelow(in), std::set<std::string>{"M.TTI"});
      for (const auto& e : entriesBelow(out)) {
        EXPECT_EQ(fs::path(e).filename().string().rfind(".vantrel-", 0), std::string::npos)
            << "partial file " << e << " in round " << round << " " << mode;
      }
    }
  }
  // The mutations must exercise both outcomes to mean anything.
  EXPECT_GT(successes, 50);
  EXPECT_GT(failures, 50);
}
