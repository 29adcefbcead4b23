// SPDX-License-Identifier: MIT
#include "writers/output_file.h"

#include <dirent.h>
#include <sys/random.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vantrel {

SampleSpan sampleSpan(const SampleBank& bank, std::uint32_t index, std::size_t n) {
  SampleSpan span;
  span.size = n;
  const std::uint64_t start = bank.pcmStart[index];
  const std::uint64_t own = wholeFrames(bank.pcmLength[index]);
  const std::uint64_t held = bank.pcm.held() && start < bank.pcm.size ? bank.pcm.size - start : 0;
  std::uint64_t take = own < held ? own : held;
  if (take > n) take = n;
  if (take > 0) {
    span.start = start;
    span.held = static_cast<std::size_t>(take);
  }
  return span;
}

BlockWriter::BlockWriter(File& file, std::vector<std::uint8_t>& buffer, std::uint64_t position,
                         bool background, const Progress* progress, std::uint64_t bytes)
    : file_(file),
      progress_(progress),
      blockSize_(static_cast<std::size_t>(std::clamp<std::uint64_t>(bytes, 1, kBlockSize))) {
  const std::size_t need = background ? 2 * blockSize_ : blockSize_;
  if (buffer.size() < need) buffer.resize(need);
  block_ = buffer.data();
  if (background) {
    spare_ = block_ + blockSize_;
    tap_ = file_.takeTap();
    tapped_ = position;
  }
  limit_ = firstLimit(position);
}

std::size_t BlockWriter::firstLimit(std::uint64_t position) const {
  // A block ends at the next multiple of the block size.
  return std::min(blockSize_, kBlockSize - static_cast<std::size_t>(position % kBlockSize));
}

BlockWriter::~BlockWriter() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BlockWriter::writeInBackground() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    lock.unlock();
    std::exception_ptr failure;
    try {
      file_.writeAll(out_, outSize_);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}

