// SPDX-License-Identifier: MIT
#pragma once
// Reading ISO 9660 images and zip, 7z and tar archives (plain, gzip, bzip2,
// xz) entry by entry, through libarchive, loaded the first time an archive
// is read: linking it would load it and the many libraries it brings at
// every start. Nothing is mounted and nothing is unpacked to disk; the
// archive file is read with pread as libarchive asks, so skipping an
// entry's data in an image or a zip file is a seek.
//
// Names are the archive's bytes: raw names (Rock Ridge, tar, zip without
// its UTF-8 flag) as they are, UTF-16 names (Joliet, 7z) and flagged zip
// names as UTF-8.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <archive.h>

#include "platform/file.h"

namespace vantrel {

struct ArchiveEntry {
  enum class Type { File, Folder, Link, Other };
  std::string path;      // as the archive names it
  std::string hardlink;  // for an entry that shares the data of an earlier one: its path
  std::string linkTarget;  // for a symbolic link: what it points to, as stored
  Type type = Type::Other;
  std::uint64_t size = 0;
  bool sizeKnown = false;
};

class ArchiveReader {
 public:
  // Opens `path` and reads its first block. A file that cannot be opened
  // throws as File does; one libarchive does not read is kDamagedArchive.
  explicit ArchiveReader(const std::string& path);
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // The next entry's header; false after the last. Damage throws
  // kDamagedArchive naming `shown` (else the archive) and libarchive's
  // reason.
  bool next(ArchiveEntry& entry, const std::string* shown = nullptr);
  // Up to n bytes of the current entry's data; 0 at its end. Damage throws
  // kDamagedArchive naming `shown`.
  std::size_t read(void* buffer, std::size_t n, const std::string& shown);
  // The next block of the current entry's data as libarchive holds it,
  // valid until the reader is used again; false at the entry's end.
  // `offset`: where the block lies in the entry (a sparse entry's holes
  // lie between blocks). `inFile`: where it lies in the archive file when
  // its bytes are the file's own there, unchanged (an entry stored without
  // compression), else nothing. Damage throws as read does.
  struct Block {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::uint64_t offset = 0;
    std::optional<std::uint64_t> inFile;
  };
  bool nextBlock(Block& block, const std::string& shown);
  // Until the file's byte `end`, libarchive is given the file's pages
  // mapped instead of read into memory, where the format passes an
  // entry's bytes on without looking at them (ISO 9660, tar): following
  // the rest of an entry found in place then copies nothing. Ends at
  // `end`, or when called with 0.
  void mapUntil(std::uint64_t end) noexcept;
  // Once a header has been read: whether passing over an entry is a seek
  // (an ISO 9660 image, a tar or zip archive not compressed as a whole),
  // rather than unpacking everything before the next.
  bool skipsBySeeking() const noexcept;
  // A descriptor of its own for the archive file, named `shown` in errors:
  // it stays open when the reader is gone.
  File reopen(const std::string& shown) const;
  // False once an error left the reader unable to go on; it must be
  // opened again.
  bool usable() const noexcept { return usable_; }
  const std::string& path() const noexcept { return file_.path(); }

 private:
  static la_ssize_t readBlock(struct archive*, void* self, const void** block);
  static la_int64_t skipBytes(struct archive*, void* self, la_int64_t n);
  static la_int64_t seekTo(struct archive*, void* self, la_int64_t offset, int whence);
  [[noreturn]] void fail(const std::string& shown, int status);

  File file_;
  std::uint64_t size_ = 0;
  std::uint64_t offset_ = 0;
  // Drops the mapped pages given last, if any.
  void unmap() noexcept;

  std::unique_ptr<std::uint8_t[]> block_;
  // The block given to libarchive last: block_ or mapped pages, where its
  // bytes lie in the file, how many it holds.
  const std::uint8_t* given_ = nullptr;
  std::uint64_t blockStart_ = 0;
  std::size_t blockLength_ = 0;
  void* mapped_ = nullptr;  // the pages mapped for it, when mapped
  std::size_t mappedLength_ = 0;
  std::uint64_t mapEnd_ = 0;  // see mapUntil
  struct archive* archive_ = nullptr;
  bool usable_ = true;
  int ioError_ = 0;  // errno of a failed read of the archive file
};

}  // namespace vantrel
