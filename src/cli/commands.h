// SPDX-License-Identifier: MIT
#pragma once
// The command line's commands. Each returns the exit status: 0 done, 1 a
// run-time error or refused input, 2 a usage error (thrown as UsageError),
// 128 + N after signal N stopped a run.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace vantrel {
class RunError;
struct OutputFormat;
}

namespace vantrel::cli {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The options of the commands that write files. addRunOptions is the one
// place that defines them; a new option of every converting command goes
// there and into this structure.
struct RunOptions {
  std::string mode = "mono";  // -m/--mode: an output format's word
  std::string out;            // -o/--out DIR; not given: the current working folder
  bool keepGoing = false;     // -k/--keep-going
  bool overwrite = false;     // --overwrite
  bool dryRun = false;        // --dry-run
  bool dryRunJson = false;    // --json (with --dry-run)
  bool quiet = false;         // -q/--quiet
  std::string progress = "bar";  // --progress bar|json|none
  bool verify = false;        // --verify
  bool manifest = false;      // --manifest
  bool strict = false;        // --strict
  bool faithful = false;      // --faithful
  unsigned jobs = 0;          // -j/--jobs N: banks converted at once; 0 by the cores

  // The output format --mode names.
  const OutputFormat& format() const;
};

// Which of the run options a command takes: every converting command takes
// the output options (--out, --overwrite, --progress, --quiet); the batch
// options (--mode, --keep-going, --dry-run, --json) are for the commands
// that convert whole banks; the run options (--jobs) for the folder and
// drive runs.
enum RunOptionSet : unsigned { kOutputOptions = 1, kBatchOptions = 2, kRunOptions = 4 };
void addRunOptions(CLI::App& command, RunOptions& options, unsigned sets);

// --files-from FILE and -0/--null: more paths for convert and scan.
struct FileListArgs {
  std::string file;   // empty: none; "-": standard input
  bool nul = false;   // NUL-separated instead of one a line
};

// Adds --files-from and -0/--null to `command`.
void addFileListOptions(CLI::App& command, FileListArgs& args);

// The paths of the list `args` names, in its order: one a line (a line's
// end is "\n" alone) or, with -0, NUL-separated; empty ones are passed
// over. Reading stops, with what was read, when a stop signal arrives
// (the input may be a pipe whose writer waits for something). Throws
// RunError when the list cannot be read.
std::vector<std::string> readFileList(const FileListArgs& args);

struct InfoArgs {
  std::string bank;
  bool json = false;
};
struct ScanArgs {
  std::string source;  // may be empty with a file list
  FileListArgs list;
  bool json = false;
};
struct VerifyArgs {
  std::string folder;
  std::vector<std::string> banks;
  bool faithful = false;  // the outputs were written with --faithful
};
struct ExtractArgs {
  std::string bank;
  std::string first, second;  // sample indexes as given; second may be empty
};

// What keeps `path` from serving as a folder, as an error line says it
// after the path: empty when it is a folder; "<what> does not exist" (what:
// "the output folder") when nothing is there; "not a folder" for a file;
// else the system's reason ("File access denied").
std::string folderProblem(const std::string& path, const std::string& what);

// The output folder of --out (or the current working folder when --out is
// not given), which must exist; with a separator at its end. Prints an
// error and returns "" when it does not exist.
std::string outputFolder(const RunOptions& options);

// Prints "path: message" for a run-time error on standard error (an error
// event with --progress=json). For errors before a run's console exists,
// and for the commands without one.
void reportError(const std::string& path, const std::string& message);
// Prints the error that ended a job: its path (or `subject` when it names
// none) and its text; a failed verification's text names the file itself.
void reportRunError(const RunError& error, const std::string& subject);

// Flushes standard output; after a failed write prints the error and
// returns 1, else returns `status`.
int finishOutput(int status);

int runInfo(const InfoArgs& args);
int runScan(const ScanArgs& args);
int runConvert(const RunOptions& options, std::vector<std::string> banks, const FileListArgs& list);
int runFolder(const RunOptions& options, const std::string& source);
int runDrive(const RunOptions& options, const std::string& root);
int runExtract(const RunOptions& options, const ExtractArgs& args);
int runVerify(const VerifyArgs& args);

}  // namespace vantrel::cli
