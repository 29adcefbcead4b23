// SPDX-License-Identifier: MIT
#pragma once
// The loaded bank. Per-sample tables have kMaxSamples slots; a load
// overwrites the slots of its own entries, and slots from sampleCount on
// belong to no bank.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace vantrel {

constexpr std::size_t kMaxSamples = 4096;
constexpr std::size_t kMaxZones = 4096;

// Memory for a bank's PCM data area, from allocatePcm.
struct PcmFree {
  void operator()(std::uint8_t* p) const noexcept;
};
using PcmBuffer = std::unique_ptr<std::uint8_t[], PcmFree>;

// A block of n bytes for PCM data, or null when there is no memory for it.
PcmBuffer allocatePcm(std::size_t n);

// A copy of the bytes read from a PCM data area, kept by their place in
// the area: what a file was written from, for a check that compares the
// file with them without reading the bank again. It keeps at most `cap`
// bytes; reads past that are not kept.
class PcmReadCopy {
 public:
  explicit PcmReadCopy(std::size_t cap) : cap_(cap) {}
  // Forgets every byte; the memory stays for the next file.
  void clear() noexcept;
  // Keeps the n bytes read from `at` into `from`.
  void add(std::uint64_t at, const std::uint8_t* from, std::size_t n);
  // Bytes [at, at + n) of the area if one read holds them all, else null.
  const std::uint8_t* find(std::uint64_t at, std::size_t n) const noexcept;

 private:
  struct Piece {
    std::uint64_t at;
    const std::uint8_t* bytes;
    std::size_t size;
  };
  PcmBuffer memory_;  // cap_ bytes and a page, from the first add on
  std::size_t used_ = 0;
  std::size_t cap_;
  std::vector<Piece> pieces_;
};

// A bank's PCM data area: a stretch of the bank file, held open, or its
// bytes in memory (a bank read from memory). Keeping the area in the file
// saves reading all of it into memory before the first output file: the
// writers read each sample's bytes straight into their output blocks.
struct PcmArea {
  PcmArea() = default;
  PcmArea(PcmArea&& other) noexcept { *this = std::move(other); }
  PcmArea& operator=(PcmArea&& other) noexcept;

  File file;                   // the bank file, while the area is in it
  std::uint64_t offset = 0;    // where the area starts in `file`
  PcmBuffer memory;            // or the bytes themselves, from memoryStart on
  std::size_t memoryStart = 0;
  std::uint32_t size = 0;

  bool held() const noexcept { return file.isOpen() || memory != nullptr; }
  // The area's first byte in memory; null when the bytes are in the file.
  const std::uint8_t* bytes() const noexcept { return memory ? memory.get() + memoryStart : nullptr; }
  // Copies n bytes from `at` into `to`; at + n must not pass `size`. A bank
  // file cut short since loading is "Read beyond end of file".
  // With `copy`, the bytes read are kept there as well.
  void read(std::uint64_t at, void* to, std::size_t n, PcmReadCopy* copy = nullptr) const;
  // The n bytes from `at` where they are in memory, checked as read()
  // checks them; null when the area is in the file.
  const std::uint8_t* view(std::uint64_t at, std::size_t n) const;

 private:
  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
  // An area small enough to come with the bank's first read keeps its
  // bytes in memory and the file open: the file's length, asked once at
  // the first read, tells whether the bank has been cut short since.
  mutable std::atomic<std::uint64_t> fileLength_{kUnknown};
};

struct SampleBank {
  SampleBank()
      : sampleName(kMaxSamples),
        outputName(kMaxSamples),
        pcmStart(kMaxSamples),
        pcmEnd(kMaxSamples),
        pcmLength(kMaxSamples),
        loopStart(kMaxSamples),
        loopEnd(kMaxSamples),
        zoneSample(kMaxZones) {}

  std::string ttiPath;  // path of the bank file, as the file system spells it
  std::uint32_t sampleCount = 0;

  // Names are the bank's 8-bit characters (Latin-1), byte for byte.
  std::vector<std::string> sampleName;
  // sampleName made safe as a file name and unique within the bank.
  std::vector<std::string> outputName;

  // Byte offsets into the PCM data area.
  std::vector<std::uint32_t> pcmStart;
  std::vector<std::uint32_t> pcmEnd;
  std::vector<std::uint32_t> pcmLength;  // pcmEnd - pcmStart, modulo 2^32, or what is held (claimedLength)
  // Samples whose missing bytes would take the bank's silence past its
  // bound (boundSilence): the length the bank claims for sample i, which
  // pcmLength[i] cuts to what the file holds; empty when none is.
  std::vector<std::uint32_t> claimedLength;
  // The bank file's size, when its PCM data is loaded.
  std::uint64_t fileSize = 0;
  // Silence written for missing bytes stays within 16 times the file's
  // size, or 1 MiB for a smaller file (boundSilence).
  std::uint64_t silenceBound() const noexcept { return std::max<std::uint64_t>(16 * fileSize, 1u << 20); }
  // Loop points in 16-bit frames from the sample's first frame.
  std::vector<std::int32_t> loopStart;
  std::vector<std::int32_t> loopEnd;  // last frame of the loop

  // For zone number z, the index of the entry whose zone list names z.
  std::vector<std::uint16_t> zoneSample;

  // The PCM data area, loaded by getttivalues(ctx, 1).
  PcmArea pcm;

  void releasePcm() noexcept { pcm = PcmArea(); }
};

}  // namespace vantrel
