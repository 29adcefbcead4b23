// SPDX-License-Identifier: MIT
// vantrel-cli: the converter without its window. Log lines go to standard
// output, status lines to standard error (or JSON events, messages.h).

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/messages.h"
#include "jobs/job_context.h"
#include "jobs/output_formats.h"
#include "platform/errors.h"
#include "platform/file.h"

namespace vantrel::cli {
namespace {

const char kDescription[] =
    "Converts the sample banks of .tti files into 16-bit PCM WAV files (mono, or stereo for\n"
    "left/right pairs), into one SoundFont 2 (or SF3) file per bank, into an SFZ instrument or a\n"
    "DecentSampler preset per bank (its samples as mono WAV files), or into a Bitwig\n"
    "multisample or a DLS file per bank.";

const char kExitStatus[] =
    "Exit status: 0 done, 1 run-time error or refused input, 2 usage error,\n"
    "128 + N after signal N stopped the run.";

// The usage error's line and where to find help, on standard error.
int usageError(const std::string& command, const std::string& message) {
  std::fflush(stdout);
  writeLine(stderr, usageErrorLines(jsonEvents(), command, message));
  return 2;
}

// Whether the words ask for JSON events (--progress=json or --progress
// json before any "--"): for the errors found while they are read.
bool asksForJson(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    const std::string_view word = argv[k];
    if (word == "--") break;
    if (word == "--progress=json" || (word == "--progress" && k + 1 < argc && std::string_view(argv[k + 1]) == "json"))
      return true;
  }
  return false;
}

}  // namespace

const OutputFormat& RunOptions::format() const {
  const OutputFormat* f = formatByWord(mode);
  return f ? *f : outputFormat(FormatId::Mono);
}

namespace {

// The --mode option's help: every format's word and what it writes.
std::string modeHelp() {
  std::string help = "the output format (default mono):";
  for (const OutputFormat& f : outputFormats()) {
    help += "\n  " + std::string(f.word) + ": " + std::string(f.help);
  }
  return help;
}

}  // namespace

void addFileListOptions(CLI::App& command, FileListArgs& args) {
  CLI::Option* list =
      command.add_option("--files-from", args.file, "read more paths from FILE, one a line ('-': standard input)")
          ->type_name("FILE");
  command.add_flag("-0,--null", args.nul, "with --files-from: the paths are NUL-separated")->needs(list);
}

void addRunOptions(CLI::App& command, RunOptions& options, unsigned sets) {
  if (sets & kBatchOptions) {
    std::vector<std::string> words;
    for (const OutputFormat& f : outputFormats()) words.emplace_back(f.word);
    command.add_option("-m,--mode", options.mode, modeHelp())->check(CLI::IsMember(words))->type_name("MODE");
  }
  command.add_option("-o,--out", options.out, "the target folder (default: the current folder); it must exist")
      ->type_name("DIR")
      ->check([](const std::string& dir) {
        return dir.empty() ? std::string("the target folder is empty (leave out --out for the current folder)")
                           : std::string();
      });
  if (sets & kBatchOptions) {
    command.add_flag("-k,--keep-going", options.keepGoing,
                     "report a bank that fails and go on with the next; exit 1 if any failed");
    CLI::Option* dryRun = command.add_flag(
        "--dry-run", options.dryRun, "print every file the run would write, relative to DIR, and write nothing");
    command.add_flag("--json", options.dryRunJson,
                     "with --dry-run: one JSON object per file (path, bank, kind) instead of its path")
        ->needs(dryRun);
  }
  command.add_flag("--strict", options.strict,
                   "fail a bank for every problem scan reports for it (samples cut short, loops outside "
                   "their sample, empty ranges, zones without a sample), before anything of it is written");
  command.add_flag("--faithful", options.faithful,
                   "write what the bank means: WAV files with their sample's pitch and only a loop "
                   "that plays, SoundFonts with whole names, linked pairs and every generator within "
                   "the format's ranges, without zones that never sound");
  if (sets & kRunOptions) {
    command.add_option("-j,--jobs", options.jobs,
                       "banks of a folder or drive run converted at once (default: by the cores; 1: one "
                       "after the other); the output and the report are the same either way")
        ->check(CLI::Range(1u, 16u))
        ->type_name("N");
  }
  command.add_flag("--overwrite", options.overwrite,
                   "write WAV files again that exist instead of skipping them");
  command.add_option("--progress", options.progress,
                     "bar (default: a bar on a terminal), none (no bar) or json (every line of "
                     "standard error a JSON event: start, bank, file, warning, error, bankDone, "
                     "progress, status, done)")
      ->check(CLI::IsMember({"bar", "json", "none"}))
      ->type_name("FORMAT");
  command.add_flag("-q,--quiet", options.quiet, "print only warnings and errors");
  command.add_flag("--verify", options.verify,
                   "read every file written back from the disk and compare it with the bank; a "
                   "file that differs is removed and ends the run");
  command.add_flag("--manifest", options.manifest,
                   "list every file written or found already extracted, with its SHA-256, in "
                   "DIR/SHA256SUMS (kept lines of other files stay)");
}

