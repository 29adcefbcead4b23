// SPDX-License-Identifier: MIT
#pragma once
// Thin file layer over POSIX descriptors. Every operation is checked and a
// failure throws RunError with the operation's path; a short read throws
// "Read beyond end of file".

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace vantrel {

// One piece of a gathered write.
struct ConstBuffer {
  const void* data;
  std::size_t size;
};

class File {
 public:
  enum class Mode { Read, ReadWrite, Create /* create or truncate, read and write */ };

  File() = default;
  File(const std::string& path, Mode mode);
  // Takes over an open descriptor; `path` names the file in errors.
  File(int fd, std::string path) noexcept : fd_(fd), path_(std::move(path)) {}
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool isOpen() const noexcept { return fd_ >= 0; }
  int descriptor() const noexcept { return fd_; }
  const std::string& path() const noexcept { return path_; }

  // Reads exactly n bytes; fewer bytes left in the file is kReadBeyondEnd.
  void readExact(void* buffer, std::size_t n);
  // Reads up to n bytes; returns how many were read (0 at the end).
  std::size_t readSome(void* buffer, std::size_t n);
  // Reads exactly n bytes at an absolute offset without moving the file
  // position; fewer bytes there is kReadBeyondEnd.
  void readAt(std::uint64_t offset, void* buffer, std::size_t n) const;
  // Writes all n bytes; a short write is reported as "Disk full".
  void writeAll(const void* buffer, std::size_t n);
  // Writes all the pieces in order, as few system calls as the platform
  // allows; a short write is reported as "Disk full".
  void writeGather(const ConstBuffer* pieces, std::size_t count);
  // Writes at an absolute offset without moving the file position.
  void writeAt(std::uint64_t offset, const void* buffer, std::size_t n);
  void seek(std::uint64_t offset);
  // Sets the file's length; bytes added read as zeros (and take no space
  // where the file system keeps holes).
  void resize(std::uint64_t length);
  std::uint64_t position() const;
  std::uint64_t size() const;
  // The length of a file opened for reading, as it was then.
  std::uint64_t sizeWhenOpened() const noexcept { return openedSize_; }
  // Flushes nothing (no user-space buffer); closes and checks the result.
  void close();

 private:
  int fd_ = -1;
  std::string path_;
  std::uint64_t openedSize_ = 0;
};

// Existence tests; they never throw.
bool fileExists(const std::string& path);   // any non-folder entry
bool folderExists(const std::string& path);

// Removes a file, ignoring failure (used to drop a partial output file).
void removeFileQuietly(const std::string& path) noexcept;

// Joins a folder and a name with one separator.
std::string joinPath(const std::string& folder, const std::string& name);
// Returns folder with a trailing separator (unchanged if it already has one).
std::string withSeparator(const std::string& folder);
// The part after the last separator.
std::string fileNamePart(const std::string& path);

}  // namespace vantrel
