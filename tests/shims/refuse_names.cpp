// SPDX-License-Identifier: MIT
// Preloaded into a program under test (LD_PRELOAD), this refuses with
// EINVAL every name with a '?' that a file or folder is created, linked or
// renamed to, as FAT does, so that names the target refuses are tested on
// any file system.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace {

template <typename Fn>
Fn real(const char* name) {
  return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

// The last component of `path` holds a '?': EINVAL is set.
bool refused(const char* path) {
  const char* slash = std::strrchr(path, '/');
  if (!std::strchr(slash ? slash + 1 : path, '?')) return false;
  errno = EINVAL;
  return true;
}

}  // namespace

extern "C" int openat(int folder, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
  va_end(args);
  if ((flags & O_CREAT) && refused(path)) return -1;
  return real<int (*)(int, const char*, int, ...)>("openat")(folder, path, flags, mode);
}
extern "C" int openat64(int folder, const char* path, int flags, ...) __attribute__((alias("openat")));

extern "C" int linkat(int from, const char* path, int to, const char* name, int flags) {
  if (refused(name)) return -1;
  return real<int (*)(int, const char*, int, const char*, int)>("linkat")(from, path, to, name, flags);
}

extern "C" int renameat2(int from, const char* path, int to, const char* name, unsigned flags) {
  if (refused(name)) return -1;
  return real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(from, path, to, name, flags);
}

extern "C" int renameat(int from, const char* path, int to, const char* name) {
  if (refused(name)) return -1;
  return real<int (*)(int, const char*, int, const char*)>("renameat")(from, path, to, name);
}

extern "C" int mkdirat(int folder, const char* path, mode_t mode) {
  if (refused(path)) return -1;
  return real<int (*)(int, const char*, mode_t)>("mkdirat")(folder, path, mode);
}

extern "C" int mkdir(const char* path, mode_t mode) {
  if (refused(path)) return -1;
  return real<int (*)(const char*, mode_t)>("mkdir")(path, mode);
}
