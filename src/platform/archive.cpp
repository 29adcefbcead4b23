// SPDX-License-Identifier: MIT
#include "platform/archive.h"

#include <archive_entry.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <type_traits>
#include <utility>

#include "platform/errors.h"

namespace vantrel {
namespace {

// The soname of Debian's libarchive13.
constexpr const char* kLibraryName = "libarchive.so.13";

struct Functions {
  decltype(&::archive_read_new) readNew;
  decltype(&::archive_read_free) readFree;
  decltype(&::archive_read_support_format_iso9660) iso9660;
  decltype(&::archive_read_support_format_zip) zip;
  decltype(&::archive_read_support_format_7zip) sevenZip;
  decltype(&::archive_read_support_format_tar) tar;
  decltype(&::archive_read_support_filter_gzip) gzip;
  decltype(&::archive_read_support_filter_bzip2) bzip2;
  decltype(&::archive_read_support_filter_xz) xz;
  decltype(&::archive_read_set_callback_data) setCallbackData;
  decltype(&::archive_read_set_read_callback) setRead;
  decltype(&::archive_read_set_skip_callback) setSkip;
  decltype(&::archive_read_set_seek_callback) setSeek;
  decltype(&::archive_read_open1) open;
  decltype(&::archive_read_next_header) nextHeader;
  decltype(&::archive_read_data) readData;
  decltype(&::archive_read_data_block) readDataBlock;
  decltype(&::archive_error_string) errorString;
  decltype(&::archive_format) format;
  decltype(&::archive_filter_code) filterCode;
  decltype(&::archive_entry_pathname) pathname;
  decltype(&::archive_entry_pathname_w) pathnameWide;
  decltype(&::archive_entry_hardlink) hardlink;
  decltype(&::archive_entry_hardlink_w) hardlinkWide;
  decltype(&::archive_entry_symlink) symlink;
  decltype(&::archive_entry_symlink_w) symlinkWide;
  decltype(&::archive_entry_filetype) filetype;
  decltype(&::archive_entry_size) size;
  decltype(&::archive_entry_size_is_set) sizeIsSet;
};

Functions load() {
  void* handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  auto fail = [] {
    const char* why = dlerror();
    throw RunError(kFileNotFound, kLibraryName, why ? why : "");
  };
  if (!handle) fail();
  // Never closed: the functions stay in use until the process ends.
  auto get = [&](auto& function, const char* symbol) {
    function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, symbol));
    if (!function) fail();
  };
  Functions f{};
  get(f.readNew, "archive_read_new");
  get(f.readFree, "archive_read_free");
  get(f.iso9660, "archive_read_support_format_iso9660");
  get(f.zip, "archive_read_support_format_zip");
  get(f.sevenZip, "archive_read_support_format_7zip");
  get(f.tar, "archive_read_support_format_tar");
  get(f.gzip, "archive_read_support_filter_gzip");
  get(f.bzip2, "archive_read_support_filter_bzip2");
  get(f.xz, "archive_read_support_filter_xz");
  get(f.setCallbackData, "archive_read_set_callback_data");
  get(f.setRead, "archive_read_set_read_callback");
  get(f.setSkip, "archive_read_set_skip_callback");
  get(f.setSeek, "archive_read_set_seek_callback");
  get(f.open, "archive_read_open1");
  get(f.nextHeader, "archive_read_next_header");
  get(f.readData, "archive_read_data");
  get(f.readDataBlock, "archive_read_data_block");
  get(f.errorString, "archive_error_string");
  get(f.format, "archive_format");
  get(f.filterCode, "archive_filter_code");
  get(f.pathname, "archive_entry_pathname");
  get(f.pathnameWide, "archive_entry_pathname_w");
  get(f.hardlink, "archive_entry_hardlink");
  get(f.hardlinkWide, "archive_entry_hardlink_w");
  get(f.symlink, "archive_entry_symlink");
  get(f.symlinkWide, "archive_entry_symlink_w");
  get(f.filetype, "archive_entry_filetype");
  get(f.size, "archive_entry_size");
  get(f.sizeIsSet, "archive_entry_size_is_set");
  return f;
}

// Loaded once, on first use, from any thread.
const Functions& lib() {
  static const Functions functions = load();
  return functions;
}

// libarchive converts UTF-16 names (Joliet, 7z) and flagged zip names into
// the thread's locale; while it works, that locale is UTF-8 whatever the
// program's, so that they come out as UTF-8 and raw names stay as they are.
class Utf8Locale {
 public:
  Utf8Locale() {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (utf8) previous_ = uselocale(utf8);
  }
  ~Utf8Locale() {
    if (previous_) uselocale(previous_);
  }
  Utf8Locale(const Utf8Locale&) = delete;
  Utf8Locale& operator=(const Utf8Locale&) = delete;

 private:
  locale_t previous_ = nullptr;
};

constexpr std::size_t kBlockSize = 128 * 1024;
// Pages mapped at a time while an entry is followed in place.
constexpr std::uint64_t kMapWindow = 16 << 20;

