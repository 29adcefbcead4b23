#include "jobs/drive_job.h"

#include <unordered_set>

#include "jobs/bank_conversion.h"
#include "jobs/output_folders.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "tti/tti_reader.h"

namespace vantrel {
namespace {

// Upper-cases the ASCII letters of a drive name; other bytes (such as the
// parts of UTF-8 characters) stay as they are.
std::string upperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

}  // namespace

std::string driveModeWord(int outputMode) {
  switch (outputMode) {
    case kModeMono: return "WAV_MONO";
    case kModeStereo: return "WAV_STEREO";
    case kModeSf2: return "SF2";
    default: return {};
  }
}

std::string driveFolderName(const std::string& targetDriveName, int outputMode) {
  return "Drive " + upperAscii(targetDriveName) + " " + driveModeWord(outputMode);
}

void ReadDirectoryNames(JobContext& ctx, const std::string& folder,
                        std::vector<std::string>& driveFileList) {
  ctx.ui.sampleListVisible(false);

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
    if (!readFolder(path, root, id, entries)) return;
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

std::size_t extrdriveClick(JobContext& ctx, const std::string& sourceRoot,
                           const std::string& targetFolder, const std::string& targetDriveName) {
  ctx.ui.logClear();
  std::vector<std::string> driveFileList;
  const std::string base = destinationRule(targetFolder) + driveFolderName(targetDriveName, ctx.outputMode);
  const std::string root = withSeparator(sourceRoot);

  // The whole walk ends before the first conversion, so output written by
  // this run is never walked, even on the same drive.
  ReadDirectoryNames(ctx, root, driveFileList);

  if (!driveFileList.empty()) {
    ctx.gauge3.setRange(0, static_cast<std::int64_t>(driveFileList.size()));
    ctx.gauge3.setProgress(0);
    for (const std::string& path : driveFileList) {
      ctx.gauge3.add(1);
      ctx.bank.ttiPath = path;
      const std::string name = fileNamePart(path);
      ctx.ui.status("processing " + name);
      // The bank's folder relative to the drive's root: empty for the root
      // itself, else ending in a separator.
      const std::string relative =
          path.substr(root.size(), path.size() - root.size() - name.size());
      ctx.destinationFolder = base + '/' + relative;
      createOutputFolders(ctx.destinationFolder);
      getttidata(ctx);
      extracttti(ctx);
    }
  }
  ctx.gauge1.setProgress(0);
  ctx.gauge3.setProgress(0);
  return driveFileList.size();
}

}  // namespace vantrel
