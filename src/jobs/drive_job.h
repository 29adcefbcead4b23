// SPDX-License-Identifier: MIT
#pragma once
// Converting every bank of a drive: the whole walk first, then each bank
// into a folder tree below the target folder that mirrors the drive's.

#include <string>
#include <vector>

#include "jobs/job_context.h"
#include "tti/bank_source.h"

namespace vantrel {

// Name of a drive run's output folder: "Drive " + the target drive's name
// upper-cased + " " + the format's drive word.
std::string driveFolderName(const std::string& targetDriveName, const OutputFormat& format);

// Walks `folder` and every folder below it and lists every "*.tti" file
// found in `driveFileList`: depth-first, a folder's own banks
// before its subfolders', each folder's entries in the byte order of their names.
// Hidden folders (names beginning with '.') are skipped with everything
// below them; hidden files are taken. Links to folders are not followed,
// the walk stays on the volume of `folder`, and a folder that cannot be
// read contributes nothing. An image's banks (`folder` "IMAGE//") come in
// the image's order.
void ReadDirectoryNames(JobContext& ctx, const std::string& folder, std::vector<BankRef>& driveFileList);

// The drive run: walks the drive whose root is `sourceRoot`, then converts
// each bank found into target base + driveFolderName(targetDriveName) + the
// bank's folder relative to the root. Returns the number of banks.
std::size_t extrdriveClick(JobContext& ctx, const std::string& sourceRoot,
                           const std::string& targetFolder, const std::string& targetDriveName);
// The same as a plain entry point.
std::size_t convertDrive(JobContext& ctx, const std::string& sourceRoot, const std::string& targetFolder,
                         const std::string& targetDriveName);

}  // namespace vantrel
