// SPDX-License-Identifier: MIT
#pragma once
// What the conversion core tells its front end: the status line (headl), the
// log (test), the three gauges, the picture buttons' on/off state, the sample
// list (wavlist), the busy cursor and the need to re-read the target folder.
// The window implements it with widgets, the command line with standard
// output and standard error. All texts are UTF-8.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel {

enum class GaugeId { Bank /* gauge1 */, Folder /* Gauge2 */, Drive /* Gauge3 */ };
enum class ButtonId { Extract, Complete, WavExtr, ExtrDrive };
constexpr int kButtonCount = 4;

// One output file of a job: written, found already there (and left as it
// is), or, in a dry run, one the job would write.
enum class OutputOutcome { Written, Existing, Planned };
enum class OutputKind { MonoWav, StereoWav, SoundFont, Sfz };
struct OutputFileEvent {
  std::string path;
  OutputOutcome outcome = OutputOutcome::Written;
  OutputKind kind = OutputKind::MonoWav;
  std::uint16_t left = 0;   // the sample of a mono file, the left of a pair
  std::uint16_t right = 0;  // the right sample of a pair
  // The bank the file comes from, with its PCM data held while the job
  // writes (not in a dry run), and its zones for a SoundFont or an SFZ
  // file. Valid during
  // the call only.
  const SampleBank* bank = nullptr;
  const ZoneArticulation* zones = nullptr;
};

class JobListener {
 public:
  virtual ~JobListener() = default;

  // headl: replaces the status line and shows it at once.
  virtual void status(std::string_view /*text*/) {}
  // test: clears the log / appends one line and shows it at once.
  virtual void logClear() {}
  virtual void logLine(std::string_view /*text*/) {}
  // A gauge's range or progress changed; progress is already within range.
  virtual void gaugeChanged(GaugeId /*id*/, std::int64_t /*min*/, std::int64_t /*max*/,
                            std::int64_t /*progress*/) {}
  // A picture button was switched on or off.
  virtual void buttonChanged(ButtonId /*id*/, bool /*on*/) {}
  // wavlist: replace its items, show or hide it, select or deselect an item.
  virtual void sampleListSet(const std::vector<std::string>& /*names*/) {}
  virtual void sampleListVisible(bool /*visible*/) {}
  virtual void sampleListSelect(int /*index*/, bool /*selected*/) {}
  // Hourglass cursor on or off.
  virtual void busy(bool /*on*/) {}
  // New output may exist below the target folder: re-read it (destin).
  virtual void destinationChanged() {}

  // An output file is complete under its final name, was found already
  // there, or would be written (dry run). Comes on the job's thread, in the
  // order of the log. Throwing a RunError ends the job with that error.
  virtual void outputFile(const OutputFileEvent& /*event*/) {}

  // Whether the front end wants the running job stopped (Esc in the window,
  // a signal on the command line). Asked from any thread, between blocks of
  // output and between files: the job then ends with RunError(kCancelled),
  // the file being written is discarded and finished files stay.
  virtual bool cancelled() const { return false; }

  // A bank of a folder or drive run failed with `error` (not a cancel).
  // True passes over it and the run goes on with the next bank; false, as
  // the window answers, ends the run with the error.
  virtual bool bankFailed(const std::string& /*bankPath*/, const RunError& /*error*/) {
    return false;
  }
};

// Shows the hourglass cursor for the lifetime of the object.
class BusyCursor {
 public:
  explicit BusyCursor(JobListener& ui) : ui_(ui) { ui_.busy(true); }
  ~BusyCursor() { ui_.busy(false); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  JobListener& ui_;
};

}  // namespace vantrel
