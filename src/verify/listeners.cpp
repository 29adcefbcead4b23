// SPDX-License-Identifier: MIT
#include "verify/listeners.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "platform/errors.h"
#include "platform/file.h"
#include "verify/checks.h"
#include "verify/manifest.h"

namespace vantrel::verify {

std::string checkOutput(const OutputFileEvent& e) {
  if (!e.bank) return "no bank to compare with";
  switch (e.kind) {
    case OutputKind::MonoWav: return checkWav(e.path, *e.bank, false, e.left, e.left);
    case OutputKind::StereoWav: return checkWav(e.path, *e.bank, true, e.left, e.right);
    case OutputKind::SoundFont:
      if (!e.zones) return "no zones to compare with";
      return checkSoundFont(e.path, *e.bank, *e.zones);
    case OutputKind::Sfz:
      if (!e.zones) return "no zones to compare with";
      return checkSfz(e.path, *e.bank, *e.zones);
    default:
      // A kind without a check here fails rather than passing unread.
      return "no check for this kind of output";
  }
}

void VerifyingListener::outputFile(const OutputFileEvent& event) {
  if (event.outcome == OutputOutcome::Written) {
    const std::string what = checkOutput(event);
    if (!what.empty()) {
      removeFileQuietly(event.path);
      throw RunError(kVerificationFailed, event.path, event.path + ": " + what);
    }
    ++verified_;
  }
  next_.outputFile(event);
}

ManifestListener::ManifestListener(JobListener& next, std::string root)
    : ForwardingListener(next), root_(std::move(root)) {}

void ManifestListener::outputFile(const OutputFileEvent& event) {
  if (event.outcome == OutputOutcome::Written || event.outcome == OutputOutcome::Existing) {
    namespace fs = std::filesystem;
    const fs::path rel = fs::path(event.path).lexically_normal().lexically_relative(fs::path(root_).lexically_normal());
    if (!rel.empty() && *rel.begin() != "..") paths_.push_back(rel.generic_string());
  }
  next_.outputFile(event);
}

std::size_t ManifestListener::write() const {
  std::vector<std::string> paths;
  for (const std::string& p : paths_) {
    if (fileExists(joinPath(root_, p))) paths.push_back(p);
  }
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  // A run that left no file adds nothing; it makes no empty manifest.
  if (paths.empty()) return 0;

  // Two hashing threads: on a fast disk or a tmpfs the digest, not the
  // reading, sets the pace.
  std::vector<std::string> digests(paths.size());
  std::vector<std::exception_ptr> failures(2);
  auto hashEvery = [&](std::size_t first, std::size_t slot) {
    try {
      for (std::size_t k = first; k < paths.size(); k += 2) digests[k] = sha256File(joinPath(root_, paths[k]));
    } catch (...) {
      failures[slot] = std::current_exception();
    }
  };
  std::thread second(hashEvery, 1, 1);
  hashEvery(0, 0);
  second.join();
  for (const auto& f : failures) {
    if (f) std::rethrow_exception(f);
  }

  Manifest manifest = readManifest(root_);
  for (std::size_t k = 0; k < paths.size(); ++k) manifest[paths[k]] = digests[k];
  writeManifest(root_, manifest);
  return paths.size();
}

}  // namespace vantrel::verify
