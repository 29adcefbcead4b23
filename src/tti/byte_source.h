// SPDX-License-Identifier: MIT
#pragma once
// Sources of bank bytes: a buffered file, or bytes in memory (tests, fuzzing).
// Every read is exact; a source that ends early throws "Read beyond end of
// file".

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tti/sample_bank.h"

namespace vantrel {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual void read(void* buffer, std::size_t n) = 0;
  // Moves forward n bytes; past the end is "Read beyond end of file".
  virtual void skip(std::uint64_t n) = 0;
  virtual std::uint64_t position() const = 0;
  virtual std::uint64_t size() const = 0;
  virtual const std::string& path() const = 0;
  // Goes back to the first byte (a second walk over the same bytes).
  virtual void rewind() = 0;
  // Hands over the next n bytes (n <= left()) as a PCM data area; the
  // source is finished afterwards.
  virtual PcmArea takePcm(std::uint32_t n) = 0;

  std::uint64_t left() const { return size() - position(); }
  std::uint32_t readU32();
  std::uint8_t readU8();
  [[noreturn]] void throwEnd() const;
};

class MemorySource final : public ByteSource {
 public:
  MemorySource(const std::uint8_t* data, std::size_t size, std::string path = "<memory>")
      : data_(data), size_(size), path_(std::move(path)) {}
  void read(void* buffer, std::size_t n) override;
  void skip(std::uint64_t n) override;
  std::uint64_t position() const override { return pos_; }
  std::uint64_t size() const override { return size_; }
  const std::string& path() const override { return path_; }
  void rewind() override { pos_ = 0; }
  // Copies the bytes into memory of the area's own.
  PcmArea takePcm(std::uint32_t n) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::string path_;
};

// Bytes in memory shared with their owner (a bank read from an image and
// kept for its next reading); the PCM data area gets a copy of its own.
class SharedMemorySource final : public ByteSource {
 public:
  SharedMemorySource(std::shared_ptr<const std::vector<std::uint8_t>> bytes, std::string path)
      : bytes_(std::move(bytes)), view_(bytes_->data(), bytes_->size(), std::move(path)) {}
  void read(void* buffer, std::size_t n) override { view_.read(buffer, n); }
  void skip(std::uint64_t n) override { view_.skip(n); }
  std::uint64_t position() const override { return view_.position(); }
  std::uint64_t size() const override { return view_.size(); }
  const std::string& path() const override { return view_.path(); }
  void rewind() override { view_.rewind(); }
  PcmArea takePcm(std::uint32_t n) override { return view_.takePcm(n); }

 private:
  std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
  MemorySource view_;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::string& path);
  // The bytes of an open file (such as an unnamed temporary one) from its
  // first; `path` names it in errors.
  FileSource(File file, std::string path);
  // The `size` bytes of an open file from `start` on (a bank stored inside
  // an archive file).
  FileSource(File file, std::string path, std::uint64_t start, std::uint64_t size);
  void read(void* buffer, std::size_t n) override;
  void skip(std::uint64_t n) override;
  std::uint64_t position() const override { return pos_; }
  std::uint64_t size() const override { return size_; }
  const std::string& path() const override { return path_; }
  void rewind() override;
  // The area stays in the file: the open file moves into it.
  PcmArea takePcm(std::uint32_t n) override;
  void close() { file_.close(); }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  // Reads the buffer's bytes for a read at `at`.
  void fill(std::uint64_t at);

  File file_;
  std::string path_;
  std::uint64_t start_ = 0;  // where the source's first byte lies in the file
  std::uint64_t size_ = 0;
  std::uint64_t pos_ = 0;
  PcmBuffer buffer_;  // up to kBufferSize bytes, not cleared: only what is read is used
  std::uint64_t bufStart_ = 0;  // file offset of buffer_[0]
  std::size_t bufLen_ = 0;      // bytes of the file in buffer_
};

}  // namespace vantrel
