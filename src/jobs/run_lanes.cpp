// SPDX-License-Identifier: MIT
#include "jobs/run_lanes.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <utility>

#include "jobs/bank_conversion.h"
#include "jobs/folder_jobs.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace vantrel {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// A bank this large is worth taking ahead of the banks before it.
constexpr std::uint64_t kLargeBank = 4u << 20;
// Banks converted on lanes and not yet passed on, at most: their
// contexts are kept until then.
constexpr std::size_t kHeldAtMost = 16;
// How often the job's thread passes on the reports of the bank whose turn
// it is while a lane converts it.
constexpr std::chrono::milliseconds kReportsEvery{20};
// Room kept free on the target beyond twice what the banks up to a lane's
// bank hold.
constexpr std::uint64_t kSpareRoom = 64u << 20;

}  // namespace

// The listener of a bank on a lane: holds back every report until the job's
// thread passes them on, and notes the files the bank wrote.
class RunLanes::Held final : public JobListener {
 public:
  explicit Held(JobListener& ui) : ui_(ui) {}

  // The run ends before the bank's turn: the bank's job is cancelled.
  void abandon() { abandoned_ = true; }
  // Passes on the reports held so far, in their order; on the job's
  // thread. A RunError one of them throws is thrown on.
  void passOn() {
    for (;;) {
      std::vector<Call> calls;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls.swap(calls_);
      }
      if (calls.empty()) return;
      passed_ = true;
      for (Call& call : calls) call(ui_);
    }
  }
  // Whether any report has been passed on.
  bool passed() const { return passed_; }
  // The files the bank's job wrote, as it reported them; once it is done.
  const std::vector<std::string>& written() const { return written_; }

  void status(std::string_view text) override {
    hold([t = std::string(text)](JobListener& ui) { ui.status(t); });
  }
  void logClear() override {
    hold([](JobListener& ui) { ui.logClear(); });
  }
  void logLine(std::string_view text) override {
    hold([t = std::string(text)](JobListener& ui) { ui.logLine(t); });
  }
  void gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max, std::int64_t progress) override {
    hold([=](JobListener& ui) { ui.gaugeChanged(id, min, max, progress); });
  }
  void buttonChanged(ButtonId id, bool on) override {
    hold([=](JobListener& ui) { ui.buttonChanged(id, on); });
  }
  void sampleListSet(const std::vector<std::string>& names) override {
    hold([names](JobListener& ui) { ui.sampleListSet(names); });
  }
  bool showsSampleList() const override { return ui_.showsSampleList(); }
  void sampleListVisible(bool visible) override {
    hold([=](JobListener& ui) { ui.sampleListVisible(visible); });
  }
  void sampleListSelect(int index, bool selected) override {
    hold([=](JobListener& ui) { ui.sampleListSelect(index, selected); });
  }
  void busy(bool on) override {
    hold([=](JobListener& ui) { ui.busy(on); });
  }
  void destinationChanged() override {
    hold([](JobListener& ui) { ui.destinationChanged(); });
  }
  // The event's bank and zones are the lane's context's, kept until the
  // reports are passed on.
  void outputFile(const OutputFileEvent& event) override {
    if (event.outcome == OutputOutcome::Written) written_.push_back(event.path);
    hold([event](JobListener& ui) { ui.outputFile(event); });
  }
  // Lanes run only for a front end that taps no file.
  WriteTap* outputTap(const std::string& /*path*/) override { return nullptr; }
  void bankFilesDone(bool failing) override {
    hold([failing](JobListener& ui) { ui.bankFilesDone(failing); });
  }
  bool cancelled() const override { return abandoned_ || ui_.cancelled(); }
  void bankStarted(const std::string& bankPath) override {
    hold([bankPath](JobListener& ui) { ui.bankStarted(bankPath); });
  }
  void bankFinished(const std::string& bankPath, const RunError* error) override {
    std::optional<RunError> copy;
    if (error) copy = *error;
    hold([bankPath, copy](JobListener& ui) { ui.bankFinished(bankPath, copy ? &*copy : nullptr); });
  }
  void warning(std::string_view text) override {
    hold([t = std::string(text)](JobListener& ui) { ui.warning(t); });
  }
  void walkFailed(const RunError& error) override {
    hold([error](JobListener& ui) { ui.walkFailed(error); });
  }

 private:
  using Call = std::function<void(JobListener&)>;
  void hold(Call call) {
    const std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }

  JobListener& ui_;
  std::atomic<bool> abandoned_{false};
  std::mutex mutex_;
  std::vector<Call> calls_;  // guarded by mutex_
  bool passed_ = false;      // the job's thread only
  std::vector<std::string> written_;  // the lane's until it is done
};

