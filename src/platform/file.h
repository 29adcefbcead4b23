// SPDX-License-Identifier: MIT
#pragma once
// Thin file layer over POSIX descriptors. Every operation is checked and a
// failure throws RunError with the operation's path; a short read throws
// "Read beyond end of file".

#include <cstddef>
#include <cstdint>
#include <string>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

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
  // Puts the file's data on the storage (fdatasync); a file system that
  // cannot is taken at its word.
  void syncData();

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
// of no use) when the folder cannot be opened. It also remembers what its
// file system was found to refuse, so that each folder finds out once
// (Ways) and not for every file.
class OpenFolder {
 public:
  // What a folder's file system was found not to do.
  enum Ways : unsigned {
    kNoUnnamedFiles = 1,  // O_TMPFILE
    kNoRenameFlags = 2,   // renameat2 with RENAME_NOREPLACE
    kNoLinks = 4,         // hard links
    kSwept = 8,           // not a refusal: part files left by gone processes are removed
  };
  // Where the folder's files live, for how their data is made durable.
  enum class Storage { Unknown, Memory, Fuse, Disk };

  OpenFolder() = default;
  // Without `followLink`, a link at the folder's own name is not opened
  // (a folder below the output folder, which a planted link would send
  // elsewhere).
  explicit OpenFolder(std::string path, bool followLink = true) noexcept;
  // Takes over `fd`, a descriptor of the folder at `path`.
  OpenFolder(int fd, std::string path) noexcept : fd_(fd), path_(std::move(path)) {}
  ~OpenFolder();
  OpenFolder(OpenFolder&& other) noexcept;
  OpenFolder& operator=(OpenFolder&& other) noexcept;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;

  bool isOpen() const noexcept { return fd_ >= 0; }
  int descriptor() const noexcept { return fd_; }
  const std::string& path() const noexcept { return path_; }
  // Whether `path` names an entry directly in this folder, as
  // joinPath(the folder's path, name) gives it.
  bool holds(const std::string& path) const;

  unsigned refused() const noexcept { return refused_.load(std::memory_order_relaxed); }
  void noteRefused(unsigned ways) const noexcept { refused_.fetch_or(ways, std::memory_order_relaxed); }
  Storage storage() const noexcept;

 private:
  int fd_ = -1;
  std::string path_;
  mutable std::atomic<unsigned> refused_{0};
  mutable std::atomic<int> storage_{0};
};

// Makes the data of `files`, all in `folder`, durable before they are
// named: nothing on a file system in memory, each file on its own through
// FUSE (whose servers keep no common journal), else one flush of the file
// system for several files and fdatasync for one. Throws on failure.
void makeDurable(const OpenFolder& folder, File* const* files, std::size_t count);

// The folder output goes into, as the user chose it, held open. Every
// folder below it is made, opened and removed relative to it, one level at
// a time with O_NOFOLLOW, so that nothing a run does reaches outside it,
// whatever links are put in its tree before or while the run goes.
class OutputRoot {
 public:
  // The root `path` itself may be reached through a link: it is the user's
  // choice. A root that is not there yet is made, with the levels above
  // it, by the first open() that creates; one that cannot be opened makes
  // every open() fail with the reason.
  explicit OutputRoot(std::string path);
  const std::string& path() const noexcept { return path_; }
  // Whether `path` lies in the root (or is it).
  bool holds(const std::string& path) const noexcept;
  // Opens the folder `path`, in the root, level by level; with `create`,
  // missing levels are made and `made` gets each one, the top one first. A
  // link at any level fails with kSymlinkNotUsed, any other failure with
  // the reason, naming that level. A path outside the root is opened as it
  // is (links followed): it is a folder the user named.
  OpenFolder open(const std::string& path, bool create = false, std::vector<std::string>* made = nullptr) const;
  // Removes the file, or with `folder` the empty folder, at `path` in the
  // root, never through a link; false when it is not there or not removed.
  bool remove(const std::string& path, bool folder) const noexcept;

 private:
  // The root held open, once it is there; opened again by open() until
  // it is.
  const OpenFolder& held(bool create) const;

  std::string path_;  // with a separator at its end
  mutable std::mutex mutex_;
  mutable OpenFolder root_;
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
