// SPDX-License-Identifier: MIT
#pragma once
// A conversion run: the options it was started with and the state it keeps
// while it runs (the bank at hand, its zones, the gauges, the folder being
// written). Each run has a context of its own; a front end's own state
// (the window's picks, the bank it shows) lives in the front end.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jobs/gauge.h"
#include "jobs/listener.h"
#include "jobs/output_formats.h"
#include "platform/file.h"
#include "tti/articulation.h"
#include "tti/bank_source.h"
#include "tti/sample_bank.h"
#include "tti/zone_play.h"

namespace vantrel {

// How a run converts.
struct JobOptions {
  const OutputFormat* format = &noOutputFormat();
  // WAV files that exist are written again instead of being skipped as
  // "already extracted".
  bool overwrite = false;
  // Nothing is written and no folder is made; every file the run would
  // write is reported (JobListener::outputFile, OutputOutcome::Planned).
  bool dryRun = false;
  // Every problem `scan` reports for a bank (samples cut short, loops
  // outside their sample, empty ranges, zones whose sample does not exist)
  // fails the bank before anything of it is written.
  bool strict = false;
  // The files say what the bank means rather than repeating its stored
  // values: WAV files carry their sample's pitch and only a loop that
  // plays, SoundFonts keep whole names, linked pairs and generators within
  // the format's ranges, and leave out zones that never sound (see
  // faithfulSmpl and layoutSf2).
  bool faithful = false;
  // Banks of a folder or drive run converted at once, each reported in
  // turn as if they were converted one after the other (see RunLanes): 1
  // converts them one after the other; 0, the default, chooses by the
  // cores and the target's file system (RunLanes::planFor).
  unsigned banksAtOnce = 0;
  // Threads that write a bank's WAV files besides the job's own; unset: by
  // the cores and the bank's size (WavFileWriters::threadsFor).
  std::optional<unsigned> writerThreads;
  // When set, a folder run of a folder on disk converts its banks in the
  // order this gives their file names (whether the first comes before the
  // second: a front end's list order) instead of the folder's listing
  // order. An image's banks keep the image's order.
  std::function<bool(const std::string&, const std::string&)> bankOrder;
};

struct JobContext {
  explicit JobContext(JobListener& listener, JobOptions jobOptions = {})
      : ui(listener),
        options(jobOptions),
        gauge1(GaugeId::Bank, listener),
        gauge2(GaugeId::Folder, listener),
        gauge3(GaugeId::Drive, listener) {}

  JobListener& ui;
  JobOptions options;
  const OutputFormat& format() const noexcept { return *options.format; }

  SampleBank bank;
  // Where bank.ttiPath is read from, when it is not a file of that path.
  BankRef bankRef;
  ZoneArticulation art;         // the bank's stored zones, when the format needs them
  std::vector<ZonePlay> zones;  // how they play, worked out once from `art`

  Gauge gauge1;  // samples of the bank being converted
  Gauge gauge2;  // files of a folder run
  Gauge gauge3;  // files of a drive run

  // The folder that receives a job's output, always ending in a separator.
  std::string destinationFolder;
  // The folder the user chose for the output: every folder below it is
  // made and opened from it (outputRootOf). Shared with the run's lanes.
  std::shared_ptr<const OutputRoot> outputRoot;
  // Last component of the source folder; names a folder run's output.
  std::string sourceFolderName;

  // The writers' buffer for file data, kept from file to file.
  std::vector<std::uint8_t> writeBuffer;
  // A folder run's output folder, held open while the run lasts: its
  // banks' SoundFonts are made in it without walking its path each time.
  OpenFolder runFolder;
  // While a folder or drive run lasts: the output names its banks have
  // been given, as paths compared without regard to letter case
  // (runOutputName).
  std::optional<std::set<std::string>> runOutputs;
  // The bank is converted on a lane ahead of its turn: it replaces no file.
  bool aheadOfTurn = false;
  // The folder of the bank at hand, when its job made it (it held nothing
  // before); empty otherwise.
  std::string madeBankFolder;

  // Switches a picture button of the front end.
  void setButton(ButtonId id, bool on) { ui.buttonChanged(id, on); }
};

}  // namespace vantrel