namespace {

// Whether `folder` lies on a file system in memory (tmpfs, ramfs).
bool inMemory(const std::string& folder) {
  struct statfs fs {};
  return ::statfs(folder.c_str(), &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
}

// Whether `folder` lies on a FUSE file system, whose servers write one
// file at a time at best (fusefat mixes up files written at once).
bool throughFuse(const std::string& folder) {
  struct statfs fs {};
  return ::statfs(folder.c_str(), &fs) == 0 && fs.f_type == FUSE_SUPER_MAGIC;
}

}  // namespace

RunLanes::Plan RunLanes::planFor(const JobContext& ctx, std::size_t banks, const std::string& target) {
  const bool wavFiles = ctx.format().writesWavFiles;
  if (!wavFiles || ctx.options.dryRun || ctx.options.overwrite || banks < 2 || ctx.ui.tapsOutput() ||
      ctx.ui.checksBeforeNaming() || throughFuse(target)) {
    return {};
  }
  // The job's thread converts banks too.
  const unsigned asked = ctx.options.banksAtOnce;
  if (asked > 0) return {asked - 1, asked > 1};
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores < 2) return {};
  // A tmpfs makes files so cheaply that threads making them at once mostly
  // wait for each other there: small banks are converted in order, one
  // lane takes large banks ahead. On a disk, making a file takes long
  // enough that a bank a core is faster.
  if (inMemory(target)) return {1, false};
  return {std::min(cores, 4u) - 1, true};
}

RunLanes::RunLanes(JobContext& ctx, const std::vector<BankRef>& banks, DestinationOf destinationOf,
                   RunFolders* folders, const std::string& target)
    : ctx_(ctx),
      banks_(banks),
      destinationOf_(std::move(destinationOf)),
      folders_(folders),
      target_(target) {
  const Plan plan = planFor(ctx, banks.size(), target);
  if (plan.lanes == 0) return;
  inOrder_ = plan.inOrder;
  slots_.resize(banks.size());
  try {
    for (unsigned t = 0; t < plan.lanes; ++t) threads_.emplace_back([this, t] { lane(t == 0); });
  } catch (...) {
    // Fewer lanes: the job's thread converts what they do not.
  }
}

RunLanes::~RunLanes() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    for (Slot& slot : slots_) {
      if (slot.held && !slot.turned) slot.held->abandon();
    }
  }
  changed_.notify_all();
  for (std::thread& t : threads_) t.join();
  for (Slot& slot : slots_) {
    if (slot.held && !slot.turned) takeBack(slot);
  }
}

void RunLanes::takeBack(Slot& slot) {
  // Relative to the output root and never through a link: a link put at
  // the bank's folder meanwhile leads nowhere outside the output.
  const OutputRoot& root = outputRootOf(*slot.job);
  for (const std::string& path : slot.held->written()) root.remove(path, false);
  removeMadeFolder(root, slot.job->madeBankFolder);
}

bool RunLanes::roomUpTo(std::size_t k) {
  std::uint64_t bytes = 0;
  for (std::size_t i = turn_; i <= k; ++i) bytes += sizes_[i];
  struct statvfs fs {};
  if (::statvfs(target_.c_str(), &fs) != 0) return false;
  const std::uint64_t room = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  return room >= 2 * bytes + kSpareRoom;
}

bool RunLanes::idle() const { return !inOrder_ && largeFrom_ >= banks_.size(); }

std::size_t RunLanes::pick(bool& ahead, bool aheadAllowed) {
  ahead = false;
  const std::size_t n = banks_.size();
  std::size_t next = turn_;
  while (next < n && (slots_[next].is != Slot::Is::Open || !laneWorthy_[next])) ++next;
  if (next == n || held_ >= kHeldAtMost) return kNone;
  if (aheadAllowed && !aheadTaken_) {
    largeFrom_ = std::max(largeFrom_, next + 1);
    while (largeFrom_ < n && (slots_[largeFrom_].is != Slot::Is::Open || !laneWorthy_[largeFrom_] ||
                              !banks_[largeFrom_].opensApart() || sizes_[largeFrom_] < kLargeBank)) {
      ++largeFrom_;
    }
    if (largeFrom_ < n) {
      // Without room for it now, the bank waits for its place in the order.
      const std::size_t large = largeFrom_++;
      if (roomUpTo(large)) {
        aheadTaken_ = ahead = true;
        return large;
      }
    }
  }
  return inOrder_ && roomUpTo(next) ? next : kNone;
}

void RunLanes::lane(bool first) {
  if (first) {
    // Off the job's thread: the banks' sizes, asked of the file system, and
    // which banks' run names cannot depend on the banks before them. One
    // whose output has the name of an earlier bank's (letter case aside)
    // is numbered only if that bank got so far: its turn tells.
    // A bank whose instrument file may be there already (its folder is)
    // would replace it: it waits for its turn too.
    std::vector<std::uint64_t> sizes(banks_.size());
    std::vector<bool> worthy(banks_.size());
    std::set<std::string> seen;
    const bool replaces = ctx_.format().instrumentText != nullptr;
    const auto there = [](const std::string& folder, const std::string& name) {
      if (folderId(joinPath(folder, name))) return true;
      for (const std::string& fallback : fallbackNames(name))
        if (folderId(joinPath(folder, fallback))) return true;
      return false;
    };
    for (std::size_t k = 0; k < banks_.size(); ++k) {
      sizes[k] = banks_[k].size();
      const std::string folder = destinationOf_(banks_[k]);
      const std::string name = bankOutputName(ctx_.format(), banks_[k].path());
      worthy[k] = seen.insert(runOutputKey(folder, name)).second && !(replaces && there(folder, name));
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      sizes_ = std::move(sizes);
      laneWorthy_ = std::move(worthy);
    }
    changed_.notify_all();
  }
  std::vector<std::uint8_t> buffer;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::size_t k = kNone;
    bool ahead = false;
    changed_.wait(lock, [&] { return stop_ || (!sizes_.empty() && ((k = pick(ahead)) != kNone || idle())); });
    // A lane with nothing left to take ends.
    if (stop_ || k == kNone) return;
    convertAhead(k, ahead, buffer, lock);
  }
}

