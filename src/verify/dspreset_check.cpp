// SPDX-License-Identifier: MIT
#include "verify/dspreset_check.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

#include "platform/file.h"
#include "platform/text.h"
#include "verify/checks.h"
#include "verify/expected.h"
#include "verify/xml_pieces.h"

namespace vantrel::verify {
namespace {

// A value as DecentSampler reads it: a plain decimal (no exponent), in
// the C locale.
bool plainNumber(std::string_view text, double& v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// One attribute a <sample> element must carry.
struct Want {
  enum Kind { Integer, Real, Decibels, Flag } kind;
  const char* name;
  double value;
};

// What attribute `want` of a zone's element holding `got` differs in; "".
std::string compare(const Want& want, const std::string& got) {
  const std::string difference = std::string(want.name) + " " + got + ", expected ";
  switch (want.kind) {
    case Want::Flag: {
      const std::string expected = want.value != 0 ? "true" : "false";
      return got == expected ? std::string() : difference + expected;
    }
    case Want::Integer: {
      int v = 0;
      const auto r = std::from_chars(got.data(), got.data() + got.size(), v);
      const bool same = !got.empty() && r.ec == std::errc() && r.ptr == got.data() + got.size() && v == want.value;
      return same ? std::string() : difference + shownValue(want.value);
    }
    case Want::Real:
    case Want::Decibels: {
      const std::string suffix = want.kind == Want::Decibels ? "dB" : "";
      const std::string_view number(got.data(), got.size() - std::min(got.size(), suffix.size()));
      double v = 0;
      if (!got.ends_with(suffix) || !plainNumber(number, v) || (v == 0 && got[0] == '-')) {
        return std::string(want.name) + " " + got + " is not a plain decimal" + (suffix.empty() ? "" : " in dB");
      }
      const bool same = std::fabs(v - want.value) <= std::max(1e-4 * std::fabs(want.value), 1e-9);
      return same ? std::string() : difference + shownValue(want.value) + suffix;
    }
  }
  return {};
}

// A zone's values in DecentSampler units, from its SoundFont generators.
struct ZoneWant {
  std::uint16_t sample = 0;
  bool sounds = false;
  std::vector<Want> attributes;  // all but path
};

ZoneWant zoneWant(const SampleBank& bank, const ZoneArticulation& zones, std::uint16_t zone) {
  std::uint16_t gen[64] = {};
  for (const auto& [oper, amount] : zoneGenerators(bank, zones, zone)) gen[oper] = amount;
  ZoneWant w;
  w.sample = gen[kSampleId];
  const std::uint64_t frames = wavChannelBytes(bank, w.sample) / 2;
  const int keyLow = gen[kKeyRange] & 0xFF, keyHigh = gen[kKeyRange] >> 8;
  const int velLow = gen[kVelRange] & 0xFF, velHigh = gen[kVelRange] >> 8;
  // Velocity 0 is a note-off: a range plays from 1 at the lowest.
  // A sample of one frame is not played by every player: it counts as none.
  w.sounds = keyLow <= keyHigh && std::max(velLow, 1) <= velHigh && frames > 1;
  // Players take a negative root key as none, and play the sample's own
  // pitch: 60.
  const int root = signedAmount(gen[kOverridingRootKey]);
  // The loop of the WAV file's smpl chunk, played only when it lies within
  // the sample.
  const std::int32_t loopStart = bank.loopStart[w.sample], loopEnd = bank.loopEnd[w.sample];
  const bool loop = gen[kSampleModes] == 1 && loopStart >= 0 && loopStart <= loopEnd &&
                    static_cast<std::uint64_t>(loopEnd) < frames;
  const double pan = signedAmount(gen[kPan]) / 5.0;  // tenths of a percent to -100...100
  // DecentSampler's root notes run from 1: a root key of 0 is 1, tuned a
  // semitone up.
  const int key = root < 0 ? 60 : root, rootNote = std::max(key, 1);
  w.attributes = {
      {Want::Integer, "rootNote", static_cast<double>(rootNote)},
      {Want::Integer, "loNote", static_cast<double>(std::min(keyLow, 127))},
      {Want::Integer, "hiNote", static_cast<double>(keyHigh)},
      {Want::Integer, "loVel", static_cast<double>(std::clamp(velLow, 1, 127))},
      {Want::Integer, "hiVel", static_cast<double>(velHigh)},
      {Want::Real, "tuning", signedAmount(gen[kFineTune]) / 100.0 + (rootNote - key)},
      // The SoundFont's level at the zone's last velocity: its player
      // lowers a velocity v by 40 log10(127 / v) dB, DecentSampler (with
      // ampVelTrack 1) by half that.
      {Want::Decibels, "volume", -0.04 * signedAmount(gen[kInitialAttenuation]) + 20 * std::log10(velHigh / 127.0)},
      {Want::Real, "pan", std::clamp(pan, -100.0, 100.0)},
      {Want::Flag, "loopEnabled", loop ? 1.0 : 0.0},
  };
  if (loop) {
    w.attributes.push_back({Want::Integer, "loopStart", static_cast<double>(loopStart)});
    w.attributes.push_back({Want::Integer, "loopEnd", static_cast<double>(loopEnd)});
  }
  w.attributes.push_back({Want::Real, "attack", envelopeSeconds(gen[kAttackVolEnv])});
  w.attributes.push_back({Want::Real, "decay", envelopeSeconds(gen[kDecayVolEnv])});
  // Sustain attenuation in centibels as a linear level.
  w.attributes.push_back({Want::Real, "sustain", std::pow(10.0, -signedAmount(gen[kSustainVolEnv]) / 200.0)});
  w.attributes.push_back({Want::Real, "release", envelopeSeconds(gen[kReleaseVolEnv])});
  return w;
}

// Whether a comment stands for a zone that never sounds; sets its zone and
// sample numbers.
bool neverSounds(const std::string& comment, int& zone, int& sample) {
  int used = 0;
  return std::sscanf(comment.c_str(), " zone %d, sample %d: never sounds%n", &zone, &sample, &used) == 2 &&
         used > 0;
}

}  // namespace

// A preset of ours is laid out as the DecentSampler writer writes it: the
// declaration first, then <DecentSampler><groups><group> (the group with
// ampVelTrack="1", velocity setting the level, and attackCurve="0", a
// linear attack, as SoundFont players have them), and in the group
// one entry per zone the SoundFont holds, in order: a <sample .../>, or a
// comment "zone Z, sample S: never sounds, as ..." for a zone that can
// never sound. Other comments may stand anywhere.
std::string checkDsPreset(const std::string& path, const SampleBank& bank, const ZoneArticulation& zones,
                          std::vector<std::string>* checked, const std::map<std::string, std::uint16_t>* verified,
                          bool faithful) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot be read";
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return "cannot be read";
  if (!isUtf8(text)) return "not UTF-8";
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  if (text.rfind(declaration, 0) != 0) return "does not start with " + declaration;
  std::vector<Piece> pieces;
  if (std::string what = readPieces(text, declaration.size(), pieces); !what.empty()) return what;