// A name as bytes. A format that stores UTF-16 (Joliet, 7z) gives it as
// characters: UTF-8, except U+EF80...U+EFFF, which stand for the bytes
// 0x80...0xFF of a name that was not UTF-8 (7-Zip stores those so) and are
// those bytes again. Other names are the archive's bytes (`bytes`: a
// character form exists only where they are valid in the UTF-8 locale).
std::string nameOf(const wchar_t* wide, const char* bytes) {
  if (!wide) return bytes ? bytes : "";
  std::string out;
  for (; *wide; ++wide) {
    const auto c = static_cast<std::uint32_t>(*wide);
    if (c >= 0xEF80 && c <= 0xEFFF) {
      out += static_cast<char>(c - 0xEF00);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

ArchiveReader::ArchiveReader(const std::string& path)
    : file_(path, File::Mode::Read), size_(file_.sizeWhenOpened()), block_(new std::uint8_t[kBlockSize]) {
  const Functions& f = lib();
  Utf8Locale utf8;
  archive_ = f.readNew();
  if (!archive_) throw RunError(kOutOfMemory, path);
  f.iso9660(archive_);
  f.zip(archive_);
  f.sevenZip(archive_);
  f.tar(archive_);
  f.gzip(archive_);
  f.bzip2(archive_);
  f.xz(archive_);
  f.setCallbackData(archive_, this);
  f.setRead(archive_, &ArchiveReader::readBlock);
  f.setSkip(archive_, &ArchiveReader::skipBytes);
  f.setSeek(archive_, &ArchiveReader::seekTo);
  if (const int status = f.open(archive_); status != ARCHIVE_OK) {
    try {
      fail(path, status);
    } catch (...) {
      f.readFree(archive_);
      throw;
    }
  }
}

ArchiveReader::~ArchiveReader() {
  if (archive_) lib().readFree(archive_);
  unmap();
}

la_ssize_t ArchiveReader::readBlock(struct archive*, void* self, const void** block) {
  auto& r = *static_cast<ArchiveReader*>(self);
  // libarchive is done with the last block once it asks for the next.
  r.unmap();
  *block = r.block_.get();
  r.given_ = r.block_.get();
  r.blockLength_ = 0;
  if (r.offset_ >= r.size_) return 0;
  if (r.offset_ < r.mapEnd_ && r.mapEnd_ <= r.size_) {
    // Mapped from the page holding offset_, up to kMapWindow bytes and no
    // further than mapEnd_.
    static const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t from = r.offset_ - r.offset_ % page;
    const std::uint64_t n = std::min<std::uint64_t>(r.mapEnd_ - r.offset_, kMapWindow);
    const std::size_t length = static_cast<std::size_t>(r.offset_ - from + n);
    void* pages = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, r.file_.descriptor(), static_cast<off_t>(from));
    if (pages != MAP_FAILED) {
      r.mapped_ = pages;
      r.mappedLength_ = length;
      r.given_ = static_cast<const std::uint8_t*>(pages) + (r.offset_ - from);
      r.blockStart_ = r.offset_;
      r.blockLength_ = static_cast<std::size_t>(n);
      r.offset_ += n;
      *block = r.given_;
      return static_cast<la_ssize_t>(n);
    }
    // Read instead where mapping fails.
  }
  const std::uint64_t left = r.size_ - r.offset_;
  const std::size_t n = left < kBlockSize ? static_cast<std::size_t>(left) : kBlockSize;
  ssize_t got;
  do {
    got = ::pread(r.file_.descriptor(), r.block_.get(), n, static_cast<off_t>(r.offset_));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    r.ioError_ = errno;
    return -1;
  }
  r.blockStart_ = r.offset_;
  r.blockLength_ = static_cast<std::size_t>(got);
  r.offset_ += static_cast<std::uint64_t>(got);
  return got;
}

void ArchiveReader::unmap() noexcept {
  if (mapped_) ::munmap(mapped_, mappedLength_);
  mapped_ = nullptr;
  mappedLength_ = 0;
}

la_int64_t ArchiveReader::skipBytes(struct archive*, void* self, la_int64_t n) {
  auto& r = *static_cast<ArchiveReader*>(self);
  const std::uint64_t left = r.offset_ < r.size_ ? r.size_ - r.offset_ : 0;
  const std::uint64_t skip = n < 0 ? 0 : static_cast<std::uint64_t>(n) < left ? static_cast<std::uint64_t>(n) : left;
  r.offset_ += skip;
  return static_cast<la_int64_t>(skip);
}

la_int64_t ArchiveReader::seekTo(struct archive*, void* self, la_int64_t offset, int whence) {
  auto& r = *static_cast<ArchiveReader*>(self);
  std::int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<std::int64_t>(r.offset_);
  else if (whence == SEEK_END) base = static_cast<std::int64_t>(r.size_);
  const std::int64_t to = base + offset;
  if (to < 0) return ARCHIVE_FATAL;
  r.offset_ = static_cast<std::uint64_t>(to);
  return to;
}

void ArchiveReader::fail(const std::string& shown, int status) {
  if (status <= ARCHIVE_FATAL) usable_ = false;
  if (ioError_ != 0) {
    usable_ = false;
    throwErrno(std::exchange(ioError_, 0), file_.path());
  }
  const char* why = archive_ ? lib().errorString(archive_) : nullptr;
  throw RunError(kDamagedArchive, shown, why && *why ? why : "unreadable");
}

bool ArchiveReader::next(ArchiveEntry& entry, const std::string* shown) {
  if (!usable_) throw RunError(kDamagedArchive, shown ? *shown : file_.path(), "read after an error");
  const Functions& f = lib();
  Utf8Locale utf8;
  struct archive_entry* e = nullptr;
  const int status = f.nextHeader(archive_, &e);
  if (status == ARCHIVE_EOF) return false;
  // A warning (a name that does not convert, an unknown extension) still
  // gives the entry.
  if (status < ARCHIVE_WARN || !e) {
    usable_ = false;
    fail(shown ? *shown : file_.path(), ARCHIVE_FATAL);
  }
  entry.path = nameOf(f.pathnameWide(e), f.pathname(e));
  entry.hardlink = nameOf(f.hardlinkWide(e), f.hardlink(e));
  const unsigned type = f.filetype(e);
  entry.type = type == AE_IFREG ? ArchiveEntry::Type::File
               : type == AE_IFDIR ? ArchiveEntry::Type::Folder
               : type == AE_IFLNK ? ArchiveEntry::Type::Link
                                  : ArchiveEntry::Type::Other;
  entry.linkTarget = type == AE_IFLNK ? nameOf(f.symlinkWide(e), f.symlink(e)) : std::string();
  // A hard link in a tar archive has no type of its own.
  if (!entry.hardlink.empty() && type == 0) entry.type = ArchiveEntry::Type::File;
  entry.sizeKnown = f.sizeIsSet(e) != 0;
  const la_int64_t size = f.size(e);
  entry.size = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  return true;
}

std::size_t ArchiveReader::read(void* buffer, std::size_t n, const std::string& shown) {
  if (!usable_) throw RunError(kDamagedArchive, shown, "read after an error");
  Utf8Locale utf8;
  const la_ssize_t got = lib().readData(archive_, buffer, n);
  if (got < 0) fail(shown, static_cast<int>(got));
  return static_cast<std::size_t>(got);
}

bool ArchiveReader::nextBlock(Block& block, const std::string& shown) {
  if (!usable_) throw RunError(kDamagedArchive, shown, "read after an error");
  Utf8Locale utf8;
  const void* bytes = nullptr;
  std::size_t size = 0;
  la_int64_t offset = 0;
  const int status = lib().readDataBlock(archive_, &bytes, &size, &offset);
  if (status == ARCHIVE_EOF) return false;
  if (status < ARCHIVE_WARN) fail(shown, status);
  block.bytes = static_cast<const std::uint8_t*>(bytes);
  block.size = size;
  block.offset = offset > 0 ? static_cast<std::uint64_t>(offset) : 0;
  block.inFile.reset();
  // libarchive hands out the bytes of an entry stored as it is from the
  // block this reader gave it (the file's bytes at blockStart_ on), and
  // decoded or joined bytes from buffers of its own: a block that lies
  // within the block given is the file's bytes at the matching place.
  const auto first = reinterpret_cast<std::uintptr_t>(given_);
  const auto at = reinterpret_cast<std::uintptr_t>(bytes);
  if (size > 0 && at >= first && at - first <= blockLength_ && size <= blockLength_ - (at - first)) {
    block.inFile = blockStart_ + (at - first);
  }
  return true;
}

void ArchiveReader::mapUntil(std::uint64_t end) noexcept {
  // ISO 9660 and tar readers pass an entry's bytes on untouched (a zip
  // reader sums them): mapped pages are then never read here, and an
  // archive cut short meanwhile fails the reading of the bank later
  // instead of the process.
  const int base = end ? lib().format(archive_) & ARCHIVE_FORMAT_BASE_MASK : 0;
  mapEnd_ = base == ARCHIVE_FORMAT_ISO9660 || base == ARCHIVE_FORMAT_TAR ? end : 0;
}

bool ArchiveReader::skipsBySeeking() const noexcept {
  const int base = lib().format(archive_) & ARCHIVE_FORMAT_BASE_MASK;
  const bool format = base == ARCHIVE_FORMAT_ISO9660 || base == ARCHIVE_FORMAT_TAR || base == ARCHIVE_FORMAT_ZIP;
  return format && lib().filterCode(archive_, 0) == ARCHIVE_FILTER_NONE;
}

File ArchiveReader::reopen(const std::string& shown) const {
  const int fd = ::fcntl(file_.descriptor(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) throwErrno(errno, shown);
  return File(fd, shown);
}

}  // namespace vantrel
