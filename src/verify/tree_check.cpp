// SPDX-License-Identifier: MIT
#include "verify/tree_check.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "platform/errors.h"
#include "platform/file.h"
#include "tti/tti_reader.h"
#include "verify/checks.h"
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
                    TreeReport& report) {
  for (const WavName& f : files) {
    const std::string path = (folder / f.name).string();
    if (!fileExists(path)) {
      report.failures.push_back({path, "missing"});
      continue;
    }
    std::string what = checkWav(path, bank, f.stereo, f.left, f.right);
    if (what.empty()) report.matched.insert(path);
    else report.failures.push_back({path, what});
  }
}

}  // namespace

void checkBankOutputs(const std::string& dir, const std::string& bankPath, TreeReport& report,
                      const std::vector<std::string>& listed) {
  SampleBank bank;
  ZoneArticulation zones;
  try {
    loadBank(bankPath, bank, {&zones, true});
  } catch (const RunError& e) {
    report.failures.push_back({bankPath, e.message()});
    return;
  }
  const BankOutputNames names = bankOutputNames(bank);
  std::error_code ec;
  const fs::path bankFolder = fs::absolute(fs::path(bankPath), ec).lexically_normal().parent_path();

  Places mono, stereo, soundFont, sfz;
  for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const fs::path place = fs::absolute(it->path(), ec).lexically_normal();
    std::error_code typeError;
    const bool isFolder = it->is_directory(typeError) && !it->is_symlink(typeError);
    if (isFolder && name == names.monoFolder) mono.offer(it->path(), place, bankFolder);
    else if (isFolder && name == names.stereoFolder) stereo.offer(it->path(), place, bankFolder);
    else if (isFolder && name == names.sfzFolder) sfz.offer(it->path(), place, bankFolder);
    else if (!isFolder && name == names.soundFont && it->is_regular_file(typeError)) {
      soundFont.offer(it->path(), place, bankFolder);
    }
  }
  if (ec) report.failures.push_back({dir, "cannot be read: " + ec.message()});
  for (const std::string& rel : listed) {
    const fs::path p = fs::path(dir) / rel;
    const fs::path where = fs::absolute(p, ec).lexically_normal();
    const std::string folder = p.parent_path().filename().string();
    if (p.filename() == names.soundFont) soundFont.offer(p, where, bankFolder);
    else if (folder == names.monoFolder) mono.offer(p.parent_path(), where.parent_path(), bankFolder);
    else if (folder == names.stereoFolder) stereo.offer(p.parent_path(), where.parent_path(), bankFolder);
    else if (folder == names.sfzFolder) sfz.offer(p.parent_path(), where.parent_path(), bankFolder);
  }

  for (const fs::path& p : mono.paths) checkWavFolder(p, names.mono, bank, report);
  for (const fs::path& p : stereo.paths) checkWavFolder(p, names.stereo, bank, report);
  for (const fs::path& p : soundFont.paths) {
    std::string what = fileExists(p.string()) ? checkSoundFont(p.string(), bank, zones) : "missing";
    if (what.empty()) report.matched.insert(p.string());
    else report.failures.push_back({p.string(), what});
  }
  // An SFZ folder: its .sfz file, which checks the sample file of every
  // region that plays.
  for (const fs::path& p : sfz.paths) {
    const std::string file = (p / names.sfz).string();
    std::vector<std::string> samples;
    std::string what = fileExists(file) ? checkSfz(file, bank, zones, &samples) : "missing";
    if (what.empty()) {
      report.matched.insert(file);
      report.matched.insert(samples.begin(), samples.end());
    }
    else report.failures.push_back({file, what});
  }
  if (mono.paths.empty() && stereo.paths.empty() && soundFont.paths.empty() && sfz.paths.empty()) {
    report.failures.push_back({bankPath, "no output of this bank below " + dir});
  }
}

}  // namespace vantrel::verify
