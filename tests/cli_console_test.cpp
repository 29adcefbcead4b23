// SPDX-License-Identifier: MIT
// The command line's console in text: the lines that end a run, and what
// --quiet leaves (warnings and errors only).

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/console_listener.h"
#include "jobs_fixtures.h"

using namespace vantrel;
using namespace vantrel::cli;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

}  // namespace

TEST(CliConsole, TheLinesThatEndARunCountInWords) {
  struct Case {
    std::size_t converted;
    std::vector<std::string> failed;
    std::size_t verified;
    std::string lines;
  };
  const std::vector<Case> cases = {
      {1, {}, 1, "1 file verified\n1 bank converted, 0 failed\n"},
      {0, {"A.TTI"}, 0, "0 files verified\n0 banks converted, 1 failed: A.TTI\n"},
      {2, {"A.TTI", "B.TTI"}, 3, "3 files verified\n2 banks converted, 2 failed: A.TTI, B.TTI\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    {
      ConsoleSettings settings;
      settings.keepGoing = true;
      settings.verify = true;
      ConsoleListener console(settings, stdout, err);
      for (const std::string& bank : c.failed) console.recordFailure(bank);
      console.setVerified(c.verified, 0);
      console.done(c.failed.empty() ? 0 : 1, c.converted);
    }
    EXPECT_EQ(readStream(err), c.lines);
    std::fclose(err);
  }
}

TEST(CliQuiet, PrintsOnlyWarningsAndErrors) {
  TempDir dir;
  const std::string good = dir.file("GOOD.TTI"), bad = dir.file("BAD.TTI");
  writeJobBank(good, {"ONE.WAV"});
  writeBytes(bad, std::vector<std::uint8_t>(300, 0));
  fs::create_directories(dir.file("empty"));

  struct Case {
    std::vector<std::string> args;  // after the program, with OUT for the output folder
    int exitCode;
    std::string err;  // standard error; "json": JSON events only
  };
  const std::vector<Case> cases = {
      {{"convert", "-q", "-o", "OUT", good}, 0, ""},
      {{"convert", "-q", "-k", "--verify", "-o", "OUT", bad, good}, 1,
       "vantrel-cli: " + bad + ": Read beyond end of file\n"},
      {{"folder", "-q", "-o", "OUT", dir.file("empty")}, 0, ""},
      {{"extract", "-q", "-o", "OUT", good, "0"}, 0, ""},
      // JSON events are for programs: -q leaves them all.
      {{"convert", "-q", "--progress=json", "-o", "OUT", good}, 0, "json"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const std::string out = dir.file("out" + std::to_string(n++));
    fs::create_directories(out);
    std::vector<std::string> argv = {kCli};
    for (const std::string& a : c.args) argv.push_back(a == "OUT" ? out : a);
    const auto r = runCommand(argv);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.out, "");
    if (c.err != "json") {
      EXPECT_EQ(r.err, c.err);
      continue;
    }
    std::istringstream lines(r.err);
    std::size_t statuses = 0;
    for (std::string line; std::getline(lines, line);) {
      const auto e = nlohmann::json::parse(line, nullptr, false);
      ASSERT_TRUE(e.is_object()) << line;
      statuses += e["event"] == "status";
    }
    EXPECT_GT(statuses, 0u) << r.err;
  }

  // A warning the job reports stays; its status and log lines go.
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_TRUE(out && err);
  {
    ConsoleSettings settings;
    settings.quiet = true;
    ConsoleListener console(settings, out, err);
    console.status("processing A.TTI");
    console.logLine("A.WAV extracted");
    console.warning("A.TTI: sample 0 is cut short");
    console.error("B.TTI", "File not found");
    console.done(1, 1);
  }
  EXPECT_EQ(readStream(out), "");
  EXPECT_EQ(readStream(err), "vantrel-cli: warning: A.TTI: sample 0 is cut short\nvantrel-cli: B.TTI: File not found\n");
  std::fclose(out);
  std::fclose(err);
}
