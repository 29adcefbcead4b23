// SPDX-License-Identifier: MIT
#include "tti/stereo_pairs.h"

#include <string_view>

#include "platform/text.h"

namespace vantrel {

bool stereoPairOf(const SampleBank& bank, std::uint32_t left, std::uint32_t right) {
  if (bank.pcmLength[left] != bank.pcmLength[right] || bank.loopStart[left] != bank.loopStart[right] ||
      bank.loopEnd[left] != bank.loopEnd[right]) {
    return false;
  }
  const std::string_view a = bank.sampleName[left], b = bank.sampleName[right];
  const std::size_t cut = a != b && a.size() > 5 && b.size() > 5 ? 5 : 4;
  auto key = [cut](std::string_view s) { return s.substr(0, s.size() > cut ? s.size() - cut : 0); };
  return key(a) == key(b);
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> stereoPairs(const SampleBank& bank) {
  std::vector<std::pair<std::uint16_t, std::uint16_t>> pairs;
  std::vector<bool> taken(bank.sampleCount, false);
  for (std::uint32_t i = 0; i < bank.sampleCount; ++i) {
    if (taken[i]) continue;
    for (std::uint32_t j = i + 1; j < bank.sampleCount; ++j) {
      if (taken[j] || !stereoPairOf(bank, i, j)) continue;
      taken[j] = true;
      pairs.emplace_back(static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(j));
      break;
    }
  }
  return pairs;
}

std::string stereoFileName(const SampleBank& bank, std::uint32_t left, std::uint32_t right) {
  const std::string& l = bank.sampleName[left];
  return safeFileName(l.substr(0, l.size() > 4 ? l.size() - 4 : 0) + "__" + bank.sampleName[right]);
}

}  // namespace vantrel
