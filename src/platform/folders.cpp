// SPDX-License-Identifier: MIT
#include "platform/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unordered_set>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/file.h"

namespace vantrel {

bool readFolder(const std::string& folder, bool followLink, FolderId& id,
                std::vector<FolderEntry>& entries) {
  entries.clear();
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  int fd = ::open(folder.empty() ? "." : folder.c_str(), flags);
  if (fd < 0) return false;
  struct stat self {};
  if (::fstat(fd, &self) != 0) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return false;
  }
  id = FolderId{self.st_dev, self.st_ino, false};
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return false;
  }
  errno = 0;
  while (dirent* d = ::readdir(dir)) {
    const char* raw = d->d_name;
    if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) continue;
    FolderEntry e;
    e.name = raw;
    e.isHidden = raw[0] == '.';
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN || type == DT_LNK) {
      // The entry's type is not in the listing: ask for it, and for a link
      // for what it points to.
      struct stat st {};
      if (::fstatat(dirfd(dir), raw, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        e.isLink = S_ISLNK(st.st_mode);
        if (e.isLink) {
          struct stat target {};
          bool ok = ::fstatat(dirfd(dir), raw, &target, 0) == 0;
          e.isFolder = ok && S_ISDIR(target.st_mode);
          e.isFile = ok && S_ISREG(target.st_mode);
        } else {
          e.isFolder = S_ISDIR(st.st_mode);
          e.isFile = S_ISREG(st.st_mode);
        }
      }
    } else {
      e.isFolder = type == DT_DIR;
      e.isFile = type == DT_REG;
    }
    entries.push_back(std::move(e));
    errno = 0;
  }
  // A listing broken off by a read error counts as unreadable.
  const int err = errno;
  ::closedir(dir);
  if (err != 0) {
    entries.clear();
    errno = err;
    return false;
  }
  // In the byte order of the names, not the file system's own: the same
  // folder gives the same order, and the same numbered names, on any disk.
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return true;
}

std::vector<FolderEntry> listFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  FolderId id;
  readFolder(folder, true, id, entries);
  return entries;
}

bool matchesTtiPattern(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view ext = name.substr(name.size() - 4);
  return ext[0] == '.' && std::tolower(static_cast<unsigned char>(ext[1])) == 't' &&
         std::tolower(static_cast<unsigned char>(ext[2])) == 't' &&
         std::tolower(static_cast<unsigned char>(ext[3])) == 'i';
}

std::vector<std::string> listTtiFiles(const std::string& folder, const UnreadableFolder& unreadable) {
  std::vector<std::string> names;
  std::vector<FolderEntry> entries;
  FolderId id;
  if (!readFolder(folder, true, id, entries) && unreadable) unreadable(folder, errno);
  for (auto& e : entries) {
    if (e.isFile && matchesTtiPattern(e.name)) names.push_back(std::move(e.name));
  }
  return names;
}

bool createFolders(const std::string& folder, std::vector<std::string>* made) noexcept {
  try {
    if (folder.empty()) return false;
    const auto make = [made](const std::string& level) {
      if (::mkdir(level.c_str(), 0777) != 0) return false;
      if (made) made->push_back(level);
      return true;
    };
    // A folder whose parent is there (a run's folders are made one below
    // another) needs one call; only a missing parent sends the walk from
    // the top.
    if (make(folder) || errno == EEXIST) return folderExists(folder);
    // Make each level in turn; a level that exists or cannot be made is
    // left to the next one, whose own creation then tells.
    for (std::size_t pos = folder.find('/', 1); pos != std::string::npos;
         pos = folder.find('/', pos + 1)) {
      make(folder.substr(0, pos));
    }
    make(folder);
    return folderExists(folder);
  } catch (...) {
    return false;
  }
}

bool isEnterableFolder(const std::string& folder) noexcept {
  struct stat st {};
  return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(folder.c_str(), R_OK | X_OK) == 0;
}

std::optional<FolderId> folderId(const std::string& path) noexcept {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return FolderId{st.st_dev, st.st_ino, S_ISLNK(st.st_mode)};
}

std::string volumeName(const std::string& mountPoint) {
  std::string p = mountPoint;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty() || p == "/") return "root";
  return fileNamePart(p);
}

