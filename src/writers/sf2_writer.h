#pragma once
// SoundFont writer: a whole bank as one SoundFont 2.01 file with one preset,
// one instrument and one instrument zone per bank zone.

#include <array>
#include <cstdint>
#include <string>

#include "jobs/job_context.h"

namespace vantrel {

struct GenRecord {
  std::uint16_t oper;
  std::uint16_t amount;
};

// The twelve generators of zone `zone`, in the order they are written.
std::array<GenRecord, 12> convertval(const JobContext& ctx, std::uint16_t zone);

// Reloads the bank named by ctx.bank.ttiPath (with its PCM data and zone
// articulation) and writes "<bank name>.sf2" into `folder`.
void WriteSF2File(JobContext& ctx, const std::string& folder);

}  // namespace vantrel
