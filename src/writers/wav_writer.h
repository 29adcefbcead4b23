#pragma once
// WAV writer: one sample as a mono file, or a left/right pair as a stereo
// file, each with a 112-byte header ("fmt ", "smpl" with one loop, "data")
// followed by the 16-bit PCM bytes from the loaded PCM data area.
// Files are created inside `folder`, the folder the job writes into.

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/job_context.h"

namespace vantrel {

// Creates outputName[index] and writes its mono header.
void WriteWavHeaderMono(JobContext& ctx, const std::string& folder, std::uint16_t index);
// Creates ctx.stereoFileName and writes its stereo header (loop of `left`).
void WriteWavHeaderStereo(JobContext& ctx, const std::string& folder, std::uint16_t left,
                          std::uint16_t right);
// Appends sample `index`'s PCM data and logs "<name> extracted".
void CopyPCMDataMono(JobContext& ctx, const std::string& folder, std::uint16_t index);
// Appends the interleaved PCM data of the pair and logs "<name> extracted".
void CopyPCMDataStereo(JobContext& ctx, const std::string& folder, std::uint16_t left,
                       std::uint16_t right);

// One WAV file of a whole-bank job: a mono file of sample `left`, or the
// stereo file of the pair left/right.
struct WavFileTask {
  std::string finalPath;
  bool stereo = false;
  std::uint16_t left = 0;
  std::uint16_t right = 0;
};

// Writes the whole file (header and data) under its temporary name and
// closes it without giving it its final name (commitPartFile does). Reads
// the bank only, so several files can be written at once; `buffer` is the
// caller's. A failure removes the temporary file; headerWritten tells
// whether it came after the header was written.
void WriteWavTemporary(const SampleBank& bank, const WavFileTask& task, std::vector<std::uint8_t>& buffer,
                       bool& headerWritten);

}  // namespace vantrel
