// SPDX-License-Identifier: MIT
#pragma once
// The two steps in which the sample list's extractions write a WAV file:
// the header, then the PCM data, which logs "<name> extracted" and gives
// the file its final name. The file travels from one step to the next.

#include <cstdint>
#include <string>

#include "jobs/job_context.h"
#include "writers/output_file.h"
#include "writers/wav_writer.h"

namespace vantrel {

// The WAV file of sample `left` alone or of the pair left/right, as the
// job's options write it (faithful: its "smpl" chunk from the left
// sample's first zone).
WavSource wavSource(const JobContext& ctx, bool stereo, std::uint16_t left, std::uint16_t right);

// Fills in the bank, its zones and whether the file is faithful, as the
// job writes it, on the event of one of its output files.
void describeOutput(const JobContext& ctx, OutputFileEvent& event);

// Creates outputName[index] in `folder` and writes its mono header.
OutputFile WriteWavHeaderMono(JobContext& ctx, const std::string& folder, std::uint16_t index);
// Creates `fileName` (Latin-1, made safe) in `folder` and writes its stereo
// header (length and loop of `left`).
OutputFile WriteWavHeaderStereo(JobContext& ctx, const std::string& folder, const std::string& fileName,
                                std::uint16_t left, std::uint16_t right);
// Appends sample `index`'s PCM data, names the file and logs "<name>
// extracted"; false, with nothing logged, when another file took the name
// meanwhile (left as it is).
bool CopyPCMDataMono(JobContext& ctx, OutputFile& file, std::uint16_t index);
// The same with the interleaved PCM data of the pair.
bool CopyPCMDataStereo(JobContext& ctx, OutputFile& file, std::uint16_t left, std::uint16_t right);

}  // namespace vantrel
