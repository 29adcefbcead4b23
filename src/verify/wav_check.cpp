// SPDX-License-Identifier: MIT
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "platform/errors.h"
#include "platform/file.h"
#include "verify/checks.h"
#include "verify/expected.h"
#include "verify/libraries.h"

namespace vantrel::verify {
namespace {

struct SndfileClose {
  void operator()(SNDFILE* f) const noexcept { sndfile().close(f); }
};

// The file as libsndfile reads it, through our own calls: its first block
// is read once and serves the many small reads of the header's parsing;
// larger reads go straight into libsndfile's memory.
class ReadBack {
 public:
  // Empty, or why the file cannot be read.
  std::string open(const std::string& path) {
    try {
      own_ = File(path, File::Mode::Read);
    } catch (const RunError& e) {
      return errorText(e.code());
    }
    return use(own_, own_.sizeWhenOpened());
  }
  // An open file; empty, or why it cannot be read.
  std::string use(const File& file) {
    std::uint64_t size;
    try {
      size = file.size();
    } catch (const RunError& e) {
      return errorText(e.code());
    }
    return use(file, size);
  }

  // The 7 bytes of the "inst" chunk before "data" in the file's first
  // bytes; null when it has none.
  const std::uint8_t* instChunk() const {
    for (std::size_t at = 12; at + 8 <= headSize_;) {
      const std::uint32_t size = head_[at + 4] | head_[at + 5] << 8 | head_[at + 6] << 16 |
                                 static_cast<std::uint32_t>(head_[at + 7]) << 24;
      if (std::memcmp(head_ + at, "data", 4) == 0) break;
      if (std::memcmp(head_ + at, "inst", 4) == 0) return size >= 7 && at + 15 <= headSize_ ? head_ + at + 8 : nullptr;
      at += 8 + std::size_t{size} + (size & 1u);
    }
    return nullptr;
  }

  static SF_VIRTUAL_IO io() {
    SF_VIRTUAL_IO v{};
    v.get_filelen = [](void* self) { return static_cast<sf_count_t>(static_cast<ReadBack*>(self)->size_); };
    v.seek = [](sf_count_t offset, int whence, void* self) { return static_cast<ReadBack*>(self)->seek(offset, whence); };
    v.read = [](void* to, sf_count_t n, void* self) { return static_cast<ReadBack*>(self)->read(to, n); };
    v.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
    v.tell = [](void* self) { return static_cast<sf_count_t>(static_cast<ReadBack*>(self)->pos_); };
    return v;
  }

 private:
  static constexpr std::size_t kHeadSize = 4096;

  std::string use(const File& file, std::uint64_t size) {
    file_ = &file;
    size_ = size;
    headSize_ = static_cast<std::size_t>(std::min<std::uint64_t>(size_, kHeadSize));
    try {
      file_->readAt(0, head_, headSize_);
    } catch (const RunError& e) {
      return errorText(e.code());
    }
    return {};
  }

  sf_count_t seek(sf_count_t offset, int whence) {
    const sf_count_t base = whence == SEEK_CUR ? static_cast<sf_count_t>(pos_)
                            : whence == SEEK_END ? static_cast<sf_count_t>(size_)
                                                 : 0;
    if (base + offset < 0) return -1;
    pos_ = static_cast<std::uint64_t>(base + offset);
    return static_cast<sf_count_t>(pos_);
  }

  // Up to n bytes from the position, fewer at the end of the file; none
  // when the file cannot be read (libsndfile then reports a short file).
  sf_count_t read(void* to, sf_count_t n) {
    const std::uint64_t left = pos_ < size_ ? size_ - pos_ : 0;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(n > 0 ? static_cast<std::uint64_t>(n) : 0, left));
    if (pos_ + count <= headSize_) {
      std::memcpy(to, head_ + pos_, count);
    } else {
      try {
        file_->readAt(pos_, to, count);
      } catch (const RunError&) {
        return 0;
      }
    }
    pos_ += count;
    return static_cast<sf_count_t>(count);
  }

