// SPDX-License-Identifier: MIT
#include "writers/sfz_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_set>

#include "platform/file.h"
#include "platform/text.h"
#include "writers/output_file.h"
#include "writers/sf2_writer.h"
#include "tti/zone_play.h"

namespace vantrel {
namespace {

bool endsWithWav(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view ext = name.substr(name.size() - 4);
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return ext[0] == '.' && lower(ext[1]) == 'w' && lower(ext[2]) == 'a' && lower(ext[3]) == 'v';
}

// A Latin-1 byte an SFZ line cannot carry inside a sample path.
bool unsafeInPath(unsigned char c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == '<' || c == '>' || c == '=' || c == '/' ||
         c == '\\';
}

bool isSpace(unsigned char c) { return c == ' ' || c == 0xA0; }

// One sample's SFZ file name, in Latin-1, before repeats are numbered.
std::string sfzNameOf(std::string_view outputName) {
  std::string name(outputName);
  for (char& c : name) {
    if (unsafeInPath(static_cast<unsigned char>(c))) c = '_';
  }
  if (!endsWithWav(name)) name += ".wav";
  for (std::size_t k = 0; k < name.size() && isSpace(static_cast<unsigned char>(name[k])); ++k) name[k] = '_';
  for (std::size_t k = name.size(); k > 0 && isSpace(static_cast<unsigned char>(name[k - 1])); --k) {
    name[k - 1] = '_';
  }
  return fitFileName(name);
}

// Text of a decimal value, never in the reader's locale: at most six
// significant digits, and no "-0".
std::string decimal(double v) {
  if (v == 0) return "0";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  return std::string(buf, r.ptr);
}

// Text for a comment line: characters outside Latin-1 and malformed bytes
// become '?', and so do control characters.
std::string commentText(const std::string& utf8) {
  std::string latin1 = utf8ToLatin1(utf8);
  for (char& c : latin1) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) c = '?';
  }
  return latin1ToUtf8(latin1);
}

}  // namespace

std::vector<std::string> sfzSampleNames(const SampleBank& bank) {
  std::vector<std::string> names(bank.sampleCount);
  // Taken names without regard to letter case, as FAT and exFAT compare.
  std::unordered_set<std::string> taken;
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    const std::string base = sfzNameOf(bank.outputName[i]);
    std::string name = base;
    // The mark goes before ".wav" (a name too long loses characters before
    // it, so the mark survives).
    for (std::uint32_t k = 2; taken.count(caseFolded(name, true)); ++k) name = repeatedName(base, k);
    taken.insert(caseFolded(name, true));
    names[i] = latin1ToUtf8(name);
  }
  return names;
}

std::string sfzText(const SampleBank& bank, const std::vector<ZonePlay>& zones,
                    const std::vector<std::string>& sampleNames) {
  std::string out;
  out += "// " + commentText(bankFileNameFor(bank.ttiPath, "sfz")) + ": the zones of " +
         commentText(fileNamePart(bank.ttiPath)) + ", converted with Vantrel\n";
  out += "// One region per zone of the bank's SoundFont, in the same order.\n";

  for (const ZonePlay& zone : zones) {
    if (!zone.sampleInBank()) continue;
    const std::uint32_t frames = zone.frames;
    // Velocity 0 is a note-off: a range starts at 1 at the lowest.
    const int lovel = std::max(zone.velLow, 1);

    std::string why;
    if (zone.silence == Silence::EmptyKeys) {
      why = "its key range " + std::to_string(zone.keyLow) + "-" + std::to_string(zone.keyHigh) + " is empty";
    } else if (zone.silence == Silence::EmptyVelocities) {
      why = "its velocity range " + std::to_string(zone.velLow) + "-" + std::to_string(zone.velHigh) + " is empty";
    } else if (zone.silence == Silence::NoFrames) {
      why = "its sample holds no frames";
    } else if (zone.silence == Silence::OneFrame) {
      why = "its sample holds one frame";
    } else if (sampleNames[zone.sample].empty()) {
      why = "its sample has no data in the file";
    }
    // A region that can never sound stays in place as comments, so that
    // no player reads it (players disagree on empty ranges, and some hang
    // on a file without frames).
    const std::string lead = why.empty() ? "" : "// ";
    out += "\n// zone " + std::to_string(zone.zone) + ", sample " + std::to_string(zone.sample);
    out += why.empty() ? "\n" : ": never sounds, as " + why + "\n";
    auto line = [&](const std::string& text) { out += lead + text + "\n"; };
    auto opcode = [&](const char* name, const std::string& value) { line(std::string(name) + "=" + value); };

    line("<region>");
    opcode("sample", std::string(kSfzSampleFolder) + "/" + sampleNames[zone.sample]);
    opcode("lokey", std::to_string(std::min(zone.keyLow, 127)));
    opcode("hikey", std::to_string(zone.keyHigh));
    opcode("lovel", std::to_string(std::min(lovel, 127)));
    opcode("hivel", std::to_string(zone.velHigh));
    // A negative root key is ignored by players, which take the sample's
    // own original pitch instead: 60.
    opcode("pitch_keycenter", std::to_string(zone.rootKey));

    // Fine tune in cents as whole semitones and at most half a semitone.
    const int cents = zone.tuningCents;
    const int semitones = cents >= 0 ? (cents + 50) / 100 : -((-cents + 50) / 100);
    opcode("transpose", std::to_string(semitones));
    opcode("tune", std::to_string(cents - 100 * semitones));

    // Players apply 0.4 dB per centibel of attenuation.
    opcode("volume", decimal(-0.04 * zone.attenuationCb));
    // Pan in percent; the bank's extremes are held at the sides.
    opcode("pan", decimal(std::clamp(zone.pan, -500, 500) / 5.0));

    // The loop as the WAV file's smpl chunk has it; its end frame is
    // played. A loop that does not lie within the sample is left out.
    if (zone.loop == LoopPlay::Forward) {
      opcode("loop_mode", "loop_continuous");
      opcode("loop_start", std::to_string(zone.loopStart));
      opcode("loop_end", std::to_string(zone.loopEnd));
    } else {
      if (zone.looped) {
        line("// the loop " + std::to_string(zone.loopStart) + "-" + std::to_string(zone.loopEnd) +
             " lies outside the sample's " + std::to_string(frames) + " frames: played without it");
      }
      opcode("loop_mode", "no_loop");
    }

    opcode("ampeg_attack", decimal(zone.attack));
    opcode("ampeg_decay", decimal(zone.decay));
    // Sustain as a percentage of full level.
    opcode("ampeg_sustain", decimal(100.0 * zone.sustain));
    opcode("ampeg_release", decimal(zone.release));
  }
  return out;
}

}  // namespace vantrel
