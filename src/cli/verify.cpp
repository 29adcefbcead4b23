// SPDX-License-Identifier: MIT
// vantrel-cli verify: a converted folder checked long after the run, by its
// SHA256SUMS and, given the banks, against the banks themselves.

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/messages.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "tti/archive_banks.h"
#include "verify/manifest.h"
#include "verify/tree_check.h"

namespace vantrel::cli {

int runVerify(const VerifyArgs& args) {
  if (const std::string problem = folderProblem(args.folder, "the folder"); !problem.empty()) {
    reportError(args.folder, problem);
    return 1;
  }
  verify::TreeReport report;
  // Without banks the manifest is all there is to check; with banks a
  // folder converted without --manifest is still checked against them.
  if (args.banks.empty() || fileExists(joinPath(args.folder, verify::kManifestName))) {
    verify::checkManifestFiles(args.folder, report);
  } else {
    report.notes.push_back("no " + std::string(verify::kManifestName) + " in " + args.folder +
                           ": comparing with the banks only");
  }
  std::vector<std::string> listed;
  try {
    for (const auto& line : verify::readManifest(args.folder)) listed.push_back(line.first);
  } catch (const RunError&) {
    // Reported by the manifest check.
  }
  for (const std::string& bank : args.banks) {
    // An image (or a folder inside one) stands for every bank below it,
    // read in the image's order.
    const auto image = imageSource(bank);
    if (image && !matchesTtiPattern(fileNamePart(image->inside))) {
      const auto catalogue = catalogueFor(bank);
      const auto walk = catalogue->banksBelow(catalogue->rootOf(bank), [&](const RunError& e) {
        // Entries a run passes over or follows are named, not failures of
        // the outputs.
        if (e.code() == kLinkFollowed || isEntryPassedOver(e.code())) report.notes.push_back(e.path() + ": " + e.message());
        else report.failures.push_back({e.path(), e.message()});
      });
      for (const BankRef& ref : walk) verify::checkBankOutputs(args.folder, ref, report, listed, args.faithful);
      if (walk.empty()) report.failures.push_back({bank, "no bank in it"});
      continue;
    }
    verify::checkBankOutputs(args.folder, bank, report, listed, args.faithful);
  }

  std::fflush(stdout);
  for (const std::string& note : report.notes) writeLine(stderr, errorLine(false, {}, note));
  std::stable_sort(report.failures.begin(), report.failures.end(),
                   [](const verify::Finding& a, const verify::Finding& b) { return a.path < b.path; });
  for (const verify::Finding& f : report.failures) {
    writeLine(stderr, errorLine(false, {}, "Verification failed: " + f.path + ": " + f.what));
  }
  std::string counts = counted(report.verifiedCount(), "file", "files") + " verified";
  if (!report.failures.empty()) counts += ", " + std::to_string(report.failedFiles().size()) + " failed";
  writeLine(stderr, counts);
  return finishOutput(report.failures.empty() ? 0 : 1);
}

}  // namespace vantrel::cli
