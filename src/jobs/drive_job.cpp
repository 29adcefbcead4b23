// SPDX-License-Identifier: MIT
#include "jobs/drive_job.h"

#include "jobs/bank_conversion.h"
#include "jobs/output_folders.h"
#include "jobs/run_lanes.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "jobs/bank_reading.h"
#include "jobs/folder_jobs.h"

namespace vantrel {
namespace {

// Upper-cases the ASCII letters of a drive name; other bytes (such as the
// parts of UTF-8 characters) stay as they are.
std::string upperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

}  // namespace

std::string driveFolderName(const std::string& targetDriveName, const OutputFormat& format) {
  return "Drive " + upperAscii(targetDriveName) + " " + std::string(format.driveWord);
}

void ReadDirectoryNames(JobContext& ctx, const std::string& folder, std::vector<BankRef>& driveFileList) {
  ctx.ui.sampleListVisible(false);
  driveFileList = catalogueFor(folder)->banksBelow(folder, [&](const RunError& e) { ctx.ui.walkFailed(e); });
}

std::size_t extrdriveClick(JobContext& ctx, const std::string& sourceRoot,
                           const std::string& targetFolder, const std::string& targetDriveName) {
  return convertDrive(ctx, sourceRoot, targetFolder, targetDriveName);
}

std::size_t convertDrive(JobContext& ctx, const std::string& sourceRoot, const std::string& targetFolder,
                         const std::string& targetDriveName) {
  ctx.ui.logClear();
  std::vector<BankRef> driveFileList;
  const std::string base = destinationRule(targetFolder) + driveFolderName(targetDriveName, ctx.format());
  // "ROOT/", or "IMAGE//" for an image: how the banks' paths begin.
  const std::string root = catalogueFor(sourceRoot)->rootOf(sourceRoot);

  // The whole walk ends before the first conversion, so output written by
  // this run is never walked, even on the same drive.
  ReadDirectoryNames(ctx, root, driveFileList);

  setOutputRoot(ctx, destinationRule(targetFolder));
  RunFolders folders(ctx.outputRoot);
  std::size_t failed = 0;
  // The banks' output names are the run's while it lasts.
  struct RunNames {
    JobContext& ctx;
    ~RunNames() { ctx.runOutputs.reset(); }
  } names{ctx};
  ctx.runOutputs.emplace();
  if (!driveFileList.empty()) {
    ctx.gauge3.setRange(0, static_cast<std::int64_t>(driveFileList.size()));
    ctx.gauge3.setProgress(0);
    // The bank's folder relative to the drive's root: empty for the root
    // itself, else ending in a separator.
    const auto destinationOf = [&](const BankRef& bank) { return base + '/' + relativeFolder(bank.path(), root); };
    RunLanes lanes(ctx, driveFileList, destinationOf, &folders, destinationRule(targetFolder));
    for (std::size_t k = 0; k < driveFileList.size(); ++k) {
      checkCancelled(ctx.ui);
      ctx.gauge3.add(1);
      ctx.ui.status("processing " + fileNamePart(driveFileList[k].path()));
      ctx.destinationFolder = destinationOf(driveFileList[k]);
      // A bank whose folder cannot be made fails as the bank; the run may
      // go on with the next.
      if (!lanes.convert(k)) ++failed;
      ctx.gauge1.setProgress(0);
    }
  }
  ctx.gauge1.setProgress(0);
  ctx.gauge3.setProgress(0);
  if (!driveFileList.empty()) {
    ctx.ui.destinationChanged();
    ctx.ui.status(runEndText(driveFileList.size(), failed));
  }
  return driveFileList.size();
}

}  // namespace vantrel
