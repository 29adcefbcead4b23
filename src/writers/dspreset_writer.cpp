// SPDX-License-Identifier: MIT
#include "writers/dspreset_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/file.h"
#include "platform/text.h"
#include "writers/sf2_writer.h"
#include "writers/sfz_writer.h"

namespace vantrel {
namespace {

// Text of a decimal value, never in the reader's locale: at most six
// significant digits, no "-0", and no exponent (DecentSampler's guide
// shows plain decimals only), so tiny levels are written out in full.
std::string decimal(double v) {
  if (v == 0) return "0";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  if (std::find(buf, r.ptr, 'e') == r.ptr) return std::string(buf, r.ptr);
  const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(v))));
  r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, std::max(0, 5 - exponent));
  std::string text(buf, r.ptr);
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

// How many bytes at `k` of UTF-8 text form a character XML 1.0 does not
// allow in a document (C0 controls but tab, LF and CR; U+FFFE, U+FFFF), or
// one best not shown (DEL, C1 controls); 0 for any other.
std::size_t unwantedAt(std::string_view s, std::size_t k) {
  const auto c = static_cast<unsigned char>(s[k]);
  auto next = [&](std::size_t n) { return k + n < s.size() ? static_cast<unsigned char>(s[k + n]) : 0u; };
  if (c < 0x20 || c == 0x7F) return 1;
  if (c == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) return 2;
  if (c == 0xEF && next(1) == 0xBF && (next(2) == 0xBE || next(2) == 0xBF)) return 3;
  return 0;
}

// Text for inside a comment: the file system's bytes as UTF-8 (each byte
// as its Latin-1 character where they are not UTF-8), unwanted characters
// as '?', and never "--", which XML does not allow in a comment (the
// second '-' of a pair becomes '_').
std::string commentText(std::string_view bytes) {
  const std::string utf8 = utf8OrLatin1(bytes);
  std::string out;
  for (std::size_t k = 0; k < utf8.size(); ++k) {
    if (const std::size_t n = unwantedAt(utf8, k)) {
      out += '?';
      k += n - 1;
    } else if (utf8[k] == '-' && !out.empty() && out.back() == '-') {
      out += '_';
    } else {
      out += utf8[k];
    }
  }
  return out;
}

// An attribute value (UTF-8) between double quotes: markup characters as
// entities, tab, LF and CR as character references (a reader would turn
// them into spaces), characters XML does not allow as '_'.
std::string attributeText(std::string_view utf8) {
  std::string out;
  for (std::size_t k = 0; k < utf8.size(); ++k) {
    const char c = utf8[k];
    switch (c) {
      case '&': out += "&amp;"; continue;
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '"': out += "&quot;"; continue;
      case '\'': out += "&apos;"; continue;
      case '\t': out += "&#9;"; continue;
      case '\n': out += "&#10;"; continue;
      case '\r': out += "&#13;"; continue;
      default: break;
    }
    const std::size_t n = unwantedAt(utf8, k);
    // DEL and C1 controls are allowed characters; only the others go.
    if (n == 1 && c != 0x7F) out += '_';
    else if (n == 3) {
      out += '_';
      k += 2;
    } else {
      out += c;
    }
  }
  return out;
}

// Why a zone whose sample is in the bank never sounds; empty if it sounds.
std::string silenceReason(const ZonePlay& zone) {
  switch (zone.silence) {
    case Silence::EmptyKeys:
      return "its key range " + std::to_string(zone.keyLow) + "-" + std::to_string(zone.keyHigh) + " is empty";
    case Silence::EmptyVelocities:
      return "its velocity range " + std::to_string(zone.velLow) + "-" + std::to_string(zone.velHigh) +
             " is empty";
    case Silence::NoFrames: return "its sample holds no frames";
    case Silence::OneFrame: return "its sample holds one frame";
    default: return {};
  }
}

// Why a zone that asks for a loop plays without it; empty otherwise.
std::string loopReason(const ZonePlay& zone) {
  const std::string loop =
      "its loop from frame " + std::to_string(zone.loopStart) + " to " + std::to_string(zone.loopEnd);
  switch (zone.loop) {
    case LoopPlay::Outside:
      return loop + " lies outside the sample's " + std::to_string(zone.frames) + " frames: played without it";
    case LoopPlay::Reversed: return loop + " ends before it starts: played without it";
    default: return {};
  }
}

}  // namespace

