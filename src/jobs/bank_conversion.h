#pragma once
// Whole-bank conversion: every sample of the bank named by ctx.bank.ttiPath
// into ctx.destinationFolder, as WAV files or one SoundFont file by
// ctx.outputMode.

#include <string>

#include "jobs/job_context.h"

namespace vantrel {

// Converts the bank whose directory has been read into ctx.destinationFolder.
void extracttti(JobContext& ctx);
// The WAV conversion of extracttti; `folder` is ctx.destinationFolder.
void intowav(JobContext& ctx, const std::string& folder);

}  // namespace vantrel
