// SPDX-License-Identifier: MIT
#pragma once
// Bitwig/PreSonus multisample writer: a bank as one ".multisample" file, a
// zip archive whose entries are all stored uncompressed (players stream the
// samples out of it without unpacking), holding "multisample.xml" first and
// then the samples as WAV files. Every value of the XML is the zone's as the
// SoundFont plays it (ZonePlay).

#include <cstdint>
#include <string>
#include <vector>

#include "tti/sample_bank.h"
#include "tti/zone_play.h"
#include "writers/output_file.h"

namespace vantrel {

// One <sample> element: the zone it stands for, and for a stereo file the
// zone of the right channel that it stands for as well.
struct MultisampleEntry {
  const ZonePlay* zone = nullptr;
  const ZonePlay* rightZone = nullptr;  // null: a mono file of zone->sample
  std::size_t file = 0;                 // index into MultisamplePlan::files
};

// One WAV file of the archive: sample `left` alone, or left and right as
// the two channels of a stereo file (the stereo conversion's pairs).
struct MultisampleFile {
  std::string name;  // UTF-8, unique in the archive without regard to letter case
  bool stereo = false;
  std::uint16_t left = 0, right = 0;
};

struct MultisamplePlan {
  std::vector<MultisampleEntry> entries;  // in zone order
  std::vector<MultisampleFile> files;     // in the order of their first entry
};

// Which zones become <sample> elements and which WAV files they play. A zone
// gets an element when it sounds and its sample holds data (zones that never
// sound are left out: the format has no way to keep an empty range). A zone
// on the left sample of a stereo pair (stereoPairs) whose right sample is
// played by a later zone that sounds over the same keys and velocities, at
// the same root key, tuning, attenuation and loop, is written with that
// zone as one element playing the pair's stereo file ("<left stem>__<right
// name>"); every other zone plays its sample's mono file (named as
// sfzSampleNames names it). The bank's PCM data must be held.
MultisamplePlan planMultisample(const SampleBank& bank, const std::vector<ZonePlay>& zones);

// multisample.xml (UTF-8, LF line ends) of the plan. The <multisample>
// element is named after the bank file (its name without the extension);
// generator is "Vantrel <version>", category and creator are empty (a bank
// does not say them). Each <sample> element has:
//   file       the WAV file's name in the archive
//   gain       decibels: -0.04 dB per centibel of attenuation, as
//              SoundFont players apply it
//   <key>      root (the key that plays the sample unchanged), low, high,
//              tune (fine tune in semitones)
//   <velocity> low (1 at the lowest: 0 is a note-off), high
//   <select>   0-127 (one sample per key and velocity)
//   <loop>     mode "loop" with start (first frame) and stop (the frame
//              after the last one played) when the zone loops within its
//              sample; else mode "off"
std::string multisampleXml(const SampleBank& bank, const MultisamplePlan& plan);

// Writes the .multisample file of the bank, with its PCM data held, as
// `finalPath`, replacing a file of that name; it gets its name only when
// complete. The WAV files carry a smpl chunk with the pitch and loop of the
// first zone that plays their (left) sample, as faithful WAV output does.
// Entries are stored with CRC-32 and sizes in the local headers, DOS time
// 1980-01-01 00:00 and UTF-8 names (flag bit 11), so the same bank always
// gives the same bytes. An archive past 4 GiB is an invalid bank.
// `faithful` changes nothing: every multisample is made of the zones.
// Returns the path the file was given.
std::string writeMultisample(const SampleBank& bank, const std::vector<ZonePlay>& zones,
                             const std::string& finalPath, std::vector<std::uint8_t>& buffer,
                             const Progress& progress, WriteTap* tap = nullptr, const OpenFolder* folder = nullptr,
                             bool faithful = false);

}  // namespace vantrel