std::string outputFolder(const RunOptions& options) {
  std::string folder = options.out;
  if (folder.empty()) {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) {
      reportError(".", std::strerror(errno));
      return {};
    }
    folder = buf;
  }
  if (const std::string problem = folderProblem(folder, "the output folder"); !problem.empty()) {
    reportError(folder, problem);
    return {};
  }
  return withSeparator(folder);
}

std::string folderProblem(const std::string& path, const std::string& what) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? std::string() : std::string("not a folder");
  const int err = errno;
  // A path through a file ("FILE/out") leads nowhere, as a missing one does.
  if (err == ENOENT || err == ENOTDIR) return what + " does not exist";
  return errnoError(err, path).message();
}

}  // namespace vantrel::cli

int main(int argc, char** argv) {
  using namespace vantrel::cli;
  // A folder or drive run allocates and frees each bank's tables hundreds of
  // times. Freed memory stays with the process for the next bank, instead
  // of going back to the system and being faulted in again; blocks of
  // 4 MiB and more are still mapped and returned as they are freed.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  CLI::App app(kDescription, "vantrel-cli");
  app.footer(kExitStatus);
  app.set_version_flag("--version", std::string("vantrel-cli ") + VANTREL_VERSION);
  app.require_subcommand(1);

  InfoArgs info;
  CLI::App* infoCmd = app.add_subcommand("info", "list a bank's samples, loops and zones");
  infoCmd->add_option("BANK", info.bank, "the bank file, or IMAGE//path/BANK.TTI inside an image or archive")
      ->required();
  infoCmd->add_flag("--json", info.json, "print one JSON object");

  ScanArgs scan;
  CLI::App* scanCmd = app.add_subcommand(
      "scan", "check every .tti file below SOURCE (or the bank SOURCE) and write nothing");
  scanCmd->add_option("SOURCE", scan.source,
                      "a folder or an image or archive (.iso, .zip, .7z, .tar[.gz|.bz2|.xz]), walked as drive "
                      "walks it, or a bank file (IMAGE//path/BANK.TTI inside one)");
  scanCmd->add_flag("--json", scan.json, "print one JSON object per bank and line");
  addFileListOptions(*scanCmd, scan.list);

  std::vector<std::string> banks;
  FileListArgs bankList;
  CLI::App* convertCmd = app.add_subcommand("convert", "convert whole banks into DIR");
  convertCmd->add_option("BANK", banks, "bank files (.tti), or IMAGE//path/BANK.TTI inside an image or archive");

  std::string source;
  std::string suffixes;
  for (const vantrel::OutputFormat& f : vantrel::outputFormats()) suffixes += (suffixes.empty() ? "" : "|") + std::string(f.runSuffix);
  CLI::App* folderCmd = app.add_subcommand(
      "folder", "convert every .tti file of a folder into DIR/<folder>" + suffixes);
  folderCmd->add_option("SOURCE_DIR", source,
                        "the folder whose banks are converted, or an image or archive whose tree is")
      ->required();

  CLI::App* driveCmd = app.add_subcommand(
      "drive", "convert every .tti file below SOURCE_ROOT into DIR/Drive NAME MODE/...");
  driveCmd->add_option("SOURCE_ROOT", source, "the folder, image or archive whose tree is converted")->required();

  ExtractArgs extract;
  CLI::App* extractCmd = app.add_subcommand(
      "extract",
      "write sample INDEX (0-based) as a mono WAV file, or the pair INDEX INDEX2 as one stereo "
      "WAV file");
  extractCmd->add_option("BANK", extract.bank, "the bank file")->required();
  extractCmd->add_option("INDEX", extract.first, "a sample's index, from 0")->required();
  extractCmd->add_option("INDEX2", extract.second, "the other sample of a stereo pair");

  VerifyArgs verifyArgs;
  CLI::App* verifyCmd = app.add_subcommand(
      "verify",
      "check every file listed in DIR/SHA256SUMS and, with banks given, compare their outputs "
      "found below DIR with the banks");
  verifyCmd->add_option("DIR", verifyArgs.folder, "the output folder of a run")->required();
  verifyCmd->add_option("BANK", verifyArgs.banks,
                        "bank files (.tti) whose outputs are compared: IMAGE//path/BANK.TTI inside an image or "
                        "archive, or IMAGE for every bank in it");
  verifyCmd->add_flag("--faithful", verifyArgs.faithful, "the outputs were written with --faithful");

  // The run options go to the command the first word names, or to every
  // command when it names none (help, version, a usage error): a run does
  // not build the option tables of the commands it does not use.
  const CLI::App* named = nullptr;
  for (CLI::App* command : app.get_subcommands({})) {
    command->footer(kExitStatus);
    if (argc > 1 && command->get_name() == argv[1]) named = command;
  }
  RunOptions run;
  for (const auto& [command, sets] : {std::pair<CLI::App*, unsigned>{convertCmd, kOutputOptions | kBatchOptions},
                                      {folderCmd, kOutputOptions | kBatchOptions | kRunOptions},
                                      {driveCmd, kOutputOptions | kBatchOptions | kRunOptions},
                                      {extractCmd, kOutputOptions}}) {
    if (!named || named == command) addRunOptions(*command, run, sets);
  }
  addFileListOptions(*convertCmd, bankList);

  // The command the words name, for the pointer to its help.
  auto commandName = [&] {
    const auto chosen = app.get_subcommands();
    return chosen.empty() ? std::string() : chosen.front()->get_name();
  };
  setJsonEvents(asksForJson(argc, argv));
  try {
    app.parse(argc, argv);
    // Without a file list, a bank or a source is required.
    if (convertCmd->parsed() && banks.empty() && bankList.file.empty())
      throw CLI::RequiredError("BANK (or --files-from)");
    if (scanCmd->parsed() && scan.source.empty() && scan.list.file.empty())
      throw CLI::RequiredError("SOURCE (or --files-from)");
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return finishOutput(0);
  } catch (const CLI::CallForVersion& e) {
    std::printf("%s\n", e.what());
    return finishOutput(0);
  } catch (const CLI::ParseError& e) {
    if (argc == 1) {
      std::fputs(app.help().c_str(), stderr);
      return 2;
    }
    // Before a command the first word is at fault.
    if (commandName().empty()) {
      const std::string first = argv[1];
      return usageError({}, (first.rfind('-', 0) == 0 ? "unknown option '" : "unknown command '") +
                                first + "'");
    }
    return usageError(commandName(), e.what());
  }

  setJsonEvents(run.progress == "json");
  try {
    if (infoCmd->parsed()) return runInfo(info);
    if (scanCmd->parsed()) return runScan(scan);
    if (convertCmd->parsed()) return runConvert(run, std::move(banks), bankList);
    if (folderCmd->parsed()) return runFolder(run, source);
    if (driveCmd->parsed()) return runDrive(run, source);
    if (extractCmd->parsed()) return runExtract(run, extract);
    if (verifyCmd->parsed()) return runVerify(verifyArgs);
  } catch (const UsageError& e) {
    return usageError(commandName(), e.what());
  }
  return 2;
}