  File own_;                     // the file when opened here
  const File* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t pos_ = 0;
  std::uint8_t head_[kHeadSize];
  std::size_t headSize_ = 0;
};

// Frames compared per block.
constexpr std::size_t kBlockFrames = 64 * 1024;

// The first of n stereo frames of `frames` that is not the frame of left
// and right (two bytes each), or n. A stretch at a time is compared as a
// whole, in a loop the compiler vectorizes; the frame that differs is then
// looked for in it.
std::size_t firstOtherFrame(const std::uint8_t* frames, const std::uint8_t* left, const std::uint8_t* right,
                            std::size_t n) {
  constexpr std::size_t kStretch = 512;
  auto same = [&](std::size_t k) {
    return std::memcmp(frames + 4 * k, left + 2 * k, 2) == 0 && std::memcmp(frames + 4 * k + 2, right + 2 * k, 2) == 0;
  };
  for (std::size_t from = 0; from < n; from += kStretch) {
    const std::size_t to = std::min(n, from + kStretch);
    std::uint32_t differ = 0;
    for (std::size_t k = from; k < to; ++k) {
      std::uint16_t a, b;
      std::uint32_t f;
      std::memcpy(&a, left + 2 * k, 2);
      std::memcpy(&b, right + 2 * k, 2);
      std::memcpy(&f, frames + 4 * k, 4);
      // The frame's four bytes as this host reads them into 32 bits.
      const std::uint32_t want = std::endian::native == std::endian::little
                                     ? static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b) << 16
                                     : static_cast<std::uint32_t>(a) << 16 | static_cast<std::uint32_t>(b);
      differ |= f ^ want;
    }
    if (differ != 0) {
      std::size_t k = from;
      while (same(k)) ++k;
      return k;
    }
  }
  return n;
}

std::string frameDiffers(std::uint64_t frame) { return "frame " + std::to_string(frame) + " differs"; }

std::string notReadable(const std::string& why) { return "not a readable WAV file (" + why + ")"; }

// The "smpl" and "inst" chunks of a faithful file: the pitch and the loop
// that expectedSmpl gives for its (left) sample, and what it says of the
// "inst" chunk (`instBytes`, its 7 bytes, read here: libsndfile does not).
std::string compareFaithfulSmpl(const SF_INSTRUMENT& inst, const std::uint8_t* instBytes, const SampleBank& bank,
                                const ZoneArticulation& zones, std::uint16_t left) {
  const ExpectedSmpl want = expectedSmpl(bank, zones, left);
  if ((instBytes != nullptr) != want.inst) return want.inst ? "no inst chunk" : "an inst chunk, but no zone plays it";
  if (instBytes) {
    const int got[7] = {instBytes[0], static_cast<std::int8_t>(instBytes[1]), static_cast<std::int8_t>(instBytes[2]),
                        instBytes[3], instBytes[4], instBytes[5], instBytes[6]};
    const int expected[7] = {want.note, want.cents, want.gain, want.keyLow, want.keyHigh, want.velocityLow,
                             want.velocityHigh};
    const char* const field[7] = {"note", "fine tune", "gain", "low key", "high key", "low velocity", "high velocity"};
    for (int k = 0; k < 7; ++k) {
      if (got[k] != expected[k]) {
        return std::string("inst ") + field[k] + " " + std::to_string(got[k]) + ", expected " +
               std::to_string(expected[k]);
      }
    }
  }
  if (inst.basenote != want.note || inst.detune != want.cents) {
    return "pitch note " + std::to_string(inst.basenote) + " + " + std::to_string(inst.detune) + " cents, expected " +
           std::to_string(want.note) + " + " + std::to_string(want.cents);
  }
  if (inst.loop_count != (want.loop ? 1 : 0)) {
    return std::to_string(inst.loop_count) + " loops, expected " + (want.loop ? "1" : "none");
  }
  if (!want.loop) return {};
  if (inst.loops[0].mode != SF_LOOP_FORWARD) return "the loop is not a forward loop";
  if (inst.loops[0].start != want.loopStart || inst.loops[0].end != want.loopEnd + 1) {
    return "loop " + std::to_string(inst.loops[0].start) + " to " + std::to_string(inst.loops[0].end - 1) +
           ", expected " + std::to_string(want.loopStart) + " to " + std::to_string(want.loopEnd);
  }
  return {};
}

