// SPDX-License-Identifier: MIT
// Preloaded into a program under test (LD_PRELOAD), this makes open() and
// openat() with O_TMPFILE fail with EOPNOTSUPP, as on file systems without unnamed files
// (FAT, some network file systems), so that the named part files that stand
// in for them are tested on any file system.

#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

namespace {

using OpenFn = int (*)(const char*, int, ...);

int refuseTmpfile(OpenFn realOpen, const char* path, int flags, va_list args) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
  return realOpen(path, flags, mode);
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  static const auto realOpen = reinterpret_cast<OpenFn>(::dlsym(RTLD_NEXT, "open"));
  const int fd = refuseTmpfile(realOpen, path, flags, args);
  va_end(args);
  return fd;
}

extern "C" int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  static const auto realOpen = reinterpret_cast<OpenFn>(::dlsym(RTLD_NEXT, "open64"));
  const int fd = refuseTmpfile(realOpen, path, flags, args);
  va_end(args);
  return fd;
}

using OpenAtFn = int (*)(int, const char*, int, ...);

namespace {

int refuseTmpfileAt(OpenAtFn realOpenAt, int folder, const char* path, int flags, va_list args) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
  return realOpenAt(folder, path, flags, mode);
}

}  // namespace

extern "C" int openat(int folder, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  static const auto realOpenAt = reinterpret_cast<OpenAtFn>(::dlsym(RTLD_NEXT, "openat"));
  const int fd = refuseTmpfileAt(realOpenAt, folder, path, flags, args);
  va_end(args);
  return fd;
}

extern "C" int openat64(int folder, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  static const auto realOpenAt = reinterpret_cast<OpenAtFn>(::dlsym(RTLD_NEXT, "openat64"));
  const int fd = refuseTmpfileAt(realOpenAt, folder, path, flags, args);
  va_end(args);
  return fd;
}
