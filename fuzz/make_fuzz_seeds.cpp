// SPDX-License-Identifier: MIT
// Writes a small seed corpus of banks for the fuzz targets, and into
// FOLDER/archive_read_fuzz/ images and archives of a few of them made by
// the real tools (xorriso, zip, 7z, bsdtar), with an ISO image whose bank
// record points back at its first block.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bank_builder.h"

using namespace vantrel::testing;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-fuzz-seeds FOLDER\n");
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  auto out = [&](const std::string& name, const BankDesc& d) {
    writeBank((std::filesystem::path(argv[1]) / name).string(), d);
  };

  BankDesc empty;
  out("empty.tti", empty);

  BankDesc mono;
  for (int i = 0; i < 3; ++i) {
    SampleDesc s;
    s.name = i == 2 ? "DIR\\A.WAV" : "A.WAV";
    s.pcm = sinePcm(16, 0.1);
    s.loopStartFrame = 4;
    s.loopEndFrame = 16;
    s.zones = {static_cast<std::uint8_t>(i)};
    mono.samples.push_back(s);
  }
  mono.zones.resize(3);
  mono.zones[1].a = mono.zones[1].c = true;
  mono.zones[2].b = mono.zones[2].d = true;
  out("three.tti", mono);

  BankDesc pair;
  SampleDesc l, r;
  l.name = "PAD L.WAV";
  r.name = "PAD R.WAV";
  l.pcm = r.pcm = sinePcm(20, 0.05);
  l.zones = {0};
  r.zones = {1};
  pair.samples = {l, r};
  pair.zones.resize(2);
  pair.ttkl = false;
  pair.beforeTtip = {1, 2, 3, 4, 5};
  out("pair.tti", pair);

  BankDesc odd;
  SampleDesc o;
  o.name = "ODD";
  o.pcm = {1, 2, 3};
  o.start = 1;
  o.end = 200;
  odd.samples = {o};
  odd.dataSize = 1000;
  out("odd.tti", odd);

  // Images and archives of a tree of those banks, with links.
  namespace fs = std::filesystem;
  const fs::path images = fs::absolute(argv[1]) / "archive_read_fuzz";
  const fs::path tree = fs::absolute(argv[1]) / "archive-tree";
  fs::remove_all(tree);
  fs::create_directories(tree / "Sub");
  fs::create_directories(images);
  writeBank((tree / "THREE.TTI").string(), mono);
  writeBank((tree / "Sub" / "PAIR.TTI").string(), pair);
  writeBank((tree / "Sub" / "ODD.TTI").string(), odd);
  const std::string t = "'" + tree.string() + "'", to = "'" + images.string() + "'";
  const std::vector<std::string> make = {
      "cd " + t + " && ln -sf THREE.TTI LINK.TTI && ln -f Sub/PAIR.TTI HARD.TTI",
      "xorriso -as mkisofs -quiet -R -J -o " + to + "/tree.iso " + t + " 2>/dev/null",
      "cd " + t + " && zip -qry " + to + "/tree.zip .",
      "cd " + t + " && 7z a -bd " + to + "/tree.7z . >/dev/null",
      "bsdtar -cf " + to + "/tree.tar -C " + t + " .",
      "bsdtar -czf " + to + "/tree.tar.gz -C " + t + " .",
  };
  for (const std::string& command : make) {
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "make-fuzz-seeds: failed: %s\n", command.c_str());
      return 1;
    }
  }
  fs::remove_all(tree);
  // The image's record of THREE.TTI pointed at block 0 with the image's
  // size: libarchive lists the root's entries again and again.
  std::vector<std::uint8_t> iso(fs::file_size(images / "tree.iso"));
  if (std::FILE* f = std::fopen((images / "tree.iso").c_str(), "rb")) {
    const std::size_t got = std::fread(iso.data(), 1, iso.size(), f);
    std::fclose(f);
    if (got != iso.size()) return 1;
  }
  const std::string name = "THREE.TTI;1";
  for (std::size_t at = 16 * 2048; at + 33 + name.size() < iso.size(); ++at) {
    if (iso[at + 32] == name.size() && std::string(iso.begin() + static_cast<long>(at) + 33,
                                                   iso.begin() + static_cast<long>(at + 33 + name.size())) == name) {
      const auto size = static_cast<std::uint32_t>(iso.size());
      for (int k = 0; k < 4; ++k) {
        iso[at + 2 + k] = iso[at + 9 - k] = 0;
        iso[at + 10 + k] = iso[at + 17 - k] = static_cast<std::uint8_t>(size >> 8 * k);
      }
      writeBytes((images / "looping.iso").string(), iso);
      return 0;
    }
  }
  std::fprintf(stderr, "make-fuzz-seeds: no record of %s\n", name.c_str());
  return 1;
}
