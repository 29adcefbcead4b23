// SPDX-License-Identifier: MIT
#include "verify/listeners.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
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

namespace {

RunError verificationFailed(const std::string& path, const std::string& what) {
  return RunError(kVerificationFailed, path, path + ": " + what);
}

// Checks a written file in the background and removes it when it differs,
// as a failed write is removed; returns what differs (empty: it matches).
// A check that cannot be made counts as a difference.
std::string checkOrRemove(const OutputFileEvent& event) {
  std::string what;
  try {
    what = checkOutput(event);
  } catch (const std::exception& e) {
    what = e.what();
  }
  if (!what.empty()) removeFileQuietly(event.path);
  return what;
}

// Banks with at least this much sample data have their files checked in
// the background; for a few small files the threads' hand-over costs more
// than the overlap saves.
constexpr std::uint64_t kBackgroundBytes = 4u << 20;

}  // namespace

VerifyingListener::~VerifyingListener() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (auto& t : threads_) t.join();
}

void VerifyingListener::outputFile(const OutputFileEvent& event) {
  if (event.outcome == OutputOutcome::Written && event.kind == OutputKind::Sfz) {
    // An instrument stays only if all its samples passed: the checks still
    // running finish first, and a bad sample takes the instrument with it.
    std::unique_lock<std::mutex> lock(mutex_);
    drain(lock);
    if (failure_) {
      removeFileQuietly(event.path);
      throw std::exchange(failure_, std::nullopt)->second;
    }
  }
  if (event.outcome == OutputOutcome::Written) {
    if (event.kind != OutputKind::Sfz && event.bank && event.bank->pcm.size >= kBackgroundBytes) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (threads_.empty()) {
        const unsigned n = std::min(2u, std::max(1u, std::thread::hardware_concurrency()));
        try {
          for (unsigned k = 0; k < n; ++k) threads_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
          // Fewer threads; with none, bankFilesDone checks the files.
        }
      }
      queue_.emplace_back(queued_++, event);
      wake_.notify_one();
    } else {
      const std::string what = checkOutput(event);
      if (!what.empty()) {
        removeFileQuietly(event.path);
        throw verificationFailed(event.path, what);
      }
      ++verified_;
    }
  }
  next_.outputFile(event);
}

void VerifyingListener::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;
    auto [order, event] = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lock.unlock();
    const std::string what = checkOrRemove(event);
    lock.lock();
    --running_;
    checked(order, event.path, what);
    if (queue_.empty() && running_ == 0) idle_.notify_all();
  }
}

void VerifyingListener::bankFilesDone(bool failing) {
  std::unique_lock<std::mutex> lock(mutex_);
  drain(lock);
  std::optional<std::pair<std::size_t, RunError>> failure = std::exchange(failure_, std::nullopt);
  if (failure && !failing) throw failure->second;
  next_.bankFilesDone(failing);
}

void VerifyingListener::drain(std::unique_lock<std::mutex>& lock) {
  if (threads_.empty()) {
    // No thread could be started: check what is queued here.
    while (!queue_.empty()) {
      auto [order, event] = std::move(queue_.front());
      queue_.pop_front();
      checked(order, event.path, checkOrRemove(event));
    }
  }
  idle_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

void VerifyingListener::checked(std::size_t order, const std::string& path, const std::string& what) {
  if (what.empty()) {
    ++verified_;
  } else if (!failure_ || order < failure_->first) {
    failure_.emplace(order, verificationFailed(path, what));
  }
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
