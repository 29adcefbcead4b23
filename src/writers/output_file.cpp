#include "writers/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/errors.h"
#include "platform/file.h"

namespace vantrel {

SampleSpan sampleSpan(const SampleBank& bank, std::uint32_t index, std::size_t n) {
  SampleSpan span;
  span.size = n;
  const std::uint64_t start = bank.pcmStart[index];
  const std::uint64_t own = wholeFrames(bank.pcmLength[index]);
  const std::uint64_t held = bank.pcm.held() && start < bank.pcm.size ? bank.pcm.size - start : 0;
  std::uint64_t take = own < held ? own : held;
  if (take > n) take = n;
  if (take > 0) {
    span.start = start;
    span.held = static_cast<std::size_t>(take);
  }
  return span;
}

BlockWriter::BlockWriter(File& file, std::vector<std::uint8_t>& buffer, std::uint64_t position,
                         bool background)
    : file_(file) {
  const std::size_t need = background ? 2 * kBlockSize : kBlockSize;
  if (buffer.size() < need) buffer.resize(need);
  block_ = buffer.data();
  if (background) spare_ = block_ + kBlockSize;
  // The first block ends at the next multiple of the block size.
  limit_ = kBlockSize - static_cast<std::size_t>(position % kBlockSize);
}

BlockWriter::~BlockWriter() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BlockWriter::writeInBackground() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    lock.unlock();
    std::exception_ptr failure;
    try {
      file_.writeAll(out_, outSize_);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}

void BlockWriter::waitWritten() {
  if (!thread_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BlockWriter::flush() {
  if (spare_ && fill_ > 0) {
    // Hand the block to the writing thread and fill the other one.
    waitWritten();
    if (!thread_.joinable()) thread_ = std::thread([this] { writeInBackground(); });
    {
      std::lock_guard<std::mutex> lock(mutex_);
      out_ = block_;
      outSize_ = fill_;
      busy_ = true;
    }
    changed_.notify_all();
    std::swap(block_, spare_);
  } else {
    file_.writeAll(block_, fill_);
  }
  fill_ = 0;
  limit_ = kBlockSize;
}

void BlockWriter::put(const void* data, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  append(n, [&](std::uint8_t* to, std::size_t done, std::size_t take) { std::memcpy(to, p + done, take); });
}

void BlockWriter::putSpan(const PcmArea& pcm, const SampleSpan& span) {
  append(span.held, [&](std::uint8_t* to, std::size_t done, std::size_t take) {
    pcm.read(span.start + done, to, take);
  });
  putSilence(span.size - span.held);
}

void BlockWriter::putSilence(std::uint64_t n) {
  if (n <= limit_ - fill_) {
    std::memset(block_ + fill_, 0, static_cast<std::size_t>(n));
    fill_ += static_cast<std::size_t>(n);
    if (fill_ == limit_) flush();
    return;
  }
  flush();
  waitWritten();
  writeSilence(file_, n);
  limit_ = kBlockSize - static_cast<std::size_t>(file_.position() % kBlockSize);
}

void BlockWriter::finish() {
  if (fill_ > 0) flush();
  waitWritten();
}

void writeSilence(File& file, std::uint64_t n) {
  if (n == 0) return;
  // The silence becomes part of the file by moving its end rather than by
  // writing zero bytes: a bank that promises gigabytes it does not hold
  // costs no time and, where the file system keeps holes, no space.
  const std::uint64_t end = file.position() + n;
  if (file.size() < end) file.resize(end);
  file.seek(end);
}

std::string partPathFor(const std::string& finalPath) {
  const std::string name = fileNamePart(finalPath);
  const std::string folder = finalPath.substr(0, finalPath.size() - name.size());
  // FNV-1a over the final name: short, fixed-length and the same on every
  // call for the same name.
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : name) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  char part[48];
  std::snprintf(part, sizeof part, ".vantrel-%016llx.part", static_cast<unsigned long long>(h));
  return folder + part;
}

void guardPartFile(const std::string& finalPath, const std::function<void(const std::string&)>& write) {
  const std::string part = partPathFor(finalPath);
  try {
    write(part);
  } catch (const RunError& e) {
    removeFileQuietly(part);
    // A fault of the bank names the bank; anything else names the output.
    if (e.code() == kInvalidBank || e.code() == kReadBeyondEnd) throw;
    throw RunError(e.code(), finalPath);
  } catch (...) {
    removeFileQuietly(part);
    throw;
  }
}

void commitPartFile(const std::string& finalPath) {
  const std::string part = partPathFor(finalPath);
  if (std::rename(part.c_str(), finalPath.c_str()) != 0) throwErrno(errno, finalPath, true);
}

}  // namespace vantrel
