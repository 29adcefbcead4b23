// SPDX-License-Identifier: MIT
#include "verify/listeners.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "platform/errors.h"
#include "platform/file.h"
#include "verify/checks.h"
#include "verify/dls_check.h"
#include "verify/dspreset_check.h"
#include "verify/manifest.h"
#include "verify/sf3_check.h"
#include "verify/multisample_check.h"

namespace vantrel::verify {

std::string checkOutput(const OutputFileEvent& e, const std::map<std::string, std::uint16_t>& verified,
                        std::vector<std::string>* checked) {
  if (!e.bank) return "no bank to compare with";
  switch (e.kind) {
    case FormatId::Mono:
    case FormatId::Stereo: {
      if (e.faithful && !e.zones) return "no zones to compare with";
      const bool stereo = e.kind == FormatId::Stereo;
      return checkWav(e.path, *e.bank, stereo, e.left, stereo ? e.right : e.left, e.faithful ? e.zones : nullptr);
    }
    case FormatId::Sf2:
      if (!e.zones) return "no zones to compare with";
      return checkSoundFont(e.path, *e.bank, *e.zones, e.faithful);
    case FormatId::Sfz:
      if (!e.zones) return "no zones to compare with";
      return checkSfz(e.path, *e.bank, *e.zones, checked, &verified, e.faithful);
    case FormatId::DsPreset:
      if (!e.zones) return "no zones to compare with";
      return checkDsPreset(e.path, *e.bank, *e.zones, checked, &verified, e.faithful);
    case FormatId::Multisample:
      if (!e.zones) return "no zones to compare with";
      return checkMultisample(e.path, *e.bank, *e.zones);
    case FormatId::Dls:
      if (!e.zones) return "no zones to compare with";
      return checkDls(e.path, *e.bank, *e.zones);
    case FormatId::Sf3:
      if (!e.zones) return "no zones to compare with";
      return checkSf3(e.path, *e.bank, *e.zones, e.faithful);
    default:
      // A kind without a check here fails rather than passing unread.
      return "no check for this kind of output";
  }
}

namespace {

RunError verificationFailed(const std::string& path, const std::string& what) {
  return RunError(kVerificationFailed, path, path + ": " + what);
}

}  // namespace

void VerifyingListener::outputFile(const OutputFileEvent& event) {
  if (event.outcome == OutputOutcome::Written) {
    bool checked;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      checked = awaitingName_.erase(event.path) > 0;
    }
    if (!checked) {
      const std::string what = checkOutput(event, passedMono_);
      if (!what.empty()) {
        removeFileQuietly(event.path);
        throw verificationFailed(event.path, what);
      }
    }
    // A file checked before naming counts once it has its name.
    ++verified_;
    if (event.kind == FormatId::Mono) passedMono_[event.path] = event.left;
  } else if (event.outcome == OutputOutcome::Existing) {
    // Found already there and compared byte for byte with what the bank
    // gives before it was skipped.
    ++verified_;
    ++alreadyThere_;
  }
  next_.outputFile(event);
}

void VerifyingListener::checkBeforeNaming(const OutputFileEvent& event, const File& file, const PcmReadCopy* read) {
  if (event.bank && (event.kind == FormatId::Mono || event.kind == FormatId::Stereo)) {
    const bool stereo = event.kind == FormatId::Stereo;
    if (event.faithful && !event.zones) throw verificationFailed(event.path, "no zones to compare with");
    const std::string what = checkWav(file, *event.bank, stereo, event.left, stereo ? event.right : event.left, read,
                                      event.faithful ? event.zones : nullptr);
    if (!what.empty()) throw verificationFailed(event.path, what);
    std::lock_guard<std::mutex> lock(mutex_);
    awaitingName_.insert(event.path);
  }
  next_.checkBeforeNaming(event, file, read);
}

void VerifyingListener::bankFilesDone(bool failing) {
  {
    // A file checked but never named (its job failed first) is forgotten.
    std::lock_guard<std::mutex> lock(mutex_);
    awaitingName_.clear();
  }
  passedMono_.clear();
  next_.bankFilesDone(failing);
}

ManifestListener::ManifestListener(JobListener& next, std::string root)
    : ForwardingListener(next), root_(std::move(root)) {}

ManifestListener::~ManifestListener() = default;

WriteTap* ManifestListener::outputTap(const std::string& path) {
  auto& tap = taps_[path];
  tap = std::make_unique<Sha256Tap>();
  return tap.get();
}

void ManifestListener::outputFile(const OutputFileEvent& event) {
  if (event.outcome == OutputOutcome::Written || event.outcome == OutputOutcome::Existing) {
    namespace fs = std::filesystem;
    const fs::path rel = fs::path(event.path).lexically_normal().lexically_relative(fs::path(root_).lexically_normal());
    if (!rel.empty() && *rel.begin() != "..") {
      const std::string name = rel.generic_string();
      paths_.push_back(name);
      written_.erase(name);
      const auto tap = taps_.find(event.path);
      if (event.outcome == OutputOutcome::Written && tap != taps_.end()) {
        std::string digest = tap->second->hex();
        if (!digest.empty()) written_[name] = std::move(digest);
      }
    }
  }
  taps_.erase(event.path);
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

  // Files hashed while written keep that digest; the others are read, on
  // two threads: on a fast disk or a tmpfs the digest, not the reading,
  // sets the pace.
  std::vector<std::string> digests(paths.size());
  std::vector<std::size_t> unread;
  for (std::size_t k = 0; k < paths.size(); ++k) {
    const auto known = written_.find(paths[k]);
    if (known != written_.end()) digests[k] = known->second;
    else unread.push_back(k);
  }
  std::vector<std::exception_ptr> failures(2);
  auto hashEvery = [&](std::size_t first, std::size_t slot) {
    try {
      for (std::size_t j = first; j < unread.size(); j += 2) {
        digests[unread[j]] = sha256File(joinPath(root_, paths[unread[j]]));
      }
    } catch (...) {
      failures[slot] = std::current_exception();
    }
  };
  if (unread.size() > 1) {
    std::thread second(hashEvery, 1, 1);
    hashEvery(0, 0);
    second.join();
  } else {
    hashEvery(0, 0);
  }
  for (const auto& f : failures) {
    if (f) std::rethrow_exception(f);
  }

  Manifest manifest = readManifest(root_);
  for (std::size_t k = 0; k < paths.size(); ++k) manifest[paths[k]] = digests[k];
  writeManifest(root_, manifest);
  return paths.size();
}

}  // namespace vantrel::verify
