// SPDX-License-Identifier: MIT
#pragma once
// Listeners that sit between a job and its front end: each passes every
// call on to the next listener and adds one thing to the output files the
// job reports. The command line chains them as job -> verifying ->
// manifest -> console, so a file that fails its check is removed before
// the manifest could list it.

#include <cstddef>
#include <string>
#include <vector>

#include "jobs/listener.h"

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
// file that differs is removed, as a failed write is, and the job ends
// with RunError(kVerificationFailed): "Verification failed: PATH: WHAT".
// Files found already there are passed on unread.
class VerifyingListener : public ForwardingListener {
 public:
  using ForwardingListener::ForwardingListener;
  void outputFile(const OutputFileEvent& event) override;
  std::size_t verified() const noexcept { return verified_; }

 private:
  std::size_t verified_ = 0;
};

// Notes every file the job writes or finds already there below `root`, to
// list them in root/SHA256SUMS when the run ends.
class ManifestListener : public ForwardingListener {
 public:
  ManifestListener(JobListener& next, std::string root);
  void outputFile(const OutputFileEvent& event) override;
  // Hashes the noted files that still exist and writes the manifest: their
  // lines replace those of the same paths, other lines stay. Returns the
  // number of files hashed.
  std::size_t write() const;

 private:
  std::string root_;
  std::vector<std::string> paths_;  // relative to root_
};

}  // namespace vantrel::verify
