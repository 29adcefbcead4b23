// SPDX-License-Identifier: MIT
#include "jobs/output_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "jobs/job_context.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace vantrel {

std::string destinationRule(const std::string& shownFolder) {
  return shownFolder.empty() ? shownFolder : withSeparator(shownFolder);
}

void createOutputFolders(const OutputRoot& root, const std::string& folder, std::vector<std::string>* made) {
  root.open(folder, true, made);
}

const OutputRoot& outputRootOf(JobContext& ctx) {
  if (!ctx.outputRoot) setOutputRoot(ctx, ctx.destinationFolder);
  return *ctx.outputRoot;
}

void setOutputRoot(JobContext& ctx, const std::string& target) {
  ctx.outputRoot = std::make_shared<const OutputRoot>(target);
}

RunFolders::~RunFolders() {
  // Only an empty folder is removed; one that holds anything stays.
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) root_->remove(*it, true);
}

void RunFolders::create(const std::string& folder) {
  const std::lock_guard<std::mutex> lock(mutex_);
  createOutputFolders(*root_, folder, &made_);
}

// A folder that cannot be made (a read-only medium, a file of that name in
// the way) ends the bank's job naming it: nothing of the bank is written
// anywhere else.
// The folder is made and looked at relative to `current` opened from the
// root, and a link at its name or above is never followed. A name the
// file system refuses (refusesName) is tried again under its
// fallbackNames.
std::string createBankFolder(const OutputRoot& root, const std::string& current, const std::string& name,
                             bool create, bool* made) {
  std::string path = joinPath(current, name);
  if (made) *made = false;
  if (!create) return withSeparator(path);
  const OpenFolder parent = root.open(current);
  std::string given = name;
  auto makeIt = [&] { return ::mkdirat(parent.descriptor(), given.c_str(), 0777) == 0 ? 0 : errno; };
  int err = makeIt();
  if (refusesName(err)) {
    for (const std::string& fallback : fallbackNames(name)) {
      given = fallback;
      path = joinPath(current, given);
      if (err = makeIt(); !refusesName(err)) break;
    }
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

void removeMadeFolder(const OutputRoot& root, const std::string& folder) noexcept {
  if (folder.empty()) return;
  try {
    const OpenFolder held = root.open(folder);
    const int fd = ::openat(held.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      if (DIR* dir = ::fdopendir(fd)) {
        while (const dirent* e = ::readdir(dir)) {
          const std::string name = e->d_name;
          if (name != "." && name != "..") ::unlinkat(::dirfd(dir), name.c_str(), AT_REMOVEDIR);
        }
        ::closedir(dir);
      } else {
        ::close(fd);
      }
    }
  } catch (...) {
    return;  // not there, or a link: nothing of ours to remove
  }
  root.remove(folder, true);
}

}  // namespace vantrel
