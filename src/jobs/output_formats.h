// SPDX-License-Identifier: MIT
#pragma once
// The output formats, one entry each: every place that names, lists,
// writes or finds a format's output reads it from here.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/listener.h"
#include "tti/sample_bank.h"
#include "tti/zone_play.h"
#include "writers/output_file.h"

namespace vantrel {

struct JobContext;
class ByteSource;

// Writes an instrument that is one file of the whole bank (a SoundFont, a
// multisample), with the bank's PCM data held, as `finalPath`, replacing a
// file of that name; the file gets its name only when complete. `progress`
// steps the bank's gauge (at most twice the bank's samples and ten more);
// `tap` and `folder` as OutputFile takes them. Returns the path the file was
// given.
using BankFileWriter = std::string (*)(const SampleBank& bank, const std::vector<ZonePlay>& zones,
                                       const std::string& finalPath, std::vector<std::uint8_t>& buffer,
                                       const Progress& progress, WriteTap* tap, const OpenFolder* folder,
                                       bool faithful);

struct OutputFormat {
  FormatId id;
  std::string_view word;       // the command line's --mode word
  std::string_view label;      // the window's output box item
  int settingsIndex;           // the box's item index, as vantrel.ini stores it (-1: none chosen)
  std::string_view runSuffix;  // a folder run's output folder: <source folder name><suffix>
  std::string_view driveWord;  // a drive run's output folder: "Drive <NAME> <word>"
  // A bank's output inside the folder it is converted into: a folder
  // "<prefix><bank file name>", or with no prefix the bank's file itself.
  std::string_view bankFolderPrefix;
  // The bank's instrument file, "<bank file name but its last three
  // characters><extension>" ("" for WAV files alone).
  std::string_view instrumentExtension;
  // The word for the format's files in the command line's JSON events.
  std::string_view kindWord;
  // Whether the mode writes WAV files as files of their own (the run's
  // lanes convert such banks at once).
  bool writesWavFiles;
  bool needsZones;             // whether the writer reads the bank's zones
  std::string_view help;       // what --help says of the mode
  // Writes the bank whose directory ctx holds into `folder` (or, in a dry
  // run, reports each file it would write). `source`, when given, is the
  // bank's bytes already open.
  void (*write)(JobContext& ctx, const std::string& folder, ByteSource* source);
  // For an instrument that is a text file beside the samples as WAV files
  // (in "samples/", named by sfzSampleNames): the file's text.
  std::string (*instrumentText)(const SampleBank& bank, const std::vector<ZonePlay>& zones,
                                const std::vector<std::string>& sampleNames);
  // For an instrument that is one file of the whole bank: its writer.
  BankFileWriter writeFile;
};

// The formats a user can choose, in the output box's order.
std::span<const OutputFormat> outputFormats();
// The window's output with no item chosen: WAV files into the stereo
// folder, pairs not joined, and a folder or drive run folder without a
// mode in its name.
const OutputFormat& noOutputFormat();
const OutputFormat& outputFormat(FormatId id);
// By --mode word or settings index; null when none has it.
const OutputFormat* formatByWord(std::string_view word);
// Index -1 gives noOutputFormat().
const OutputFormat* formatBySettingsIndex(int index);

// A bank's output name inside the folder it is converted into: its folder
// ("WAV_MONO_BANK.TTI") or, for a format without one, its instrument file
// ("BANK.sf2"), shortened before its last four characters to fit the file
// system.
std::string bankOutputName(const OutputFormat& format, const std::string& bankPath);
// The instrument file's name ("BANK.sfz" for BANK.TTI); "" for WAV files.
std::string instrumentFileName(const OutputFormat& format, const std::string& bankPath);

}  // namespace vantrel
