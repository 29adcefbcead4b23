// SPDX-License-Identifier: MIT
#pragma once
// DLS writer: a bank as one Downloadable Sounds (Level 1) file with one
// instrument, a region per zone that sounds and the samples as waves of the
// wave pool. Every value is the zone's as the SoundFont plays it (ZonePlay).

#include <cstdint>
#include <string>
#include <vector>

#include "tti/sample_bank.h"
#include "tti/zone_play.h"
#include "writers/output_file.h"

namespace vantrel {

// DLS connection destinations the regions' articulators use.
enum DlsDestination : std::uint16_t {
  kDlsPan = 0x0004,
  kDlsEg1Attack = 0x0206,
  kDlsEg1Decay = 0x0207,
  kDlsEg1Release = 0x0209,
  kDlsEg1Sustain = 0x020A,
};

// The file but its sample data:
//   RIFF "DLS "
//     colh     one instrument
//     vers     this program's version
//     LIST lins / LIST ins : insh (bank 0, program 0), LIST lrgn with one
//              LIST rgn per zone that sounds and whose sample holds data, in
//              zone order, then LIST INFO with INAM (the bank file's name
//              without the extension)
//       rgnh   the keys and velocities that sound it (1 at the lowest)
//       wsmp   unity note (the root key, 60 where the bank's is negative),
//              fine tune in cents, attenuation (-0.04 dB per centibel, as
//              SoundFont players apply it, in 1/655360 dB) and a forward
//              loop (first frame, length) when the zone loops within its
//              sample
//       wlnk   the sample's wave
//       LIST lart / art1: attack, decay and release of EG1 in timecents
//              (the shortest 0x80000000), its sustain level in 0.1% of the
//              100 dB range (1000 - sustain centibels), pan in 0.1%
//     ptbl     each wave's offset from the start of the pool
//     LIST wvpl: a LIST wave per sample a region plays, in sample order:
//              LIST INFO with INAM (the sample's name), fmt (16-bit mono
//              PCM, 44.1 kHz), data (its whole frames) last
//     LIST INFO: INAM and ISFT ("Vantrel <version>")
// An invalid bank when the file would pass 4 GiB.
struct DlsLayout {
  LeBytes head;                      // up to the wave pool's first wave
  std::vector<std::uint16_t> waves;  // the samples, in pool order
  std::vector<LeBytes> waveHeads;    // each wave's LIST up to its data (INFO and fmt come first)
  std::vector<std::uint32_t> waveBytes;  // each wave's data
  LeBytes tail;                      // after the last wave's data
};
DlsLayout layoutDls(const SampleBank& bank, const std::vector<ZonePlay>& zones);

// Writes the DLS file of the bank, with its PCM data held, as `finalPath`
// (see BankFileWriter). `faithful` changes nothing: the file is always made
// of how the zones play.
std::string writeDls(const SampleBank& bank, const std::vector<ZonePlay>& zones, const std::string& finalPath,
                     std::vector<std::uint8_t>& buffer, const Progress& progress, WriteTap* tap = nullptr,
                     const OpenFolder* folder = nullptr, bool faithful = false);

}  // namespace vantrel
