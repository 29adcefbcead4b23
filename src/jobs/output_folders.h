// SPDX-License-Identifier: MIT
#pragma once
// Where output goes: the destination rule and the per-bank WAV folders.

#include <string>

#include "jobs/job_context.h"

namespace vantrel {

// The folder a job writes into, from the folder the target list shows:
// that folder with one separator at its end (a root keeps its own).
std::string destinationRule(const std::string& shownFolder);

// Creates `folder` and the levels above it that are missing. A level that
// cannot be made ends the job with the reason and that level's path (a
// read-only medium gives "File access denied").
void createOutputFolders(const std::string& folder);

// Create "WAV_MONO_<bank file name>" / "WAV_STEREO_<bank file name>" inside
// `current` if it does not exist, and return the folder the job then writes
// into: the per-bank folder, or `current` itself when the per-bank folder
// could not be made. With `create` false (a dry run) nothing is made and
// the per-bank folder is returned. `made`, when given, tells whether the
// folder was made here (and so holds nothing yet).
std::string CreateWavDirMono(JobContext& ctx, const std::string& current, bool create = true,
                             bool* made = nullptr);
std::string CreateWavDirStereo(JobContext& ctx, const std::string& current, bool create = true,
                               bool* made = nullptr);
// The same for an SFZ instrument: "SFZ_<bank file name>".
std::string CreateSfzDir(JobContext& ctx, const std::string& current, bool create = true,
                         bool* made = nullptr);

}  // namespace vantrel
