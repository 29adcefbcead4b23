// SPDX-License-Identifier: MIT
// Reads arbitrary bytes as an image or archive (ISO 9660, zip, 7z, tar,
// compressed tar; libarchive tells them by their bytes): lists its banks,
// folders and passed-over entries as a folder run does, then reads every
// bank whole, through the catalogue's reader and apart from it. Temporary
// files of banks are bounded to 64 MiB; fuzz/run bounds memory and time.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "tti/archive_banks.h"

namespace {

using namespace vantrel;

const std::string& imagePath() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/archive_read_fuzz-" + std::to_string(::getpid()) + ".iso";
  }();
  return path;
}

void readWhole(ByteSource& source) {
  static std::vector<std::uint8_t> chunk(256 * 1024);
  for (std::uint64_t left = source.size(); left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    source.read(chunk.data(), n);
    left -= n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vantrel::setSpillLimit(64 << 20);
  std::atexit([] { std::remove(imagePath().c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = imagePath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) __builtin_trap();
  if (std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) __builtin_trap();
  const std::string root = path + "//";
  try {
    ArchiveCatalogue catalogue(path);
    std::size_t told = 0;
    const std::vector<BankRef> banks = catalogue.banksBelow(root, [&](const RunError& e) {
      // Every entry named lies in the image.
      if (e.path().compare(0, path.size(), path) != 0) __builtin_trap();
      ++told;
    });
    catalogue.foldersIn(root);
    for (const BankRef& bank : banks) {
      if (bank.path().compare(0, root.size(), root) != 0 || bank.path().size() == root.size()) __builtin_trap();
      try {
        readWhole(*bank.open());
        if (bank.opensApart()) readWhole(*bank.openApart());
      } catch (const RunError&) {
      }
    }
  } catch (const RunError&) {
  }
  return 0;
}
