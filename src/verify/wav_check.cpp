// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>
#include <memory>

#include "verify/checks.h"
#include "verify/expected.h"
#include "verify/libraries.h"

namespace vantrel::verify {
namespace {

struct SndfileClose {
  void operator()(SNDFILE* f) const noexcept { sndfile().close(f); }
};

// Frames compared per block.
constexpr std::size_t kBlockFrames = 64 * 1024;

std::string frameDiffers(std::uint64_t frame) { return "frame " + std::to_string(frame) + " differs"; }

}  // namespace

std::string checkWav(const std::string& path, const SampleBank& bank, bool stereo, std::uint16_t left,
                     std::uint16_t right) {
  const Sndfile& sf = sndfile();
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileClose> file(sf.open(path.c_str(), SFM_READ, &info));
  if (!file) return std::string("not a readable WAV file (") + sf.strerror(nullptr) + ")";
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
  if (sf.command(file.get(), SFC_GET_INSTRUMENT, &inst, sizeof inst) != SF_TRUE || inst.loop_count < 1) {
    return "no sample loop";
  }
  const auto loopStart = static_cast<std::uint32_t>(bank.loopStart[left]);
  const auto loopEnd = static_cast<std::uint32_t>(bank.loopEnd[left]) + 1u;
  if (inst.loops[0].mode != SF_LOOP_FORWARD) return "the loop is not a forward loop";
  if (inst.loops[0].start != loopStart) {
    return "loop start " + std::to_string(inst.loops[0].start) + ", expected " + std::to_string(loopStart);
  }
  if (inst.loops[0].end != loopEnd) {
    return "loop end " + std::to_string(inst.loops[0].end - 1) + ", expected " + std::to_string(loopEnd - 1);
  }

  // The frames as the file stores them (16-bit little-endian), block by
  // block against the bank's bytes.
  const ChannelBytes l(bank, left, bytes);
  const ChannelBytes r(bank, stereo ? right : left, bytes);
  const std::size_t frameBytes = 2 * static_cast<std::size_t>(channels);
  // Blocks of at most kBlockFrames, not cleared first: only what is read
  // into them is compared.
  const std::size_t block = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kBlockFrames));
  const auto got = std::make_unique_for_overwrite<std::uint8_t[]>(block * frameBytes + 1);
  const auto want = std::make_unique_for_overwrite<std::uint8_t[]>(block * frameBytes + 1);
  const auto leftScratch = std::make_unique_for_overwrite<std::uint8_t[]>(stereo ? block * 2 + 1 : 1);
  const auto rightScratch = std::make_unique_for_overwrite<std::uint8_t[]>(stereo ? block * 2 + 1 : 1);
  for (std::uint64_t at = 0; at < frames;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockFrames, frames - at));
    const sf_count_t wanted = static_cast<sf_count_t>(n * frameBytes);
    if (sf.readRaw(file.get(), got.get(), wanted) != wanted) return "the file ends at frame " + std::to_string(at);
    const std::uint8_t* expected;
    if (stereo) {
      // The expected frames: left bytes, then right bytes.
      const std::uint8_t* lb = l.view(2 * at, 2 * n, leftScratch.get());
      const std::uint8_t* rb = r.view(2 * at, 2 * n, rightScratch.get());
      std::uint8_t* w = want.get();
      for (std::size_t k = 0; k < n; ++k) {
        std::uint16_t a, b;
        std::memcpy(&a, lb + 2 * k, 2);
        std::memcpy(&b, rb + 2 * k, 2);
        std::memcpy(w + 4 * k, &a, 2);
        std::memcpy(w + 4 * k + 2, &b, 2);
      }
      expected = w;
    } else {
      expected = l.view(2 * at, 2 * n, want.get());
    }
    if (std::memcmp(got.get(), expected, n * frameBytes) != 0) {
      std::size_t k = 0;
      while (std::memcmp(got.get() + k * frameBytes, expected + k * frameBytes, frameBytes) == 0) ++k;
      return frameDiffers(at + k);
    }
    at += n;
  }
  return {};
}

}  // namespace vantrel::verify
