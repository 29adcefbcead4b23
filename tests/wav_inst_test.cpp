// SPDX-License-Identifier: MIT
// The "inst" chunk of faithful WAV files, read by exiftool (libsndfile
// logs the chunk but does not read it): the pitch of the smpl chunk, and
// the gain and the key and velocity range of the first zone that sounds
// and plays the file's (left) sample, worked out from the bank's
// description; exact WAV files carry none.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "output_check.h"
#include "verify_banks.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// What the "inst" chunk of the file of sample `sample` says: unshifted
// note, fine tune, gain, low and high note, low and high velocity; empty
// when no zone sounds and plays it.
std::vector<int> expectedInst(const BankDesc& d, std::size_t sample) {
  std::uint32_t start = 0, total = 0;
  for (std::size_t i = 0; i < d.samples.size(); ++i) {
    if (i < sample) start += static_cast<std::uint32_t>(d.samples[i].pcm.size());
    total += static_cast<std::uint32_t>(d.samples[i].pcm.size());
  }
  const SampleDesc& s = d.samples[sample];
  const std::uint32_t frames = (s.end.value_or(start + static_cast<std::uint32_t>(s.pcm.size())) - start) / 2;
  for (std::size_t z = 0; z < d.zones.size(); ++z) {
    // A zone plays the last sample whose list names it.
    std::size_t plays = 0;
    for (std::size_t i = 0; i < d.samples.size(); ++i) {
      if (std::count(d.samples[i].zones.begin(), d.samples[i].zones.end(), z)) plays = i;
    }
    const ZoneDesc& zd = d.zones[z];
    const int keyLow = zd.keyLow + 1, velLow = std::max(zd.velLow == 0 ? 0 : zd.velLow + 1, 1);
    if (plays != sample || keyLow > zd.keyHigh || velLow > zd.velHigh || frames < 2 || start >= total) continue;
    const int root = static_cast<std::int8_t>(static_cast<std::uint8_t>(64 - zd.transposition));
    const long tuning = std::lround((zd.fineTuneRaw - 96) * 11.0 / 7);
    const long pitch = std::clamp<long>(100L * (root < 0 ? 60 : root) - tuning, 0, 12700);
    const long attenuation = 1440 - std::lround(zd.volume * 1440.0 / 127);
    return {static_cast<int>(pitch / 100), static_cast<int>(pitch % 100), static_cast<int>(std::lround(-0.04 * attenuation)),
            std::min(keyLow, 127), zd.keyHigh, velLow, zd.velHigh};
  }
  return {};
}

}  // namespace

TEST(WavInst, FaithfulFilesSayTheirFirstZonesRangesAndExactFilesNone) {
  const std::string exiftool = onPath("exiftool");
  if (exiftool.empty()) GTEST_SKIP() << "exiftool (libimage-exiftool-perl) is not installed: no reader of inst chunks";
  for (std::uint32_t seed = 61; seed <= 66; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TempDir dir;
    const BankDesc d = randomArchiveBank(seed);
    writeBank(dir.file("BANK.TTI"), d);
    for (const char* mode : {"mono", "stereo"}) {
      for (const bool faithful : {true, false}) {
        const std::string out = dir.file(std::string(mode) + (faithful ? "-faithful" : ""));
        fs::create_directories(out);
        std::vector<std::string> argv = {kCli, "convert", "--mode", mode, "--verify", "--out", out, dir.file("BANK.TTI")};
        if (faithful) argv.push_back("--faithful");
        const CommandResult r = runCommand(argv);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        const std::string folder = out + (std::string(mode) == "mono" ? "/WAV_MONO_BANK.TTI/" : "/WAV_STEREO_BANK.TTI/");
        for (std::size_t i = 0; i < d.samples.size(); ++i) {
          // A pair's file is named after both samples and says the left one's zone.
          std::string name = d.samples[i].name;
          if (std::string(mode) == "stereo" && name.starts_with("PAD") && name[4] == 'L') {
            name = name.substr(0, name.size() - 4) + "__PAD" + name[3] + "R.WAV";
          }
          if (!fs::exists(folder + name)) continue;
          SCOPED_TRACE(name);
          const std::vector<std::uint8_t> bytes = readFileBytes(folder + name);
          const bool hasInst = std::search(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 136),
                                           std::begin("inst"), std::end("inst") - 1) != bytes.begin() +
                                               std::min<std::size_t>(bytes.size(), 136);
          const std::vector<int> want = faithful ? expectedInst(d, i) : std::vector<int>{};
          EXPECT_EQ(hasInst, !want.empty());
          if (want.empty()) continue;
          const CommandResult read = runCommand({exiftool, "-T", "-n", "-UnshiftedNote", "-FineTune", "-Gain",
                                                 "-LowNote", "-HighNote", "-LowVelocity", "-HighVelocity",
                                                 folder + name});
          std::istringstream values(read.out);
          std::vector<int> got;
          for (int v; values >> v;) got.push_back(v);
          EXPECT_EQ(got, want) << read.out << read.err;
        }
      }
    }
  }
}
