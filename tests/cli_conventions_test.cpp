// SPDX-License-Identifier: MIT
// vantrel-cli keeps the conventions of README's command-line tables: an
// error line "vantrel-cli: PATH: TEXT" that says what is wrong, exit 1 for
// what the data answers and 2 for wrong words, formatVersion on every JSON
// line, and no line that says nothing. JSON is read back by a parser.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "jobs_fixtures.h"

using namespace vantrel::testing;
using nlohmann::json;

TEST(CliConventions, EachCommandSaysWhatIsWrongAndKeepsItsFormats) {
  TempDir t;
  const std::string banks = t.file("banks"), pad = t.file("banks/PAD.TTI"), run = t.file("run");
  makeFolders(t.file("banks/WAV_MONO_PAD.TTI"));  // an earlier conversion's folder
  writeJobBank(pad, {"PAD L.WAV", "PAD R.WAV"});  // a left/right pair
  makeFolders(t.file("one"));
  writeJobBank(t.file("one/ONE.TTI"), {"X.WAV"});
  makeFolders(run);  // PAD, ONE and a bank the reader refuses
  std::filesystem::copy_file(pad, run + "/PAD.TTI");
  std::filesystem::copy_file(t.file("one/ONE.TTI"), run + "/ONE.TTI");
  writeBytes(run + "/BAD.TTI", std::vector<std::uint8_t>(300, 0));
  makeFolders(t.file("empty"));
  makeFolders(t.file("DIR.TTI"));
  writeBytes(t.file("afile"), {1});

  struct Row {
    std::vector<std::string> args;  // OUT: the row's own empty folder
    int exitCode;
    std::string errHas;  // empty: standard error is empty
    std::string cwd = {};
    bool deadPipe = false;  // standard output a pipe that nobody reads
  };
  const std::vector<Row> rows = {
      {{"convert", "-o", "OUT", t.file("DIR.TTI")}, 1, t.file("DIR.TTI") + ": not a regular file (a folder)\n"},
      {{"convert", "-o", t.file("afile"), pad}, 1, "vantrel-cli: " + t.file("afile") + ": not a folder\n"},
      {{"convert", "-q", "-o", "OUT", "PAD.TTI", "WAV_MONO_PAD.TTI"}, 0,
       "vantrel-cli: warning: WAV_MONO_PAD.TTI: an output folder of a conversion, not a bank: passed over\n", banks},
      {{"extract", "-o", "OUT", pad, "5"}, 1, "vantrel-cli: " + pad + ": sample index 5 is outside the bank (2 samples)\n"},
      {{"extract", "-o", "OUT", pad, "1"}, 0, "2 Samples found\nPAD R.WAV extracted\n"},  // no line of the index
      {{"extract", "-o", "OUT", pad, "0", "0"}, 2, "\nRun 'vantrel-cli extract --help' for usage.\n"},
      {{"folder", "-k", "--verify", "--progress=json", "-o", "OUT", run}, 1, "\"alreadyThere\":0"},
      {{"scan", "--json", pad}, 0, ""},
      {{"scan", t.file("empty")}, 0, "no TTI files in " + t.file("empty") + "\n"},
      {{"folder", "-o", "OUT", t.file("one")}, 0, "\n1 TTI file extracted\n"},
      {{"folder", "-k", "-o", "OUT", run}, 1, "2 TTI files extracted, 1 failed\n"},
      {{"drive", "--dry-run", "-q", "-o", "OUT", banks}, 141, "", {}, true},
  };
  std::vector<CommandResult> results;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const Row& row = rows[k];
    SCOPED_TRACE(k);
    const std::string out = t.file("out" + std::to_string(k));
    makeFolders(out);
    std::vector<std::string> argv = {VANTREL_CLI};
    for (const std::string& arg : row.args) argv.push_back(arg == "OUT" ? out : arg);
    int pipeFds[2] = {-1, -1};
    if (row.deadPipe) {  // the reading end is closed before the program starts
      ASSERT_EQ(::pipe(pipeFds), 0);
      ::close(pipeFds[0]);
      argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" >&" + std::to_string(pipeFds[1])});
    }
    results.push_back(runCommand(argv, row.cwd));
    if (row.deadPipe) ::close(pipeFds[1]);
    EXPECT_EQ(results[k].exitCode, row.exitCode) << results[k].err;
    if (row.errHas.empty()) {
      EXPECT_EQ(results[k].err, "");
    } else {
      EXPECT_NE(results[k].err.find(row.errHas), std::string::npos) << results[k].err;
    }
  }

  // The folder run's events: its gauge never ahead of the banks ended and
  // at its end after the last, the failed bank's error just before its end.
  std::istringstream events(results[6].err);
  std::size_t ended = 0;
  json previous, gauge;
  for (std::string line; std::getline(events, line);) {
    const json e = json::parse(line);
    EXPECT_EQ(e["formatVersion"], 1) << line;
    ended += e["event"] == "bankDone";
    if (e["event"] == "bankDone" && e["status"] == "failed") {
      EXPECT_EQ(previous["event"], "error");
      EXPECT_EQ(previous["path"], e["path"]);
    }
    if (e["event"] == "progress" && e["gauge"] == "folder") {
      EXPECT_LE(e["value"].get<std::size_t>(), ended) << line;
      gauge = e;
    }
    previous = e;
  }
  EXPECT_EQ(ended, 3u);
  EXPECT_EQ(gauge["value"], 3);
  // scan's line: formatVersion, and the pair as a note, not a problem.
  const json scanned = json::parse(results[7].out);
  EXPECT_EQ(scanned["formatVersion"], 1);
  EXPECT_EQ(scanned["problems"].size(), 0u);
  EXPECT_EQ(scanned["notes"].size(), 1u);
  // A folder run's log: a line for each of the 2 banks read and 3 files
  // written, none of them blank.
  std::istringstream log(results[10].out);
  std::size_t lines = 0;
  for (std::string line; std::getline(log, line); ++lines) EXPECT_NE(line.find_first_not_of(' '), std::string::npos);
  EXPECT_EQ(lines, 5u);
}
