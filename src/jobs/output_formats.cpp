// SPDX-License-Identifier: MIT
#include "jobs/output_formats.h"

#include <array>

#include "jobs/bank_conversion.h"
#include "platform/file.h"
#include "platform/text.h"
#include "writers/dls_writer.h"
#include "writers/dspreset_writer.h"
#include "writers/multisample_writer.h"
#include "writers/sf2_writer.h"
#include "writers/sf3_writer.h"
#include "writers/sfz_writer.h"

namespace vantrel {
namespace {

// id, word, label, settings index, run suffix, drive word, bank folder
// prefix, instrument extension, kind word, writes WAV files, needs
// zones, help, writer, text, file writer.
constexpr std::array<OutputFormat, 8> kFormats = {{
    {FormatId::Mono, "mono", "WAV  Mono", 0, "_WAV_M", "WAV_MONO", "WAV_MONO_", "", "monoWav", true, false,
     "a mono WAV file per sample, in WAV_MONO_<bank file>/", writeWavBank, nullptr, nullptr},
    {FormatId::Stereo, "stereo", "WAV  Stereo", 1, "_WAV_S", "WAV_STEREO", "WAV_STEREO_", "", "stereoWav", true, false,
     "a stereo WAV file per left/right pair and a mono one per other sample, in WAV_STEREO_<bank file>/",
     writeWavBank, nullptr, nullptr},
    {FormatId::Sf2, "sf2", "SF2", 2, "_SF2", "SF2", "", "sf2", "soundFont", false, true,
     "one SoundFont 2 file per bank, <bank name>.sf2", writeSoundFontBank, nullptr, writeSf2},
    {FormatId::Sfz, "sfz", "SFZ", 3, "_SFZ", "SFZ", "SFZ_", "sfz", "sfz", true, true,
     "an SFZ instrument per bank, SFZ_<bank file>/<bank name>.sfz with samples/", writeInstrumentBank, sfzText,
     nullptr},
    {FormatId::DsPreset, "dspreset", "DecentSampler", 4, "_DS", "DS", "DS_", "dspreset", "dsPreset", true, true,
     "a DecentSampler preset per bank, DS_<bank file>/<bank name>.dspreset with samples/", writeInstrumentBank,
     dspresetText, nullptr},
    {FormatId::Multisample, "multisample", "Bitwig multisample", 5, "_MS", "MS", "", "multisample", "multisample",
     false, true,
     "a Bitwig/PreSonus multisample per bank, <bank name>.multisample (a zip of multisample.xml and WAV files)",
     writeBankFile, nullptr, writeMultisample},
    {FormatId::Dls, "dls", "DLS", 6, "_DLS", "DLS", "", "dls", "dls", false, true,
     "one DLS file per bank, <bank name>.dls (an instrument with a region per zone that sounds)", writeBankFile,
     nullptr, writeDls},
    {FormatId::Sf3, "sf3", "SF3", 7, "_SF3", "SF3", "", "sf3", "sf3", false, true,
     "one SF3 file per bank, <bank name>.sf3 (the SoundFont with its samples as Ogg Vorbis)", writeBankFile,
     nullptr, writeSf3},
}};

constexpr OutputFormat kNoFormat = {FormatId::None, "", "", -1, "", "", "WAV_STEREO_", "", "monoWav", true, false,
                                    "", writeWavBank, nullptr, nullptr};

}  // namespace

std::span<const OutputFormat> outputFormats() { return kFormats; }

const OutputFormat& noOutputFormat() { return kNoFormat; }

const OutputFormat& outputFormat(FormatId id) {
  for (const OutputFormat& f : kFormats)
    if (f.id == id) return f;
  return kNoFormat;
}

const OutputFormat* formatByWord(std::string_view word) {
  for (const OutputFormat& f : kFormats)
    if (f.word == word) return &f;
  return nullptr;
}

const OutputFormat* formatBySettingsIndex(int index) {
  if (index == kNoFormat.settingsIndex) return &kNoFormat;
  for (const OutputFormat& f : kFormats)
    if (f.settingsIndex == index) return &f;
  return nullptr;
}

// Names made of a bank file's name are shortened as names from a bank are
// when the prefix or the extension makes them too long for the file system.
std::string instrumentFileName(const OutputFormat& format, const std::string& bankPath) {
  return format.instrumentExtension.empty()
             ? std::string()
             : fitNameBytes(bankFileNameFor(bankPath, std::string(format.instrumentExtension)));
}

std::string bankOutputName(const OutputFormat& format, const std::string& bankPath) {
  if (format.bankFolderPrefix.empty()) return instrumentFileName(format, bankPath);
  return fitNameBytes(std::string(format.bankFolderPrefix) + fileNamePart(bankPath));
}

}  // namespace vantrel
