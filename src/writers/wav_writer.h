// SPDX-License-Identifier: MIT
#pragma once
// WAV writer: one sample as a mono file, or a left/right pair as a stereo
// file, each with a header ("fmt ", "smpl", "data") followed by the 16-bit
// PCM bytes from the bank's PCM data area. The header is 112 bytes with one
// loop in "smpl", 88 bytes with none; faithful output adds 16 bytes of
// "inst" after "smpl" for a sample a zone plays. A file gets its final name only when
// it is complete (OutputFile).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tti/sample_bank.h"
#include "tti/zone_play.h"
#include "writers/output_file.h"

namespace vantrel {

constexpr std::size_t kWavHeaderSize = 128;  // the header with one loop and "inst", the longest

// What the "smpl" chunk says of a sample: the MIDI note it sounds at and
// how far above that note, and its loop, if it has one.
// What the "inst" chunk says of a sample: the note and fine tune of the
// smpl chunk, the gain and the key and velocity range of the zone that
// plays it.
struct WavInst {
  std::uint8_t unshiftedNote = 60;
  std::int8_t fineTune = 0;  // cents up from unshiftedNote, as the smpl chunk's pitch fraction
  std::int8_t gain = 0;      // dB
  std::uint8_t lowNote = 0, highNote = 127, lowVelocity = 1, highVelocity = 127;
};

struct WavSmpl {
  std::uint8_t unityNote = 60;
  std::uint32_t pitchFraction = 0;  // of a semitone up from unityNote, in units of 2^-32
  bool loop = false;
  std::int32_t loopStart = 0, loopEnd = 0;  // the loop's first and last frame
  std::optional<WavInst> inst;  // an "inst" chunk after "smpl", when set
};

// The "smpl" chunk of faithful output for a sample whose first zone
// (firstZoneOf) is `zone`: its root key minus its tuning as note and
// fraction (held within notes 0-127; note 60 and no fraction without a
// zone; a negative root key counts as 60), and its loop when the zone loops and the
// loop lies within the sample; with a zone, the "inst" chunk: that note and
// the fraction in whole cents, the zone's gain (-0.04 dB per centibel of
// attenuation, as SoundFont players apply it, rounded to whole dB) and the
// keys and velocities that sound it (1 at the lowest velocity).
WavSmpl faithfulSmpl(const ZonePlay* zone);

// What a WAV file holds: sample `left` alone, or the pair left/right
// (left channel first in every frame).
struct WavSource {
  bool stereo = false;
  std::uint16_t left = 0;
  std::uint16_t right = 0;
  // Set for faithful output: what "smpl" says. Unset: unity note 60 and one
  // forward loop over the sample's stored loop points, whatever the zones.
  std::optional<WavSmpl> smpl;
};

struct WavHeader {
  std::array<std::uint8_t, kWavHeaderSize> bytes{};
  std::size_t size = kWavHeaderSize;
  const std::uint8_t* data() const noexcept { return bytes.data(); }
};

// The header of the file. Length and loop come from the left sample; the
// pair rules make the right one equal.
WavHeader wavHeaderFor(const SampleBank& bank, const WavSource& source);

// The file in two steps: the header alone, then the data behind it and the
// final name. Between them the file has no name (or a part file's). A WAV
// file never replaces one of its name: finishing tells false when the name
// was taken meanwhile (the file is then dropped).
// `tap`, when given, sees the file's bytes as they are written.
// `replace`: a file of the final name is replaced instead.
OutputFile startWavFile(const SampleBank& bank, const WavSource& source, const std::string& finalPath,
                        WriteTap* tap = nullptr, bool replace = false);
bool finishWavFile(OutputFile& out, const SampleBank& bank, const WavSource& source,
                   std::vector<std::uint8_t>& buffer, const Progress& progress);

// The whole file, still without its final name (the caller commits it).
// Reads the bank only, so several files can be written at once; `buffer` is
// the caller's. headerWritten tells, also after a failure, whether the
// header had been written. `folder`, when given, is the open folder of
// finalPath (see OutputFile). `copy`, when given, keeps the sample bytes
// read for the file.
OutputFile writeWavUnnamed(const SampleBank& bank, const WavSource& source, const std::string& finalPath,
                           std::vector<std::uint8_t>& buffer, const Progress& progress,
                           bool& headerWritten, WriteTap* tap = nullptr, const OpenFolder* folder = nullptr,
                           PcmReadCopy* copy = nullptr, bool replace = false);

// Whether the file at `path` holds exactly the bytes this writer would
// write for `source`: its size first, then its bytes, a chunk at a time
// (no copy of the whole file in memory). `buffer` is the caller's.
// Errors of reading the file end it as RunError.
bool wavFileHolds(const SampleBank& bank, const WavSource& source, const std::string& path,
                  std::vector<std::uint8_t>& buffer);

// The whole file under its final name; false when the name was taken.
bool writeWavFile(const SampleBank& bank, const WavSource& source, const std::string& finalPath,
                  std::vector<std::uint8_t>& buffer, const Progress& progress);

}  // namespace vantrel
