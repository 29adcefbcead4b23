// SPDX-License-Identifier: MIT
// vantrel-cli verify: a converted folder checked long after the run, by its
// SHA256SUMS and, given the banks, against the banks themselves.

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "verify/manifest.h"
#include "verify/tree_check.h"

namespace vantrel::cli {

int runVerify(const VerifyArgs& args) {
  if (!folderExists(args.folder)) {
    reportError(args.folder, "the folder does not exist");
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
  for (const std::string& bank : args.banks) verify::checkBankOutputs(args.folder, bank, report, listed, args.faithful);

  std::fflush(stdout);
  for (const std::string& note : report.notes) std::fprintf(stderr, "vantrel-cli: %s\n", note.c_str());
  std::stable_sort(report.failures.begin(), report.failures.end(),
                   [](const verify::Finding& a, const verify::Finding& b) { return a.path < b.path; });
  for (const verify::Finding& f : report.failures) {
    std::fprintf(stderr, "vantrel-cli: Verification failed: %s: %s\n", f.path.c_str(), f.what.c_str());
  }
  if (report.failures.empty()) {
    std::fprintf(stderr, "%zu files verified\n", report.verifiedCount());
    return finishOutput(0);
  }
  std::fprintf(stderr, "%zu files verified, %zu failed\n", report.verifiedCount(), report.failedFiles().size());
  return finishOutput(1);
}

}  // namespace vantrel::cli
