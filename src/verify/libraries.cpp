// SPDX-License-Identifier: MIT
#include "verify/libraries.h"

#include <dlfcn.h>

#include <string>

#include "platform/errors.h"

namespace vantrel::verify {
namespace {

// The sonames of the Debian packages the command line depends on.
constexpr const char* kSndfileName = "libsndfile.so.1";
constexpr const char* kCryptoName = "libcrypto.so.3";

class Library {
 public:
  explicit Library(const char* name) : name_(name) {
    handle_ = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) fail();
  }
  // Never closed: the functions stay in use until the process ends.

  template <typename F>
  void get(F& function, const char* symbol) {
    function = reinterpret_cast<F>(dlsym(handle_, symbol));
    if (!function) fail();
  }

 private:
  [[noreturn]] void fail() {
    const char* why = dlerror();
    throw RunError(kFileNotFound, name_ + std::string(why ? std::string(" (") + why + ")" : ""));
  }

  std::string name_;
  void* handle_ = nullptr;
};

Sndfile loadSndfile() {
  Library lib(kSndfileName);
  Sndfile f{};
  lib.get(f.open, "sf_open");
  lib.get(f.openVirtual, "sf_open_virtual");
  lib.get(f.close, "sf_close");
  lib.get(f.strerror, "sf_strerror");
  lib.get(f.command, "sf_command");
  lib.get(f.readRaw, "sf_read_raw");
  lib.get(f.readShort, "sf_readf_short");
  return f;
}

Crypto loadCrypto() {
  Library lib(kCryptoName);
  Crypto f{};
  lib.get(f.newContext, "EVP_MD_CTX_new");
  lib.get(f.freeContext, "EVP_MD_CTX_free");
  lib.get(f.sha256, "EVP_sha256");
  lib.get(f.init, "EVP_DigestInit_ex");
  lib.get(f.update, "EVP_DigestUpdate");
  lib.get(f.final, "EVP_DigestFinal_ex");
  return f;
}

}  // namespace

const Sndfile& sndfile() {
  static const Sndfile functions = loadSndfile();
  return functions;
}

const Crypto& crypto() {
  static const Crypto functions = loadCrypto();
  return functions;
}

}  // namespace vantrel::verify
