// SPDX-License-Identifier: MIT
#include "platform/file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>

#include "platform/errors.h"
#include "platform/folders.h"

namespace vantrel {

File::File(const std::string& path, Mode mode) : path_(path) {
  int flags = O_CLOEXEC;
  switch (mode) {
    // A pipe opened for reading waits for a writer: O_NONBLOCK lets the
    // check below refuse it at once (regular files ignore the flag).
    case Mode::Read: flags |= O_RDONLY | O_NONBLOCK; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
  }
  do {
    fd_ = ::open(path.c_str(), flags, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throwErrno(errno, path, mode != Mode::Read);
  if (mode == Mode::Read) {
    // A folder opens for reading on POSIX; reading it would fail later with
    // EISDIR. Refuse it at once, saying what it is.
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      const int err = errno;
      ::close(fd_);
      fd_ = -1;
      throwErrno(err, path);
    }
    if (S_ISDIR(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      throw RunError(kNotRegularFile, path, "a folder");
    }
    // A pipe, device or socket would block, never end or change under the
    // reader.
    if (!S_ISREG(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      throw RunError(kNotRegularFile, path);
    }
    openedSize_ = static_cast<std::uint64_t>(st.st_size);
  }
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      openedSize_(other.openedSize_),
      tap_(std::exchange(other.tap_, nullptr)),
      tapped_(other.tapped_),
      atEnd_(other.atEnd_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    openedSize_ = other.openedSize_;
    tap_ = std::exchange(other.tap_, nullptr);
    tapped_ = other.tapped_;
    atEnd_ = other.atEnd_;
  }
  return *this;
}

void File::loseTap() noexcept {
  if (tap_) tap_->lose();
  tap_ = nullptr;
}

std::size_t File::readSome(void* buffer, std::size_t n) {
  auto* p = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(fd_, p + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, path_);
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

void File::readExact(void* buffer, std::size_t n) {
  if (readSome(buffer, n) != n) throw RunError(kReadBeyondEnd, path_);
}

void File::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
  auto* p = static_cast<unsigned char*>(buffer);
  while (n > 0) {
    ssize_t r = ::pread(fd_, p, n, static_cast<off_t>(offset));
    if (r < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, path_);
    }
    if (r == 0) throw RunError(kReadBeyondEnd, path_);
    p += r;
    n -= static_cast<std::size_t>(r);
    offset += static_cast<std::uint64_t>(r);
  }
}

void File::writeAll(const void* buffer, std::size_t n) {
  const auto* p = static_cast<const unsigned char*>(buffer);
  while (n > 0) {
    ssize_t w = ::write(fd_, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, path_, true);
    }
    if (w == 0) throw RunError(kDiskFull, path_);
    if (tap_) tapped(p, static_cast<std::size_t>(w));
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

void File::writeGather(const ConstBuffer* pieces, std::size_t count) {
  // IOV_MAX is at least 16 (POSIX) and 1024 on Linux.
  constexpr std::size_t kBatch = IOV_MAX < 64 ? IOV_MAX : 64;
  iovec vec[kBatch];
  std::size_t next = 0;     // first piece not yet handed to writev
  std::size_t skipped = 0;  // bytes of pieces[next] already written
  while (next < count) {
    std::size_t n = 0;
    for (std::size_t k = next; k < count && n < kBatch; ++k) {
      const std::size_t offset = k == next ? skipped : 0;
      if (pieces[k].size == offset) continue;
      vec[n].iov_base = const_cast<unsigned char*>(static_cast<const unsigned char*>(pieces[k].data) + offset);
      vec[n].iov_len = pieces[k].size - offset;
      ++n;
    }
    if (n == 0) return;
    ssize_t w = ::writev(fd_, vec, static_cast<int>(n));
    if (w < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, path_, true);
    }
    if (w == 0) throw RunError(kDiskFull, path_);
    // Step over what was written, whole pieces first.
    auto done = static_cast<std::size_t>(w);
    while (next < count && done >= pieces[next].size - skipped) {
      done -= pieces[next].size - skipped;
      if (tap_) tapped(static_cast<const unsigned char*>(pieces[next].data) + skipped, pieces[next].size - skipped);
      skipped = 0;
      ++next;
    }
    if (tap_ && done > 0) tapped(static_cast<const unsigned char*>(pieces[next].data) + skipped, done);
    skipped += done;
  }
}

void File::writeAt(std::uint64_t offset, const void* buffer, std::size_t n) {
  loseTap();
  const auto* p = static_cast<const unsigned char*>(buffer);
  while (n > 0) {
    ssize_t w = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
    if (w < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, path_, true);
    }
    if (w == 0) throw RunError(kDiskFull, path_);
    p += w;
    n -= static_cast<std::size_t>(w);
    offset += static_cast<std::uint64_t>(w);
  }
}

void File::seek(std::uint64_t offset) {
  if (tap_ && offset != tapped_) loseTap();
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) throwErrno(errno, path_);
  atEnd_ = true;
}

void File::resize(std::uint64_t length) {
  int r;
  do {
    r = ::ftruncate(fd_, static_cast<off_t>(length));
  } while (r != 0 && errno == EINTR);
  if (r != 0) throwErrno(errno, path_, true);
  if (tap_) {
    if (length < tapped_) {
      loseTap();
    } else {
      if (length > tapped_) atEnd_ = false;  // the position stays where it was
      tap_->appendZeros(length - tapped_);
      tapped_ = length;
    }
  }
}

std::uint64_t File::position() const {
  off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (pos < 0) throwErrno(errno, path_);
  return static_cast<std::uint64_t>(pos);
}

std::uint64_t File::size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throwErrno(errno, path_);
  return static_cast<std::uint64_t>(st.st_size);
}

