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
#include "cli/messages.h"
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
  std::vector<std::string> notes;  // what is no problem but worth knowing
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
  report.problems = bankProblems(bank, zones);
  report.notes = bankNotes(bank);
  return report;
}

std::string jsonLine(const BankReport& r) {
  nlohmann::ordered_json line = {{"formatVersion", kEventFormatVersion},
                                 {"path", utf8OrLatin1(r.path)},
                                 {"samples", r.samples},
                                 {"zones", r.zones},
                                 {"sampleBytes", r.sampleBytes},
                                 {"problems", r.problems},
                                 {"notes", r.notes}};
  if (!r.error.empty()) line["error"] = r.error;
  return line.dump() + "\n";
}

std::string textLines(const BankReport& r) {
  const std::string path = escapeControls(r.path);
  if (!r.error.empty()) return path + ": " + escapeControls(r.error) + "\n";
  std::string s = path + ": " + std::to_string(r.samples) + " samples, " +
                  std::to_string(r.zones) + " zones, " + std::to_string(r.sampleBytes) +
                  " sample bytes\n";
  for (const std::string& p : r.problems) s += "  " + escapeControls(p) + "\n";
  for (const std::string& n : r.notes) s += "  note: " + escapeControls(n) + "\n";
  return s;
}

}  // namespace

int runScan(const ScanArgs& args) {
  std::vector<std::string> sources;
  if (!args.source.empty()) sources.push_back(args.source);
  if (!args.list.file.empty()) {
    try {
      std::vector<std::string> listed = readFileList(args.list);
      sources.insert(sources.end(), listed.begin(), listed.end());
    } catch (const RunError& e) {
      reportRunError(e, args.list.file);
      return 1;
    }
  }
  int status = 0;
  bool printed = false;  // for the source at hand
  auto print = [&](const BankReport& report) {
    printed = true;
    if (!report.error.empty()) status = 1;
    const std::string text = args.json ? jsonLine(report) : textLines(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
  };
  // A folder the walk cannot read (or an image that cannot be read whole)
  // is reported as a bank that cannot be read is, and the walk goes on.
  const auto tell = [&](const RunError& e) {
    if (e.code() == kLinkFollowed) {
      // The link is listed as the bank it leads to.
      writeLine(stderr, "vantrel-cli: warning: " + escapeControls(e.path() + ": " + e.message()));
      return;
    }
    BankReport report;
    report.path = e.path();
    report.error = e.message();
    print(report);
  };
  for (const std::string& source : sources) {
    std::vector<BankRef> banks;
    printed = false;
    const auto image = imageSource(source);
    if (image && !fileExists(image->archive)) {
      reportError(image->archive, errorText(kFileNotFound));
      status = 1;
      continue;
    }
    if (image && !matchesTtiPattern(fileNamePart(image->inside))) {
      // An image, or a folder inside one: walked in the image's order.
      const auto catalogue = catalogueFor(source);
      banks = catalogue->banksBelow(catalogue->rootOf(source), tell);
    } else if (image || fileExists(source)) {
      banks.push_back(fileSystemBanks().bankAt(source));
    } else if (folderExists(source)) {
      banks = fileSystemBanks().banksBelow(withSeparator(source), tell);
    } else {
      reportError(source, errorText(kFileNotFound));
      status = 1;
      continue;
    }
    for (const BankRef& bank : banks) print(examine(bank));
    // A walk that found nothing says so, as a folder run does.
    if (!printed) {
      std::fflush(stdout);
      writeLine(stderr, "no TTI files in " + escapeControls(source));
    }
  }
  return finishOutput(status);
}

}  // namespace vantrel::cli
