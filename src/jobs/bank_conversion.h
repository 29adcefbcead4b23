// SPDX-License-Identifier: MIT
#pragma once
// Whole-bank conversion: every sample of the bank named by ctx.bank.ttiPath
// into ctx.destinationFolder, as WAV files or one SoundFont file by
// ctx.outputMode.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jobs/job_context.h"
#include "tti/bank_source.h"
#include "tti/byte_source.h"
#include "tti/stereo_pairs.h"

namespace vantrel {

// Converts the bank whose directory has been read into ctx.destinationFolder,
// in the run's format. `source`, when given, is the bank's bytes already
// open (rewound or not): the bank is then read from it instead of being
// opened again.
void extracttti(JobContext& ctx);
void extracttti(JobContext& ctx, ByteSource& source);

// One bank of a folder or drive run into ctx.destinationFolder: the bank
// opened once for both of its walks, reported to the front end as begun and
// ended (with the error that ends it, which is then thrown on). `opened`,
// when given, is the bank's bytes opened already.
void convertListedBank(JobContext& ctx, const BankRef& bank, std::unique_ptr<ByteSource> opened = {});

// Runs `body` as the job of the bank `bankPath`, reported to the front
// end as begun and ended.
template <typename Body>
void asBankJob(JobListener& ui, const std::string& bankPath, const Body& body) {
  ui.bankStarted(bankPath);
  try {
    body();
  } catch (const RunError& e) {
    ui.bankFinished(bankPath, &e);
    throw;
  }
  ui.bankFinished(bankPath, nullptr);
}

// With the bank's values and PCM data read, before any file of it is
// written: under --strict every problem `scan` reports for the bank fails
// it (RunError naming the first); else each of `samples` (every sample when
// empty) that promises bytes the file does not hold is warned of.
void checkBeforeWriting(JobContext& ctx, const std::vector<std::uint16_t>& samples);

// The name a bank's folder or file `name` gets inside `folder`: in a
// folder or drive run, a name an earlier bank of the run was given (letter
// case aside: "A.TTI" and "A.tti" both give "A.sf2", one file on FAT) is
// given as a repeated sample name is ("A_1.sf2"); the first keeps its own.
std::string runOutputName(JobContext& ctx, const std::string& folder, const std::string& name);
// How runOutputName compares `name` inside `folder` with the run's names.
std::string runOutputKey(const std::string& folder, const std::string& name);

// The formats' writers (see OutputFormat::write): each reads the bank's
// values (and PCM data, unless in a dry run) and writes the bank's files
// into `folder`, releasing the PCM data when done.
// WAV files in the bank's folder: one per sample, or for stereo output one
// per left/right pair and one per other sample.
void writeWavBank(JobContext& ctx, const std::string& folder, ByteSource* source);
// "<bank name>.sf2" in `folder`, replacing a file of that name.
void writeSoundFontBank(JobContext& ctx, const std::string& folder, ByteSource* source);
// The job's format's instrument file of the whole bank in `folder`, made by
// its file writer (OutputFormat::writeFile), replacing a file of that name.
void writeBankFile(JobContext& ctx, const std::string& folder, ByteSource* source);
// The bank's folder with its samples as mono WAV files in "samples/" and
// the instrument's text file, replacing a file of that name.
void writeInstrumentBank(JobContext& ctx, const std::string& folder, ByteSource* source);

}  // namespace vantrel
