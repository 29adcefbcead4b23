// SPDX-License-Identifier: MIT
#pragma once
// Random banks for the verification tests: samples of odd and even
// lengths, left/right pairs, zones with every field drawn at random, and a
// last sample that promises more bytes than the bank holds.

#include <random>
#include <string>

#include "bank_builder.h"

namespace vantrel::testing {

inline BankDesc randomArchiveBank(std::uint32_t seed, std::size_t maxFrames = 3000) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  BankDesc d;
  const int pairs = pick(1, 3), singles = pick(1, 4);
  auto sample = [&](const std::string& name, std::size_t bytes, std::uint32_t noise) {
    SampleDesc s;
    s.name = name;
    s.pcm = noisePcm((bytes + 1) / 2, noise);
    s.pcm.resize(bytes);
    s.loopStartFrame = static_cast<std::uint32_t>(pick(0, static_cast<int>(bytes / 4)));
    s.loopEndFrame = static_cast<std::uint32_t>(bytes / 2);
    s.zones = {static_cast<std::uint8_t>(pick(0, 5))};
    return s;
  };
  for (int p = 0; p < pairs; ++p) {
    const std::size_t bytes = static_cast<std::size_t>(pick(2, static_cast<int>(2 * maxFrames)));
    SampleDesc l = sample("PAD" + std::to_string(p) + "L.WAV", bytes, seed * 31 + p);
    SampleDesc r = sample("PAD" + std::to_string(p) + "R.WAV", bytes, seed * 37 + p);
    r.loopStartFrame = l.loopStartFrame;
    d.samples.push_back(l);
    d.samples.push_back(r);
  }
  for (int k = 0; k < singles; ++k) {
    d.samples.push_back(sample("ONE" + std::to_string(k) + ".WAV",
                               static_cast<std::size_t>(pick(0, static_cast<int>(2 * maxFrames))), seed * 41 + k));
  }
  // The last sample ends past the data the bank holds: its missing bytes
  // play as silence.
  SampleDesc& last = d.samples.back();
  std::uint32_t before = 0;
  for (std::size_t k = 0; k + 1 < d.samples.size(); ++k) before += static_cast<std::uint32_t>(d.samples[k].pcm.size());
  last.end = before + static_cast<std::uint32_t>(last.pcm.size()) + static_cast<std::uint32_t>(pick(1, 500));
  for (int z = 0; z < 6; ++z) d.zones.push_back(randomZone(rng));
  return d;
}

}  // namespace vantrel::testing
