// SPDX-License-Identifier: MIT
#pragma once
// One error type for every failure that ends a job, with one table from code
// to text. The codes are those of the run-time library the converter's users
// know from its message boxes.

#include <stdexcept>
#include <string>

namespace vantrel {

enum ErrorCode : int {
  kFileNotFound = 2,
  kInvalidFilename = 3,
  kTooManyOpenFiles = 4,
  kFileAccessDenied = 5,
  kReadBeyondEnd = 100,
  kDiskFull = 101,
  kInvalidNumericInput = 106,
  kOutOfMemory = 203,
  kInvalidBank = 900,  // our own: a bank whose layout the reader cannot hold
  kCancelled = 901,    // our own: the user stopped the job
  kVerificationFailed = 902,  // our own: an output file read back differs from its bank
  kOutputDiffers = 903,       // our own: an output file found already there holds other bytes
  kNotRegularFile = 904,      // our own: a bank that is a folder, pipe or device
  kSymlinkNotUsed = 905,      // our own: an output name held by a symbolic link
  kDamagedArchive = 906,      // our own: an image or archive entry that cannot be read whole
  // Entries of an image that a walk for banks does not take as they stand,
  // named by the walk (not errors of a bank): one whose path leads out of
  // the image, a link to a bank inside it (taken as that bank), and any
  // other, with the reason.
  kLeavesImage = 907,
  kLinkFollowed = 908,
  kEntryNotUsed = 909,
  kNotSupported = 910,        // our own: the target's file system refuses an operation the output needs
};

// Whether `code` names an entry of an image passed over by a walk
// (kLeavesImage, kEntryNotUsed): the run names it and counts it apart.
bool isEntryPassedOver(int code) noexcept;

// The text shown for a code: "File not found", ..., "I/O error %d".
std::string errorText(int code);

// Maps an errno value from a failed file operation to an error code.
// `writing` tells a failed write from a failed read where the errno alone
// does not (EIO).
int errorCodeFromErrno(int err, bool writing = false);

class RunError : public std::runtime_error {
 public:
  // `detail` is appended to the code's text: after a colon for
  // kInvalidBank and kVerificationFailed, in brackets for the others (the
  // system's reason where it says more than the code's text).
  RunError(int code, std::string path = {}, std::string detail = {});

  int code() const noexcept { return code_; }
  // The file the failure concerns; may be empty.
  const std::string& path() const noexcept { return path_; }
  // The text as the window's error box shows it (what() returns the same).
  std::string message() const { return what(); }

 private:
  int code_;
  std::string path_;
};

// The system's reason for errno `err` where it says more than the text of
// the code it maps to ("read-only file system" for EROFS); empty where it
// says the same ("permission denied" for EACCES).
std::string errnoReason(int err);

// The RunError for the errno of a failed operation on `path`: the code's
// text and, where it says more, the system's reason.
RunError errnoError(int err, const std::string& path, bool writing = false);

// Whether `path` itself is a symbolic link (not followed).
bool isSymlink(const std::string& path) noexcept;

// Throws RunError for the errno of a failed operation on `path`.
[[noreturn]] void throwErrno(int err, const std::string& path, bool writing = false);

// A bank the reader refuses: "Invalid TTI file: <detail>".
[[noreturn]] void throwInvalidBank(const std::string& path, const std::string& detail);

}  // namespace vantrel
