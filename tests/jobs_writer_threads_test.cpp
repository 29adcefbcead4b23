// SPDX-License-Identifier: MIT
// The threads a run keeps for writing files: how many take a work, and
// that none runs it once it is finished.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "jobs/writer_threads.h"

using namespace vantrel;

TEST(JobsWriterThreads, AWorkRunsOnAtMostTheThreadsAskedForAndNotAfterFinish) {
  WriterThreads threads;
  std::set<std::thread::id> all;  // every thread that ran a work, over the batches
  for (const unsigned asked : {2u, 1u, 3u, 0u}) {
    SCOPED_TRACE(asked);
    std::atomic<unsigned> inside{0}, most{0}, runs{0};
    std::mutex mutex;
    std::set<std::thread::id> ran;
    threads.start(asked, [&] {
      const unsigned now = ++inside;
      for (unsigned m = most; now > m && !most.compare_exchange_weak(m, now);) {
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        ran.insert(std::this_thread::get_id());
        all.insert(std::this_thread::get_id());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ++runs;
      --inside;
    });
    // Every thread asked for takes the work, once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (runs < asked && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    threads.finish();
    EXPECT_EQ(inside, 0u);
    EXPECT_EQ(runs, asked);
    EXPECT_EQ(ran.size(), asked);
    EXPECT_LE(most, asked);
    const unsigned after = runs;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(runs, after);
  }
  // Threads are kept from work to work: no more than the most asked for.
  EXPECT_EQ(all.size(), 3u);
}
