// SPDX-License-Identifier: MIT
#include "jobs/wav_file_writers.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/errors.h"

namespace vantrel {
namespace {

bool isDiskFull(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const RunError& e) {
    return e.code() == kDiskFull;
  } catch (...) {
    return false;
  }
}

}  // namespace

WavFileWriters::WavFileWriters(const SampleBank& bank, std::vector<WavFileTask> files, WriterThreads& pool,
                               unsigned threads, Progress progress, std::vector<std::uint8_t>& buffer, Check check)
    : bank_(bank),
      files_(std::move(files)),
      progress_(std::move(progress)),
      check_(std::move(check)),
      slots_(files_.size()),
      ownBuffer_(buffer),
      pool_(pool) {
  if (threads > 0) {
    pool_.start(threads, [this] { work(); });
    threads_ = true;
  }
}

WavFileWriters::~WavFileWriters() {
  std::unique_lock<std::mutex> lock(mutex_);
  stopThreads(lock);
}

void WavFileWriters::stopThreads(std::unique_lock<std::mutex>& lock) {
  stop_ = true;
  if (!threads_) return;
  threads_ = false;
  lock.unlock();
  pool_.finish();
  lock.lock();
}

unsigned WavFileWriters::threadsFor(std::size_t files) {
  // The job's thread writes files too, so one core is its. The threads are
  // the run's, started once: even the few small files of a small bank are
  // written two at a time.
  static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  if (files < 2) return 0;
  return static_cast<unsigned>(std::min<std::size_t>({cores - 1, 3, files - 1}));
}

void WavFileWriters::write(std::size_t k, std::vector<std::uint8_t>& buffer, PcmReadCopy* read,
                           std::unique_lock<std::mutex>& lock) {
  slots_[k].state = State::Running;
  lock.unlock();
  if (read) read->clear();
  // Each attempt at the file is seen from its first byte: a file written
  // again after a full disk is not hashed with the failed attempt's bytes.
  if (files_[k].tap) files_[k].tap->restart();
  bool headerWritten = false;
  std::exception_ptr failure;
  std::unique_ptr<OutputFile> file;
  try {
    file = std::make_unique<OutputFile>(
        writeWavUnnamed(bank_, files_[k].source, files_[k].finalPath, buffer, progress_, headerWritten,
                        files_[k].tap, files_[k].folder, read, files_[k].replace));
    if (check_) check_(k, file->file(), read);
  } catch (...) {
    failure = std::current_exception();
    file.reset();  // drops a file that failed its check
  }
  lock.lock();
  slots_[k].file = std::move(file);
  slots_[k].headerWritten = headerWritten;
  slots_[k].failure = failure;
  slots_[k].state = failure ? State::Failed : State::Written;
  changed_.notify_all();
}

PcmReadCopy* WavFileWriters::readCopy() const {
  if (!check_) return nullptr;
  // Each thread's own, kept from bank to bank.
  thread_local PcmReadCopy copy(kReadCopyBytes);
  return &copy;
}

void WavFileWriters::work() {
  thread_local std::vector<std::uint8_t> buffer;  // kept from bank to bank
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_ && next_ < files_.size()) write(next_++, buffer, readCopy(), lock);
}

bool WavFileWriters::settle(std::size_t k, bool& headerWritten) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (slots_[k].state == State::Waiting || slots_[k].state == State::Running) {
    if (slots_[k].state == State::Waiting && next_ == k) {
      write(next_++, ownBuffer_, readCopy(), lock);  // no thread has taken it yet
    } else if (!stop_ && next_ < files_.size()) {
      // A writer thread has file k: a later file is written meanwhile
      // rather than waited through.
      write(next_++, ownBuffer_, readCopy(), lock);
    } else {
      changed_.wait(lock);
    }
  }
  Slot& slot = slots_[k];
  if (slot.state == State::Failed && threads_ && isDiskFull(slot.failure)) {
    // Later files written meanwhile may have taken the space this one
    // needed. Stop the threads, give back what those files hold and write
    // this file again, and the rest one after the other: a full disk then
    // ends the job at the file where writing in order would.
    stopThreads(lock);
    for (std::size_t j = k; j < files_.size(); ++j) slots_[j] = Slot();
    next_ = k;
    write(next_++, ownBuffer_, readCopy(), lock);
  }
  headerWritten = slot.headerWritten;
  if (slot.state == State::Failed) {
    // Later files stop here; the destructor removes what they wrote.
    stop_ = true;
    std::rethrow_exception(slot.failure);
  }
  std::unique_ptr<OutputFile> file = std::move(slot.file);
  slot.state = State::Settled;
  lock.unlock();
  bool named;
  try {
    named = file->commit();
  } catch (...) {
    lock.lock();
    stop_ = true;
    throw;
  }
  lock.lock();
  return named;
}

}  // namespace vantrel