// The check of a file opened in `readBack`.
std::string compareWav(ReadBack& readBack, const SampleBank& bank, bool stereo, std::uint16_t left,
                       std::uint16_t right, const PcmReadCopy* read, const ZoneArticulation* faithful) {
  const Sndfile& sf = sndfile();
  SF_VIRTUAL_IO io = ReadBack::io();
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileClose> file(sf.openVirtual(&io, SFM_READ, &info, &readBack));
  if (!file) return notReadable(sf.strerror(nullptr));
  const int channels = stereo ? 2 : 1;
  if (info.format != (SF_FORMAT_WAV | SF_FORMAT_PCM_16)) return "not a 16-bit PCM WAV file";
  if (info.samplerate != 44100) return "sample rate " + std::to_string(info.samplerate) + ", expected 44100";
  if (info.channels != channels) {
    return std::to_string(info.channels) + " channels, expected " + std::to_string(channels);
  }

  // Both channels are as long as the left sample.
  const std::uint64_t bytes = wavChannelBytes(bank, left);
  const std::uint64_t frames = bytes / 2;
  if (static_cast<std::uint64_t>(info.frames) != frames) {
    return std::to_string(info.frames) + " frames, expected " + std::to_string(frames);
  }

  // One forward loop; libsndfile gives its end as the frame after the
  // loop's last one.
  SF_INSTRUMENT inst{};
  const bool hasInstrument = sf.command(file.get(), SFC_GET_INSTRUMENT, &inst, sizeof inst) == SF_TRUE;
  if (faithful) {
    if (!hasInstrument) return "no smpl chunk";
    if (std::string what = compareFaithfulSmpl(inst, readBack.instChunk(), bank, *faithful, left); !what.empty()) {
      return what;
    }
  } else {
    if (!hasInstrument || inst.loop_count < 1) return "no sample loop";
    const auto loopStart = static_cast<std::uint32_t>(bank.loopStart[left]);
    const auto loopEnd = static_cast<std::uint32_t>(bank.loopEnd[left]) + 1u;
    if (inst.loops[0].mode != SF_LOOP_FORWARD) return "the loop is not a forward loop";
    if (inst.loops[0].start != loopStart) {
      return "loop start " + std::to_string(inst.loops[0].start) + ", expected " + std::to_string(loopStart);
    }
    if (inst.loops[0].end != loopEnd) {
      return "loop end " + std::to_string(inst.loops[0].end - 1) + ", expected " + std::to_string(loopEnd - 1);
    }
  }

  // The frames as the file stores them (16-bit little-endian), block by
  // block against the bank's bytes.
  const ChannelBytes l(bank, left, bytes, read);
  const ChannelBytes r(bank, stereo ? right : left, bytes, read);
  const std::size_t frameBytes = 2 * static_cast<std::size_t>(channels);
  // Blocks of at most kBlockFrames, not cleared first: only what is read
  // into them is compared.
  const std::size_t block = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kBlockFrames));
  const auto got = std::make_unique_for_overwrite<std::uint8_t[]>(block * frameBytes + 1);
  const auto leftScratch = std::make_unique_for_overwrite<std::uint8_t[]>(block * 2 + 1);
  const auto rightScratch = std::make_unique_for_overwrite<std::uint8_t[]>(stereo ? block * 2 + 1 : 1);
  for (std::uint64_t at = 0; at < frames;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockFrames, frames - at));
    const sf_count_t wanted = static_cast<sf_count_t>(n * frameBytes);
    if (sf.readRaw(file.get(), got.get(), wanted) != wanted) return "the file ends at frame " + std::to_string(at);
    const std::uint8_t* lb = l.view(2 * at, 2 * n, leftScratch.get());
    if (!stereo) {
      if (std::memcmp(got.get(), lb, 2 * n) != 0) {
        std::size_t k = 0;
        while (std::memcmp(got.get() + 2 * k, lb + 2 * k, 2) == 0) ++k;
        return frameDiffers(at + k);
      }
    } else {
      // Each frame against its left bytes, then its right bytes, without
      // building the expected frames first.
      const std::uint8_t* rb = r.view(2 * at, 2 * n, rightScratch.get());
      if (const std::size_t k = firstOtherFrame(got.get(), lb, rb, n); k < n) return frameDiffers(at + k);
    }
    at += n;
  }
  return {};
}

}  // namespace

std::string checkWav(const std::string& path, const SampleBank& bank, bool stereo, std::uint16_t left,
                     std::uint16_t right, const ZoneArticulation* faithful) {
  const auto readBack = std::make_unique<ReadBack>();
  if (std::string why = readBack->open(path); !why.empty()) return notReadable(why);
  return compareWav(*readBack, bank, stereo, left, right, nullptr, faithful);
}

std::string checkWav(const File& file, const SampleBank& bank, bool stereo, std::uint16_t left,
                     std::uint16_t right, const PcmReadCopy* read, const ZoneArticulation* faithful) {
  const auto readBack = std::make_unique<ReadBack>();
  if (std::string why = readBack->use(file); !why.empty()) return notReadable(why);
  return compareWav(*readBack, bank, stereo, left, right, read, faithful);
}

}  // namespace vantrel::verify
