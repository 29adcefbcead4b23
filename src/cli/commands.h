#pragma once
// The command line's commands. Each returns the exit status: 0 done, 1 a
// run-time error or refused input, 2 a usage error (thrown as UsageError).

#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel::cli {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Options shared by the commands; each command says which it accepts.
struct Options {
  int mode = 0;             // --mode mono|stereo|sf2: 0, 1, 2
  bool modeGiven = false;
  std::string out;          // --out DIR; empty: the current working folder
  bool json = false;        // --json
  std::vector<std::string> positional;
};

// Parses the words after the command name. `allowed` lists the options the
// command accepts ("--mode", "--out", "--json").
Options parseOptions(const std::vector<std::string>& words, const std::vector<std::string>& allowed);

// The output folder of --out (or the current working folder), which must
// exist; with a separator at its end. Prints an error and returns "" when
// it does not exist.
std::string outputFolder(const Options& options);

// Prints "path: message" for a run-time error on standard error.
void reportError(const std::string& path, const std::string& message);

int runInfo(const Options& options);
int runFolder(const Options& options);
int runDrive(const Options& options);
int runExtract(const Options& options);
int runConvert(const Options& options);

}  // namespace vantrel::cli
