// SPDX-License-Identifier: MIT
#include "tti/bank_check.h"

#include <algorithm>

#include "platform/text.h"
#include "tti/stereo_pairs.h"
#include "tti/zone_play.h"

namespace vantrel {
namespace {

std::string sampleLabel(const SampleBank& bank, std::uint32_t i) {
  return "sample " + std::to_string(i) + " \"" + latin1ToUtf8(bank.sampleName[i]) + "\"";
}

}  // namespace

std::uint64_t sampleBytes(const SampleBank& bank) {
  std::uint64_t total = 0;
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) total += bank.pcmLength[i];
  return total;
}

namespace {

// A count with a comma between each group of three digits.
std::string grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t k = digits.size(); k > 3; k -= 3) digits.insert(k - 3, ",");
  return digits;
}

}  // namespace

bool hasNoData(const SampleBank& bank, std::uint32_t i) {
  return (bank.pcmLength[i] & ~1u) > 0 && bank.pcmStart[i] >= bank.pcm.size;
}

std::string cutShortWarning(const SampleBank& bank, std::uint32_t i) {
  if (hasNoData(bank, i)) return bank.ttiPath + ": " + sampleLabel(bank, i) + " has no data in the file";
  if (!bank.claimedLength.empty() && bank.claimedLength[i] != 0) {
    return bank.ttiPath + ": " + sampleLabel(bank, i) + " claims " + grouped(bank.claimedLength[i] & ~1u) +
           " bytes, the file holds " + grouped(bank.pcmLength[i]) + ": written with those " +
           grouped(bank.pcmLength[i]) + " bytes (silence for missing bytes is limited to " +
           grouped(bank.silenceBound()) + " bytes for a bank file of " +
           grouped(bank.fileSize) + ")";
  }
  // Whole 16-bit frames are written; bytes the PCM data area does not hold
  // become silence.
  const std::uint64_t need = bank.pcmLength[i] & ~std::uint64_t{1};
  const std::uint64_t start = bank.pcmStart[i];
  const std::uint64_t held = start < bank.pcm.size ? std::min<std::uint64_t>(need, bank.pcm.size - start) : 0;
  if (held == need) return {};
  return bank.ttiPath + ": " + sampleLabel(bank, i) + " is cut short: " + grouped(need - held) + " of " +
         grouped(need) + " bytes missing, written as silence";
}

std::vector<std::string> bankNotes(const SampleBank& bank) {
  std::vector<std::string> notes;
  for (const auto& [left, right] : stereoPairs(bank)) {
    notes.push_back(sampleLabel(bank, left) + " and " + sampleLabel(bank, right) +
                    " form a left/right pair: stereo mode joins them into one file");
  }
  return notes;
}

std::vector<std::string> bankProblems(const SampleBank& bank, const ZoneArticulation& zones) {
  std::vector<std::string> problems;
  const std::uint64_t held = bank.pcm.size;
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    // Offsets count bytes into the PCM data area; the length is their
    // difference modulo 2^32, so an end before the start claims nearly 4 GiB.
    const std::uint32_t start = bank.pcmStart[i], end = bank.pcmEnd[i];
    if (end < start) {
      problems.push_back(sampleLabel(bank, i) + " ends before it starts (bytes " +
                         std::to_string(start) + " to " + std::to_string(end) + ")");
    } else if (end > held) {
      problems.push_back(sampleLabel(bank, i) + " needs bytes " + std::to_string(start) + " to " +
                         std::to_string(end) + " but the file holds " + std::to_string(held) +
                         " bytes of sample data");
    }
    // Loop points count 16-bit frames from the sample's first frame; the
    // end is the loop's last frame. A loop start at frame 0 with its end
    // just before it is how a bank marks a sample without a loop.
    const std::int64_t frames = bank.pcmLength[i] / 2;
    const std::int64_t loopStart = bank.loopStart[i], loopEnd = bank.loopEnd[i];
    const bool noLoop = loopStart == 0 && loopEnd == -1;
    if (end >= start && frames == 0) problems.push_back(sampleLabel(bank, i) + " has no frames");
    const std::string loop = ": loop from frame " + std::to_string(loopStart) + " to " + std::to_string(loopEnd);
    if (!noLoop && end >= start &&
        (loopStart < 0 || loopStart >= frames || loopEnd < 0 || loopEnd >= frames)) {
      problems.push_back(sampleLabel(bank, i) + loop + " lies outside its " + std::to_string(frames) + " frames");
    } else if (!noLoop && end >= start && loopEnd + 1 == loopStart) {
      problems.push_back(sampleLabel(bank, i) + loop + " is empty: it ends before its first frame");
    } else if (!noLoop && end >= start && loopEnd < loopStart) {
      problems.push_back(sampleLabel(bank, i) + loop + " is reversed: it ends before it starts");
    }
  }
  for (std::size_t z = 0; z < zones.zoneCount; ++z) {
    const std::string zone = "zone " + std::to_string(z);
    const unsigned keyLow = zones.zoneKeyLow[z], keyHigh = zones.zoneKeyHigh[z];
    const unsigned velLow = zones.zoneVelLow[z], velHigh = zones.zoneVelHigh[z];
    if (keyLow > keyHigh) {
      problems.push_back(zone + ": empty key range " + std::to_string(keyLow) + "-" +
                         std::to_string(keyHigh) + ", no key plays it");
    }
    if (velLow > velHigh) {
      problems.push_back(zone + ": empty velocity range " + std::to_string(velLow) + "-" +
                         std::to_string(velHigh) + ", no velocity plays it");
    }
    if (bank.zoneSample[z] >= bank.sampleCount) {
      problems.push_back(zone + ": its sample " + std::to_string(bank.zoneSample[z]) +
                         " does not exist (the bank has " + std::to_string(bank.sampleCount) +
                         (bank.sampleCount == 1 ? " sample)" : " samples)"));
    }
    // A zone that never sounds for a reason not reported above: its first
    // key or velocity, one above the stored low bound, lies above its last,
    // or its sample has fewer than two frames.
    const ZonePlay play = interpretZone(bank, zones, static_cast<std::uint16_t>(z));
    if (play.silence == Silence::EmptyKeys && keyLow <= keyHigh) {
      problems.push_back(zone + ": never sounds: its first key " + std::to_string(play.keyLow) +
                         " lies above its last, " + std::to_string(play.keyHigh));
    } else if (play.silence == Silence::EmptyVelocities && velLow <= velHigh) {
      problems.push_back(zone + ": never sounds: its velocities " + std::to_string(play.velLow) + "-" +
                         std::to_string(play.velHigh) + " hold none from 1 up");
    } else if (play.silence == Silence::NoFrames) {
      problems.push_back(zone + ": never sounds: its sample " + std::to_string(play.sample) + " has no frames");
    } else if (play.silence == Silence::OneFrame) {
      problems.push_back(zone + ": never sounds: its sample " + std::to_string(play.sample) + " has one frame");
    }
  }
  return problems;
}

}  // namespace vantrel
