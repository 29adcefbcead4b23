// SPDX-License-Identifier: MIT
// Writes COUNT random banks into DIR and a few folders below it, the same
// banks for the same SEED, for scripts/compare-builds: zones with every field
// drawn over its whole range plus the extremes (key 127, roots below zero,
// fine tune and pan at both ends), loops inside, past the end and reversed,
// odd byte lengths, left/right pairs named in several ways, repeated names,
// names with spaces, Latin-1 and control bytes, samples of no frames, banks
// that hold fewer bytes than they promise, broken banks, and .TTI/.tti/.Tti
// file names. Bank names repeat across folders but never inside one, so that
// the banks of one folder can be converted by one run.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "verify_banks.h"

namespace fs = std::filesystem;
using namespace vantrel::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

BankDesc randomBank(std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  static const int kMaxFrames[] = {40, 700, 3000, 70000};
  BankDesc d = randomArchiveBank(static_cast<std::uint32_t>(rng()), kMaxFrames[pick(0, 3)]);
  SampleDesc last = d.samples.back();  // the cut-short one stays last
  d.samples.pop_back();
  last.end.reset();

  // Loops inside (as drawn), past the end, reversed or empty.
  auto loops = [&](SampleDesc& s) {
    const int frames = static_cast<int>(s.pcm.size() / 2);
    switch (pick(0, 4)) {
      case 1: s.loopEndFrame = static_cast<std::uint32_t>(frames + pick(1, 300)); break;
      case 2: s.loopStartFrame = static_cast<std::uint32_t>(frames), s.loopEndFrame = static_cast<std::uint32_t>(pick(0, frames)); break;
      case 3: s.loopStartFrame = s.loopEndFrame = 0; break;
      default: break;
    }
  };
  for (SampleDesc& s : d.samples) loops(s);
  loops(last);
  // The pairs ("PAD0L.WAV", "PAD0R.WAV") keep their names or are renamed;
  // most keep one loop for both sides.
  for (std::size_t k = 0; k + 1 < d.samples.size() && d.samples[k].name.starts_with("PAD"); k += 2) {
    const std::string n = std::to_string(k / 2);
    SampleDesc &l = d.samples[k], &r = d.samples[k + 1];
    switch (pick(0, 3)) {
      case 1: l.name = "Grand Piano " + n + " L", r.name = "Grand Piano " + n + " R"; break;
      case 2: l.name = "STR-" + n + "-L", r.name = "STR-" + n + "-R"; break;
      case 3: l.name = "Caf\xC9 " + n + " L", r.name = "Caf\xC9 " + n + " R"; break;
      default: break;
    }
    if (pick(0, 3) != 0) r.loopStartFrame = l.loopStartFrame, r.loopEndFrame = l.loopEndFrame;
  }
  // Extra samples: no frames, a repeated name, control and Latin-1 bytes.
  auto extra = [&](const std::string& name, std::size_t bytes) {
    SampleDesc s;
    s.name = name;
    s.pcm = noisePcm((bytes + 1) / 2, static_cast<std::uint32_t>(rng()));
    s.pcm.resize(bytes);
    s.zones = {static_cast<std::uint8_t>(pick(0, 8))};
    if (pick(0, 3) == 0) s.zones.push_back(static_cast<std::uint8_t>(pick(0, 9)));
    s.loopEndFrame = static_cast<std::uint32_t>(bytes / 2);
    loops(s);
    d.samples.push_back(s);
  };
  if (pick(0, 2) == 0) extra("EMPTY", 0);
  if (pick(0, 1) == 0) extra(d.samples.back().name, static_cast<std::size_t>(pick(1, 999)));
  if (pick(0, 1) == 0) extra(d.samples.front().name, static_cast<std::size_t>(pick(1, 999)));
  if (pick(0, 2) == 0) {
    extra("", static_cast<std::size_t>(pick(2, 400)));
    d.samples.back().nameField = Bytes{'B', 'E', 'L', 'L', 0x07, 0x01, '\t', 0xC9, 0x7F, ' ', 'x'};
  }
  if (pick(0, 3) == 0) extra(std::string(static_cast<std::size_t>(pick(200, 252)), 'N') + ".WAV", static_cast<std::size_t>(pick(1, 99)));
  if (pick(0, 3) == 0) extra("sub/dir .. name", static_cast<std::size_t>(pick(1, 99)));
  d.samples.push_back(last);

  // Zones at the ends of their ranges after the random ones.
  ZoneDesc top;
  top.keyLow = top.keyHigh = 127;
  top.transposition = 127;  // root 64 - 127, below zero
  top.fineTuneRaw = 0;
  top.panLeft = 31, top.panRight = 0;
  ZoneDesc low;
  low.transposition = 0x80;  // root 64 + 128
  low.fineTuneRaw = 127;
  low.panLeft = 0, low.panRight = 127;
  low.velLow = 100, low.velHigh = 3, low.volume = 0;
  ZoneDesc any = randomZone(rng);
  any.keyLow = 127;
  d.zones.insert(d.zones.end(), {top, low, any});

  std::uint32_t before = 0;
  for (std::size_t k = 0; k + 1 < d.samples.size(); ++k) before += static_cast<std::uint32_t>(d.samples[k].pcm.size());
  if (pick(0, 3) != 0) d.samples.back().end = before + static_cast<std::uint32_t>(last.pcm.size() + pick(1, 500));
  if (pick(0, 5) == 0) d.pcmPrefix = Bytes(static_cast<std::size_t>(pick(1, 9)), 0x11);
  if (pick(0, 5) == 0) d.ttkl = false;
  if (pick(0, 7) == 0) d.beforeTtsa = Bytes(static_cast<std::size_t>(pick(1, 7)), 0);
  if (pick(0, 7) == 0) d.endBit = false;
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make-random-banks DIR COUNT SEED\n");
    return 2;
  }
  const fs::path dir = argv[1];
  const int count = std::atoi(argv[2]);
  std::mt19937 rng(static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)));
  static const char* kFolders[] = {"", "Pianos", "Pianos/Old Ones", "Drum Kits"};
  static const char* kExtensions[] = {".TTI", ".tti", ".TTI", ".Tti"};
  static const char* kStems[] = {"BANK", "Strings ", "kit_"};
  for (int i = 0; i < count; ++i) {
    const fs::path folder = dir / kFolders[i % 4];
    fs::create_directories(folder);
    // Bank i / 4 of every folder has the same name.
    const std::string name = kStems[i / 4 % 3] + std::to_string(i / 4) + kExtensions[i / 4 % 4];
    const BankDesc desc = randomBank(rng);
    Bytes bytes = buildBank(desc);
    std::size_t pcmBytes = desc.pcmPrefix.size();
    for (const SampleDesc& s : desc.samples) pcmBytes += s.pcm.size();
    switch (i % 10) {
      case 3: bytes.resize(bytes.size() - (pcmBytes + 1) / 3); break;  // fewer PCM bytes than promised
      case 7: bytes.resize(700); break;                               // cut inside the directory
      case 9: bytes.assign(bytes.begin() + 512, bytes.end()); break;  // no header: not a bank
      default: break;
    }
    writeBytes((folder / name).string(), bytes);
  }
  return 0;
}
