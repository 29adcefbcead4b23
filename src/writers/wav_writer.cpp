// SPDX-License-Identifier: MIT
#include "writers/wav_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/text.h"
#include "writers/output_file.h"

namespace vantrel {
namespace {

constexpr std::size_t kHeaderSize = kWavHeaderSize;
constexpr std::uint32_t kSampleRate = 44100;

// The header: RIFF/WAVE, "fmt " (PCM, 16 bits, 44100 Hz), "smpl" with
// the unity note, pitch fraction and no loop or one forward loop, and the
// "data" chunk header. Sizes: RIFF = the file length - 8, data = the PCM
// bytes that follow the header.
WavHeader wavHeader(std::uint16_t channels, std::uint32_t dataBytes, const WavSmpl& smpl) {
  WavHeader h;
  const std::uint32_t loops = smpl.loop ? 1 : 0;
  const std::uint32_t smplSize = 36 + 24 * loops;
  const std::uint32_t instBytes = smpl.inst ? 16 : 0;  // 7 bytes and a pad byte
  h.size = 36 + 8 + smplSize + instBytes + 8;
  std::uint8_t* p = h.bytes.data();
  std::memcpy(p + 0, "RIFF", 4);
  putU32(p + 4, dataBytes + static_cast<std::uint32_t>(h.size) - 8);
  std::memcpy(p + 8, "WAVE", 4);
  std::memcpy(p + 12, "fmt ", 4);
  putU32(p + 16, 16);
  putU16(p + 20, 1);  // PCM
  putU16(p + 22, channels);
  putU32(p + 24, kSampleRate);
  putU32(p + 28, kSampleRate * 2u * channels);  // byte rate
  putU16(p + 32, static_cast<std::uint16_t>(2 * channels));  // bytes per frame
  putU16(p + 34, 16);
  std::memcpy(p + 36, "smpl", 4);
  putU32(p + 40, smplSize);
  // manufacturer, product: 0
  putU32(p + 52, 22675);  // sample period in ns: 10^9 / 44100, truncated
  putU32(p + 56, smpl.unityNote);
  putU32(p + 60, smpl.pitchFraction);
  // SMPTE format and offset: 0
  putU32(p + 72, loops);
  // sampler data size: 0
  if (loops) {
    // cue point id, loop type (forward): 0
    putU32(p + 88, static_cast<std::uint32_t>(smpl.loopStart));
    putU32(p + 92, static_cast<std::uint32_t>(smpl.loopEnd));
    // fraction, play count (endless): 0
  }
  if (const std::optional<WavInst>& inst = smpl.inst) {
    std::uint8_t* i = p + 44 + smplSize;
    std::memcpy(i, "inst", 4);
    putU32(i + 4, 7);
    i[8] = inst->unshiftedNote;
    i[9] = static_cast<std::uint8_t>(inst->fineTune);
    i[10] = static_cast<std::uint8_t>(inst->gain);
    i[11] = inst->lowNote;
    i[12] = inst->highNote;
    i[13] = inst->lowVelocity;
    i[14] = inst->highVelocity;
  }
  std::uint8_t* data = p + h.size - 8;
  std::memcpy(data, "data", 4);
  putU32(data + 4, dataBytes);
  return h;
}

// The PCM bytes per channel of a file: the whole-frame length of `index`.
// The RIFF size field (data + 104) must hold the file in 32 bits.
std::uint32_t channelBytes(const SampleBank& bank, std::uint16_t index, std::uint32_t channels) {
  const std::uint32_t n = wholeFrames(bank.pcmLength[index]);
  if (static_cast<std::uint64_t>(n) * channels + 104 > std::numeric_limits<std::uint32_t>::max()) {
    throwInvalidBank(bank.ttiPath, "sample " + std::to_string(index) + " of " +
                                       std::to_string(bank.pcmLength[index]) +
                                       " bytes is too long for a WAV file");
  }
  return n;
}

// The chunk of the exact conversion: unity note 60 and one loop over the
// sample's stored loop points.
WavSmpl storedSmpl(const SampleBank& bank, std::uint16_t index) {
  WavSmpl smpl;
  smpl.loop = true;
  smpl.loopStart = bank.loopStart[index];
  smpl.loopEnd = bank.loopEnd[index];
  return smpl;
}

// Stereo data is interleaved in chunks of at most this many bytes per
// channel: small enough to stay in the processor's cache, large enough to
// keep the system calls per file few.
constexpr std::size_t kInterleaveChunk = 256 << 10;

// Reads bytes [k, k + n) of a span into `to`: its held bytes, then zeros.
void readSpanPart(const PcmArea& pcm, const SampleSpan& span, std::size_t k, std::size_t n,
                  std::uint8_t* to, PcmReadCopy* copy) {
  const std::size_t held = k < span.held ? std::min(n, span.held - k) : 0;
  pcm.read(span.start + k, to, held, copy);
  std::memset(to + held, 0, n - held);
}

// Frame i of the output: left bytes 2i, 2i+1, then right bytes 2i, 2i+1,
// each pair in the bank's byte order.
void interleave(const std::uint8_t* l, const std::uint8_t* r, std::uint8_t* out, std::size_t frames) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // Eight frames of each side at a time.
  for (; i + 8 <= frames; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(l + 2 * i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + 2 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_unpacklo_epi16(a, b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i + 16), _mm_unpackhi_epi16(a, b));
  }
#endif
  for (; i < frames; ++i) {
    std::uint16_t a, b;
    std::memcpy(&a, l + 2 * i, 2);
    std::memcpy(&b, r + 2 * i, 2);
    std::memcpy(out + 4 * i, &a, 2);
    std::memcpy(out + 4 * i + 2, &b, 2);
  }
}

// Sample `index`'s data, as a mono file holds it.
void putMonoData(BlockWriter& out, const SampleBank& bank, std::uint16_t index, PcmReadCopy* copy = nullptr) {
  out.putSpan(bank.pcm, sampleSpan(bank, index, channelBytes(bank, index, 1)), copy);
}

// The pair's interleaved data behind the header of f. The header announced
// 2n bytes from the left sample's length, so the data has n bytes per
// channel as well: a shorter right sample is filled with silence, a longer
// one is cut. `header`, when given, is written first, with the first chunk.
void writeStereoData(File& f, const SampleBank& bank, std::uint16_t left, std::uint16_t right,
                     std::vector<std::uint8_t>& buffer, const Progress& progress,
                     const WavHeader* header = nullptr, PcmReadCopy* copy = nullptr) {
  const std::size_t n = channelBytes(bank, left, 2);
  const SampleSpan l = sampleSpan(bank, left, n);
  const SampleSpan r = sampleSpan(bank, right, n);
  // Silence where a side holds no bytes; a held odd byte gets a zero
  // partner. Past both sides' bytes the file just grows (writeSilence).
  const std::size_t heldBoth = std::max(l.held, r.held);
  const std::size_t voiced = std::min(n, heldBoth + (heldBoth & 1));
  const std::size_t chunk = std::min(voiced, kInterleaveChunk);
  if (buffer.size() < 4 * chunk + kHeaderSize) buffer.resize(4 * chunk + kHeaderSize);
  std::uint8_t* lb = buffer.data();
  std::uint8_t* rb = lb + chunk;
  // The header's room, then the interleaved chunk.
  std::uint8_t* out = rb + chunk + kHeaderSize;
  std::size_t lead = 0;
  if (header) {
    std::memcpy(out - header->size, header->data(), header->size);
    lead = header->size;
  }
  for (std::size_t k = 0; k < voiced; k += chunk) {
    const std::size_t c = std::min(chunk, voiced - k);
    readSpanPart(bank.pcm, l, k, c, lb, copy);
    readSpanPart(bank.pcm, r, k, c, rb, copy);
    interleave(lb, rb, out, c / 2);
    f.writeAll(out - lead, lead + 2 * c);
    lead = 0;
    if (progress) progress(0);
  }
  if (lead) f.writeAll(out - lead, lead);
  writeSilence(f, 2 * static_cast<std::uint64_t>(n - voiced));
}

}  // namespace

