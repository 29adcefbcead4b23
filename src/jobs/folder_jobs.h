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
#include "jobs/output_folders.h"
#include "platform/errors.h"
#include "tti/bank_source.h"

namespace vantrel {

// The name under which a folder run files its output: the last component
// of the source folder; a drive root gives the drive's name ("root" for
// "/"). Sets and returns ctx.sourceFolderName.
const std::string& getlastdir(JobContext& ctx, const std::string& sourceFolder);

// Converts the bank whose directory ctx holds (read by fselect) into the
// target base.
void extractClick(JobContext& ctx, const std::string& targetFolder);

// A double click on a file, and the extract button, which converts the
// file the file list highlights: selects it, then continues as
// extractClick.
void file1DblClick(JobContext& ctx, const std::string& selectedPath,
                   const std::string& targetFolder);

// Converts one bank into the target folder as the single-file job does:
// the extension test and its directory, then its conversion. False when
// the bank was refused by the extension test (nothing written).
bool convertBank(JobContext& ctx, const BankRef& bank, const std::string& targetFolder);

// Converts every bank directly inside `sourceFolder` into
// target + <source folder name> + the format's run suffix. Returns the
// number of banks.
std::uint32_t convertFolder(JobContext& ctx, const std::string& sourceFolder, const std::string& targetFolder);

// The complete button: creates target base + ctx.sourceFolderName (see
// getlastdir) + the format's run suffix and converts every bank of
// `sourceFolder` into it. Returns the number of banks.
std::uint32_t completeClick(JobContext& ctx, const std::string& sourceFolder,
                            const std::string& targetFolder);

// Converts every "*.tti" file directly inside `folder` (subfolders are not
// entered) into ctx.destinationFolder. A folder of an image (its root, or
// one inside it) gives every bank below it instead, each into
// ctx.destinationFolder + its folder relative to `folder`, as a drive run
// mirrors a drive. Returns the number of files. A bank the front end
// passes over when it fails (JobListener::bankFailed) counts as failed in
// the closing status. The folders the run makes go into `folders`, so that
// those left empty are removed when the run ends.
std::uint32_t dirconvert(JobContext& ctx, const std::string& folder, RunFolders& folders);

// Runs `body`, the work of `bank` in a folder or drive run: true when it
// ends, false when it fails with an error the front end passes over
// (JobListener::bankFailed). A cancel, and any failure the front end does
// not pass over, is thrown on.
template <typename Body>
bool unlessPassedOver(JobContext& ctx, const BankRef& bank, const Body& body) {
  try {
    body();
    return true;
  } catch (const RunError& e) {
    if (e.code() == kCancelled || !ctx.ui.bankFailed(bank.path(), e)) throw;
    return false;
  }
}

// One bank of a folder or drive run into ctx.destinationFolder, made first
// through `folders` when given. False when the bank failed and the front
// end passed over it; any other failure, and a cancel, ends the run.
bool convertRunBank(JobContext& ctx, const BankRef& bank, RunFolders* folders);

// The closing status of a folder or drive run of `banks` banks of which
// `failed` failed and were passed over: "N TTI files extracted" ("1 TTI
// file extracted"), with ", M failed" when M is not 0.
std::string runEndText(std::size_t banks, std::size_t failed);

// The folder of `bankPath` relative to `root` (a catalogue's rootOf):
// empty for the root itself, else ending in a separator.
std::string relativeFolder(const std::string& bankPath, const std::string& root);

}  // namespace vantrel
