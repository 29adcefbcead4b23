// SPDX-License-Identifier: MIT
#include "jobs/wav_file_writers.h"

#include <algorithm>
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

WavFileWriters::WavFileWriters(const SampleBank& bank, std::vector<WavFileTask> files, unsigned threads,
                               Progress progress, std::vector<std::uint8_t>& buffer, Check check)
    : bank_(bank),
      files_(std::move(files)),
      progress_(std::move(progress)),
      check_(std::move(check)),
      slots_(files_.size()),
      ownBuffer_(buffer) {
  try {
    for (unsigned t = 0; t < threads; ++t) threads_.emplace_back([this] { work(); });
  } catch (...) {
    // Fewer threads than asked for: the job's thread writes what they do not.
  }
}

WavFileWriters::~WavFileWriters() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (auto& t : threads_) t.join();
}

unsigned WavFileWriters::threadsFor(std::size_t files, std::uint64_t bytes) {
  // One file gains nothing from another thread, and for a few small files
  // starting threads costs more than they save (a folder run of small
  // banks starts them once per bank).
  constexpr std::uint64_t kMinBytes = 4u << 20;
  if (files < 2 || bytes < kMinBytes) return 0;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::min<std::size_t>({cores, 4, files}));
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
    file->avoidNames(files_[k].avoid);
    if (check_) check_(k, file->readable(), read);
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

void WavFileWriters::work() {
  std::vector<std::uint8_t> buffer;
  PcmReadCopy read(kReadCopyBytes);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_ && next_ < files_.size()) write(next_++, buffer, check_ ? &read : nullptr, lock);
}

void WavFileWriters::makeDurableFrom(std::size_t k, std::unique_lock<std::mutex>& lock) {
  std::vector<std::size_t> batch{k};
  // Nothing is flushed in memory: each file is named as soon as it is written.
  const bool flushes = slots_[k].file->folder().storage() != OpenFolder::Storage::Memory;
  const auto bytesOf = [this](std::size_t j) {
    const WavSource& s = files_[j].source;
    return std::uint64_t{bank_.pcmLength[s.left]} * (s.stereo ? 2 : 1);
  };
  std::uint64_t bytes = bytesOf(k);
  for (std::size_t j = k + 1;
       flushes && j < files_.size() && batch.size() < kDurableBatch && bytes < kDurableBatchBytes; ++j) {
    bytes += bytesOf(j);
    while (slots_[j].state == State::Waiting || slots_[j].state == State::Running) {
      if (slots_[j].state == State::Waiting && next_ == j) write(next_++, ownBuffer_, nullptr, lock);
      else changed_.wait(lock);
    }
    if (slots_[j].state != State::Written || slots_[j].durable) break;
    batch.push_back(j);
  }
  std::vector<File*> files;
  for (std::size_t j : batch) files.push_back(&slots_[j].file->file());
  const OpenFolder& folder = slots_[k].file->folder();
  // The batch's slots are the job thread's now: no writer touches them.
  lock.unlock();
  try {
    makeDurable(folder, files.data(), files.size());
  } catch (...) {
    lock.lock();
    stop_ = true;
    throw;
  }
  lock.lock();
  for (std::size_t j : batch) {
    slots_[j].durable = true;
    slots_[j].file->markDurable();
  }
}

bool WavFileWriters::settle(std::size_t k, bool& headerWritten, std::string* given) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (slots_[k].state == State::Waiting || slots_[k].state == State::Running) {
    if (slots_[k].state == State::Waiting && next_ == k) {
      write(next_++, ownBuffer_, nullptr, lock);  // no thread has taken it yet
    } else {
      changed_.wait(lock);
    }
  }
  Slot& slot = slots_[k];
  if (slot.state == State::Failed && !threads_.empty() && isDiskFull(slot.failure)) {
    // Later files written meanwhile may have taken the space this one
    // needed. Stop the threads, give back what those files hold and write
    // this file again, and the rest one after the other: a full disk then
    // ends the job at the file where writing in order would.
    stop_ = true;
    lock.unlock();
    for (auto& t : threads_) t.join();
    threads_.clear();
    lock.lock();
    for (std::size_t j = k; j < files_.size(); ++j) slots_[j] = Slot();
    next_ = k;
    write(next_++, ownBuffer_, nullptr, lock);
  }
  headerWritten = slot.headerWritten;
  if (slot.state == State::Failed) {
    // Later files stop here; the destructor removes what they wrote.
    stop_ = true;
    std::rethrow_exception(slot.failure);
  }
  if (!slot.durable) makeDurableFrom(k, lock);
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
  if (given) *given = file->finalPath();
  lock.lock();
  return named;
}

}  // namespace vantrel
