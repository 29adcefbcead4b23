// SPDX-License-Identifier: MIT
#pragma once
// SoundFont writer: a whole bank as one SoundFont 2.01 file with one preset,
// one instrument and one instrument zone per bank zone (faithful output: per
// bank zone that sounds).

#include <array>
#include <cstdint>
#include <string>

#include <vector>

#include "tti/articulation.h"
#include "tti/zone_play.h"
#include "tti/sample_bank.h"
#include "writers/output_file.h"

namespace vantrel {

// Generator operators of the SoundFont 2 standard that the writer uses.
enum Sf2Generator : std::uint16_t {
  kGenPan = 17,
  kGenAttackVolEnv = 34,
  kGenDecayVolEnv = 36,
  kGenSustainVolEnv = 37,
  kGenReleaseVolEnv = 38,
  kGenInstrument = 41,
  kGenKeyRange = 43,
  kGenVelRange = 44,
  kGenInitialAttenuation = 48,
  kGenCoarseTune = 51,
  kGenFineTune = 52,
  kGenSampleId = 53,
  kGenSampleModes = 54,
  kGenOverridingRootKey = 58,
};

struct GenRecord {
  std::uint16_t oper;
  std::uint16_t amount;
  bool operator==(const GenRecord&) const = default;
};

// The twelve generators of a zone, in the order they are written.
std::array<GenRecord, 12> sf2Generators(const ZonePlay& zone);
// The same for zone `zone` of a bank's stored zones.
std::array<GenRecord, 12> convertval(const SampleBank& bank, const ZoneArticulation& art,
                                     std::uint16_t zone);

// The generators of a zone in faithful output, in the order they are
// written, every one within its SoundFont 2.01 range: the same as
// sf2Generators but envelope times of at least -12000 timecents, the tuning
// as coarseTune (only when not 0) and fineTune (-99...99), the pan within
// +-500, no loop but one within the sample, and overridingRootKey only
// where the zone's root key is not the one its sample's original pitch
// (`samplePitch`) gives already: never where the bank's is negative and the
// sample is pitched at 60. `sampleId` is the zone's sample's header.
std::vector<GenRecord> sf2FaithfulGenerators(const ZonePlay& zone, int samplePitch, std::uint16_t sampleId);

// The bank zones the SoundFont holds, in order: those whose sample is in
// the bank (a zone whose sample is missing cannot be played); in faithful
// output only those that sound.
std::vector<std::uint16_t> sf2Zones(const std::vector<ZonePlay>& zones, bool faithful = false);

// The file name of a bank's instrument file: its file name without the last
// three characters, then `extension` (BANK.TTI and "sfz" give BANK.sfz).
std::string bankFileNameFor(const std::string& ttiPath, const std::string& extension);

// The SoundFont file name of a bank: its file name without the last three
// characters, then "sf2" (BANK.TTI gives BANK.sf2).
std::string sf2FileNameFor(const std::string& ttiPath);

// A SoundFont file but its sample data: the bytes before the data (RIFF
// header, INFO list, the "sdta" and "smpl" chunk headers) and the "pdta"
// list after it, as a pure function of the bank and its zones.
//
// Faithful output differs in what a reader takes from it: sample names
// whole (a last extension of one to three characters cut, '/' and control
// characters made '_', at most 20 characters, repeated names numbered
// "_2", "_3", ...); INFO with the bank's name as INAM and "Vantrel
// <version>" as ISFT; 46 zero frames after each sample; each sample's
// original pitch the root key of its first zone (firstZoneOf); left/right
// pairs (stereoPairs) as linked right and left samples; the zones that
// sound, with sf2FaithfulGenerators; a sample's loop points only where its
// loop lies within it (else both at its first frame); terminal modulator
// records all zero; no header, and no data, for a sample of fewer than two
// frames (no zone of faithful output plays one, and FluidSynth warns of
// its header).
struct Sf2Layout {
  LeBytes head;
  LeBytes pdta;
  std::uint64_t sampleDataBytes = 0;  // the "smpl" chunk's data between them
  std::uint32_t padFrames = 0;        // zero frames after each sample
  std::vector<std::uint16_t> zones;   // the bank zones written, in order
  // The bank samples written, in order: sample header k is bank sample
  // samples[k] (every sample but in faithful output).
  std::vector<std::uint32_t> samples;
  // Whether bank sample r has a header and data in the file.
  std::vector<bool> holds;
};
// An invalid bank when the samples do not fit one file.
Sf2Layout layoutSf2(const SampleBank& bank, const std::vector<ZonePlay>& zones, bool faithful = false);

// Gauge steps of the SoundFont writer besides one per sample: one before
// the first byte, then these together before the "pdta" list.
constexpr int sf2RecordSteps = 7;

// Writes the SoundFont of the bank, with its PCM data held, as `finalPath`,
// replacing a file of that name. The file gets its name only when complete;
// a failure leaves no part of it. `buffer` is the caller's; `tap`, when
// given, sees the file's bytes as they are written; `folder`, when given,
// is the open folder of finalPath (see OutputFile). Returns the path the
// file was given (OutputFile::finalPath).
std::string writeSf2(const SampleBank& bank, const std::vector<ZonePlay>& zones, const std::string& finalPath,
                     std::vector<std::uint8_t>& buffer, const Progress& progress, WriteTap* tap = nullptr,
                     const OpenFolder* folder = nullptr, bool faithful = false);

}  // namespace vantrel
