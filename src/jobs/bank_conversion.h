// SPDX-License-Identifier: MIT
#pragma once
// Whole-bank conversion: every sample of the bank named by ctx.bank.ttiPath
// into ctx.destinationFolder, as WAV files or one SoundFont file by
// ctx.outputMode.

#include <string>

#include "jobs/job_context.h"
#include "tti/byte_source.h"
#include "tti/stereo_pairs.h"

namespace vantrel {

// Converts the bank whose directory has been read into ctx.destinationFolder.
// `source`, when given, is the bank's bytes already open (rewound or not):
// the bank is then read from it instead of being opened again.
void extracttti(JobContext& ctx);
void extracttti(JobContext& ctx, ByteSource& source);
// The WAV conversion of extracttti; `folder` is ctx.destinationFolder.
void intowav(JobContext& ctx, const std::string& folder);
void intowav(JobContext& ctx, const std::string& folder, ByteSource& source);
// The SoundFont conversion of extracttti: reads the bank's values, PCM data
// and zones and writes "<bank name>.sf2" into `folder`, replacing a file of
// that name. Releases the PCM data.
void WriteSF2File(JobContext& ctx, const std::string& folder);
void WriteSF2File(JobContext& ctx, const std::string& folder, ByteSource& source);

}  // namespace vantrel
