// SPDX-License-Identifier: MIT
#pragma once
// Listeners that sit between a job and its front end: each passes every
// call on to the next listener and adds one thing to the output files the
// job reports. The command line chains them as job -> verifying ->
// manifest -> console, so a file that fails its check is removed before
// the manifest could list it.

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
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
  bool showsSampleList() const override { return next_.showsSampleList(); }
  void sampleListVisible(bool visible) override { next_.sampleListVisible(visible); }
  void sampleListSelect(int index, bool selected) override { next_.sampleListSelect(index, selected); }
  void busy(bool on) override { next_.busy(on); }
  void destinationChanged() override { next_.destinationChanged(); }
  void outputFile(const OutputFileEvent& event) override { next_.outputFile(event); }
  WriteTap* outputTap(const std::string& path) override { return next_.outputTap(path); }
  bool tapsOutput() const override { return next_.tapsOutput(); }
  bool checksBeforeNaming() const override { return next_.checksBeforeNaming(); }
  void checkBeforeNaming(const OutputFileEvent& event, const File& file, const PcmReadCopy* read) override {
    next_.checkBeforeNaming(event, file, read);
  }
  void bankFilesDone(bool failing) override { next_.bankFilesDone(failing); }
  bool cancelled() const override { return next_.cancelled(); }
  bool bankFailed(const std::string& bankPath, const RunError& error) override {
    return next_.bankFailed(bankPath, error);
  }
  void bankStarted(const std::string& bankPath) override { next_.bankStarted(bankPath); }
  void bankFinished(const std::string& bankPath, const RunError* error) override {
    next_.bankFinished(bankPath, error);
  }
  void warning(std::string_view text) override { next_.warning(text); }
  void walkFailed(const RunError& error) override { next_.walkFailed(error); }

 protected:
  JobListener& next_;
};

// What an output file read back from the disk differs in from its bank
// (see checks.h), by the file's kind: the one place that knows each kind's
// check. Empty when it matches. An instrument's sample files that
// `verified` names with their zone's sample (mono WAV files checked
// already) are only looked for; `checked`, when given, receives the paths
// of the sample files an instrument's check read.
std::string checkOutput(const OutputFileEvent& event, const std::map<std::string, std::uint16_t>& verified = {},
                        std::vector<std::string>* checked = nullptr);

// Reads back every file the job writes and compares it with the bank. A
// file that differs is removed, as a failed write is, and the bank fails
// with RunError(kVerificationFailed): "Verification failed: PATH: WHAT".
// Files found already there were compared with what the bank gives before
// they were skipped: they count as verified.
//
// The WAV files of a whole bank are checked before they are named, on the
// threads that wrote them, while their bytes and the bank's are still in
// the caches, and compared with the sample bytes as they were read from the
// bank for them (the job keeps a copy when checksBeforeNaming() says so);
// a file that differs then never gets its name. Other files
// are checked as they are reported. An SFZ instrument's samples, checked
// as they were written, are only looked for when the instrument is.
class VerifyingListener : public ForwardingListener {
 public:
  using ForwardingListener::ForwardingListener;
  void outputFile(const OutputFileEvent& event) override;
  void checkBeforeNaming(const OutputFileEvent& event, const File& file, const PcmReadCopy* read) override;
  bool checksBeforeNaming() const override { return true; }
  void bankFilesDone(bool failing) override;
  // Files verified, and of them those found already there (compared with
  // what the bank gives before they were skipped).
  std::size_t verified() const noexcept { return verified_; }
  std::size_t alreadyThere() const noexcept { return alreadyThere_; }

 private:
  std::size_t verified_ = 0;  // the job's thread only
  std::size_t alreadyThere_ = 0;
  std::mutex mutex_;
  std::set<std::string> awaitingName_;  // guarded by mutex_: checked before naming, not yet reported
  std::map<std::string, std::uint16_t> passedMono_;  // the job's thread only: this bank's mono files that passed, with their samples
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
  bool tapsOutput() const override { return true; }
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
