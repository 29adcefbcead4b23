// SPDX-License-Identifier: MIT
#include "jobs/writer_threads.h"

#include <utility>

namespace vantrel {

WriterThreads::~WriterThreads() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void WriterThreads::start(unsigned n, std::function<void()> work) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (threads_.size() < n) {
    try {
      threads_.emplace_back([this] { loop(); });
    } catch (...) {
      break;  // fewer threads than asked for: they take the work
    }
  }
  work_ = std::move(work);
  wanted_ = n < threads_.size() ? n : static_cast<unsigned>(threads_.size());
  lock.unlock();
  wake_.notify_all();
}

void WriterThreads::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  wanted_ = 0;
  idle_.wait(lock, [this] { return running_ == 0; });
  work_ = nullptr;
}

void WriterThreads::loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return ending_ || wanted_ > 0; });
    if (ending_) return;
    --wanted_;
    ++running_;
    lock.unlock();
    work_();  // stays set until finish() has seen running_ reach 0
    lock.lock();
    if (--running_ == 0) idle_.notify_all();
  }
}

}  // namespace vantrel
