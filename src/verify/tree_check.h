// SPDX-License-Identifier: MIT
#pragma once
// Checking a folder of converted output long after the run: every line of
// its SHA256SUMS, and, given the banks, their outputs found below it
// compared with the banks as the run's own check compares them. A file
// whose bytes and manifest line were both changed is still caught by the
// second.

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "tti/bank_source.h"

namespace vantrel::verify {

struct Finding {
  std::string path;  // the file (or bank) concerned
  std::string what;  // what is wrong with it
};

struct TreeReport {
  std::set<std::string> matched;    // files that matched in a check
  std::vector<Finding> failures;
  std::vector<std::string> notes;   // facts that are no failure

  // Files that failed a check, and those that matched in every check.
  std::set<std::string> failedFiles() const;
  std::size_t verifiedCount() const;
};

// Checks every line of DIR/SHA256SUMS: a listed file that is missing or
// whose bytes give another digest is a failure, as are lines that are no
// checksum line and a missing manifest.
void checkManifestFiles(const std::string& dir, TreeReport& report);

// Loads the bank and looks below DIR (at any depth) for its outputs in every
// mode: "WAV_MONO_<bank file>" and "WAV_STEREO_<bank file>" folders and
// "<bank name>.sf2" files. Each file the mode gives the bank must be there
// and match. Where a name is found in several places (banks of one name in
// several folders), the places whose folders end like the bank's own are
// taken. Places the manifest lists (`listed`: its paths, relative to DIR)
// count as found, so outputs removed since are named as missing files. A
// bank with no output below DIR is a failure. `faithful`: the outputs were
// written with --faithful.
// A bank inside an image ("IMAGE//path/BANK.TTI") is matched by its path
// inside the image.
void checkBankOutputs(const std::string& dir, const BankRef& bank, TreeReport& report,
                      const std::vector<std::string>& listed = {}, bool faithful = false);
// The bank a user names by `bankPath` (BankCatalogue::bankAt).
void checkBankOutputs(const std::string& dir, const std::string& bankPath, TreeReport& report,
                      const std::vector<std::string>& listed = {}, bool faithful = false);

}  // namespace vantrel::verify
