// Reads arbitrary bytes as a bank: directory walk, parameter walk with the
// PCM data, and the zone articulation.

#include <cstddef>
#include <cstdint>

#include "jobs/job_context.h"
#include "platform/errors.h"
#include "tti/tti_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel;
  static JobListener quiet;
  static JobContext ctx(quiet);
  ctx.outputMode = kModeSf2;
  try {
    MemorySource names(data, size, "fuzz.tti");
    getttidata(ctx, names);
    MemorySource values(data, size, "fuzz.tti");
    getttivalues(ctx, values, 1);
    // Everything the writers take from the bank must lie inside the tables.
    for (std::uint32_t i = 0; i < ctx.bank.sampleCount; ++i) {
      if (ctx.bank.outputName[i].empty()) __builtin_trap();
    }
    if (ctx.art.zoneCount > kMaxZones) __builtin_trap();
  } catch (const RunError&) {
  }
  ctx.bank.releasePcm();
  return 0;
}
