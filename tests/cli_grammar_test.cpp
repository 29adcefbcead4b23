// SPDX-License-Identifier: MIT
// vantrel-cli's grammar: help per command, usage errors, "--", and the man
// page kept in step with --help.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "bank_builder.h"
#include "test_support.h"

using namespace vantrel::testing;

namespace {

const std::string kCli = VANTREL_CLI;
const std::vector<std::string> kCommands = {"info", "scan", "convert", "folder", "drive", "extract", "verify"};

// The arguments that make a command succeed on a bank called "-b.tti" in a
// folder called "-dir" (both begin with a dash), given after "--".
std::vector<std::string> argsAfterDoubleDash(const std::string& command) {
  if (command == "folder" || command == "drive") return {"--", "-dir"};
  if (command == "extract") return {"--", "-dir/-b.tti", "0"};
  if (command == "verify") return {"--", "-dir"};
  return {"--", "-dir/-b.tti"};
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

}  // namespace

TEST(CliGrammar, HelpUsageErrorsAndDoubleDashForEveryCommand) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("-dir"));
  BankDesc d;
  SampleDesc s;
  s.name = "S.WAV";
  s.pcm.assign(64, 1);
  s.zones = {0};
  d.samples = {s};
  writeBank(dir.file("-dir/-b.tti"), d);
  writeBytes(dir.file("-dir/SHA256SUMS"), {});  // a manifest with no line: verify passes
  const std::string out = dir.file("out");
  std::filesystem::create_directory(out);

  for (const std::string& command : kCommands) {
    SCOPED_TRACE(command);
    for (const char* help : {"--help", "-h"}) {
      const auto r = runCommand({kCli, command, help});
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_NE(r.out.find("Usage: vantrel-cli " + command), std::string::npos) << r.out;
      EXPECT_EQ(r.err, "");
    }
    const std::string pointer = "Run 'vantrel-cli " + command + " --help' for usage.";
    struct Case {
      std::vector<std::string> words;
      std::string named;  // what the error line must name
    };
    const std::vector<std::string> positionals =
        command == "extract" ? std::vector<std::string>{"x", "0"} : std::vector<std::string>{"x"};
    for (const Case& c : {Case{{"--bogus"}, "--bogus"}, Case{{"-Z"}, "-Z"}, Case{{}, "required"}}) {
      std::vector<std::string> argv = {kCli, command};
      argv.insert(argv.end(), c.words.begin(), c.words.end());
      if (!c.words.empty()) argv.insert(argv.end(), positionals.begin(), positionals.end());
      const auto r = runCommand(argv, dir.str());
      EXPECT_EQ(r.exitCode, 2);
      EXPECT_EQ(r.out, "");
      const auto err = lines(r.err);
      ASSERT_EQ(err.size(), 2u) << r.err;
      EXPECT_EQ(err[0].rfind("vantrel-cli: ", 0), 0u) << r.err;
      EXPECT_NE(err[0].find(c.named), std::string::npos) << r.err;
      EXPECT_EQ(err[1], pointer);
    }
    // An option's missing or empty value, where the command has options
    // with values: an empty --out is not the current folder.
    if (command != "info" && command != "scan" && command != "verify") {
      for (const std::vector<std::string>& value : {std::vector<std::string>{"-o"}, {"--out", ""}, {"--out="}}) {
        std::vector<std::string> argv = {kCli, command};
        argv.insert(argv.end(), positionals.begin(), positionals.end());
        argv.insert(argv.end(), value.begin(), value.end());
        const auto r = runCommand(argv, dir.str());
        EXPECT_EQ(r.exitCode, 2);
        const auto err = lines(r.err);
        ASSERT_EQ(err.size(), 2u) << r.err;
        EXPECT_NE(err[0].find("--out"), std::string::npos) << r.err;
        EXPECT_EQ(err[1], pointer);
      }
    }
    // After "--" a word that begins with a dash is an argument.
    std::vector<std::string> argv = {kCli, command};
    if (command != "info" && command != "scan" && command != "verify") argv.insert(argv.end(), {"-o", out});
    const auto args = argsAfterDoubleDash(command);
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = runCommand(argv, dir.str());
    EXPECT_EQ(r.exitCode, 0) << r.err;
  }
  // The program's own words.
  for (const char* word : {"--help", "-h", "--version"}) {
    const auto r = runCommand({kCli, word});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind(word == std::string("--version") ? "vantrel-cli " : "Converts", 0), 0u) << r.out;
  }
  for (const char* word : {"nonsense", "--bogus"}) {
    const auto r = runCommand({kCli, word});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(lines(r.err).size(), 2u) << r.err;
    EXPECT_NE(r.err.find(word), std::string::npos) << r.err;
    EXPECT_TRUE(r.err.ends_with("Run 'vantrel-cli --help' for usage.\n")) << r.err;
  }
  // The short forms of --mode and --out.
  const auto r = runCommand({kCli, "convert", "-m", "sf2", "-o", out, "./-dir/-b.tti"}, dir.str());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(out + "/-b.sf2"));
}

TEST(CliGrammar, TheManPageNamesEveryCommandAndEveryOptionThatHelpLists) {
  const std::string manPage = std::string(VANTREL_SOURCE_DIR) + "/man/vantrel-cli.1";
  std::ifstream in(manPage);
  ASSERT_TRUE(in) << manPage;
  std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // roff writes a dash as "\-".
  page = std::regex_replace(page, std::regex(R"(\\-)"), "-");

  const std::regex option(R"((?:^|[ ,])(--?[a-zA-Z][a-zA-Z-]*))");
  std::vector<std::string> helps = {runCommand({kCli, "--help"}).out};
  for (const std::string& command : kCommands) {
    EXPECT_NE(page.find(".BI " + command), std::string::npos) << command;
    helps.push_back(runCommand({kCli, command, "--help"}).out);
  }
  std::set<std::string> options;
  for (const std::string& help : helps) {
    for (const std::string& line : lines(help)) {
      if (line.rfind("  -", 0) != 0) continue;  // option lines begin with two spaces and a dash
      const std::string names = line.substr(0, line.find_first_of(" ", 2) == std::string::npos
                                                   ? line.size()
                                                   : line.find_first_of(" ", 2));
      for (std::sregex_iterator it(names.begin(), names.end(), option), end; it != end; ++it)
        options.insert((*it)[1]);
    }
  }
  EXPECT_GE(options.size(), 12u);
  for (const std::string& o : options) {
    EXPECT_TRUE(std::regex_search(page, std::regex("(^|[^a-z-])" + o + "([^a-z-]|$)"))) << o;
  }
}
