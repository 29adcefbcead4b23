// SPDX-License-Identifier: MIT
#pragma once
// libsndfile and libcrypto, loaded the first time a check or a checksum
// needs them. Linking them would load both (and the codec libraries
// libsndfile brings) at every start of the command line, which doubles the
// start-up time of a run that neither verifies nor writes a manifest.
// A library that cannot be loaded is a RunError naming it.

#include <openssl/evp.h>
#include <sndfile.h>

namespace vantrel::verify {

struct Sndfile {
  decltype(&::sf_open) open;
  decltype(&::sf_open_virtual) openVirtual;
  decltype(&::sf_close) close;
  decltype(&::sf_strerror) strerror;
  decltype(&::sf_command) command;
  decltype(&::sf_read_raw) readRaw;
  decltype(&::sf_readf_short) readShort;
};

struct Crypto {
  decltype(&::EVP_MD_CTX_new) newContext;
  decltype(&::EVP_MD_CTX_free) freeContext;
  decltype(&::EVP_sha256) sha256;
  decltype(&::EVP_DigestInit_ex) init;
  decltype(&::EVP_DigestUpdate) update;
  decltype(&::EVP_DigestFinal_ex) final;
};

// Loaded once, on first use, from any thread.
const Sndfile& sndfile();
const Crypto& crypto();

}  // namespace vantrel::verify
