// SPDX-License-Identifier: MIT
#pragma once
// WAV writer: one sample as a mono file, or a left/right pair as a stereo
// file, each with a 112-byte header ("fmt ", "smpl" with one loop, "data")
// followed by the 16-bit PCM bytes from the bank's PCM data area. A file
// gets its final name only when it is complete (OutputFile).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tti/sample_bank.h"
#include "writers/output_file.h"

namespace vantrel {

constexpr std::size_t kWavHeaderSize = 112;

// What a WAV file holds: sample `left` alone, or the pair left/right
// (left channel first in every frame).
struct WavSource {
  bool stereo = false;
  std::uint16_t left = 0;
  std::uint16_t right = 0;
};

// The header of the file. Length and loop come from the left sample; the
// pair rules make the right one equal.
std::array<std::uint8_t, kWavHeaderSize> wavHeaderFor(const SampleBank& bank, const WavSource& source);

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