WavSmpl faithfulSmpl(const ZonePlay* zone) {
  WavSmpl smpl;
  if (!zone) return smpl;
  if (zone->loop == LoopPlay::Forward) {
    smpl.loop = true;
    smpl.loopStart = zone->loopStart;
    smpl.loopEnd = zone->loopEnd;
  }
  WavInst inst;
  inst.gain = static_cast<std::int8_t>(std::clamp<long>(std::lround(-0.04 * zone->attenuationCb), -128, 127));
  inst.lowNote = static_cast<std::uint8_t>(std::min(zone->keyLow, 127));
  inst.highNote = static_cast<std::uint8_t>(zone->keyHigh);
  // Velocity 0 is a note-off: a range starts at 1 at the lowest.
  inst.lowVelocity = static_cast<std::uint8_t>(std::clamp(zone->velLow, 1, 127));
  inst.highVelocity = static_cast<std::uint8_t>(zone->velHigh);
  smpl.inst = inst;
  // The sample sounds unchanged where the zone's pitch, root key plus
  // tuning, meets the key played: at the root key minus the tuning. A
  // zone whose stored root key is negative plays from 60 (rootKey), with
  // its tuning, as the SoundFont, SFZ and DecentSampler output play it.
  const int cents = std::clamp(zone->rootKey * 100 - zone->tuningCents, 0, 127 * 100);
  smpl.unityNote = static_cast<std::uint8_t>(cents / 100);
  smpl.pitchFraction = static_cast<std::uint32_t>(((static_cast<std::uint64_t>(cents % 100) << 32) + 50) / 100);
  smpl.inst->unshiftedNote = smpl.unityNote;
  smpl.inst->fineTune = static_cast<std::int8_t>(cents % 100);
  return smpl;
}

