// SPDX-License-Identifier: MIT
// Preloaded into a program under test (LD_PRELOAD), this makes open() and
// openat() with O_TMPFILE fail with EOPNOTSUPP, as on file systems without
// unnamed files (FAT, some network file systems), so that the named part
// files that stand in for them are tested on any file system. open(path)
// is openat(AT_FDCWD, path), as in the C library.

#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

namespace {

using OpenAtFn = int (*)(int, const char*, int, ...);

OpenAtFn realOpenAt() {
  static const auto real = reinterpret_cast<OpenAtFn>(::dlsym(RTLD_NEXT, "openat"));
  return real;
}

// The C library's openat with the mode that O_CREAT takes from `args`,
// unless O_TMPFILE is asked for.
int refuseTmpfile(int folder, const char* path, int flags, va_list args) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
  return realOpenAt()(folder, path, flags, mode);
}

}  // namespace

extern "C" int openat(int folder, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = refuseTmpfile(folder, path, flags, args);
  va_end(args);
  return fd;
}

extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = refuseTmpfile(AT_FDCWD, path, flags, args);
  va_end(args);
  return fd;
}

// On 64-bit Linux the *64 forms are the same calls.
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));
extern "C" int openat64(int folder, const char* path, int flags, ...) __attribute__((alias("openat")));
