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
    folder_ = folder;
  } else {
    ownFolder_ = std::make_unique<OpenFolder>(folderOf(finalPath_));
    if (!ownFolder_->isOpen()) throwErrno(errno, finalPath_, true);
    folder_ = ownFolder_.get();
  }
  folderFd_ = folder_->descriptor();
  if (!(folder_->refused() & OpenFolder::kNoUnnamedFiles)) {
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
    folder_->noteRefused(OpenFolder::kNoUnnamedFiles);
  }
  // Once per folder: its listing is not read again for every file.
  if (!(folder_->refused() & OpenFolder::kSwept)) {
    removeStalePartFiles(folderFd_);
    folder_->noteRefused(OpenFolder::kSwept);
  }
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
      reader_(std::move(other.reader_)),
      finalPath_(std::move(other.finalPath_)),
      partName_(std::move(other.partName_)),
      fallbacksTried_(other.fallbacksTried_),
      askedName_(std::move(other.askedName_)),
      committed_(std::exchange(other.committed_, true)),
      durable_(other.durable_),
      avoid_(other.avoid_),
      folder_(other.folder_),
      ownFolder_(std::move(other.ownFolder_)),
      folderFd_(other.folderFd_),
      replace_(other.replace_) {
  other.partName_.clear();
}

OutputFile::~OutputFile() {
  reader_ = File();
  if (!committed_) {
    file_ = File();
    if (!partName_.empty()) ::unlinkat(folderFd_, partName_.c_str(), 0);
  }
}

// A name the file system refuses (FAT's forbidden characters, bytes that
// are no character of its encoding, a name too long) is tried again under
// its fallback names, each numbered as a repeat until it is no other file's
// of the job: a sample the bank itself names "WHAT_.WAV" keeps its name
// beside "WHAT?.WAV" written as "WHAT__1.WAV".
bool OutputFile::takeSafeName() {
  const std::string name = fileNamePart(finalPath_);
  const std::string folder = finalPath_.substr(0, finalPath_.size() - name.size());
  if (fallbacksTried_ == 0) askedName_ = name;
  const std::vector<std::string> names = fallbackNames(askedName_);
  if (fallbacksTried_ >= names.size()) return false;
  const std::string& safe = names[fallbacksTried_++];
  std::string given = safe;
  if (avoid_) {
    for (std::uint32_t k = 1; avoid_->count(caseFoldedUtf8(given)) > 0; ++k) given = repeatedName(safe, k);
    avoid_->insert(caseFoldedUtf8(given));
  }
  finalPath_ = folder + given;
  return true;
}

const File& OutputFile::readable() {
  if (partName_.empty() || folder_->storage() != OpenFolder::Storage::Fuse) return file_;
  if (!reader_.isOpen()) {
    int fd;
    do {
      fd = ::openat(folderFd_, partName_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throwErrno(errno, finalPath_);
    reader_ = File(fd, finalPath_);
  }
  return reader_;
}

void OutputFile::syncUnlessDurable() {
  if (durable_) return;
  File* files[] = {&file_};
  makeDurable(*folder_, files, 1);
  durable_ = true;
}

namespace {

// The errors of a call the file system does not offer (FUSE without the
// rename flags, FAT without hard links), as opposed to one it refuses
// for this name or this file.
bool notOffered(int err) noexcept { return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTTY; }

}  // namespace

namespace {

// Claims `name` in folder `at` by creating it as a new empty file, so that
// it is surely no one else's file; 0 or the errno.
int claimName(int at, const std::string& name, struct stat& claimed) {
  int claim;
  do {
    claim = ::openat(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  } while (claim < 0 && errno == EINTR);
  if (claim < 0) return errno;
  const int err = ::fstat(claim, &claimed) == 0 ? 0 : errno;
  ::close(claim);
  return err;
}

// Removes a claim made by claimName, if it is still that empty file.
void dropClaim(int at, const std::string& name, const struct stat& claimed) {
  struct stat now {};
  if (::fstatat(at, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == claimed.st_ino &&
      now.st_dev == claimed.st_dev && now.st_size == 0) {
    ::unlinkat(at, name.c_str(), 0);
  }
}

}  // namespace

int OutputFile::namePartFile() {
  const int at = folderFd_;
  const std::string to = fileNamePart(finalPath_);
  const char* part = partName_.c_str();
  struct stat claimed {};
  if (replace_) {
    // A FUSE server may drop the part file when it refuses the name it is
    // renamed to (fusefat does): the name is tried by a claim first.
    bool claimedHere = false;
    if (folder_->storage() == OpenFolder::Storage::Fuse) {
      const int err = claimName(at, to, claimed);
      if (err != 0 && err != EEXIST) return err;
      claimedHere = err == 0;
    }
    if (::renameat(at, part, at, to.c_str()) == 0) return 0;
    const int err = errno;
    if (claimedHere) dropClaim(at, to, claimed);
    return err;
  }
  const unsigned refused = folder_->refused();
  if (!(refused & OpenFolder::kNoRenameFlags)) {
    if (::renameat2(at, part, at, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int err = errno;
    if (!notOffered(err)) return err;
    // EINVAL may also be a name the file system refuses: the way after
    // tells, and only a way that then works marks the flags as refused.
  }
  if (!(refused & OpenFolder::kNoLinks)) {
    if (::linkat(at, part, at, to.c_str(), 0) == 0) {
      ::unlinkat(at, part, 0);
      folder_->noteRefused(OpenFolder::kNoRenameFlags);
      return 0;
    }
    const int err = errno;
    if (err == EEXIST) {
      folder_->noteRefused(OpenFolder::kNoRenameFlags);
      return err;
    }
    if (err != EPERM && err != EMLINK && !notOffered(err)) return err;
  }
  // The claim: the final name made as a new empty file, then the part file
  // renamed over it.
  if (const int err = claimName(at, to, claimed); err != 0) return err;
  folder_->noteRefused(OpenFolder::kNoRenameFlags | OpenFolder::kNoLinks);
  if (::renameat(at, part, at, to.c_str()) == 0) return 0;
  const int err = errno;
  dropClaim(at, to, claimed);
  return notOffered(err) ? ENOTSUP : err;
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
  auto unsupported = [&](const char* what) {
    throw RunError(kNotSupported, finalPath_, std::string("the file system does not support ") + what);
  };
  const int at = folderFd_;
  reader_ = File();
  syncUnlessDurable();
  if (!partName_.empty()) {
    if (replace_) refuseLink();
    file_.close();
    int err = namePartFile();
    while (refusesName(err) && takeSafeName()) {
      if (replace_) refuseLink();
      err = namePartFile();
    }
    if (err != 0) {
      if (err == EEXIST && !replace_) return false;  // the destructor removes the part file
      if (err == ENOTSUP) unsupported("renaming files");
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
  while (refusesName(err) && takeSafeName()) err = link(fileNamePart(finalPath_));
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
  if (err == EOPNOTSUPP || err == ENOSYS) unsupported("naming unnamed files");
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
                          const OpenFolder* folder, bool replace) {
  OutputFile file(finalPath, tap, folder, replace);
  file.file().writeAll(text.data(), text.size());
  if (!file.commit()) throwErrno(EEXIST, file.finalPath(), true);
  return file.finalPath();
}

}  // namespace vantrel
