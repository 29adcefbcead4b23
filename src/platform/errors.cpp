// SPDX-License-Identifier: MIT
#include "platform/errors.h"

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
    default: return "I/O error " + std::to_string(code);
  }
}

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

RunError::RunError(int code, std::string path, std::string detail)
    : std::runtime_error((code == kInvalidBank || code == kVerificationFailed) && !detail.empty()
                             ? errorText(code) + ": " + detail
                             : errorText(code)),
      code_(code),
      path_(std::move(path)) {}

void throwErrno(int err, const std::string& path, bool writing) {
  throw RunError(errorCodeFromErrno(err, writing), path);
}

void throwInvalidBank(const std::string& path, const std::string& detail) {
  throw RunError(kInvalidBank, path, detail);
}

}  // namespace vantrel
