// SPDX-License-Identifier: MIT
#include "jobs/output_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"

namespace vantrel {

std::string destinationRule(const std::string& shownFolder) {
  return shownFolder.empty() ? shownFolder : withSeparator(shownFolder);
}

void createOutputFolders(const std::string& folder) {
  if (createFolders(folder)) return;
  // The first missing level is the one that could not be made; making it
  // again tells why. Something else of that name in the way is refused
  // like a folder that may not be written.
  std::string missing = folder;
  while (missing.size() > 1 && missing.back() == '/') missing.pop_back();
  for (;;) {
    const std::size_t cut = missing.rfind('/');
    if (cut == std::string::npos || cut == 0) break;
    const std::string parent = missing.substr(0, cut);
    if (folderExists(parent)) break;
    missing = parent;
  }
  const int err = ::mkdir(missing.c_str(), 0777) == 0 ? 0 : errno;
  if (err == 0 && createFolders(folder)) return;
  throwErrno(err == 0 ? EEXIST : err, missing, true);
}

RunFolders::~RunFolders() {
  // rmdir removes only an empty folder; one that holds anything stays.
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::rmdir(it->c_str());
}

void RunFolders::create(const std::string& folder) {
  std::vector<std::string> missing;
  std::string level = folder;
  while (level.size() > 1 && level.back() == '/') level.pop_back();
  while (level.size() > 1 && !folderExists(level) && !isSymlink(level)) {
    missing.push_back(level);
    const std::size_t cut = level.rfind('/');
    if (cut == std::string::npos || cut == 0) break;
    level.resize(cut);
  }
  createOutputFolders(folder);
  made_.insert(made_.end(), missing.rbegin(), missing.rend());
}

// A folder that cannot be made (a read-only medium, a file of that name in
// the way) ends the bank's job naming it: nothing of the bank is written
// anywhere else.
std::string createBankFolder(const std::string& current, const std::string& name, bool create, bool* made) {
  const std::string path = joinPath(current, name);
  if (made) *made = false;
  if (!create) return withSeparator(path);
  if (::mkdir(path.c_str(), 0777) == 0) {
    if (made) *made = true;
    return withSeparator(path);
  }
  const int err = errno;
  // A link there would send the bank's files out of the target.
  if (err == EEXIST && isSymlink(path)) throw RunError(kSymlinkNotUsed, path);
  if (err == EEXIST && folderExists(path)) return withSeparator(path);
  throwErrno(err, path, true);
}

}  // namespace vantrel