namespace {

// Mount tables write blanks, tabs, newlines and backslashes in paths as
// three octal digits after a backslash.
std::string unescapeMountPath(std::string_view field) {
  auto octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  out.reserve(field.size());
  for (std::size_t k = 0; k < field.size(); ++k) {
    if (field[k] == '\\' && field.size() - k >= 4 && octal(field[k + 1]) && octal(field[k + 2]) &&
        octal(field[k + 3])) {
      int v = (field[k + 1] - '0') * 64 + (field[k + 2] - '0') * 8 + (field[k + 3] - '0');
      out += static_cast<char>(v);
      k += 3;
      continue;
    }
    out += field[k];
  }
  return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t k = 0;
  while (k < line.size()) {
    while (k < line.size() && line[k] == ' ') ++k;
    std::size_t start = k;
    while (k < line.size() && line[k] != ' ') ++k;
    if (k > start) fields.push_back(line.substr(start, k - start));
  }
  return fields;
}

// Kernel and process views that are no drives a user converts from.
bool isPseudoFileSystem(std::string_view type, const std::string& mountPoint) {
  static const char* const kPseudo[] = {
      "proc",      "sysfs",      "cgroup",   "cgroup2",   "devpts",  "mqueue",
      "debugfs",   "tracefs",    "securityfs", "pstore",  "bpf",     "configfs",
      "fusectl",   "hugetlbfs",  "autofs",   "binfmt_misc", "efivarfs", "rpc_pipefs",
      "nsfs",      "devtmpfs",   "selinuxfs"};
  for (const char* p : kPseudo)
    if (type == p) return true;
  auto under = [&](const char* top) {
    std::string t = top;
    return mountPoint == t || mountPoint.rfind(t + "/", 0) == 0;
  };
  return under("/proc") || under("/sys");
}

std::string readWholeFile(const char* path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return {};
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

std::vector<Volume> parseMountTable(std::string_view text, bool mountsFormat) {
  std::vector<Volume> volumes;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    auto fields = splitFields(text.substr(pos, end - pos));
    pos = end + 1;
    std::string_view mountField, type;
    if (mountsFormat) {
      // source, mount point, type, options, dump, pass
      if (fields.size() < 3) continue;
      mountField = fields[1];
      type = fields[2];
    } else {
      // id, parent, major:minor, root, mount point, options, optional
      // fields up to "-", then type, source, super options
      if (fields.size() < 5) continue;
      mountField = fields[4];
      for (std::size_t k = 5; k + 1 < fields.size(); ++k) {
        if (fields[k] == "-") {
          type = fields[k + 1];
          break;
        }
      }
    }
    std::string root = unescapeMountPath(mountField);
    if (root.empty() || root[0] != '/' || isPseudoFileSystem(type, root)) continue;
    auto same = [&](const Volume& v) { return v.root == root; };
    if (std::find_if(volumes.begin(), volumes.end(), same) != volumes.end()) continue;
    volumes.push_back({root, volumeName(root)});
  }
  return volumes;
}

std::vector<Volume> mountedVolumes() {
  std::string text = readWholeFile("/proc/self/mountinfo");
  if (!text.empty()) return parseMountTable(text, false);
  text = readWholeFile("/proc/mounts");
  if (!text.empty()) return parseMountTable(text, true);
  return {{"/", "root"}};
}

Volume volumeOf(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  std::string where = real ? std::string(real.get()) : std::string("/");
  struct stat pathStat {};
  bool havePathStat = ::stat(where.c_str(), &pathStat) == 0;

  auto holds = [&](const std::string& root) {
    if (root == "/") return true;
    return where == root || where.rfind(root + "/", 0) == 0;
  };
  std::vector<Volume> candidates;
  for (auto& v : mountedVolumes())
    if (holds(v.root)) candidates.push_back(std::move(v));
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Volume& a, const Volume& b) { return a.root.size() > b.root.size(); });
  for (const auto& v : candidates) {
    struct stat st {};
    if (havePathStat && ::stat(v.root.c_str(), &st) == 0 && st.st_dev == pathStat.st_dev) return v;
  }
  if (!candidates.empty()) return candidates.front();
  return {"/", "root"};
}

void listTtiFilesBelow(const std::string& folder, std::vector<std::string>& driveFileList,
                       const UnreadableFolder& unreadable) {
  // One folder on the current branch of the walk: its path (ending in a
  // separator), its subfolders in listing order and the next one to walk.
  struct Level {
    std::string path;
    std::vector<std::string> subfolders;
    std::size_t next = 0;
  };
  std::vector<Level> branch;
  std::unordered_set<ino_t> visited;
  dev_t volume = 0;
  std::vector<FolderEntry> entries;

  // Lists one folder: its banks go to the list at once, its subfolders are
  // walked after them. The root may be reached through a link; below it
  // links to folders are never followed, other volumes never entered, and
  // a folder met twice (through a bind mount) is walked once.
  auto enter = [&](std::string path, bool root) {
    FolderId id;
    if (!readFolder(path, root, id, entries)) {
      if (unreadable) unreadable(path, errno);
      return;
    }
    if (root) volume = id.device;
    else if (id.device != volume) return;
    if (!visited.insert(id.inode).second) return;
    Level level{std::move(path), {}, 0};
    for (auto& e : entries) {
      if (e.isFile && matchesTtiPattern(e.name)) driveFileList.push_back(level.path + e.name);
      else if (e.isFolder && !e.isLink && !e.isHidden) level.subfolders.push_back(std::move(e.name));
    }
    branch.push_back(std::move(level));
  };

  enter(withSeparator(folder), true);
  while (!branch.empty()) {
    Level& top = branch.back();
    if (top.next == top.subfolders.size()) {
      branch.pop_back();
      continue;
    }
    std::string child = top.path + top.subfolders[top.next++] + '/';
    enter(std::move(child), false);
  }
}

}  // namespace vantrel
