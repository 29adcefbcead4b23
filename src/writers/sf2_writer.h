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
  bool operator==(const GenRecord&) const = default;
};

// Envelope times in timecents for the stored envelope values 0-127
// (127 minus the bank's rate); -32768 is the shortest time.
extern const std::array<std::int16_t, 128> envTimeTable;

// The twelve generators of zone `zone`, in the order they are written.
std::array<GenRecord, 12> convertval(const JobContext& ctx, std::uint16_t zone);

// The SoundFont file name of a bank: its file name without the last three
// characters, then "sf2" (BANK.TTI gives BANK.sf2).
std::string sf2FileNameFor(const std::string& ttiPath);

// Reloads the bank named by ctx.bank.ttiPath (with its PCM data and, as
// ctx.outputMode is SF2, its zone articulation) and writes "<bank name>.sf2"
// into `folder`, replacing a file of that name. Releases the PCM data.
// The file gets its name only when complete; a failure leaves no part of it.
void WriteSF2File(JobContext& ctx, const std::string& folder);

}  // namespace vantrel
