// SPDX-License-Identifier: MIT
// vantrel-cli scan: every bank below a folder (walked as a drive run walks
// it) or one bank, read and checked; nothing is written.

#include <cinttypes>
#include <cstdio>
#include <new>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "tti/archive_banks.h"
#include "tti/bank_check.h"
#include "tti/tti_reader.h"

namespace vantrel::cli {
namespace {

struct BankReport {
  std::string path;
  std::uint32_t samples = 0;
  std::uint16_t zones = 0;
  std::uint64_t sampleBytes = 0;
  std::vector<std::string> problems;
  std::string error;  // empty when the bank reads
};

BankReport examine(const BankRef& ref) {
  BankReport report;
  report.path = ref.path();
  SampleBank bank;
  ZoneArticulation zones;
  try {
    // The PCM data area stays in the file: its size is known, but no
    // sample byte is read.
    loadBank(ref, bank, {&zones, true});
  } catch (const RunError& e) {
    report.error = e.message();
    return report;
  } catch (const std::bad_alloc&) {
    report.error = errorText(kOutOfMemory);
    return report;
  }
  report.samples = bank.sampleCount;
  report.zones = zones.zoneCount;
  report.sampleBytes = sampleBytes(bank);
  report.problems = checkBank(bank, zones);
  return report;
}

std::string jsonLine(const BankReport& r) {
  nlohmann::ordered_json line = {{"path", utf8OrLatin1(r.path)},
                                 {"samples", r.samples},
                                 {"zones", r.zones},
                                 {"sampleBytes", r.sampleBytes},
                                 {"problems", r.problems}};
  if (!r.error.empty()) line["error"] = r.error;
  return line.dump() + "\n";
}

std::string textLines(const BankReport& r) {
  if (!r.error.empty()) return r.path + ": " + r.error + "\n";
  std::string s = r.path + ": " + std::to_string(r.samples) + " samples, " +
                  std::to_string(r.zones) + " zones, " + std::to_string(r.sampleBytes) +
                  " sample bytes\n";
  for (const std::string& p : r.problems) s += "  " + p + "\n";
  return s;
}

}  // namespace

int runScan(const ScanArgs& args) {
  std::vector<BankRef> banks;
  // A folder the walk cannot read (or an image that cannot be read whole)
  // is reported as a bank that cannot be read is, and the walk goes on.
  std::vector<BankReport> unreadable;
  const auto tell = [&](const RunError& e) {
    BankReport report;
    report.path = e.path();
    report.error = e.message();
    unreadable.push_back(std::move(report));
  };
  const auto image = imageSource(args.source);
  if (image && !fileExists(image->archive)) {
    reportError(image->archive, errorText(kFileNotFound));
    return 1;
  }
  if (image && !matchesTtiPattern(fileNamePart(image->inside))) {
    // An image, or a folder inside one: walked in the image's order.
    const auto catalogue = catalogueFor(args.source);
    banks = catalogue->banksBelow(catalogue->rootOf(args.source), tell);
  } else if (image || fileExists(args.source)) {
    banks.push_back(fileSystemBanks().bankAt(args.source));
  } else if (folderExists(args.source)) {
    banks = fileSystemBanks().banksBelow(withSeparator(args.source), tell);
  } else {
    reportError(args.source, errorText(kFileNotFound));
    return 1;
  }
  int status = unreadable.empty() ? 0 : 1;
  for (const BankReport& report : unreadable) {
    const std::string text = args.json ? jsonLine(report) : textLines(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  for (const BankRef& bank : banks) {
    const BankReport report = examine(bank);
    if (!report.error.empty()) status = 1;
    const std::string text = args.json ? jsonLine(report) : textLines(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return finishOutput(status);
}

}  // namespace vantrel::cli
