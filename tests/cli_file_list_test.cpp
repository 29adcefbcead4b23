// SPDX-License-Identifier: MIT
// vantrel-cli convert and scan --files-from: banks listed one a line or
// NUL-separated, in a file or on standard input, with or after the banks
// named on the command line.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "jobs_fixtures.h"

using namespace vantrel::testing;
using namespace vantrel;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(CliFileList, ListedPathsAreTheBanksOfConvertAndTheSourcesOfScan) {
  TempDir dir;
  const std::string src = dir.file("src");
  fs::create_directories(src + "/sub");
  // A bank whose name holds a line break can only be listed NUL-separated.
  for (const std::string name : {"A.TTI", "B.TTI", "C\nD.TTI", "sub/E.TTI", "sub/A.TTI"})
    writeJobBank(src + "/" + name, {"S.WAV"});
  const std::string list = dir.file("list");

  struct Case {
    std::string name;
    std::vector<std::string> args;  // after the command; LIST is the list file, OUT the output folder
    std::string list;               // the list's bytes
    bool onStandardInput;
    int exitCode;
    std::set<std::string> found;  // convert: the output folders; scan: the banks' paths below src
  };
  const std::string s = src + "/";
  const std::vector<Case> cases = {
      {"lines", {"convert", "-o", "OUT", "--files-from", "LIST"}, s + "A.TTI\n\n" + s + "B.TTI", false, 0,
       {"WAV_MONO_A.TTI", "WAV_MONO_B.TTI"}},
      {"NUL-separated on standard input, after a named bank",
       {"convert", "-o", "OUT", "-0", "--files-from", "-", s + "A.TTI"}, s + "B.TTI" + '\0' + s + "C\nD.TTI" + '\0',
       true, 0, {"WAV_MONO_A.TTI", "WAV_MONO_B.TTI", "WAV_MONO_C\nD.TTI"}},
      {"a listed bank missing, kept going", {"convert", "-k", "-o", "OUT", "--null", "--files-from", "LIST"},
       s + "nothing.TTI" + '\0' + s + "B.TTI", false, 1, {"WAV_MONO_B.TTI"}},
      {"two listed banks sharing their output", {"convert", "-o", "OUT", "--files-from", "LIST"},
       s + "A.TTI\n" + s + "sub/A.TTI\n", false, 2, {}},
      {"scan: a folder and a bank", {"scan", "--json", "--files-from", "-"}, s + "sub\n" + s + "B.TTI\n", true, 0,
       {"sub/E.TTI", "sub/A.TTI", "B.TTI"}},
      {"scan: a named source and a list", {"scan", "--json", s + "A.TTI", "--files-from", "LIST"}, s + "B.TTI\n",
       false, 0, {"A.TTI", "B.TTI"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir.file("out" + std::to_string(n++));
    fs::create_directories(out);
    writeBytes(list, bytesOf(c.list));
    std::vector<std::string> argv = {"/bin/sh", "-c", c.onStandardInput ? "exec \"$0\" \"$@\" <\"$LIST\"" : "exec \"$0\" \"$@\" </dev/null",
                                     kCli};
    for (const std::string& a : c.args) argv.push_back(a == "OUT" ? out : a == "LIST" ? list : a);
    ::setenv("LIST", list.c_str(), 1);
    const auto r = runCommand(argv);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    std::set<std::string> found;
    if (c.args[0] == "convert") {
      for (const auto& e : fs::directory_iterator(out)) found.insert(e.path().filename().string());
    } else {
      std::istringstream lines(r.out);
      for (std::string line; std::getline(lines, line);)
        found.insert(fs::relative(nlohmann::json::parse(line)["path"].get<std::string>(), src).string());
    }
    EXPECT_EQ(found, c.found) << r.err;
  }

  // A list that cannot be read is a run-time error that names it.
  const auto r = runCommand({kCli, "convert", "-o", dir.str(), "--files-from", dir.file("missing")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "vantrel-cli: " + dir.file("missing") + ": File not found\n");
}
