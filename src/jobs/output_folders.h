// SPDX-License-Identifier: MIT
#pragma once
// Where output goes: the destination rule and the per-bank WAV folders.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file.h"

namespace vantrel {

struct JobContext;

// The folder a job writes into, from the folder the target list shows:
// that folder with one separator at its end (a root keeps its own).
std::string destinationRule(const std::string& shownFolder);

// Creates `folder` (in `root`) and the levels above it that are missing,
// each relative to the one above and never through a link. A level that
// cannot be made ends the job with the reason and that level's path (a
// read-only medium gives "File access denied"; a link, "is a symbolic
// link: not used"). `made`, when given, gets each level made here, the top
// one first.
void createOutputFolders(const OutputRoot& root, const std::string& folder, std::vector<std::string>* made = nullptr);

// The output root of ctx's job (JobContext::outputRoot), opened at its
// destination folder when the job has none yet.
const OutputRoot& outputRootOf(JobContext& ctx);
// Sets ctx's output root to the folder the user chose, `target`.
void setOutputRoot(JobContext& ctx, const std::string& target);

// The output folders a folder or drive run makes. Those still empty when
// the run ends, however it ends, are removed again, the deepest first: a
// run that writes nothing into a folder leaves no empty folder behind.
// Folders that were there before the run are never touched, and removing
// never goes through a link.
class RunFolders {
 public:
  explicit RunFolders(std::shared_ptr<const OutputRoot> root) : root_(std::move(root)) {}
  ~RunFolders();
  RunFolders(const RunFolders&) = delete;
  RunFolders& operator=(const RunFolders&) = delete;
  // createOutputFolders, remembering the levels it makes. Safe to call
  // from several threads at once.
  void create(const std::string& folder);
  const OutputRoot& root() const noexcept { return *root_; }

 private:
  std::shared_ptr<const OutputRoot> root_;
  std::mutex mutex_;
  std::vector<std::string> made_;  // guarded by mutex_
};

// Creates the folder `name` inside `current` (in `root`) if it does not
// exist, and returns it with a separator at its end. A folder that cannot
// be made ends the job with the reason and the folder's path. With
// `create` false (a dry run) nothing is made and the folder is returned.
// `made`, when given, tells whether the folder was made here (and so holds
// nothing yet). A name the file system refuses is tried again under its
// fallbackNames; the folder returned then has the name it took.
std::string createBankFolder(const OutputRoot& root, const std::string& current, const std::string& name,
                             bool create = true, bool* made = nullptr);

// Removes the folder `folder` (in `root`) with the empty folders in it,
// when it holds nothing else; never through a link.
void removeMadeFolder(const OutputRoot& root, const std::string& folder) noexcept;

}  // namespace vantrel
