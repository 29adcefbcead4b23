// SPDX-License-Identifier: MIT
// Writes a small seed corpus of banks for the fuzz targets.

#include <cstdio>
#include <filesystem>
#include <string>

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
  return 0;
}
