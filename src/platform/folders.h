#pragma once
// Folder search in the file system's own order (no sorting).

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct FolderEntry {
  std::string name;
  bool isFolder = false;   // a folder, or a link to one
  bool isLink = false;     // a symbolic link
  bool isHidden = false;   // name begins with '.'
};

// The entries of `folder` without "." and "..", in the order the file
// system returns them. A folder that cannot be read gives no entries.
std::vector<FolderEntry> listFolder(const std::string& folder);

// "*.tti" as the file system's wildcard rules read it: case does not count.
bool matchesTtiPattern(std::string_view name);

}  // namespace vantrel
