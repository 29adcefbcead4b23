// SPDX-License-Identifier: MIT
#pragma once
// Threads a run keeps for writing files: started when first asked for and
// kept from bank to bank until the run ends, so that the files of every
// bank, however few and small, are written on several cores without
// starting threads for each bank.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vantrel {

class WriterThreads {
 public:
  WriterThreads() = default;
  // Ends the threads; no work may be running.
  ~WriterThreads();
  WriterThreads(const WriterThreads&) = delete;
  WriterThreads& operator=(const WriterThreads&) = delete;

  // Has `work` run on up to `n` of the threads at once (they are started
  // when fewer are there; fewer run it when the system gives no more).
  // One work at a time: the last one must have been finished. `work` must
  // not throw.
  void start(unsigned n, std::function<void()> work);
  // Returns once every thread that took the work has returned from it; no
  // thread takes it afterwards.
  void finish();

 private:
  void loop();

  std::mutex mutex_;
  std::condition_variable wake_;  // work to take, or the end
  std::condition_variable idle_;  // a thread has returned from the work
  std::function<void()> work_;    // guarded by mutex_
  unsigned wanted_ = 0;           // guarded by mutex_: threads still to take the work
  unsigned running_ = 0;          // guarded by mutex_: threads running it
  bool ending_ = false;           // guarded by mutex_
  std::vector<std::thread> threads_;
};

}  // namespace vantrel
