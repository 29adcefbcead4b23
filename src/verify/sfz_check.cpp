// SPDX-License-Identifier: MIT
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "platform/file.h"
#include "verify/checks.h"
#include "verify/expected.h"

namespace vantrel::verify {
namespace {

// The opcodes a region that plays must carry, each with the value its
// zone's SoundFont generators give, in SFZ units.
struct RegionWant {
  std::uint16_t sample = 0;
  bool sounds = false;
  int cents = 0;  // transpose and tune together
  std::map<std::string, double> integers;
  std::map<std::string, double> reals;
  std::string loopMode;
};

RegionWant regionWant(const SampleBank& bank, const ZoneArticulation& zones, std::uint16_t zone) {
  std::uint16_t gen[64] = {};
  for (const auto& [oper, amount] : zoneGenerators(bank, zones, zone)) gen[oper] = amount;
  RegionWant w;
  w.sample = gen[kSampleId];
  const std::uint64_t frames = wavChannelBytes(bank, w.sample) / 2;
  const int keyLow = gen[kKeyRange] & 0xFF, keyHigh = gen[kKeyRange] >> 8;
  const int velLow = gen[kVelRange] & 0xFF, velHigh = gen[kVelRange] >> 8;
  // Velocity 0 is a note-off: a range plays from 1 at the lowest. A sample
  // of one frame is not played by every player: it counts as none.
  w.sounds = keyLow <= keyHigh && std::max(velLow, 1) <= velHigh && frames > 1 && !sampleWithoutData(bank, w.sample);
  // Players take a negative root key as none and play the sample's own
  // pitch, 60.
  const int root = signedAmount(gen[kOverridingRootKey]);
  w.cents = 100 * signedAmount(gen[kCoarseTune]) + signedAmount(gen[kFineTune]);
  w.integers = {{"lokey", std::min(keyLow, 127)},
                {"hikey", keyHigh},
                {"lovel", std::clamp(velLow, 1, 127)},
                {"hivel", velHigh},
                {"pitch_keycenter", root < 0 ? 60 : root}};
  // The loop of the WAV file's smpl chunk, played only when it lies within
  // the sample; its end frame is played.
  const std::int32_t loopStart = bank.loopStart[w.sample], loopEnd = bank.loopEnd[w.sample];
  if (gen[kSampleModes] == 1 && loopStart >= 0 && loopStart <= loopEnd &&
      static_cast<std::uint64_t>(loopEnd) < frames) {
    w.loopMode = "loop_continuous";
    w.integers["loop_start"] = loopStart;
    w.integers["loop_end"] = loopEnd;
  } else {
    w.loopMode = "no_loop";
  }
  w.reals = {{"volume", -0.04 * signedAmount(gen[kInitialAttenuation])},
             {"pan", std::clamp(signedAmount(gen[kPan]) / 5.0, -100.0, 100.0)},
             {"ampeg_attack", envelopeSeconds(gen[kAttackVolEnv])},
             {"ampeg_decay", envelopeSeconds(gen[kDecayVolEnv])},
             // Sustain attenuation in centibels as a percentage of full level.
             {"ampeg_sustain", 100.0 * std::pow(10.0, -signedAmount(gen[kSustainVolEnv]) / 200.0)},
             {"ampeg_release", envelopeSeconds(gen[kReleaseVolEnv])}};
  return w;
}

bool wholeNumber(const std::string& text, long& v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool realNumber(const std::string& text, double& v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// What the opcodes of a region that plays differ in from `want`; "".
std::string compareRegion(const RegionWant& want, std::map<std::string, std::string> got) {
  auto take = [&got](const std::string& name, std::string& value) {
    const auto it = got.find(name);
    if (it == got.end()) return false;
    value = it->second;
    got.erase(it);
    return true;
  };
  std::string value;
  for (const auto& [name, expected] : want.integers) {
    long v = 0;
    if (!take(name, value)) return "no " + name;
    if (!wholeNumber(value, v) || v != expected) return name + " " + value + ", expected " + shownValue(expected);
  }
  for (const auto& [name, expected] : want.reals) {
    double v = 0;
    if (!take(name, value)) return "no " + name;
    if (!realNumber(value, v) || std::fabs(v - expected) > std::max(1e-4 * std::fabs(expected), 1e-9)) {
      return name + " " + value + ", expected " + shownValue(expected);
    }
  }
  if (!take("loop_mode", value)) return "no loop_mode";
  if (value != want.loopMode) return "loop_mode " + value + ", expected " + want.loopMode;
  // The tuning as whole semitones and at most half a semitone of cents.
  std::string transpose, tune;
  long semitones = 0, cents = 0;
  if (!take("transpose", transpose) || !take("tune", tune)) return "no transpose and tune";
  if (!wholeNumber(transpose, semitones) || !wholeNumber(tune, cents) || std::labs(cents) > 50 ||
      100 * semitones + cents != want.cents) {
    return "transpose " + transpose + " and tune " + tune + ", expected " + std::to_string(want.cents) + " cents";
  }
  got.erase("sample");
  if (!got.empty()) return "unexpected opcode " + got.begin()->first;
  return {};
}

// Whether a comment stands for a zone; sets its zone and sample numbers.
bool zoneComment(const std::string& line, int& zone, int& sample) {
  return std::sscanf(line.c_str(), "// zone %d, sample %d", &zone, &sample) == 2;
}

}  // namespace

// An SFZ instrument of ours holds one region per zone the SoundFont holds,
// in the same order, each after a comment naming its zone and sample; a
// region that can never sound stays in place as comment lines
// ("// <region>", "// lokey=..."). A region that plays carries one opcode a
// line, each with its zone's value, and names its sample file ("sample=" +
// "samples/" and a name), a mono WAV file of the zone's sample.
std::string checkSfz(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones,
                     std::vector<std::string>* checked, const std::map<std::string, std::uint16_t>* verified,
                     bool faithful) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot be read";
  const std::vector<std::uint16_t> expected = playableZones(bank, zones);
  const std::string name = fileNamePart(path);
  const std::string folder = path.substr(0, path.size() - name.size());
  std::set<std::string> seen;  // sample files checked here already

  std::size_t regions = 0;
  bool playing = false;  // inside a region that plays
  int commentZone = -1, commentSample = -1;
  std::map<std::string, std::string> opcodes;
  auto who = [&] { return "region " + std::to_string(regions - 1) + ": "; };
  // Checks the region read last, once its lines are all read.
  auto endRegion = [&]() -> std::string {
    if (regions == 0 || regions > expected.size()) return {};
    const std::uint16_t z = expected[regions - 1];
    const RegionWant want = regionWant(bank, zones, z);
    if (commentZone != z || commentSample != want.sample) {
      return who() + "not after a comment naming zone " + std::to_string(z) + ", sample " +
             std::to_string(want.sample);
    }
    if (!playing) return want.sounds ? who() + "zone " + std::to_string(z) + " sounds, yet is a comment" : "";
    if (!want.sounds) return who() + "zone " + std::to_string(z) + " never sounds, yet plays";
    if (std::string what = compareRegion(want, opcodes); !what.empty()) return who() + what;
    const auto file = opcodes.find("sample");
    const std::string relative = file == opcodes.end() ? std::string() : file->second;
    const std::string sample = relative.rfind("samples/", 0) == 0 ? relative.substr(8) : std::string();
    if (sample.empty() || sample == "." || sample == ".." || sample.find_first_of("/\\") != std::string::npos) {
      return who() + "sample " + relative + " is not a file in the samples folder";
    }
    const std::string samplePath = folder + relative;
    if (!fileExists(samplePath)) return who() + samplePath + ": missing";
    if (verified) {
      const auto known = verified->find(samplePath);
      if (known != verified->end() && known->second == want.sample) return {};
    }
    if (!seen.insert(samplePath + '\n' + std::to_string(want.sample)).second) return {};
    const std::string what =
        checkWav(samplePath, bank, false, want.sample, want.sample, faithful ? &zones : nullptr);
    if (!what.empty()) return who() + samplePath + ": " + what;
    if (checked) checked->push_back(samplePath);
    return {};
  };

  std::string line;
  bool inRegion = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "<region>" || line == "// <region>") {
      if (inRegion) {
        if (std::string what = endRegion(); !what.empty()) return what;
      }
      ++regions;
      inRegion = true;
      playing = line == "<region>";
      opcodes.clear();
      continue;
    }
    int zone = 0, sample = 0;
    if (zoneComment(line, zone, sample)) {
      if (inRegion) {
        if (std::string what = endRegion(); !what.empty()) return what;
      }
      inRegion = false;
      commentZone = zone;
      commentSample = sample;
      continue;
    }
    if (line.empty() || line.rfind("//", 0) == 0) continue;
    if (!inRegion || !playing) return "unexpected line: " + line.substr(0, 40);
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) return (regions ? who() : "") + "unexpected line: " + line.substr(0, 40);
    if (!opcodes.emplace(line.substr(0, eq), line.substr(eq + 1)).second) {
      return who() + line.substr(0, eq) + " given twice";
    }
  }
  if (inRegion) {
    if (std::string what = endRegion(); !what.empty()) return what;
  }
  if (regions != expected.size()) {
    return std::to_string(regions) + " regions, expected " + std::to_string(expected.size());
  }
  return {};
}

}  // namespace vantrel::verify