WavHeader wavHeaderFor(const SampleBank& bank, const WavSource& source) {
  // Length and loop come from the left sample; the pair rules make the
  // right one equal.
  const WavSmpl smpl = source.smpl ? *source.smpl : storedSmpl(bank, source.left);
  return source.stereo ? wavHeader(2, 2 * channelBytes(bank, source.left, 2), smpl)
                       : wavHeader(1, channelBytes(bank, source.left, 1), smpl);
}

OutputFile startWavFile(const SampleBank& bank, const WavSource& source, const std::string& finalPath,
                        WriteTap* tap, bool replace) {
  const auto header = wavHeaderFor(bank, source);
  OutputFile out(finalPath, tap, nullptr, replace);
  out.file().writeAll(header.data(), header.size);
  return out;
}

bool finishWavFile(OutputFile& out, const SampleBank& bank, const WavSource& source,
                   std::vector<std::uint8_t>& buffer, const Progress& progress) {
  if (source.stereo) {
    writeStereoData(out.file(), bank, source.left, source.right, buffer, progress);
  } else {
    BlockWriter data(out.file(), buffer, wavHeaderFor(bank, source).size, false, &progress,
                     channelBytes(bank, source.left, 1));
    putMonoData(data, bank, source.left);
    data.finish();
  }
  return out.commit();
}

OutputFile writeWavUnnamed(const SampleBank& bank, const WavSource& source, const std::string& finalPath,
                           std::vector<std::uint8_t>& buffer, const Progress& progress,
                           bool& headerWritten, WriteTap* tap, const OpenFolder* folder,
                           PcmReadCopy* copy, bool replace) {
  headerWritten = false;
  const auto header = wavHeaderFor(bank, source);
  OutputFile out(finalPath, tap, folder, replace);
  if (source.stereo) {
    headerWritten = true;
    writeStereoData(out.file(), bank, source.left, source.right, buffer, progress, &header, copy);
  } else {
    // Header and data go out together, in one write for most samples.
    BlockWriter data(out.file(), buffer, 0, false, &progress,
                     header.size + channelBytes(bank, source.left, 1));
    data.put(header.data(), header.size);
    headerWritten = true;
    putMonoData(data, bank, source.left, copy);
    data.finish();
  }
  return out;
}

bool wavFileHolds(const SampleBank& bank, const WavSource& source, const std::string& path,
                  std::vector<std::uint8_t>& buffer) {
  // A link at an output's name is never taken for the output.
  if (isSymlink(path)) throw RunError(kSymlinkNotUsed, path);
  const File file(path, File::Mode::Read);
  const auto header = wavHeaderFor(bank, source);
  const std::uint32_t perChannel = channelBytes(bank, source.left, source.stereo ? 2 : 1);
  const std::uint64_t dataBytes = (source.stereo ? 2ull : 1ull) * perChannel;
  if (file.sizeWhenOpened() != header.size + dataBytes) return false;
  // The file's bytes and the bytes it would be written with, a chunk at a
  // time: [file chunk (2 x chunk, after the header) | left | right | expected (2 x chunk)].
  const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(perChannel, kInterleaveChunk));
  if (buffer.size() < 6 * chunk + kHeaderSize) buffer.resize(6 * chunk + kHeaderSize);
  std::uint8_t* got = buffer.data();
  file.readAt(0, got, header.size);
  if (std::memcmp(got, header.data(), header.size) != 0) return false;
  std::uint8_t* lb = got + 2 * chunk + kHeaderSize;
  std::uint8_t* rb = lb + chunk;
  std::uint8_t* want = rb + chunk;
  const SampleSpan l = sampleSpan(bank, source.left, perChannel);
  const SampleSpan r = source.stereo ? sampleSpan(bank, source.right, perChannel) : SampleSpan{};
  for (std::size_t k = 0; k < perChannel; k += chunk) {
    const std::size_t c = std::min<std::size_t>(chunk, perChannel - k);
    const std::size_t width = source.stereo ? 2 * c : c;
    file.readAt(header.size + (source.stereo ? 2 * k : k), got, width);
    if (source.stereo) {
      readSpanPart(bank.pcm, l, k, c, lb, nullptr);
      readSpanPart(bank.pcm, r, k, c, rb, nullptr);
      interleave(lb, rb, want, c / 2);
    } else {
      readSpanPart(bank.pcm, l, k, c, want, nullptr);
    }
    if (std::memcmp(got, want, width) != 0) return false;
  }
  return true;
}

bool writeWavFile(const SampleBank& bank, const WavSource& source, const std::string& finalPath,
                  std::vector<std::uint8_t>& buffer, const Progress& progress) {
  bool headerWritten;
  return writeWavUnnamed(bank, source, finalPath, buffer, progress, headerWritten).commit();
}

}  // namespace vantrel