void RunLanes::convertAhead(std::size_t k, bool ahead, std::vector<std::uint8_t>& buffer,
                            std::unique_lock<std::mutex>& lock) {
  Slot& slot = slots_[k];
  slot.is = Slot::Is::Lane;
  slot.held = std::make_unique<Held>(ctx_.ui);
  slot.job = std::make_unique<JobContext>(*slot.held, ctx_.options);
  ++held_;
  JobContext& job = *slot.job;
  // The run's other banks take the other cores: the bank's files are
  // written on this thread alone.
  job.options.writerThreads = 0;
  const BankRef& bank = banks_[k];
  std::unique_ptr<ByteSource> source;
  std::exception_ptr failure;
  // Banks in the run's order are opened in that order (an image is read
  // moving forward); a bank ahead is read apart.
  if (!ahead) {
    try {
      source = bank.open();
    } catch (...) {
      failure = std::current_exception();
    }
  }
  lock.unlock();
  job.destinationFolder = destinationOf_(bank);
  job.outputRoot = ctx_.outputRoot;
  job.aheadOfTurn = true;
  job.runOutputs.emplace();
  job.writeBuffer.swap(buffer);
  if (!failure) {
    try {
      if (ahead) source = bank.openApart();
      if (folders_) folders_->create(job.destinationFolder);
      convertListedBank(job, bank, std::move(source));
    } catch (...) {
      failure = std::current_exception();
    }
  }
  source.reset();
  buffer.swap(job.writeBuffer);
  lock.lock();
  slot.done = true;
  slot.failure = failure;
  if (ahead) aheadTaken_ = false;
  changed_.notify_all();
}

bool RunLanes::convert(std::size_t k) {
  if (threads_.empty()) return convertRunBank(ctx_, banks_[k], folders_);
  std::unique_lock<std::mutex> lock(mutex_);
  turn_ = k;
  Slot& slot = slots_[k];
  if (slot.is == Slot::Is::Open) slot.is = Slot::Is::InLine;
  if (!idle()) changed_.notify_all();
  if (slot.is == Slot::Is::InLine) {
    lock.unlock();
    return convertRunBank(ctx_, banks_[k], folders_);
  }
  // Meanwhile the job's thread passes on the bank's reports as they come,
  // so that its gauge moves, and converts the next banks in order as a
  // lane does (a large one ahead is left to the lanes).
  while (!slot.done) {
    lock.unlock();
    slot.held->passOn();
    lock.lock();
    if (slot.done) break;
    bool ahead = false;
    const std::size_t next = inOrder_ && !sizes_.empty() ? pick(ahead, false) : kNone;
    if (next == kNone) {
      changed_.wait_for(lock, kReportsEvery);
      continue;
    }
    convertAhead(next, false, ctx_.writeBuffer, lock);
  }
  slot.turned = true;
  --held_;
  if (!idle()) changed_.notify_all();
  lock.unlock();
  // Let go of the lane's context once its reports are passed on.
  struct Release {
    Slot& slot;
    ~Release() {
      slot.job.reset();
      slot.held.reset();
    }
  } release{slot};
  if (slot.failure && !ctx_.ui.cancelled() && !slot.held->passed()) {
    // Converted in order, the bank fails as it does there (or not at all).
    takeBack(slot);
    return convertRunBank(ctx_, banks_[k], folders_);
  }
  // Stopped by the front end, the bank keeps the files it finished, as the
  // bank at hand does when a run in order is stopped.
  JobContext& job = *slot.job;
  if (ctx_.runOutputs) ctx_.runOutputs->insert(job.runOutputs->begin(), job.runOutputs->end());
  // The run's context ends holding the last bank, as converting in order
  // leaves it.
  struct TakeOver {
    JobContext& run;
    JobContext& job;
    ~TakeOver() {
      run.bank = std::move(job.bank);
      run.bankRef = std::move(job.bankRef);
      run.art = std::move(job.art);
      run.zones = std::move(job.zones);
      run.madeBankFolder = std::move(job.madeBankFolder);
      run.gauge1.follow(job.gauge1);
    }
  } takeOver{ctx_, job};
  return unlessPassedOver(ctx_, banks_[k], [&] {
    slot.held->passOn();
    if (slot.failure) std::rethrow_exception(slot.failure);
  });
}

}  // namespace vantrel
