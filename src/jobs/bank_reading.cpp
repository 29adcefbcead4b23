// SPDX-License-Identifier: MIT
#include "jobs/bank_reading.h"

#include <cctype>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "tti/tti_reader.h"

namespace vantrel {

namespace {

// The bank ctx.bank names, opened through its reference when the job has
// one for it.
std::unique_ptr<ByteSource> openBank(const JobContext& ctx) {
  if (ctx.bankRef.path() == ctx.bank.ttiPath) return ctx.bankRef.open();
  return fileSystemBanks().bankAt(ctx.bank.ttiPath).open();
}

}  // namespace

void getttidata(JobContext& ctx) { getttidata(ctx, *openBank(ctx)); }

void getttidata(JobContext& ctx, ByteSource& src) {
  const bool listed = ctx.ui.showsSampleList();
  if (listed) ctx.ui.sampleListSet({});
  readDirectory(src, ctx.bank);
  if (!listed) return;
  std::vector<std::string> shown;
  shown.reserve(ctx.bank.sampleCount);
  for (std::uint32_t i = 0; i < ctx.bank.sampleCount; ++i) shown.push_back(latin1ToUtf8(ctx.bank.sampleName[i]));
  ctx.ui.sampleListSet(shown);
}

void getttivalues(JobContext& ctx, std::uint8_t step) { getttivalues(ctx, *openBank(ctx), step); }

void getttivalues(JobContext& ctx, ByteSource& src, std::uint8_t step) {
  ValuesToRead what;
  // Faithful WAV files take their pitch and loop from the zones.
  what.zones = ctx.format().needsZones || ctx.options.strict || ctx.options.faithful ? &ctx.art : nullptr;
  what.pcm = step == 1;
  readValues(src, ctx.bank, what, [&] {
    checkCancelled(ctx.ui);
    ctx.gauge1.add(step);
  });
  if (what.zones) ctx.zones = interpretZones(ctx.bank, ctx.art);
}

void checkCancelled(const JobListener& ui) {
  if (ui.cancelled()) throw RunError(kCancelled);
}

void fselect(JobContext& ctx, const std::string& selectedPath) {
  fselect(ctx, fileSystemBanks().bankAt(selectedPath));
}

void fselect(JobContext& ctx, const BankRef& selected) {
  const std::string& selectedPath = selected.path();
  ctx.bank.ttiPath.clear();
  std::string name = fileNamePart(selectedPath);
  auto dot = name.find_last_of('.');
  std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (ext.size() > 4) ext.resize(4);
  if (ext != ".TTI") {
    ctx.setButton(ButtonId::Extract, false);
    ctx.ui.status("No TTI file selected");
    ctx.ui.sampleListVisible(false);
    ctx.ui.logClear();
    return;
  }
  ctx.setButton(ButtonId::Extract, true);
  ctx.bank.ttiPath = selectedPath;
  ctx.bankRef = selected;
  getttidata(ctx);
  ctx.ui.status(std::to_string(ctx.bank.sampleCount) + " Samples found");
  ctx.ui.sampleListVisible(true);
}

void file1Click(JobContext& ctx, const std::string& selectedPath) {
  BusyCursor busy(ctx.ui);
  fselect(ctx, selectedPath);
  ctx.setButton(ButtonId::WavExtr, false);
  if (!ctx.bank.ttiPath.empty()) getttivalues(ctx, 0);
}

bool checkfortti(JobContext& ctx, const std::string& folder) {
  const std::shared_ptr<const BankCatalogue> catalogue = catalogueFor(folder);
  std::string unreadable;
  const auto cannotRead = [&](const RunError& e) {
    if (unreadable.empty()) unreadable = "cannot read " + utf8OrLatin1(e.path()) + ": " + e.message();
  };
  const bool found = catalogue->isImage()
                         ? !catalogue->banksBelow(catalogue->rootOf(folder), cannotRead).empty()
                         : !catalogue->banksIn(folder, cannotRead).empty();
  if (found) {
    ctx.setButton(ButtonId::Complete, true);
    ctx.ui.status("TTI files detected in source dir");
  } else {
    ctx.setButton(ButtonId::Complete, false);
    ctx.setButton(ButtonId::Extract, false);
    // A folder that cannot be listed says so rather than that it holds none.
    ctx.ui.status(unreadable.empty() ? std::string("No TTI files found in source dir") : unreadable);
  }
  return found;
}

}  // namespace vantrel
