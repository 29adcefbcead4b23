// SPDX-License-Identifier: MIT
#pragma once
// Where output goes: the destination rule and the per-bank WAV folders.

#include <mutex>
#include <string>
#include <vector>

namespace vantrel {

// The folder a job writes into, from the folder the target list shows:
// that folder with one separator at its end (a root keeps its own).
std::string destinationRule(const std::string& shownFolder);

// Creates `folder` and the levels above it that are missing. A level that
// cannot be made ends the job with the reason and that level's path (a
// read-only medium gives "File access denied"). `made`, when given, gets
// each level made here, the top one first.
void createOutputFolders(const std::string& folder, std::vector<std::string>* made = nullptr);

// The output folders a folder or drive run makes. Those still empty when
// the run ends, however it ends, are removed again, the deepest first: a
// run that writes nothing into a folder leaves no empty folder behind.
// Folders that were there before the run are never touched.
class RunFolders {
 public:
  RunFolders() = default;
  ~RunFolders();
  RunFolders(const RunFolders&) = delete;
  RunFolders& operator=(const RunFolders&) = delete;
  // createOutputFolders, remembering the levels it makes. Safe to call
  // from several threads at once.
  void create(const std::string& folder);

 private:
  std::mutex mutex_;
  std::vector<std::string> made_;  // guarded by mutex_
};

// Creates the folder `name` inside `current` if it does not exist, and
// returns it with a separator at its end. A folder that cannot be made
// ends the job with the reason and the folder's path. With `create` false
// (a dry run) nothing is made and the folder is returned. `made`, when
// given, tells whether the folder was made here (and so holds nothing
// yet). A name the file system refuses is tried once more as fatSafeName
// makes it; the folder returned then has that name.
std::string createBankFolder(const std::string& current, const std::string& name, bool create = true,
                             bool* made = nullptr);

}  // namespace vantrel
