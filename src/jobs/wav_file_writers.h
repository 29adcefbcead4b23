// SPDX-License-Identifier: MIT
#pragma once
// Writes the files of a whole-bank WAV job on several threads, while the
// job's own thread gives each file its final name, steps the gauge and logs
// its line in the order the job planned the files. The job reports exactly
// what writing the files one after the other would: the same lines and
// gauge steps in the same order and, on a failure, the first failing
// file's error with no later file under its final name.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tti/sample_bank.h"
#include "writers/wav_writer.h"

namespace vantrel {

// One WAV file of a whole-bank job.
struct WavFileTask {
  std::string finalPath;
  WavSource source;
  WriteTap* tap = nullptr;                // the listener's, for this file
  const OpenFolder* folder = nullptr;     // the folder of finalPath, held open
  bool replace = false;                   // a file of its name is replaced (--overwrite)
  // The names of the job's files (OutputFile::avoidNames), shared by all
  // its tasks; null: none to avoid.
  std::set<std::string>* avoid = nullptr;
};

class WavFileWriters {
 public:
  // Called with a file's index and the file, open for reading, once all
  // its bytes are written and before it is given its name, on the thread
  // that wrote it, with the sample bytes read for it when the writers keep
  // them (else null); a throw fails the file.
  using Check = std::function<void(std::size_t k, const File& file, const PcmReadCopy* read)>;
  // Sample bytes kept per file for the check by each writer thread (the
  // job's thread keeps none: it writes the files of small banks, where
  // keeping them saves little): the rest of a larger file is compared with
  // the bank's area read again.
  static constexpr std::size_t kReadCopyBytes = 4u << 20;
  // Files whose data one flush makes durable before they are named, at
  // most: the next ones written wait, open and unnamed, for the flush.
  static constexpr std::size_t kDurableBatch = 64;
  // A batch also ends once its samples hold this many bytes: large files
  // gain nothing from one flush and appear sooner.
  static constexpr std::uint64_t kDurableBatchBytes = 16u << 20;

  // Starts `threads` writer threads on the files (none: the files are
  // written on the job's thread as settle reaches them). `progress` is
  // called with 0 after every block on the thread that writes it; a throw
  // fails the file being written. `buffer` is the job thread's write
  // buffer, kept by the caller from bank to bank. `check`, when given,
  // sees each written file, with the sample bytes its writer thread read
  // for it.
  WavFileWriters(const SampleBank& bank, std::vector<WavFileTask> files, unsigned threads,
                 Progress progress, std::vector<std::uint8_t>& buffer, Check check = {});
  // Stops the threads once their current file is written and drops every
  // file that has not been given its final name.
  ~WavFileWriters();
  WavFileWriters(const WavFileWriters&) = delete;
  WavFileWriters& operator=(const WavFileWriters&) = delete;

  // Waits until file k is written and gives it its final name once its
  // data is durable (with the files after it: one flush for many); files are
  // settled in order, 0 first. False when another file took the name
  // meanwhile: it is left as it is and file k is dropped. A failure is
  // thrown; `headerWritten` then tells whether the file had got as far as
  // its header. `given`, when given, receives the path the file was given
  // (another than its finalPath where the file system refused that name).
  bool settle(std::size_t k, bool& headerWritten, std::string* given = nullptr);

  // The number of writer threads worth starting for `files` files holding
  // `bytes` bytes of sample data.
  static unsigned threadsFor(std::size_t files, std::uint64_t bytes);

 private:
  enum class State { Waiting, Running, Written, Failed, Settled };
  struct Slot {
    State state = State::Waiting;
    bool headerWritten = false;
    std::exception_ptr failure;
    std::unique_ptr<OutputFile> file;  // written, not yet given its name
    bool durable = false;              // its data is on the storage
  };

  void work();
  // Waits until file k and the next ones (kDurableBatch files or
  // kDurableBatchBytes at most, up to one that fails) are written and makes their data durable with one
  // flush; the lock is released meanwhile.
  void makeDurableFrom(std::size_t k, std::unique_lock<std::mutex>& lock);
  // Writes file k on the calling thread, keeping the sample bytes read in
  // `read` when it is given; the lock is released meanwhile.
  void write(std::size_t k, std::vector<std::uint8_t>& buffer, PcmReadCopy* read,
             std::unique_lock<std::mutex>& lock);

  const SampleBank& bank_;
  std::vector<WavFileTask> files_;
  Progress progress_;
  Check check_;
  std::vector<Slot> slots_;      // guarded by mutex_
  std::size_t next_ = 0;         // guarded by mutex_: the first file not yet taken
  bool stop_ = false;            // guarded by mutex_
  std::vector<std::uint8_t>& ownBuffer_;  // the job thread's
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
};

}  // namespace vantrel
