// SPDX-License-Identifier: MIT
#include <fstream>
#include <sstream>

#include "platform/file.h"
#include "verify/checks.h"
#include "verify/expected.h"

namespace vantrel::verify {

// An SFZ instrument of ours holds one region per zone the SoundFont holds,
// in the same order; a region that can never sound stays in place as
// comment lines ("// <region>"). Each region that plays names its sample
// file ("sample=" + a path relative to the .sfz file), a mono WAV file of
// the zone's sample.
std::string checkSfz(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones,
                     std::vector<std::string>* checked, const std::map<std::string, std::uint16_t>* verified,
                     bool faithful) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot be read";
  const std::vector<std::uint16_t> expected = playableZones(bank, zones);
  const std::string name = fileNamePart(path);
  const std::string folder = path.substr(0, path.size() - name.size());
  std::size_t regions = 0;
  bool playing = false;  // inside a region that plays
  std::string line;
  auto checkSample = [&](const std::string& file) -> std::string {
    if (regions == 0 || regions > expected.size()) return {};
    const std::string samplePath = folder + file;
    const std::string who = "region " + std::to_string(regions - 1) + ": " + samplePath + ": ";
    if (!fileExists(samplePath)) return who + "missing";
    const std::uint16_t sample = bank.zoneSample[expected[regions - 1]];
    if (verified) {
      const auto known = verified->find(samplePath);
      if (known != verified->end() && known->second == sample) return {};
    }
    const std::string what = checkWav(samplePath, bank, false, sample, sample, faithful ? &zones : nullptr);
    if (!what.empty()) return who + what;
    if (checked) checked->push_back(samplePath);
    return {};
  };
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "<region>" || line == "// <region>") {
      ++regions;
      playing = line == "<region>";
    } else if (line.rfind("<", 0) == 0) {
      playing = false;
    } else if (playing && line.rfind("sample=", 0) == 0) {
      if (std::string what = checkSample(line.substr(7)); !what.empty()) return what;
    }
  }
  if (regions != expected.size()) {
    return std::to_string(regions) + " regions, expected " + std::to_string(expected.size());
  }
  return {};
}

}  // namespace vantrel::verify
