// SPDX-License-Identifier: MIT
#pragma once
// The reader's walks as the jobs use them: the directory walk fills the
// sample list, the parameter walk steps gauge1, and the selection of a file
// in the file list.

#include <cstdint>
#include <string>

#include "jobs/job_context.h"
#include "tti/bank_source.h"
#include "tti/byte_source.h"

namespace vantrel {

// Directory walk on ctx.bank.ttiPath (or `source`): sets sampleCount,
// sampleName and outputName, and replaces the sample list.
void getttidata(JobContext& ctx);
void getttidata(JobContext& ctx, ByteSource& source);

// Parameter walk on ctx.bank.ttiPath (or `source`). `step` (0 or 1) is
// added to gauge1 at each checkpoint; the PCM data is loaded only when it is
// 1. Decodes the zone articulation into ctx.art, and how each zone plays
// into ctx.zones, when the run's format needs the zones.
void getttivalues(JobContext& ctx, std::uint8_t step);
void getttivalues(JobContext& ctx, ByteSource& source, std::uint8_t step);

// Throws RunError(kCancelled) when the front end asks the job to stop.
void checkCancelled(const JobListener& ui);

// Examines a selected file: a ".TTI" extension (case ignored, first four
// characters) loads its directory; anything else reports "No TTI file
// selected".
void fselect(JobContext& ctx, const std::string& selectedPath);
void fselect(JobContext& ctx, const BankRef& selected);

// A click on a file: select it and read its parameters for display.
void file1Click(JobContext& ctx, const std::string& selectedPath);

// Whether `folder` holds a "*.tti" file; sets buttons and status to match.
bool checkfortti(JobContext& ctx, const std::string& folder);

}  // namespace vantrel
