#pragma once
// Reading a TTI bank in two passes: the directory walk (names) and the
// parameter walk (offsets, loops, zone map, parameter block, PCM data).

#include <cstdint>
#include <string>

#include "jobs/job_context.h"
#include "tti/byte_source.h"

namespace vantrel {

// Sample name from a 256-byte name field: the bytes up to the first zero (or
// the end of the field), keeping only what follows the last backslash.
std::string sampleNameFromField(const std::uint8_t* field, std::size_t size);

// Output names for names[0..n): made safe as file names, then unique within
// the bank. The k-th repeat of a name gets "_k" inserted before its last four
// characters; when that still equals an earlier output name, k is raised.
void makeOutputNames(const std::vector<std::string>& names, std::uint32_t n,
                     std::vector<std::string>& outputNames);

// Directory walk on ctx.bank.ttiPath: sets sampleCount, sampleName and
// outputName, and replaces the sample list.
void getttidata(JobContext& ctx);
void getttidata(JobContext& ctx, ByteSource& source);

// Parameter walk on ctx.bank.ttiPath. `step` (0 or 1) is added to gauge1 at
// each checkpoint; the PCM data is loaded only when it is 1. Decodes the
// zone articulation when the output mode is SF2.
void getttivalues(JobContext& ctx, std::uint8_t step);
void getttivalues(JobContext& ctx, ByteSource& source, std::uint8_t step);

// Examines a selected file: a ".TTI" extension (case ignored, first four
// characters) loads its directory; anything else reports "No TTI file
// selected".
void fselect(JobContext& ctx, const std::string& selectedPath);

// A click on a file: select it and read its parameters for display.
void file1Click(JobContext& ctx, const std::string& selectedPath);

// Whether `folder` holds a "*.tti" file; sets buttons and status to match.
bool checkfortti(JobContext& ctx, const std::string& folder);

}  // namespace vantrel