void BlockWriter::waitWritten() {
  if (!thread_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BlockWriter::flush() {
  if (spare_ && fill_ > 0) {
    if (tap_) tap_->append(block_, fill_);
    tapped_ += fill_;
    // Hand the block to the writing thread and fill the other one.
    waitWritten();
    if (!thread_.joinable()) thread_ = std::thread([this] { writeInBackground(); });
    {
      std::lock_guard<std::mutex> lock(mutex_);
      out_ = block_;
      outSize_ = fill_;
      busy_ = true;
    }
    changed_.notify_all();
    std::swap(block_, spare_);
  } else {
    file_.writeAll(block_, fill_);
  }
  fill_ = 0;
  limit_ = blockSize_;
  if (progress_ && *progress_) (*progress_)(0);
}

void BlockWriter::put(const void* data, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  append(n, [&](std::uint8_t* to, std::size_t done, std::size_t take) { std::memcpy(to, p + done, take); });
}

void BlockWriter::putSpan(const PcmArea& pcm, const SampleSpan& span, PcmReadCopy* copy) {
  append(span.held, [&](std::uint8_t* to, std::size_t done, std::size_t take) {
    pcm.read(span.start + done, to, take, copy);
  });
  putSilence(span.size - span.held);
}

void BlockWriter::putSilence(std::uint64_t n) {
  if (n <= limit_ - fill_) {
    std::memset(block_ + fill_, 0, static_cast<std::size_t>(n));
    fill_ += static_cast<std::size_t>(n);
    if (fill_ == limit_) flush();
    return;
  }
  flush();
  waitWritten();
  writeSilence(file_, n);
  if (tap_) tap_->appendZeros(n);
  tapped_ += n;
  limit_ = firstLimit(file_.position());
}

void BlockWriter::finish() {
  if (fill_ > 0) flush();
  waitWritten();
  if (spare_ && tap_) file_.resumeTap(std::exchange(tap_, nullptr), tapped_);
}

void writeSilence(File& file, std::uint64_t n) {
  if (n == 0) return;
  // The silence becomes part of the file by moving its end rather than by
  // writing zero bytes: a bank that promises gigabytes it does not hold
  // costs no time and, where the file system keeps holes, no space.
  const std::uint64_t end = file.position() + n;
  if (file.size() < end) file.resize(end);
  file.seek(end);
}

std::string partPathFor(const std::string& finalPath) {
  const std::string name = fileNamePart(finalPath);
  const std::string folder = finalPath.substr(0, finalPath.size() - name.size());
  // A random part: nobody can know the name beforehand and plant a link
  // at it (it is also created only where no file has it).
  std::uint64_t r = 0;
  if (::getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) {
    r = static_cast<std::uint64_t>(::clock()) ^ (reinterpret_cast<std::uintptr_t>(&r) << 16);
  }
  char part[64];
  std::snprintf(part, sizeof part, ".vantrel-%ld-%016llx.part", static_cast<long>(::getpid()),
                static_cast<unsigned long long>(r));
  return folder + part;
}

void removeStalePartFiles(const std::string& folder) noexcept {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  removeStalePartFiles(fd);
  ::close(fd);
}

void removeStalePartFiles(int folderFd) noexcept {
  // A descriptor of its own to list with (the folder's may be O_PATH).
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return;
  }
  while (const dirent* e = ::readdir(dir)) {
    // Only names of exactly the part files' form, whose process is gone:
    // any other name may be somebody's file.
    const std::string_view name(e->d_name);
    if (!isPartFileName(name) || e->d_type == DT_LNK || e->d_type == DT_DIR) continue;
    const long pid = std::strtol(std::string(name.substr(9)).c_str(), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlinkat(folderFd, e->d_name, 0);
  }
  ::closedir(dir);
}

namespace {

// The folder part of a path, "." for a bare name.
std::string folderOf(const std::string& path) {
  const std::string name = fileNamePart(path);
  const std::string folder = path.substr(0, path.size() - name.size());
  return folder.empty() ? std::string(".") : folder;
}

}  // namespace

// Everything is done relative to the folder held open: no path is walked
// again between making the file and naming it, so a link put in the way
// meanwhile is never followed, and names never take a link (O_NOFOLLOW).
OutputFile::OutputFile(std::string finalPath, WriteTap* tap, const OpenFolder* folder, bool replace)
    : finalPath_(std::move(finalPath)), replace_(replace) {
  if (folder && folder->isOpen() && folder->holds(finalPath_)) {
    folderFd_ = folder->descriptor();
  } else {
    do {
      ownFolderFd_ = ::open(folderOf(finalPath_).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (ownFolderFd_ < 0 && errno == EINTR);
    if (ownFolderFd_ < 0) throwErrno(errno, finalPath_, true);
    folderFd_ = ownFolderFd_;
  }
  int fd;
  do {
    fd = ::openat(folderFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    file_ = File(fd, finalPath_);
    file_.setTap(tap);
    return;
  }
  // Kernels and file systems without unnamed files say so in one of these.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) throwErrno(errno, finalPath_, true);
  removeStalePartFiles(folderFd_);
  // A name of its own, made only where no file (nor link) has it.
  for (int attempt = 0;; ++attempt) {
    partName_ = fileNamePart(partPathFor(finalPath_));
    const int partFd = ::openat(folderFd_, partName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (partFd >= 0) {
      file_ = File(partFd, finalPath_);
      break;
    }
    const int err = errno;
    partName_.clear();
    if ((err == EEXIST || err == EINTR) && attempt < 8) continue;
    throwErrno(err, finalPath_, true);
  }
  file_.setTap(tap);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(std::move(other.file_)),
      finalPath_(std::move(other.finalPath_)),
      partName_(std::move(other.partName_)),
      committed_(std::exchange(other.committed_, true)),
      folderFd_(other.folderFd_),
      ownFolderFd_(std::exchange(other.ownFolderFd_, -1)),
      replace_(other.replace_) {
  other.partName_.clear();
}

OutputFile::~OutputFile() {
  if (!committed_) {
    file_ = File();
    if (!partName_.empty()) ::unlinkat(folderFd_, partName_.c_str(), 0);
  }
  if (ownFolderFd_ >= 0) ::close(ownFolderFd_);
}

// A name the file system refuses (FAT's forbidden characters, bytes that
// are no character of its encoding, a name too long) is tried once more
// with the characters FAT forbids made '_'.
bool OutputFile::nameRefused(int err) noexcept { return err == EINVAL || err == EILSEQ || err == ENAMETOOLONG; }

bool OutputFile::takeSafeName() {
  const std::string name = fileNamePart(finalPath_);
  const std::string safe = fatSafeName(name);
  if (safe == name) return false;
  finalPath_ = finalPath_.substr(0, finalPath_.size() - name.size()) + safe;
  return true;
}

bool OutputFile::commit() {
  // A file that replaces another never replaces a link: the link may have
  // been planted to have the run write where it points.
  auto refuseLink = [&] {
    struct stat st {};
    if (::fstatat(folderFd_, fileNamePart(finalPath_).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      throw RunError(kSymlinkNotUsed, finalPath_);
    }
  };
  const int at = folderFd_;
  if (!partName_.empty()) {
    if (replace_) refuseLink();
    file_.close();
    const unsigned flags = replace_ ? 0u : RENAME_NOREPLACE;
    auto rename = [&] {
      const std::string to = fileNamePart(finalPath_);
      return ::renameat2(at, partName_.c_str(), at, to.c_str(), flags) == 0 ? 0 : errno;
    };
    int err = rename();
    if (nameRefused(err) && takeSafeName()) {
      if (replace_) refuseLink();
      err = rename();
    }
    if (err != 0) {
      if (err == EEXIST && !replace_) return false;  // the destructor removes the part file
      throwErrno(err, finalPath_, true);
    }
    committed_ = true;
    return true;
  }
  // An unnamed file gets its name through its descriptor: directly where
  // the process may (root, or a kernel that lets the opener do it), else
  // through /proc. Linking never replaces a file; one whose name may be
  // replaced is linked under a part name first, then renamed over.
  auto link = [&](const std::string& name) {
    if (::linkat(file_.descriptor(), "", at, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != EPERM && errno != ENOENT && errno != EINVAL) return errno;
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file_.descriptor());
    if (::linkat(AT_FDCWD, self, at, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return errno;
  };
  int err = link(fileNamePart(finalPath_));
  if (nameRefused(err) && takeSafeName()) err = link(fileNamePart(finalPath_));
  if (err == EEXIST && !replace_) {
    file_ = File();
    return false;
  }
  if (err == EEXIST) {
    // The name is taken: by a link, it is not replaced.
    refuseLink();
    const std::string part = fileNamePart(partPathFor(finalPath_));
    err = link(part);
    if (err == 0 && ::renameat(at, part.c_str(), at, fileNamePart(finalPath_).c_str()) != 0) {
      err = errno;
      ::unlinkat(at, part.c_str(), 0);
    }
  }
  if (err != 0) throwErrno(err, finalPath_, true);
  committed_ = true;
  try {
    file_.close();
  } catch (...) {
    // The bytes may not all have reached the disk: the name goes again.
    ::unlinkat(at, fileNamePart(finalPath_).c_str(), 0);
    throw;
  }
  return true;
}

std::string writeTextFile(const std::string& text, const std::string& finalPath, WriteTap* tap,
                          const OpenFolder* folder) {
  OutputFile file(finalPath, tap, folder);
  file.file().writeAll(text.data(), text.size());
  file.commit();
  return file.finalPath();
}

}  // namespace vantrel
