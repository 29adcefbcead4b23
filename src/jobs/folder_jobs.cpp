// SPDX-License-Identifier: MIT
#include "jobs/folder_jobs.h"

#include <algorithm>

#include "jobs/bank_conversion.h"
#include "jobs/output_folders.h"
#include "jobs/run_lanes.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "jobs/bank_reading.h"

namespace vantrel {

const std::string& getlastdir(JobContext& ctx, const std::string& sourceFolder) {
  std::string folder = sourceFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // A root has no last component of its own; the drive's name stands in, so
  // that the output folder gets a name the file system accepts.
  if (folder.empty() || folder == "/") ctx.sourceFolderName = volumeName("/");
  else ctx.sourceFolderName = fileNamePart(folder);
  return ctx.sourceFolderName;
}

void extractClick(JobContext& ctx, const std::string& targetFolder) {
  ctx.ui.sampleListVisible(false);
  ctx.destinationFolder = destinationRule(targetFolder);
  setOutputRoot(ctx, ctx.destinationFolder);
  if (ctx.bank.ttiPath.empty()) {
    ctx.setButton(ButtonId::Extract, false);
    ctx.ui.status("No TTI file selected");
    return;
  }
  ctx.ui.status("processing TTI files");
  ctx.ui.logClear();
  asBankJob(ctx.ui, ctx.bank.ttiPath, [&] { extracttti(ctx); });
  ctx.ui.status("processing finished");
  ctx.gauge1.setProgress(0);
  ctx.ui.destinationChanged();
}

void file1DblClick(JobContext& ctx, const std::string& selectedPath,
                   const std::string& targetFolder) {
  fselect(ctx, selectedPath);
  extractClick(ctx, targetFolder);
}

bool convertBank(JobContext& ctx, const BankRef& bank, const std::string& targetFolder) {
  fselect(ctx, bank);
  if (ctx.bank.ttiPath.empty()) return false;
  extractClick(ctx, targetFolder);
  return true;
}

std::uint32_t convertFolder(JobContext& ctx, const std::string& sourceFolder, const std::string& targetFolder) {
  getlastdir(ctx, sourceFolder);
  return completeClick(ctx, sourceFolder, targetFolder);
}

std::uint32_t completeClick(JobContext& ctx, const std::string& sourceFolder,
                            const std::string& targetFolder) {
  const std::string sourceBase = destinationRule(sourceFolder);
  // The output folder is made before anything is known about the source
  // folder's contents; a folder that cannot be made ends the job here.
  const std::string output =
      destinationRule(targetFolder) + ctx.sourceFolderName + std::string(ctx.format().runSuffix);
  setOutputRoot(ctx, destinationRule(targetFolder));
  RunFolders folders(ctx.outputRoot);
  if (!ctx.options.dryRun) folders.create(output);
  ctx.destinationFolder = withSeparator(output);
  return dirconvert(ctx, sourceBase, folders);
}

bool convertRunBank(JobContext& ctx, const BankRef& bank, RunFolders* folders) {
  return unlessPassedOver(ctx, bank, [&] {
    if (folders && !ctx.options.dryRun) folders->create(ctx.destinationFolder);
    convertListedBank(ctx, bank);
  });
}

std::uint32_t dirconvert(JobContext& ctx, const std::string& folder, RunFolders& folders) {
  ctx.ui.sampleListVisible(false);
  // Only files are taken: a folder, pipe or device whose name matches is
  // passed over. One listing serves as the count and as the run's order
  // (sorted by JobOptions::bankOrder when given); a folder that cannot be
  // read is reported and counts as a failure.
  // An image stands for a whole medium: its tree below the folder is
  // converted, mirrored below the run's folder as a drive run mirrors it.
  const std::shared_ptr<const BankCatalogue> catalogue = catalogueFor(folder);
  const bool mirrored = catalogue->isImage();
  const std::string root = catalogue->rootOf(folder);
  const auto unreadable = [&](const RunError& e) { ctx.ui.walkFailed(e); };
  std::vector<BankRef> banks = mirrored ? catalogue->banksBelow(root, unreadable)
                                        : catalogue->banksIn(folder, unreadable);
  if (ctx.options.bankOrder && !mirrored) {
    std::stable_sort(banks.begin(), banks.end(), [&](const BankRef& a, const BankRef& b) {
      return ctx.options.bankOrder(fileNamePart(a.path()), fileNamePart(b.path()));
    });
  }
  if (banks.empty()) return 0;
  const auto count = static_cast<std::uint32_t>(banks.size());
  ctx.ui.logClear();
  ctx.gauge2.setRange(0, count);
  ctx.gauge2.setProgress(1);
  // Let go of when the run ends, however it ends.
  const std::string base = ctx.destinationFolder;
  struct HeldFolder {
    JobContext& ctx;
    const std::string& base;
    ~HeldFolder() {
      ctx.runFolder = OpenFolder();
      ctx.runOutputs.reset();
      ctx.destinationFolder = base;
    }
  } held{ctx, base};
  if (!ctx.options.dryRun) ctx.runFolder = folders.root().open(base);
  std::uint32_t failed = 0;
  ctx.runOutputs.emplace();
  const auto destinationOf = [&](const BankRef& bank) {
    return mirrored ? base + relativeFolder(bank.path(), root) : base;
  };
  RunLanes lanes(ctx, banks, destinationOf, mirrored ? &folders : nullptr, base);
  for (std::size_t k = 0; k < banks.size(); ++k) {
    checkCancelled(ctx.ui);
    ctx.ui.status("processing " + fileNamePart(banks[k].path()));
    ctx.destinationFolder = destinationOf(banks[k]);
    if (!lanes.convert(k)) ++failed;
    // Gauge2 shows k of n while file k is converted and stays at n after
    // the last one.
    ctx.gauge2.add(1);
    ctx.gauge1.setProgress(0);
    ctx.ui.logLine(" ");
  }
  ctx.gauge2.setProgress(0);
  ctx.ui.destinationChanged();
  ctx.ui.status(runEndText(count, failed));
  return count;
}

std::string runEndText(std::size_t banks, std::size_t failed) {
  const std::size_t extracted = banks - failed;
  std::string text = std::to_string(extracted) + (extracted == 1 ? " TTI file extracted" : " TTI files extracted");
  if (failed > 0) text += ", " + std::to_string(failed) + " failed";
  return text;
}

std::string relativeFolder(const std::string& bankPath, const std::string& root) {
  const std::size_t name = fileNamePart(bankPath).size();
  if (bankPath.size() < root.size() + name || bankPath.compare(0, root.size(), root) != 0) return {};
  return bankPath.substr(root.size(), bankPath.size() - root.size() - name);
}

}  // namespace vantrel
