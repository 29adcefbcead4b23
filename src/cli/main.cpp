// vantrel-cli: the converter without its window. Log lines go to standard
// output, status lines to standard error.

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/file.h"

namespace vantrel::cli {
namespace {

const char kUsage[] =
    "Usage:\n"
    "  vantrel-cli info    BANK.tti [--json]\n"
    "  vantrel-cli convert [--mode mono|stereo|sf2|sfz] [--out DIR] BANK.tti [BANK.tti ...]\n"
    "  vantrel-cli folder  [--mode mono|stereo|sf2|sfz] [--out DIR] SOURCE_DIR\n"
    "  vantrel-cli drive   [--mode mono|stereo|sf2|sfz] [--out DIR] SOURCE_ROOT\n"
    "  vantrel-cli extract [--out DIR] BANK.tti INDEX [INDEX2]\n"
    "  vantrel-cli --help | --version\n"
    "\n"
    "Converts the sample banks of .tti files into 16-bit PCM WAV files (mono, or\n"
    "stereo for left/right pairs), into one SoundFont 2 file per bank, or into an\n"
    "SFZ instrument per bank (its samples as mono WAV files).\n"
    "\n"
    "  info     list a bank's samples, loops and zones (--json: one JSON object)\n"
    "  convert  convert whole banks into DIR\n"
    "  folder   convert every .tti file of a folder into DIR/<folder>_WAV_M|_WAV_S|_SF2|_SFZ\n"
    "  drive    convert every .tti file below SOURCE_ROOT into DIR/Drive NAME MODE/...\n"
    "  extract  write sample INDEX (0-based) as a mono WAV file, or the pair\n"
    "           INDEX INDEX2 as one stereo WAV file\n"
    "\n"
    "  --mode   mono (default), stereo, sf2 or sfz\n"
    "  --out    the target folder (default: the current folder); it must exist\n"
    "\n"
    "Exit status: 0 done, 1 run-time error or refused input, 2 usage error.\n";

}  // namespace

Options parseOptions(const std::vector<std::string>& words, const std::vector<std::string>& allowed) {
  auto accepts = [&](const std::string& o) {
    for (const auto& a : allowed)
      if (a == o) return true;
    return false;
  };
  Options o;
  for (std::size_t k = 0; k < words.size(); ++k) {
    const std::string& w = words[k];
    std::string name = w, value;
    bool inlineValue = false;
    if (w.rfind("--", 0) == 0 && w.size() > 2) {
      auto eq = w.find('=');
      if (eq != std::string::npos) {
        name = w.substr(0, eq);
        value = w.substr(eq + 1);
        inlineValue = true;
      }
      if (!accepts(name)) throw UsageError("unknown option '" + name + "'");
      if (name == "--json") {
        if (inlineValue) throw UsageError("--json takes no value");
        o.json = true;
        continue;
      }
      if (!inlineValue) {
        if (k + 1 >= words.size()) throw UsageError(name + " needs a value");
        value = words[++k];
      }
      if (name == "--mode") {
        if (value == "mono") o.mode = 0;
        else if (value == "stereo") o.mode = 1;
        else if (value == "sf2") o.mode = 2;
        else if (value == "sfz") o.mode = 3;
        else throw UsageError("--mode takes mono, stereo, sf2 or sfz, not '" + value + "'");
        o.modeGiven = true;
      } else if (name == "--out") {
        if (value.empty()) throw UsageError("--out needs a folder");
        o.out = value;
      }
      continue;
    }
    if (w == "--") {
      for (++k; k < words.size(); ++k) o.positional.push_back(words[k]);
      break;
    }
    o.positional.push_back(w);
  }
  return o;
}

std::string outputFolder(const Options& options) {
  std::string folder = options.out;
  if (folder.empty()) {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) {
      reportError(".", std::strerror(errno));
      return {};
    }
    folder = buf;
  }
  if (!folderExists(folder)) {
    reportError(folder, "the output folder does not exist");
    return {};
  }
  return withSeparator(folder);
}

void reportError(const std::string& path, const std::string& message) {
  std::fflush(stdout);
  if (path.empty()) std::fprintf(stderr, "vantrel-cli: %s\n", message.c_str());
  else std::fprintf(stderr, "vantrel-cli: %s: %s\n", path.c_str(), message.c_str());
}

}  // namespace vantrel::cli

int main(int argc, char** argv) {
  using namespace vantrel::cli;
  std::vector<std::string> words(argv + 1, argv + argc);
  if (words.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = words.front();
  words.erase(words.begin());
  try {
    if (command == "--help" || command == "-h" || command == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (command == "--version") {
      std::printf("vantrel-cli %s\n", VANTREL_VERSION);
      return 0;
    }
    if (command == "info") return runInfo(parseOptions(words, {"--json"}));
    if (command == "folder") return runFolder(parseOptions(words, {"--mode", "--out"}));
    if (command == "drive") return runDrive(parseOptions(words, {"--mode", "--out"}));
    if (command == "extract") return runExtract(parseOptions(words, {"--out"}));
    if (command == "convert") return runConvert(parseOptions(words, {"--mode", "--out"}));
    throw UsageError("unknown command '" + command + "'");
  } catch (const UsageError& e) {
    std::fprintf(stderr, "vantrel-cli: %s\n\n%s", e.what(), kUsage);
    return 2;
  }
}
