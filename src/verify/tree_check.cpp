// SPDX-License-Identifier: MIT
#include "verify/tree_check.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "platform/errors.h"
#include "platform/file.h"
#include "tti/tti_reader.h"
#include "jobs/output_formats.h"
#include "verify/checks.h"
#include "verify/listeners.h"
#include "verify/expected.h"
#include "verify/manifest.h"

namespace vantrel::verify {
namespace fs = std::filesystem;

std::set<std::string> TreeReport::failedFiles() const {
  std::set<std::string> out;
  for (const Finding& f : failures) out.insert(f.path);
  return out;
}

std::size_t TreeReport::verifiedCount() const {
  const std::set<std::string> failed = failedFiles();
  std::size_t n = 0;
  for (const std::string& p : matched) n += failed.count(p) == 0;
  return n;
}

void checkManifestFiles(const std::string& dir, TreeReport& report) {
  const std::string manifestPath = joinPath(dir, kManifestName);
  if (!fileExists(manifestPath)) {
    report.failures.push_back({manifestPath, errorText(kFileNotFound)});
    return;
  }
  std::vector<int> bad;
  Manifest manifest;
  try {
    manifest = readManifest(dir, &bad);
  } catch (const RunError& e) {
    report.failures.push_back({manifestPath, e.message()});
    return;
  }
  for (int line : bad) report.failures.push_back({manifestPath, "line " + std::to_string(line) + " is no checksum line"});
  for (const auto& [name, digest] : manifest) {
    const std::string path = joinPath(dir, name);
    if (!fileExists(path)) {
      report.failures.push_back({path, "missing"});
      continue;
    }
    try {
      if (sha256File(path) != digest) {
        report.failures.push_back({path, "checksum differs from " + std::string(kManifestName)});
        continue;
      }
    } catch (const RunError& e) {
      report.failures.push_back({path, e.message()});
      continue;
    }
    report.matched.insert(path);
  }
}

namespace {

// How many trailing folder names two folders share.
std::size_t commonTail(const fs::path& a, const fs::path& b) {
  std::vector<fs::path> x(a.begin(), a.end()), y(b.begin(), b.end());
  std::size_t n = 0;
  while (n < x.size() && n < y.size() && x[x.size() - 1 - n] == y[y.size() - 1 - n] && !x[x.size() - 1 - n].empty()) ++n;
  return n;
}

// The places of one output name: those whose parent folder ends most like
// the bank's folder.
struct Places {
  std::vector<fs::path> paths;
  std::size_t score = 0;
  // `p` as found below the folder given, `where` its absolute form.
  void offer(const fs::path& p, const fs::path& where, const fs::path& bankFolder) {
    const std::size_t s = commonTail(where.parent_path(), bankFolder);
    const fs::path q = p.lexically_normal();
    if (std::find(paths.begin(), paths.end(), q) != paths.end()) return;
    if (paths.empty() || s > score) {
      paths.assign(1, q);
      score = s;
    } else if (s == score) {
      paths.push_back(q);
    }
  }
};

void checkWavFolder(const fs::path& folder, const std::vector<WavName>& files, const SampleBank& bank,
                    TreeReport& report, const ZoneArticulation* faithful) {
  for (const WavName& f : files) {
    const std::string path = (folder / f.name).string();
    if (!fileExists(path)) {
      report.failures.push_back({path, "missing"});
      continue;
    }
    std::string what = checkWav(path, bank, f.stereo, f.left, f.right, faithful);
    if (what.empty()) report.matched.insert(path);
    else report.failures.push_back({path, what});
  }
}

}  // namespace

void checkBankOutputs(const std::string& dir, const std::string& bankPath, TreeReport& report,
                      const std::vector<std::string>& listed, bool faithful) {
  checkBankOutputs(dir, fileSystemBanks().bankAt(bankPath), report, listed, faithful);
}

void checkBankOutputs(const std::string& dir, const BankRef& ref, TreeReport& report,
                      const std::vector<std::string>& listed, bool faithful) {
  const std::string& bankPath = ref.path();
  SampleBank bank;
  ZoneArticulation zones;
  try {
    loadBank(ref, bank, {&zones, true});
  } catch (const RunError& e) {
    report.failures.push_back({bankPath, e.message()});
    return;
  }
  const BankOutputNames names = bankOutputNames(bank);
  std::error_code ec;
  const fs::path bankFolder = fs::absolute(fs::path(bankPath), ec).lexically_normal().parent_path();

  // Each format's output of the bank: a folder of its own, or its file.
  struct Found {
    const OutputFormat* format;
    std::string name;
    bool folder;
    Places places;
  };
  std::vector<Found> found;
  for (const OutputFormat& f : outputFormats()) {
    found.push_back({&f, bankOutputName(f, bankPath), !f.bankFolderPrefix.empty(), {}});
  }
  for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const fs::path place = fs::absolute(it->path(), ec).lexically_normal();
    std::error_code typeError;
    const bool isFolder = it->is_directory(typeError) && !it->is_symlink(typeError);
    const bool isFile = !isFolder && it->is_regular_file(typeError);
    for (Found& f : found) {
      if (name == f.name && (f.folder ? isFolder : isFile)) f.places.offer(it->path(), place, bankFolder);
    }
  }
  if (ec) report.failures.push_back({dir, "cannot be read: " + ec.message()});
  for (const std::string& rel : listed) {
    const fs::path p = fs::path(dir) / rel;
    const fs::path where = fs::absolute(p, ec).lexically_normal();
    for (Found& f : found) {
      if (!f.folder && p.filename() == f.name) {
        f.places.offer(p, where, bankFolder);
        break;
      }
      // A file in the format's folder, or in its samples folder.
      fs::path folder = p.parent_path(), folderWhere = where.parent_path();
      if (folder.filename() != f.name && !f.format->instrumentExtension.empty()) {
        folder = folder.parent_path();
        folderWhere = folderWhere.parent_path();
      }
      if (f.folder && folder.filename() == f.name) {
        f.places.offer(folder, folderWhere, bankFolder);
        break;
      }
    }
  }

  bool any = false;
  for (const Found& f : found) {
    for (const fs::path& p : f.places.paths) {
      any = true;
      const FormatId kind = f.format->id;
      if (kind == FormatId::Mono || kind == FormatId::Stereo) {
        checkWavFolder(p, kind == FormatId::Mono ? names.mono : names.stereo, bank, report,
                       faithful ? &zones : nullptr);
        continue;
      }
      // A SoundFont, or an instrument's file in its folder, which checks
      // the sample file of every zone that plays.
      const std::string file = f.folder ? (p / instrumentFileName(*f.format, bankPath)).string() : p.string();
      std::vector<std::string> samples;
      OutputFileEvent event;
      event.path = file;
      event.kind = kind;
      event.bank = &bank;
      event.zones = &zones;
      event.faithful = faithful;
      const std::string what = fileExists(file) ? checkOutput(event, {}, &samples) : "missing";
      if (what.empty()) {
        report.matched.insert(file);
        report.matched.insert(samples.begin(), samples.end());
      } else {
        report.failures.push_back({file, what});
      }
    }
  }
  if (!any) report.failures.push_back({bankPath, "no output of this bank below " + dir});
}

}  // namespace vantrel::verify
