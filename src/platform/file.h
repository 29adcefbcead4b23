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

// Sees the bytes of a file as they are written, in the file's order
// (File::setTap): a checksum made while writing needs no second reading.
class WriteTap {
 public:
  virtual ~WriteTap() = default;
  // n bytes that follow those seen so far.
  virtual void append(const void* data, std::size_t n) = 0;
  // n zero bytes that follow (the file grew by resize).
  virtual void appendZeros(std::uint64_t n) = 0;
  // The file was written elsewhere than at its end: what the tap has seen
  // is no longer the file's content.
  virtual void lose() = 0;
  // The file is written anew from its first byte (a failed attempt is
  // written again): forget everything seen so far.
  virtual void restart() = 0;
};

class File {
 public:
  // CreateNew: a file that does not exist yet (no link followed), read and
  // write; its name taken is EEXIST.
  enum class Mode { Read, ReadWrite, Create /* create or truncate, read and write */, CreateNew };

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

  // Shows `tap` every byte written from here on; the file must be empty and
  // at position 0. writeAt, a seek away from the end and shrinking make it
  // lose track. The tap stays the caller's.
  void setTap(WriteTap* tap) noexcept { resumeTap(tap, 0); }
  // Hands the tap to the caller, who feeds it from here on (a writer that
  // hashes a block on one thread while another writes it).
  WriteTap* takeTap() noexcept { return std::exchange(tap_, nullptr); }
  // Gives the tap back once it has seen the file's first `seen` bytes, its
  // whole length, with the position at its end.
  void resumeTap(WriteTap* tap, std::uint64_t seen) noexcept {
    tap_ = tap;
    tapped_ = seen;
    atEnd_ = true;
  }

 private:
  void tapped(const void* data, std::size_t n) {
    if (!atEnd_) return loseTap();
    tap_->append(data, n);
    tapped_ += n;
  }
  void loseTap() noexcept;

  int fd_ = -1;
  std::string path_;
  std::uint64_t openedSize_ = 0;
  WriteTap* tap_ = nullptr;
  std::uint64_t tapped_ = 0;  // bytes the tap has seen: the file's length
  bool atEnd_ = true;         // the position is at tapped_
};

// A folder held open, for files made in it: they are created and named
// relative to it, without walking its path each time. Not opened (and then
// of no use) when the folder cannot be opened.
class OpenFolder {
 public:
  OpenFolder() = default;
  // Without `followLink`, a link at the folder's own name is not opened
  // (a folder below the output folder, which a planted link would send
  // elsewhere).
  explicit OpenFolder(std::string path, bool followLink = true) noexcept;
  ~OpenFolder();
  OpenFolder(OpenFolder&& other) noexcept;
  OpenFolder& operator=(OpenFolder&& other) noexcept;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;

  bool isOpen() const noexcept { return fd_ >= 0; }
  int descriptor() const noexcept { return fd_; }
  // Whether `path` names an entry directly in this folder, as
  // joinPath(the folder's path, name) gives it.
  bool holds(const std::string& path) const;

 private:
  int fd_ = -1;
  std::string path_;
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
