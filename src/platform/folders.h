// SPDX-License-Identifier: MIT
#pragma once
// Folder search in the file system's own order (no sorting), folder
// creation, and the mounted volumes that stand for drives on this platform.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct FolderEntry {
  std::string name;
  bool isFolder = false;   // a folder, or a link to one
  bool isFile = false;     // a regular file, or a link to one
  bool isLink = false;     // a symbolic link
  bool isHidden = false;   // name begins with '.'
};

// The entries of `folder` without "." and "..", in the byte order of their
// names (whatever order the file system keeps). A folder that cannot be
// read gives no entries.
std::vector<FolderEntry> listFolder(const std::string& folder);

// Identity of a folder or file on disk.
struct FolderId {
  dev_t device = 0;
  ino_t inode = 0;
  bool isLink = false;  // the name itself is a symbolic link
};
// Identity of `path`, links not followed.
std::optional<FolderId> folderId(const std::string& path) noexcept;

// Opens and lists `folder` as listFolder does, also giving the identity of
// the folder opened. Without `followLink`, a link at the folder's own name
// is not opened. False, with no entries, when it cannot be opened or read.
bool readFolder(const std::string& folder, bool followLink, FolderId& id,
                std::vector<FolderEntry>& entries);

// "*.tti" as the file system's wildcard rules read it: case does not count.
bool matchesTtiPattern(std::string_view name);

// Told of a folder a listing or walk cannot read, with the errno.
using UnreadableFolder = std::function<void(const std::string& folder, int err)>;

// The "*.tti" entries of `folder` that batch runs convert: regular files (or
// links to them), hidden ones included, in the byte order of their names. Folders,
// devices, pipes and dangling links whose names match are passed over. A
// folder that cannot be read gives none, and is told to `unreadable`.
std::vector<std::string> listTtiFiles(const std::string& folder, const UnreadableFolder& unreadable = {});

// Walks `folder` and every folder below it and appends the path of every
// "*.tti" file found to `list`: depth-first, a folder's own banks before
// its subfolders', each folder's entries in the byte order of their names.
// Hidden folders (names beginning with '.') are skipped with everything
// below them; hidden files are taken. Links to folders are not followed,
// the walk stays on the volume of `folder`, and a folder that cannot be
// read contributes nothing and is told to `unreadable`.
void listTtiFilesBelow(const std::string& folder, std::vector<std::string>& list,
                       const UnreadableFolder& unreadable = {});

// Creates `folder` and every missing folder above it. A folder that cannot
// be made is passed over silently; the result tells whether `folder` exists
// as a folder afterwards.
// `made`, when given, gets each level this call made, the top one first.
bool createFolders(const std::string& folder, std::vector<std::string>* made = nullptr) noexcept;

// A folder the program can enter and list: it exists, is a folder (or a link
// to one), and may be read and searched.
bool isEnterableFolder(const std::string& folder) noexcept;

// A drive on this platform: a mounted volume. Its root is the mount point,
// its name the last component of the mount point ("root" for "/").
struct Volume {
  std::string root;
  std::string name;
};

// Name of a volume mounted at `mountPoint`.
std::string volumeName(const std::string& mountPoint);

// The mounted volumes, in the order the system lists them (later mounts on
// the same mount point hide earlier ones and replace them here). Read from
// /proc/self/mountinfo, or /proc/mounts where that is missing.
std::vector<Volume> mountedVolumes();
// Parses the text of /proc/self/mountinfo (or, with `mountsFormat`, of
// /proc/mounts) into volumes, mount points unescaped ("\040" is a blank).
std::vector<Volume> parseMountTable(std::string_view text, bool mountsFormat = false);

// The volume that holds `path`: the mounted volume whose mount point is the
// longest prefix of the path's real location and lies on the same device.
// A path that does not exist gives the volume of "/".
Volume volumeOf(const std::string& path);

}  // namespace vantrel
