// SPDX-License-Identifier: MIT
#include "tti/byte_source.h"

#include <cstring>

#include "platform/errors.h"

namespace vantrel {

void ByteSource::throwEnd() const { throw RunError(kReadBeyondEnd, path()); }

std::uint32_t ByteSource::readU32() {
  std::uint8_t b[4];
  read(b, 4);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::uint8_t ByteSource::readU8() {
  std::uint8_t b;
  read(&b, 1);
  return b;
}

void MemorySource::read(void* buffer, std::size_t n) {
  if (n > size_ - pos_) throwEnd();
  if (n) std::memcpy(buffer, data_ + pos_, n);
  pos_ += n;
}

void MemorySource::skip(std::uint64_t n) {
  if (n > size_ - pos_) throwEnd();
  pos_ += static_cast<std::size_t>(n);
}

PcmArea MemorySource::takePcm(std::uint32_t n) {
  if (n > left()) throwEnd();
  PcmArea area;
  area.memory = allocatePcm(n);
  if (!area.memory) throw RunError(kOutOfMemory, path_);
  area.size = n;
  read(area.memory.get(), n);
  return area;
}

FileSource::FileSource(const std::string& path)
    : file_(path, File::Mode::Read), path_(path), size_(file_.sizeWhenOpened()) {}

FileSource::FileSource(File file, std::string path)
    : file_(std::move(file)), path_(std::move(path)), size_(file_.size()) {}

FileSource::FileSource(File file, std::string path, std::uint64_t start, std::uint64_t size)
    : file_(std::move(file)), path_(std::move(path)), start_(start), size_(size) {}

void FileSource::fill(std::uint64_t at) {
  // The walks start near the top of the file and one of them goes back to
  // its first byte: a buffer that starts there serves both.
  const std::uint64_t start = at < kBufferSize ? 0 : at;
  const std::uint64_t left = size_ - start;
  const std::size_t n = left < kBufferSize ? static_cast<std::size_t>(left) : kBufferSize;
  if (!buffer_) {
    // No more than the file holds: a small bank needs no more.
    buffer_ = allocatePcm(size_ < kBufferSize ? static_cast<std::size_t>(size_) : kBufferSize);
    if (!buffer_) throw RunError(kOutOfMemory, path_);
  }
  bufLen_ = 0;
  file_.readAt(start_ + start, buffer_.get(), n);
  bufStart_ = start;
  bufLen_ = n;
}

void FileSource::read(void* buffer, std::size_t n) {
  if (n > left()) throwEnd();
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (n > 0) {
    if (pos_ >= bufStart_ && pos_ < bufStart_ + bufLen_) {
      const std::size_t at = static_cast<std::size_t>(pos_ - bufStart_);
      const std::size_t take = n < bufLen_ - at ? n : bufLen_ - at;
      std::memcpy(out, buffer_.get() + at, take);
      out += take;
      pos_ += take;
      n -= take;
    } else if (n >= kBufferSize) {
      // Large blocks go straight into the caller's memory.
      file_.readAt(start_ + pos_, out, n);
      pos_ += n;
      return;
    } else {
      fill(pos_);
    }
  }
}

void FileSource::skip(std::uint64_t n) {
  if (n > left()) throwEnd();
  pos_ += n;
}

void FileSource::rewind() { pos_ = 0; }

PcmArea FileSource::takePcm(std::uint32_t n) {
  if (n > left()) throwEnd();
  PcmArea area;
  area.offset = start_ + pos_;
  area.size = n;
  // Bytes the buffer holds already (a small bank read whole) are kept
  // rather than read again sample by sample: the buffer goes with them.
  if (pos_ >= bufStart_ && pos_ + n <= bufStart_ + bufLen_) {
    area.memoryStart = static_cast<std::size_t>(pos_ - bufStart_);
    area.memory = std::move(buffer_);
  }
  area.file = std::move(file_);
  bufLen_ = 0;
  return area;
}

}  // namespace vantrel