void File::close() {
  if (fd_ < 0) return;
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) throwErrno(errno, path_, true);
}

void File::syncData() {
  if (fd_ < 0) return;
  int r;
  do {
    r = ::fdatasync(fd_);
  } while (r != 0 && errno == EINTR);
  // EINVAL and EROFS: a file that cannot be synchronised; nothing to wait for.
  if (r != 0 && errno != EINVAL && errno != EROFS) throwErrno(errno, path_, true);
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool folderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void removeFileQuietly(const std::string& path) noexcept { ::unlink(path.c_str()); }

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return withSeparator(folder) + name;
}

std::string withSeparator(const std::string& folder) {
  if (!folder.empty() && folder.back() == '/') return folder;
  return folder + '/';
}

std::string fileNamePart(const std::string& path) {
  auto pos = path.find_last_of('/');
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

OpenFolder::OpenFolder(std::string path, bool followLink) noexcept : path_(std::move(path)) {
  const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  do {
    fd_ = ::open(path_.c_str(), flags);
  } while (fd_ < 0 && errno == EINTR);
}

OpenFolder::~OpenFolder() {
  if (fd_ >= 0) ::close(fd_);
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      refused_(other.refused_.load()),
      storage_(other.storage_.load()) {}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    refused_ = other.refused_.load();
    storage_ = other.storage_.load();
  }
  return *this;
}

OpenFolder::Storage OpenFolder::storage() const noexcept {
  int known = storage_.load(std::memory_order_relaxed);
  if (known != 0) return static_cast<Storage>(known);
  Storage s = Storage::Disk;
  struct statfs fs {};
  if (fd_ >= 0 && ::fstatfs(fd_, &fs) == 0) {
    if (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC) s = Storage::Memory;
    else if (fs.f_type == FUSE_SUPER_MAGIC) s = Storage::Fuse;
  }
  storage_.store(static_cast<int>(s), std::memory_order_relaxed);
  return s;
}

void makeDurable(const OpenFolder& folder, File* const* files, std::size_t count) {
  if (count == 0) return;
  const OpenFolder::Storage storage = folder.isOpen() ? folder.storage() : OpenFolder::Storage::Disk;
  if (storage == OpenFolder::Storage::Memory) return;
  // One flush of the file system writes every file's data and commits the
  // journal once; syncfs takes a descriptor that is not O_PATH, a file's.
  if (storage == OpenFolder::Storage::Disk && count > 1 && ::syncfs(files[0]->descriptor()) == 0) return;
  for (std::size_t k = 0; k < count; ++k) files[k]->syncData();
}

