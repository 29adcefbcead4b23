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
#include <string>

#include <archive.h>

#include "platform/file.h"

namespace vantrel {

struct ArchiveEntry {
  enum class Type { File, Folder, Other };
  std::string path;      // as the archive names it
  std::string hardlink;  // for an entry that shares the data of an earlier one: its path
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
  std::unique_ptr<std::uint8_t[]> block_;
  struct archive* archive_ = nullptr;
  bool usable_ = true;
  int ioError_ = 0;  // errno of a failed read of the archive file
};

}  // namespace vantrel