std::string dspresetText(const SampleBank& bank, const std::vector<ZonePlay>& zones,
                         const std::vector<std::string>& sampleNames) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  auto comment = [&](const char* indent, const std::string& text) {
    out += std::string(indent) + "<!-- " + commentText(text) + " -->\n";
  };
  comment("", bankFileNameFor(bank.ttiPath, "dspreset") + ": the zones of " + fileNamePart(bank.ttiPath) +
                  ", converted with Vantrel");
  comment("", "One sample element per zone of the bank's SoundFont, in the same order.");
  // A SoundFont player lowers a note by 40 log10(127 / velocity) dB (its
  // standard velocity-to-attenuation curve); DecentSampler, with
  // ampVelTrack 1, by 20 log10(127 / velocity) dB, the most it can: each
  // zone's volume makes up the rest at the top of its velocity range (see
  // "volume"). The SoundFont's attack rises linearly, as attackCurve 0 does.
  out += "<DecentSampler minVersion=\"1.0.0\">\n  <groups>\n    <group ampVelTrack=\"1\" attackCurve=\"0\">\n";

  for (const ZonePlay& zone : zones) {
    if (!zone.sampleInBank()) continue;
    const std::string head = "zone " + std::to_string(zone.zone) + ", sample " + std::to_string(zone.sample);
    // A zone that can never sound stays out of the group, so that no
    // player has to make sense of an empty range or a file without frames.
    // So does one whose sample has no file (no data in the bank's file).
    if (!zone.sounds() || sampleNames[zone.sample].empty()) {
      const std::string why = zone.sounds() ? "its sample has no data in the file" : silenceReason(zone);
      comment("      ", head + ": never sounds, as " + why);
      continue;
    }
    const std::string why = loopReason(zone);
    comment("      ", head + (why.empty() ? "" : ": " + why));

    out += "      <sample";
    auto attribute = [&](const char* name, const std::string& value) {
      out += std::string(" ") + name + "=\"" + attributeText(value) + "\"";
    };
    attribute("path", std::string(kSfzSampleFolder) + "/" + sampleNames[zone.sample]);
    // DecentSampler takes root notes 1-127: a root key of 0 is written as 1,
    // a semitone up, and the tuning a semitone up with it.
    const int rootNote = std::max(zone.rootKey, 1);
    attribute("rootNote", std::to_string(rootNote));
    attribute("loNote", std::to_string(std::min(zone.keyLow, 127)));
    attribute("hiNote", std::to_string(zone.keyHigh));
    // Velocity 0 is a note-off: a range starts at 1 at the lowest.
    attribute("loVel", std::to_string(std::clamp(zone.velLow, 1, 127)));
    attribute("hiVel", std::to_string(zone.velHigh));
    attribute("tuning", decimal((zone.tuningCents + 100 * (rootNote - zone.rootKey)) / 100.0));
    // Players apply 0.4 dB per centibel of attenuation. A zone whose last
    // velocity is below 127 is lowered by 20 log10(127 / last velocity) dB
    // more, so that there it plays at the SoundFont's level; below it
    // DecentSampler's linear velocity response stays louder.
    const double velocityDb = 20 * std::log10(zone.velHigh / 127.0);
    attribute("volume", decimal(-0.04 * zone.attenuationCb + velocityDb) + "dB");
    attribute("pan", decimal(std::clamp(zone.pan, -500, 500) / 5.0));
    // Without loopEnabled="false" the player would take the loop from the
    // WAV file's smpl chunk, which every sample file carries.
    if (zone.loop == LoopPlay::Forward) {
      attribute("loopEnabled", "true");
      attribute("loopStart", std::to_string(zone.loopStart));
      attribute("loopEnd", std::to_string(zone.loopEnd));
    } else {
      attribute("loopEnabled", "false");
    }
    attribute("attack", decimal(zone.attack));
    attribute("decay", decimal(zone.decay));
    attribute("sustain", decimal(zone.sustain));
    attribute("release", decimal(zone.release));
    out += "/>\n";
  }
  out += "    </group>\n  </groups>\n</DecentSampler>\n";
  return out;
}

}  // namespace vantrel
