// SPDX-License-Identifier: MIT
#pragma once
// Whole-bank conversion: every sample of the bank named by ctx.bank.ttiPath
// into ctx.destinationFolder, as WAV files or one SoundFont file by
// ctx.outputMode.

#include <string>

#include "jobs/job_context.h"
#include "tti/byte_source.h"
#include "tti/stereo_pairs.h"

namespace vantrel {

// Converts the bank whose directory has been read into ctx.destinationFolder,
// in the run's format. `source`, when given, is the bank's bytes already
// open (rewound or not): the bank is then read from it instead of being
// opened again.
void extracttti(JobContext& ctx);
void extracttti(JobContext& ctx, ByteSource& source);

// The formats' writers (see OutputFormat::write): each reads the bank's
// values (and PCM data, unless in a dry run) and writes the bank's files
// into `folder`, releasing the PCM data when done.
// WAV files in the bank's folder: one per sample, or for stereo output one
// per left/right pair and one per other sample.
void writeWavBank(JobContext& ctx, const std::string& folder, ByteSource* source);
// "<bank name>.sf2" in `folder`, replacing a file of that name.
void writeSoundFontBank(JobContext& ctx, const std::string& folder, ByteSource* source);
// The bank's folder with its samples as mono WAV files in "samples/" and
// the instrument's text file, replacing a file of that name.
void writeInstrumentBank(JobContext& ctx, const std::string& folder, ByteSource* source);

}  // namespace vantrel
