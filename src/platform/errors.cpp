// SPDX-License-Identifier: MIT
#include "platform/errors.h"

#include <sys/stat.h>

#include <cerrno>

namespace vantrel {

std::string errorText(int code) {
  switch (code) {
    case kFileNotFound: return "File not found";
    case kInvalidFilename: return "Invalid filename";
    case kTooManyOpenFiles: return "Too many open files";
    case kFileAccessDenied: return "File access denied";
    case kReadBeyondEnd: return "Read beyond end of file";
    case kDiskFull: return "Disk full";
    case kInvalidNumericInput: return "Invalid numeric input";
    case kOutOfMemory: return "Out of memory";
    case kInvalidBank: return "Invalid TTI file";
    case kCancelled: return "cancelled";
    case kVerificationFailed: return "Verification failed";
    case kOutputDiffers: return "exists and differs";
    case kNotRegularFile: return "not a regular file";
    case kSymlinkNotUsed: return "is a symbolic link: not used";
    case kDamagedArchive: return "Damaged image or archive";
    case kLeavesImage: return "path leaves the image: not used";
    case kLinkFollowed: return "is a link inside the image: followed to";
    case kEntryNotUsed: return "not used";
    case kNotSupported: return "Operation not supported";
    default: return "I/O error " + std::to_string(code);
  }
}

bool isEntryPassedOver(int code) noexcept { return code == kLeavesImage || code == kEntryNotUsed; }

int errorCodeFromErrno(int err, bool writing) {
  switch (err) {
    case ENOENT: return kFileNotFound;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ: return kInvalidFilename;
    case EMFILE:
    case ENFILE: return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EEXIST: return kFileAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kDiskFull;
    case ENOMEM: return kOutOfMemory;
    case EIO: return writing ? 29 : 30;  // write fault, read fault
    case ENOTDIR: return kFileNotFound;
    default: return 1000 + err;
  }
}

namespace {

std::string textWith(int code, const std::string& detail) {
  if (detail.empty()) return errorText(code);
  if (code == kLinkFollowed) return errorText(code) + " " + detail;
  if (code == kInvalidBank || code == kVerificationFailed || code == kDamagedArchive) return errorText(code) + ": " + detail;
  return errorText(code) + " (" + detail + ")";
}

}  // namespace

RunError::RunError(int code, std::string path, std::string detail)
    : std::runtime_error(textWith(code, detail)), code_(code), path_(std::move(path)) {}

std::string errnoReason(int err) {
  switch (err) {
    case EROFS: return "read-only file system";
    case EPERM: return "operation not permitted";
    case EISDIR: return "is a folder";
    case ENOTDIR: return "not a folder";
    case EEXIST: return "a file of that name is in the way";
    case ETXTBSY: return "file busy";
    case EDQUOT: return "disk quota exceeded";
    case EFBIG: return "file too large";
    case ENAMETOOLONG: return "name too long";
    case EILSEQ: return "name not allowed by the file system";
    case ELOOP: return "too many symbolic links";
    default: return {};
  }
}

bool isSymlink(const std::string& path) noexcept {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

RunError errnoError(int err, const std::string& path, bool writing) {
  return RunError(errorCodeFromErrno(err, writing), path, errnoReason(err));
}

void throwErrno(int err, const std::string& path, bool writing) { throw errnoError(err, path, writing); }

void throwInvalidBank(const std::string& path, const std::string& detail) {
  throw RunError(kInvalidBank, path, detail);
}

}  // namespace vantrel