namespace {

int openLevel(int at, const char* name) {
  int fd;
  do {
    fd = ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The levels of `relative` ("a/b/c/"), without empty ones and ".".
std::vector<std::string> levelsOf(std::string_view relative) {
  std::vector<std::string> levels;
  std::size_t k = 0;
  while (k < relative.size()) {
    std::size_t end = relative.find('/', k);
    if (end == std::string_view::npos) end = relative.size();
    if (end > k && relative.substr(k, end - k) != ".") levels.emplace_back(relative.substr(k, end - k));
    k = end + 1;
  }
  return levels;
}

}  // namespace

OutputRoot::OutputRoot(std::string path) : path_(withSeparator(path.empty() ? std::string(".") : path)) {
  if (path.empty()) path_.clear();
  root_ = OpenFolder(path.empty() ? std::string(".") : path);
}

const OpenFolder& OutputRoot::held(bool create) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!root_.isOpen()) {
    const std::string path = path_.empty() ? std::string(".") : path_;
    if (create) createFolders(path);
    root_ = OpenFolder(path);
    if (!root_.isOpen()) throwErrno(errno, path, true);
  }
  return root_;
}

bool OutputRoot::holds(const std::string& path) const noexcept {
  if (path_.empty()) return !path.empty() && path[0] != '/';
  return path.compare(0, path_.size(), path_) == 0 || path + '/' == path_;
}

OpenFolder OutputRoot::open(const std::string& path, bool create, std::vector<std::string>* made) const {
  if (!holds(path)) {
    OpenFolder folder(path.empty() ? std::string(".") : path);
    if (!folder.isOpen()) throwErrno(errno, path, true);
    return folder;
  }
  int fd = openLevel(held(create).descriptor(), ".");
  if (fd < 0) throwErrno(errno, path_, true);
  std::string at = path_;
  const std::string_view relative =
      path.size() > path_.size() ? std::string_view(path).substr(path_.size()) : std::string_view();
  for (const std::string& level : levelsOf(relative)) {
    at += level;
    const auto fail = [&](int err) {
      ::close(fd);
      throwErrno(err, at, true);
    };
    if (level == "..") fail(EACCES);
    int madeErr = 0;
    if (create) {
      if (::mkdirat(fd, level.c_str(), 0777) == 0) {
        if (made) made->push_back(at);
      } else if (errno != EEXIST) {
        madeErr = errno;
      }
    }
    const int next = openLevel(fd, level.c_str());
    if (next < 0) {
      const int err = errno;
      struct stat st {};
      const bool there = ::fstatat(fd, level.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
      if (there && S_ISLNK(st.st_mode)) {
        ::close(fd);
        throw RunError(kSymlinkNotUsed, at);
      }
      if (there && !S_ISDIR(st.st_mode)) fail(EEXIST);
      fail(madeErr != 0 ? madeErr : err);
    }
    ::close(fd);
    fd = next;
    at += '/';
  }
  return OpenFolder(fd, path);
}

bool OutputRoot::remove(const std::string& path, bool folder) const noexcept {
  try {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (!holds(p) || withSeparator(p) == path_) return false;
    const std::string name = fileNamePart(p);
    if (name.empty() || name == "." || name == "..") return false;
    const OpenFolder parent = open(p.substr(0, p.size() - name.size()));
    return ::unlinkat(parent.descriptor(), name.c_str(), folder ? AT_REMOVEDIR : 0) == 0;
  } catch (...) {
    return false;
  }
}

bool OpenFolder::holds(const std::string& path) const {
  const std::string prefix = withSeparator(path_);
  if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string_view name = std::string_view(path).substr(prefix.size());
  return name.find('/') == std::string_view::npos && name != "." && name != "..";
}

}  // namespace vantrel
