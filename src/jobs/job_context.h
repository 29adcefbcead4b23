// SPDX-License-Identifier: MIT
#pragma once
// The state that the jobs share: the loaded bank, the decoded articulation,
// the output mode, the gauges and buttons, and the job's folders. One
// context lives as long as its front end.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/gauge.h"
#include "jobs/listener.h"
#include "platform/file.h"
#include "tti/sample_bank.h"
#include "tti/articulation.h"

namespace vantrel {

// The item index of the output choice: 0 "WAV  Mono", 1 "WAV  Stereo",
// 2 "SF2", 3 "SFZ", -1 when no item is chosen.
enum OutputMode : int { kModeNone = -1, kModeMono = 0, kModeStereo = 1, kModeSf2 = 2, kModeSfz = 3 };

struct JobContext {
  explicit JobContext(JobListener& listener)
      : ui(listener),
        gauge1(GaugeId::Bank, listener),
        gauge2(GaugeId::Folder, listener),
        gauge3(GaugeId::Drive, listener) {}

  JobListener& ui;
  SampleBank bank;
  ZoneArticulation art;
  int outputMode = kModeNone;
  // Run settings of the command line; the window keeps the defaults.
  // overwrite: WAV files that exist are written again instead of being
  // skipped as "already extracted". dryRun: nothing is written and no
  // folder is made; every file the run would write is reported
  // (JobListener::outputFile, OutputOutcome::Planned).
  bool overwrite = false;
  bool dryRun = false;

  Gauge gauge1;  // samples of the bank being converted
  Gauge gauge2;  // files of a folder run
  Gauge gauge3;  // files of a drive run

  // The folder that receives a job's output, always ending in a separator.
  std::string destinationFolder;
  // Last component of the source folder; names a folder run's output.
  std::string sourceFolderName;
  // The last two picks in the sample list of the bank shown (stereo
  // selection); kNoPick until the user has picked.
  static constexpr std::uint16_t kNoPick = 0xFFFF;
  std::uint16_t pickCurrent = kNoPick;
  std::uint16_t pickPrevious = kNoPick;

  // The writers' buffer for file data, kept from file to file.
  std::vector<std::uint8_t> writeBuffer;
  // A folder run's output folder, held open while the run lasts: its
  // banks' SoundFonts are made in it without walking its path each time.
  OpenFolder runFolder;

  bool buttonOn(ButtonId id) const { return buttons_[static_cast<int>(id)]; }
  void setButton(ButtonId id, bool on) {
    buttons_[static_cast<int>(id)] = on;
    ui.buttonChanged(id, on);
  }

 private:
  std::array<bool, kButtonCount> buttons_{};
};

}  // namespace vantrel
