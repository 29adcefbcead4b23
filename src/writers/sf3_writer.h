// SPDX-License-Identifier: MIT
#pragma once
// SF3 writer: the bank's SoundFont (sf2_writer.h) with its samples
// compressed as Ogg Vorbis, as FluidSynth, Polyphone, MuseScore and
// spessasynth read them: version 3.0 in "ifil", each sample one Ogg Vorbis
// stream (mono, 44.1 kHz) in "smpl", and its header's type flag 0x10, start
// and end the first byte of its stream and the byte after it, its loop
// points in frames from the start of the decoded sample. Presets,
// instruments, zones and generators are the SoundFont's, byte for byte.

#include <cstdint>
#include <string>
#include <vector>

#include "tti/sample_bank.h"
#include "tti/zone_play.h"
#include "writers/output_file.h"

namespace vantrel {

// The Vorbis quality of every stream (libvorbis' VBR scale, -0.1 to 1):
// 0.5, about 160 kbit/s for a mono stream, whose error on the banks' noise
// and tones lies near 40 dB below the signal, well below what makes a
// played level or pitch differ.
constexpr float kSf3VorbisQuality = 0.5f;

// The frames as one Ogg Vorbis stream (16-bit little-endian mono PCM at
// 44.1 kHz, `frames` of them); `serial` is the stream's serial number.
std::vector<std::uint8_t> oggVorbisStream(const std::uint8_t* pcm, std::size_t frames, int serial);

// Writes the SF3 file of the bank, with its PCM data held, as `finalPath`
// (see BankFileWriter); `faithful` as writeSf2 takes it.
std::string writeSf3(const SampleBank& bank, const std::vector<ZonePlay>& zones, const std::string& finalPath,
                     std::vector<std::uint8_t>& buffer, const Progress& progress, WriteTap* tap = nullptr,
                     const OpenFolder* folder = nullptr, bool faithful = false);

}  // namespace vantrel