  // The elements around the group, then the group's entries.
  std::vector<const Piece*> entries;
  const std::vector<std::pair<Piece::Kind, std::string>> frame = {
      {Piece::Start, "DecentSampler"}, {Piece::Start, "groups"}, {Piece::Start, "group"},
      {Piece::End, "group"}, {Piece::End, "groups"}, {Piece::End, "DecentSampler"}};
  std::size_t framed = 0;
  for (const Piece& p : pieces) {
    const bool inGroup = framed == 3;
    if (p.kind == Piece::Text) return "text outside the markup: " + p.text.substr(0, 20);
    if (p.kind == Piece::Comment) {
      int z = 0, s = 0;
      if (inGroup && neverSounds(p.text, z, s)) entries.push_back(&p);
      continue;
    }
    if (inGroup && p.kind == Piece::Empty && p.text == "sample") {
      entries.push_back(&p);
      continue;
    }
    if (framed == frame.size() || p.kind != frame[framed].first || p.text != frame[framed].second) {
      return std::string("unexpected <") + (p.kind == Piece::End ? "/" : "") + p.text + ">";
    }
    if (framed == 0) {
      const bool version = p.attributes.size() == 1 && p.attributes[0].first == "minVersion" &&
                           p.attributes[0].second == "1.0.0";
      if (!version) return "<DecentSampler> without minVersion=\"1.0.0\" alone";
    } else if (framed == 2) {
      const std::vector<std::pair<std::string, std::string>> group = {{"ampVelTrack", "1"}, {"attackCurve", "0"}};
      if (p.attributes != group) return "<group> without ampVelTrack=\"1\" attackCurve=\"0\" alone";
    } else if (!p.attributes.empty()) {
      return "<" + p.text + "> has attributes";
    }
    ++framed;
  }
  if (framed != frame.size()) return std::string("no <") + (framed > 2 ? "/" : "") + frame[framed].second + ">";

  const std::vector<std::uint16_t> expected = playableZones(bank, zones);
  if (entries.size() != expected.size()) {
    return std::to_string(entries.size()) + " samples and zones that never sound, expected " +
           std::to_string(expected.size());
  }
  const std::string folder = path.substr(0, path.size() - fileNamePart(path).size());
  std::set<std::string> seen;  // sample files checked here already
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const Piece& p = *entries[k];
    const std::uint16_t z = expected[k];
    const std::string who = "zone " + std::to_string(z) + ": ";
    const ZoneWant want = zoneWant(bank, zones, z);
    if (p.kind == Piece::Comment) {
      int zone = 0, sample = 0;
      neverSounds(p.text, zone, sample);
      if (want.sounds && !sampleWithoutData(bank, want.sample)) {
        return who + "no sample element, but a comment that it never sounds";
      }
      if (zone != z || sample != want.sample) {
        return who + "the comment names zone " + std::to_string(zone) + ", sample " + std::to_string(sample);
      }
      continue;
    }
    if (!want.sounds) return who + "never sounds, yet has a sample element";

    std::map<std::string, std::string> got(p.attributes.begin(), p.attributes.end());
    for (const Want& w : want.attributes) {
      const auto it = got.find(w.name);
      if (it == got.end()) return who + "no " + w.name;
      if (std::string what = compare(w, it->second); !what.empty()) return who + what;
      got.erase(it);
    }
    const auto file = got.find("path");
    if (file == got.end()) return who + "no path";
    const std::string relative = file->second;
    got.erase(file);
    if (!got.empty()) return who + "unexpected attribute " + got.begin()->first;

    // The sample file: "samples/" and a name, inside that folder.
    const std::string name = relative.rfind("samples/", 0) == 0 ? relative.substr(8) : std::string();
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos) {
      return who + "path " + relative + " is not a file in the samples folder";
    }
    const std::string samplePath = folder + relative;
    if (!fileExists(samplePath)) return who + samplePath + ": missing";
    if (verified) {
      const auto known = verified->find(samplePath);
      if (known != verified->end() && known->second == want.sample) continue;
    }
    if (!seen.insert(samplePath + '\n' + std::to_string(want.sample)).second) continue;
    if (std::string what = checkWav(samplePath, bank, false, want.sample, want.sample, faithful ? &zones : nullptr); !what.empty()) {
      return who + samplePath + ": " + what;
    }
    if (checked) checked->push_back(samplePath);
  }
  return {};
}

}  // namespace vantrel::verify
