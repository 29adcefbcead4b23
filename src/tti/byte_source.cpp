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

FileSource::FileSource(const std::string& path) : file_(path, File::Mode::Read), path_(path) {
  size_ = file_.size();
}

void FileSource::read(void* buffer, std::size_t n) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t have = bufEnd_ - bufPos_;
  if (n <= have) {
    if (n) std::memcpy(out, buffer_.data() + bufPos_, n);
    bufPos_ += n;
    return;
  }
  if (n > left()) throwEnd();
  if (have) std::memcpy(out, buffer_.data() + bufPos_, have);
  out += have;
  n -= have;
  bufPos_ = bufEnd_ = 0;
  if (n >= kBufferSize) {
    // Large blocks go straight into the caller's memory.
    file_.readExact(out, n);
    filePos_ += n;
    return;
  }
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  std::size_t got = file_.readSome(buffer_.data(), kBufferSize);
  filePos_ += got;
  bufEnd_ = got;
  if (got < n) throwEnd();
  std::memcpy(out, buffer_.data(), n);
  bufPos_ = n;
}

void FileSource::skip(std::uint64_t n) {
  std::size_t have = bufEnd_ - bufPos_;
  if (n <= have) {
    bufPos_ += static_cast<std::size_t>(n);
    return;
  }
  if (n > left()) throwEnd();
  std::uint64_t target = position() + n;
  bufPos_ = bufEnd_ = 0;
  file_.seek(target);
  filePos_ = target;
}

void FileSource::rewind() {
  bufPos_ = bufEnd_ = 0;
  file_.seek(0);
  filePos_ = 0;
}

PcmArea FileSource::takePcm(std::uint32_t n) {
  if (n > left()) throwEnd();
  PcmArea area;
  area.offset = position();
  area.size = n;
  area.file = std::move(file_);
  bufPos_ = bufEnd_ = 0;
  return area;
}

}  // namespace vantrel
