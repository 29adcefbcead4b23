// SPDX-License-Identifier: MIT
// Writes the demo banks into the folder given on the command line.

#include <cstdio>
#include <filesystem>

#include "demo_banks.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-demo-banks FOLDER\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path dir = argv[1];
  for (const auto& demo : vantrel::testing::demoBanks()) {
    const fs::path path = dir / demo.path;
    fs::create_directories(path.parent_path());
    vantrel::testing::writeBank(path.string(), demo.bank);
  }
  return 0;
}
