// SPDX-License-Identifier: MIT
#pragma once
// The banks of a folder or drive run converted several at once on lanes
// (threads) of the run, and reported as if they were converted one after
// the other. A lane converts a bank whole with a listener of its own that
// holds back every report; in the bank's turn (the banks before it done)
// the job's thread passes them on to the front end, which so sees exactly
// the reports of converting the banks in order, on the job's thread. Each
// file appears complete, as always. When the run ends early (an error, a
// cancel, a bank the front end stops at), the files of banks converted
// ahead whose turn never came are removed again, with the folders made for
// them, so the run leaves what converting in order leaves.
//
// Lanes take the next banks in the run's order, and while the job's
// thread waits for a bank's turn it converts the next ones too; a free lane
// takes a large bank (4 MiB or more) further on first, one at a time, so
// that its many bytes are written while the banks before it are converted.
// By default a run converts a bank a core (planFor); on a tmpfs, where
// threads making small files at once mostly wait for each other, one lane
// takes only large banks ahead and the job's thread converts the others in
// order. A bank that is stopped by the front end keeps the files it
// finished, as the bank at hand does in a run in order. A bank
// whose output name may depend on the banks before it (the same name,
// letter case aside, as an earlier bank's in the same folder) is left to
// the job's own thread, as is every bank while there is not room on the
// target for twice what the banks up to it hold. A bank that fails on a
// lane has its files removed and is converted again in its turn on the
// job's thread, so that its failure is the one converting in order gives.
//
// Lanes run only where converting ahead can change nothing the run
// reports or leaves: real output (no dry run) of the formats whose files
// are WAV files in a folder of each bank (mono, stereo, SFZ,
// DecentSampler), without --overwrite, for a front end that neither taps
// nor checks the files as they are written.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jobs/job_context.h"
#include "jobs/output_folders.h"
#include "tti/bank_source.h"

namespace vantrel {

class RunLanes {
 public:
  // The folder a bank's output goes into (ctx.destinationFolder for it).
  using DestinationOf = std::function<std::string(const BankRef&)>;

  // Lanes for the run of `banks` in ctx's format. `folders`, when given,
  // makes each bank's folder first (convertRunBank). `target` is a folder
  // on the target's file system that exists.
  RunLanes(JobContext& ctx, const std::vector<BankRef>& banks, DestinationOf destinationOf, RunFolders* folders,
           const std::string& target);
  // Stops the lanes and takes back what the banks whose turn has not come
  // wrote: their files and the folders made for them.
  ~RunLanes();
  RunLanes(const RunLanes&) = delete;
  RunLanes& operator=(const RunLanes&) = delete;

  // Converts bank k, with ctx.destinationFolder set for it, as
  // convertRunBank does; the run calls it for k = 0, 1, ... in order.
  bool convert(std::size_t k);

  // How a run in ctx of `banks` banks into `target` is converted: on how
  // many lanes besides the job's thread, and whether they take the banks
  // in order too (else large banks ahead only).
  struct Plan {
    unsigned lanes = 0;
    bool inOrder = false;
  };
  static Plan planFor(const JobContext& ctx, std::size_t banks, const std::string& target);

 private:
  class Held;
  struct Slot {
    enum class Is { Open, Lane, InLine } is = Is::Open;
    std::unique_ptr<Held> held;       // the lane's reports, held back
    std::unique_ptr<JobContext> job;  // the lane's context, kept for the events' bank and zones
    bool done = false;
    bool turned = false;  // its turn has come: its reports are passed on, or it is converted again
    std::exception_ptr failure;
  };

  // A lane's loop; the first asks the banks' sizes first.
  void lane(bool first);
  // Converts bank k on the calling thread with its reports held back;
  // `ahead`: taken ahead of the run's order. Called and returns with
  // `lock` (of mutex_) held.
  void convertAhead(std::size_t k, bool ahead, std::vector<std::uint8_t>& buffer,
                    std::unique_lock<std::mutex>& lock);
  // Whether the lanes have nothing left to take; mutex_ held.
  bool idle() const;
  // The bank a free lane takes, or none; `ahead`: a large bank taken
  // ahead of the run's order (only when `aheadAllowed`). Called with
  // mutex_ held.
  std::size_t pick(bool& ahead, bool aheadAllowed = true);
  // Whether the target has room for what banks turn_..k write; mutex_ held.
  bool roomUpTo(std::size_t k);
  // Removes what a lane wrote of the slot's bank (its turn never came, or
  // it failed on the lane).
  void takeBack(Slot& slot);

  JobContext& ctx_;
  const std::vector<BankRef>& banks_;
  DestinationOf destinationOf_;
  RunFolders* folders_;
  std::string target_;
  bool inOrder_ = false;              // lanes take the banks in order too, not only large ones ahead
  // Guarded by mutex_, empty until the first lane has them: each bank's
  // size (0: unknown), and whether its run name cannot depend on the banks
  // before it.
  std::vector<std::uint64_t> sizes_;
  std::vector<bool> laneWorthy_;
  std::size_t largeFrom_ = 0;         // guarded by mutex_: where to look for the next large bank
  std::vector<Slot> slots_;           // guarded by mutex_
  std::size_t turn_ = 0;              // guarded by mutex_: the bank whose turn it is
  bool aheadTaken_ = false;           // guarded by mutex_: a large bank ahead is on a lane
  std::size_t held_ = 0;              // guarded by mutex_: banks taken by lanes, not yet passed on
  bool stop_ = false;                 // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
};

}  // namespace vantrel
