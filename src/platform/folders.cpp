#include "platform/folders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>

#include "platform/file.h"

namespace vantrel {

std::vector<FolderEntry> listFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return entries;
  while (dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry e;
    e.name = name;
    e.isHidden = name[0] == '.';
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN || type == DT_LNK) {
      struct stat st {};
      std::string full = joinPath(folder, name);
      if (::lstat(full.c_str(), &st) == 0) {
        e.isLink = S_ISLNK(st.st_mode);
        if (e.isLink) {
          struct stat target {};
          e.isFolder = ::stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        } else {
          e.isFolder = S_ISDIR(st.st_mode);
        }
      }
    } else {
      e.isFolder = type == DT_DIR;
    }
    entries.push_back(std::move(e));
  }
  ::closedir(dir);
  return entries;
}

bool matchesTtiPattern(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view ext = name.substr(name.size() - 4);
  return ext[0] == '.' && std::tolower(static_cast<unsigned char>(ext[1])) == 't' &&
         std::tolower(static_cast<unsigned char>(ext[2])) == 't' &&
         std::tolower(static_cast<unsigned char>(ext[3])) == 'i';
}

}  // namespace vantrel
