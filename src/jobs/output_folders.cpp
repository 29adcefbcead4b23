// SPDX-License-Identifier: MIT
#include "jobs/output_folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace vantrel {

std::string destinationRule(const std::string& shownFolder) {
  return shownFolder.empty() ? shownFolder : withSeparator(shownFolder);
}

void createOutputFolders(const std::string& folder, std::vector<std::string>* made) {
  if (createFolders(folder, made)) return;
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
  if (err == 0 && made) made->push_back(missing);
  if (err == 0 && createFolders(folder, made)) return;
  throwErrno(err == 0 ? EEXIST : err, missing, true);
}

RunFolders::~RunFolders() {
  // rmdir removes only an empty folder; one that holds anything stays.
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::rmdir(it->c_str());
}

void RunFolders::create(const std::string& folder) {
  const std::lock_guard<std::mutex> lock(mutex_);
  createOutputFolders(folder, &made_);
}

// A folder that cannot be made (a read-only medium, a file of that name in
// the way) ends the bank's job naming it: nothing of the bank is written
// anywhere else.
// The folder is made and looked at relative to `current` held open, and a
// link at its name is never followed. A name the file system refuses
// (EINVAL, EILSEQ, ENAMETOOLONG) is tried once more with the characters FAT
// forbids made '_'.
std::string createBankFolder(const std::string& current, const std::string& name, bool create, bool* made) {
  std::string path = joinPath(current, name);
  if (made) *made = false;
  if (!create) return withSeparator(path);
  const OpenFolder parent(current.empty() ? std::string(".") : current);
  if (!parent.isOpen()) throwErrno(errno, path, true);
  std::string given = name;
  auto makeIt = [&] { return ::mkdirat(parent.descriptor(), given.c_str(), 0777) == 0 ? 0 : errno; };
  int err = makeIt();
  if ((err == EINVAL || err == EILSEQ || err == ENAMETOOLONG) && fatSafeName(name) != name) {
    given = fatSafeName(name);
    path = joinPath(current, given);
    err = makeIt();
  }
  if (err == 0) {
    if (made) *made = true;
    return withSeparator(path);
  }
  if (err != EEXIST) throwErrno(err, path, true);
  // A link there would send the bank's files out of the target.
  struct stat st {};
  if (::fstatat(parent.descriptor(), given.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) throwErrno(errno, path, true);
  if (S_ISLNK(st.st_mode)) throw RunError(kSymlinkNotUsed, path);
  if (!S_ISDIR(st.st_mode)) throwErrno(EEXIST, path, true);
  return withSeparator(path);
}

}  // namespace vantrel
