// SPDX-License-Identifier: MIT
#pragma once
// Converting whole banks from the source folder: the selected bank (the
// extract button, a double click in the file list) and every bank of the
// folder in one run (the complete button). Folders are passed in as the
// folder lists show them; the target base is the destination rule applied
// to the target folder.

#include <cstdint>
#include <string>

#include "jobs/job_context.h"

namespace vantrel {

// Suffix of a folder run's output folder: "_WAV_M", "_WAV_S", "_SF2", or
// nothing when no output mode is chosen.
std::string folderRunSuffix(int outputMode);

// The name under which a folder run files its output: the last component
// of the source folder; a drive root gives the drive's name ("root" for
// "/"). Sets and returns ctx.sourceFolderName.
const std::string& getlastdir(JobContext& ctx, const std::string& sourceFolder);

// The extract button: converts the bank last selected into the target base.
void extractClick(JobContext& ctx, const std::string& targetFolder);

// A double click on a file: selects it, then continues as extractClick.
void file1DblClick(JobContext& ctx, const std::string& selectedPath,
                   const std::string& targetFolder);

// The complete button: creates target base + sourceFolderName + suffix and
// converts every bank of `sourceFolder` into it. Returns the number of banks.
std::uint32_t completeClick(JobContext& ctx, const std::string& sourceFolder,
                            const std::string& targetFolder);

// Converts every "*.tti" file directly inside `folder` (subfolders are not
// entered) into ctx.destinationFolder. Returns the number of files.
std::uint32_t dirconvert(JobContext& ctx, const std::string& folder);

}  // namespace vantrel
