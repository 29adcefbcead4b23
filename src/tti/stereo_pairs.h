// SPDX-License-Identifier: MIT
#pragma once
// Which samples of a bank the stereo conversion joins into one two-channel
// file: the format has no stereo flag, so pairs are found by name, length
// and loop points.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tti/sample_bank.h"

namespace vantrel {

// Whether samples `left` and `right` can be the two channels of one file:
// equal length, equal loop points and equal pair keys. A pair key is the
// name cut by 5 characters when the names differ and both are longer than 5
// (a stem, a channel letter and a four-character extension leave the stem),
// else by 4; a name shorter than the cut gives the empty key. Letter case
// counts.
bool stereoPairOf(const SampleBank& bank, std::uint32_t left, std::uint32_t right);

// The pairs the stereo conversion writes, in index order: each sample not
// yet taken as a right channel takes the first later sample, still free,
// that is its partner.
std::vector<std::pair<std::uint16_t, std::uint16_t>> stereoPairs(const SampleBank& bank);

// The stereo file's name (Latin-1): the left name without its last four
// characters, "__", then the right name whole; made safe as a file name.
std::string stereoFileName(const SampleBank& bank, std::uint32_t left, std::uint32_t right);

}  // namespace vantrel
