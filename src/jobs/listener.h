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

#include "jobs/format_id.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "tti/articulation.h"
#include "tti/sample_bank.h"

namespace vantrel {

enum class GaugeId { Bank /* gauge1 */, Folder /* Gauge2 */, Drive /* Gauge3 */ };
enum class ButtonId { Extract, Complete, WavExtr, ExtrDrive };
constexpr int kButtonCount = 4;

// One output file of a job: written, found already there with the bytes
// the job would write (and left as it is), or, in a dry run, one the job
// would write; or found already there with other bytes: left as it is, and
// the bank fails once its other files are done.
enum class OutputOutcome { Written, Existing, Planned, Differs };
struct OutputFileEvent {
  std::string path;
  OutputOutcome outcome = OutputOutcome::Written;
  // The format whose file it is (outputFormat(kind) says its JSON word);
  // a mono WAV file of a stereo run is Mono's, a sample of an SFZ or
  // DecentSampler folder Mono's too.
  FormatId kind = FormatId::Mono;
  std::uint16_t left = 0;   // the sample of a mono file, the left of a pair
  std::uint16_t right = 0;  // the right sample of a pair
  // The bank the file comes from, with its PCM data held while the job
  // writes (not in a dry run), and its zones for a SoundFont or an SFZ
  // file. Valid during the call, and for a listener that keeps them until
  // the job reports bankFilesDone.
  const SampleBank* bank = nullptr;
  const ZoneArticulation* zones = nullptr;
  // Written faithful to the bank (JobOptions::faithful); a faithful WAV
  // file's event carries the bank's zones too.
  bool faithful = false;
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
  // False for a front end without a sample list: the job then does not
  // make the list's names for each bank it reads.
  virtual bool showsSampleList() const { return true; }
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

  // The job is about to write the output file `path`. A listener that wants
  // to see its bytes as they are written (a checksum that needs no second
  // reading) returns a tap; it stays the listener's and is fed on whichever
  // thread writes the file, before outputFile reports it. Comes on the
  // job's thread.
  virtual WriteTap* outputTap(const std::string& /*path*/) { return nullptr; }
  // True for a listener whose outputTap gives taps; one that overrides
  // outputTap says so here.
  virtual bool tapsOutput() const { return false; }

  // A whole-bank WAV file is written in full and about to be given its
  // final name: `file` holds all its bytes and is open for reading. A
  // listener that checks output reads it here, while its bytes are still
  // in the caches, and throws a RunError when something is wrong: the file
  // is then dropped and the job fails as on a failed write. Comes on the
  // thread that wrote the file, which may be one of several at once.
  // `read`, when given, holds the sample bytes the file was written from,
  // by their place in the bank's PCM data area, as they were read from it.
  // Called only when checksBeforeNaming() says so.
  virtual void checkBeforeNaming(const OutputFileEvent& /*event*/, const File& /*file*/,
                                 const PcmReadCopy* /*read*/) {}
  // True for a listener that checks files before they are named: the job
  // then calls checkBeforeNaming and keeps a copy of the sample bytes each
  // file is written from.
  virtual bool checksBeforeNaming() const { return false; }

  // The job is done with the output files of the bank it converts and is
  // about to let go of the bank (its PCM data and zones). A listener that
  // works on those files in the background finishes here, on the job's
  // thread; a RunError thrown fails the bank. `failing`: the job is ending
  // with an error already, and nothing may be thrown.
  virtual void bankFilesDone(bool /*failing*/) {}

  // Whether the front end wants the running job stopped (Esc in the window,
  // a signal on the command line). Asked from any thread, between blocks of
  // output and between files: the job then ends with RunError(kCancelled),
  // the file being written is discarded and finished files stay.
  virtual bool cancelled() const { return false; }

  // A job begins with the bank `bankPath` (as the user names it), and ends
  // with it: done when `error` is null, else failed (also when the run
  // then goes on with the next bank). Come on the job's thread, around the
  // bank's other reports.
  virtual void bankStarted(const std::string& /*bankPath*/) {}
  virtual void bankFinished(const std::string& /*bankPath*/, const RunError* /*error*/) {}

  // Something the user should know that does not stop the job ("<bank>:
  // sample 3 "PAD R.WAV" is cut short: ..."). Comes on the job's thread.
  virtual void warning(std::string_view /*text*/) {}

  // A folder (or a file) that a walk for banks cannot read: the walk goes
  // on without it, and the run counts it as a failure. Also an entry of an
  // image the walk passed over (isEntryPassedOver(error.code())), which
  // the run counts apart, and a link inside an image taken as the bank it
  // leads to (kLinkFollowed), which is no failure. Comes on the job's
  // thread, before the walk's banks are converted.
  virtual void walkFailed(const RunError& /*error*/) {}

  // A bank of a folder or drive run failed with `error` (not a cancel).
  // True passes over it and the run goes on with the next bank; false, as
  // the window answers, ends the run with the error.
  virtual bool bankFailed(const std::string& /*bankPath*/, const RunError& /*error*/) {
    return false;
  }
};

// Reports bankFilesDone when a bank's job ends: done() on success, from the
// destructor when the job is on its way out with an error.
class BankFilesDone {
 public:
  explicit BankFilesDone(JobListener& ui) : ui_(ui) {}
  ~BankFilesDone() {
    if (done_) return;
    try {
      ui_.bankFilesDone(true);
    } catch (...) {
      // The job's own error is the one reported.
    }
  }
  BankFilesDone(const BankFilesDone&) = delete;
  BankFilesDone& operator=(const BankFilesDone&) = delete;
  void done() {
    done_ = true;
    ui_.bankFilesDone(false);
  }

 private:
  JobListener& ui_;
  bool done_ = false;
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
