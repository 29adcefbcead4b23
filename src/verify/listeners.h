// SPDX-License-Identifier: MIT
#pragma once
// Listeners that sit between a job and its front end: each passes every
// call on to the next listener and adds one thing to the output files the
// job reports. The command line chains them as job -> verifying ->
// manifest -> console, so a file that fails its check is removed before
// the manifest could list it.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "jobs/listener.h"
#include "verify/manifest.h"

namespace vantrel::verify {

// Passes every call on to `next`.
class ForwardingListener : public JobListener {
 public:
  explicit ForwardingListener(JobListener& next) : next_(next) {}

  void status(std::string_view text) override { next_.status(text); }
  void logClear() override { next_.logClear(); }
  void logLine(std::string_view text) override { next_.logLine(text); }
  void gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max, std::int64_t progress) override {
    next_.gaugeChanged(id, min, max, progress);
  }
  void buttonChanged(ButtonId id, bool on) override { next_.buttonChanged(id, on); }
  void sampleListSet(const std::vector<std::string>& names) override { next_.sampleListSet(names); }
  void sampleListVisible(bool visible) override { next_.sampleListVisible(visible); }
  void sampleListSelect(int index, bool selected) override { next_.sampleListSelect(index, selected); }
  void busy(bool on) override { next_.busy(on); }
  void destinationChanged() override { next_.destinationChanged(); }
  void outputFile(const OutputFileEvent& event) override { next_.outputFile(event); }
  WriteTap* outputTap(const std::string& path) override { return next_.outputTap(path); }
  void bankFilesDone(bool failing) override { next_.bankFilesDone(failing); }
  bool cancelled() const override { return next_.cancelled(); }
  bool bankFailed(const std::string& bankPath, const RunError& error) override {
    return next_.bankFailed(bankPath, error);
  }

 protected:
  JobListener& next_;
};

// What an output file read back from the disk differs in from its bank
// (see checks.h), by the file's kind; empty when it matches.
std::string checkOutput(const OutputFileEvent& event);

// Reads back every file the job writes and compares it with the bank. A
// file that differs is removed, as a failed write is, and the bank fails
// with RunError(kVerificationFailed): "Verification failed: PATH: WHAT".
// Files found already there are passed on unread.
//
// The files of a large bank are checked on two threads of the listener's
// own while the job writes the next ones; the bank fails, with its first
// bad file in the job's order, when the job is done with its files
// (bankFilesDone). A small bank's files are checked as they are reported.
class VerifyingListener : public ForwardingListener {
 public:
  using ForwardingListener::ForwardingListener;
  // Waits for the checks still running.
  ~VerifyingListener() override;
  void outputFile(const OutputFileEvent& event) override;
  void bankFilesDone(bool failing) override;
  std::size_t verified() const noexcept { return verified_.load(); }

 private:
  void work();
  // Returns when every queued check is done; checks them here when no
  // thread could be started.
  void drain(std::unique_lock<std::mutex>& lock);
  // Notes the outcome of the queued check `order` (what differs, or
  // empty); called with mutex_ held.
  void checked(std::size_t order, const std::string& path, const std::string& what);

  std::atomic<std::size_t> verified_{0};
  std::mutex mutex_;
  std::condition_variable wake_;  // a check queued, or the listener ending
  std::condition_variable idle_;  // every queued check done
  std::deque<std::pair<std::size_t, OutputFileEvent>> queue_;  // guarded by mutex_, with its order
  std::size_t queued_ = 0;                                      // guarded by mutex_
  std::size_t running_ = 0;                                     // guarded by mutex_
  bool stop_ = false;                                           // guarded by mutex_
  std::optional<std::pair<std::size_t, RunError>> failure_;    // guarded by mutex_: the first in order
  std::vector<std::thread> threads_;
};

// Notes every file the job writes or finds already there below `root`, to
// list them in root/SHA256SUMS when the run ends. A file the job writes is
// hashed as its bytes are written; one found already there is read.
class ManifestListener : public ForwardingListener {
 public:
  ManifestListener(JobListener& next, std::string root);
  ~ManifestListener() override;
  void outputFile(const OutputFileEvent& event) override;
  WriteTap* outputTap(const std::string& path) override;
  // Writes the manifest for the noted files that still exist, hashing
  // those not hashed while written: their lines replace those of the same
  // paths, other lines stay. Returns the number of files listed.
  std::size_t write() const;

 private:
  std::string root_;
  std::vector<std::string> paths_;  // relative to root_
  std::map<std::string, std::unique_ptr<Sha256Tap>> taps_;  // by the path the job writes
  std::map<std::string, std::string> written_;  // relative path -> digest made while writing
};

}  // namespace vantrel::verify
