// SPDX-License-Identifier: MIT
// vantrel-cli's streams: JSON that a strict parser takes whatever bytes the
// paths and names hold, progress as JSON Lines, text lines that carry no
// control character to the terminal, and a standard output that cannot be
// written.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "bank_builder.h"
#include "platform/text.h"
#include "test_support.h"

using namespace vantrel::testing;
using nlohmann::json;

namespace {

const std::string kCli = VANTREL_CLI;

std::vector<json> jsonLines(const std::string& text) {
  std::vector<json> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(json::parse(line));  // throws on bad UTF-8
  return out;
}

// Runs the command line with standard output on /dev/full.
CommandResult runIntoFullDisk(std::vector<std::string> argv) {
  argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full"});
  return runCommand(argv);
}

}  // namespace

TEST(CliStreams, JsonStaysValidUtf8ForLatin1PathsAndNames) {
  TempDir dir;
  const std::string folderName = "b\xE9nks", bankName = "\xC9T\xC9.tti";
  std::filesystem::create_directory(dir.file(folderName));
  const std::string bank = dir.file(folderName + "/" + bankName);
  const std::string bad = dir.file(folderName + "/bad\xFF.tti");
  BankDesc d;
  for (const char* name : {"\xC9T\xC9 \"1\".WAV", "tab\there\x01.WAV", "\xFF\xFE.WAV"}) {
    SampleDesc s;
    s.name = name;
    s.pcm.assign(40, 7);
    s.zones = {0};
    d.samples.push_back(s);
  }
  writeBank(bank, d);
  writeBytes(bad, std::vector<std::uint8_t>(300, 0));

  auto r = runCommand({kCli, "info", "--json", bank});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const json info = json::parse(r.out);
  EXPECT_EQ(info["formatVersion"], 1);
  EXPECT_EQ(info["file"], latin1AsUtf8(bank));
  EXPECT_EQ(info["samples"][0]["name"], latin1AsUtf8(d.samples[0].name));
  EXPECT_EQ(info["samples"][1]["name"], latin1AsUtf8(d.samples[1].name));
  EXPECT_EQ(info["samples"][2]["outputName"], latin1AsUtf8(d.samples[2].name));

  r = runCommand({kCli, "scan", "--json", dir.str()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  const auto banks = jsonLines(r.out);
  ASSERT_EQ(banks.size(), 2u) << r.out;
  for (const json& b : banks) {
    if (b["path"] == latin1AsUtf8(bank)) {
      EXPECT_EQ(b["samples"], 3);
      EXPECT_FALSE(b.contains("error"));
    } else {
      EXPECT_EQ(b["path"], latin1AsUtf8(bad));
      EXPECT_EQ(b["error"], "Read beyond end of file");
    }
  }

  // Status lines name the bank's file: the events carry it as UTF-8 too,
  // and with --progress=json every line of standard error is an event.
  const std::string out = dir.file("out");
  std::filesystem::create_directory(out);
  r = runCommand({kCli, "folder", "--progress=json", "-q", "-k", "-o", out, dir.file(folderName)});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  std::istringstream err(r.err);
  std::set<std::string> events, gauges;
  bool namesBank = false, namesBad = false;
  for (std::string line; std::getline(err, line);) {
    const json e = json::parse(line);
    events.insert(e["event"].get<std::string>());
    if (e["event"] == "progress") {
      gauges.insert(e["gauge"].get<std::string>());
      EXPECT_LE(e["value"].get<long>(), e["max"].get<long>()) << line;
    } else if (e["event"] == "status") {
      namesBank |= e["text"] == "processing " + latin1AsUtf8(bankName);
    } else if (e["event"] == "error") {
      namesBad |= e["path"] == latin1AsUtf8(bad);
    }
  }
  EXPECT_EQ(events, (std::set<std::string>{"start", "bank", "progress", "status", "file", "error", "bankDone", "done"}));
  EXPECT_TRUE(gauges.count("bank") && gauges.count("folder"));
  EXPECT_TRUE(namesBank) << r.err;
  EXPECT_TRUE(namesBad) << r.err;
}

TEST(CliStreams, AFullStandardOutputExitsOneWithAMessage) {
  TempDir dir;
  BankDesc d;
  SampleDesc s;
  s.name = "A.WAV";
  s.pcm.assign(40, 7);
  d.samples = {s};
  const std::string bank = dir.file("A.TTI");
  writeBank(bank, d);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{kCli, "--help"}, {kCli, "convert", "--help"}, {kCli, "info", bank},
        {kCli, "info", "--json", bank}, {kCli, "scan", bank}, {kCli, "scan", "--json", dir.str()},
        {kCli, "convert", "-o", dir.str(), bank}}) {
    const auto r = runIntoFullDisk(args);
    EXPECT_EQ(r.exitCode, 1) << ::testing::PrintToString(args);
    EXPECT_TRUE(r.err.ends_with("vantrel-cli: standard output: Disk full\n")) << r.err;
  }
}

TEST(CliStreams, LogAndStatusLinesSharingAFileStayInOrder) {
  // Log lines into a file of their own go out in blocks; into the file that
  // standard error writes to as well, line by line, so that the two keep
  // their order.
  TempDir dir;
  BankDesc d;
  for (const char* name : {"ONE.WAV", "TWO.WAV"}) {
    SampleDesc s;
    s.name = name;
    s.pcm.assign(40, 7);
    d.samples.push_back(s);
  }
  std::filesystem::create_directories(dir.file("src"));
  std::filesystem::create_directories(dir.file("out"));
  writeBank(dir.file("src/A.TTI"), d);
  const std::string both = dir.file("both.txt");
  const auto r = runCommand({"/bin/sh", "-c", "exec \"$0\" \"$@\" >\"" + both + "\" 2>&1", kCli, "folder",
                             "-m", "mono", "-o", dir.file("out"), dir.file("src")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> lines;
  const std::vector<std::uint8_t> bytes = readFileBytes(both);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<std::string> expected = {"processing A.TTI", "processing A.TTI", "ONE.WAV extracted",
                                             "TWO.WAV extracted", "1 TTI file extracted"};
  EXPECT_EQ(lines, expected);
}

TEST(CliStreams, ControlCharactersAreEscapedInEveryTextLine) {
  // The rule, by hand: C0 controls, DEL and C1 controls (as UTF-8 or as a
  // byte outside any UTF-8 character) become \xNN per byte.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain text, caf\xC3\xA9", "plain text, caf\xC3\xA9"},
      {"red\x1B[31m!\x07", "red\\x1b[31m!\\x07"},
      {"tab\tline\nend\r", "tab\\x09line\\x0aend\\x0d"},
      {std::string("nul\0del\x7F", 8), "nul\\x00del\\x7f"},
      {"csi\xC2\x9B" "2J nbsp\xC2\xA0", "csi\\xc2\\x9b" "2J nbsp\xC2\xA0"},
      {"latin-1 \xE9t\xE9 csi\x9B" "2J", "latin-1 \xE9t\xE9 csi\\x9b" "2J"},
      {"\xE2\x82\xAC euro, \xF0\x9F\x8E\xB9 keys", "\xE2\x82\xAC euro, \xF0\x9F\x8E\xB9 keys"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(vantrel::escapeControls(text), shown) << text;

  // A folder, a bank and samples whose names would drive the terminal.
  TempDir dir;
  const std::string folder = dir.file("clear\x1B[2J");
  std::filesystem::create_directory(folder);
  const std::string bank = folder + "/B\x07.TTI";
  BankDesc d;
  for (const char* name : {"BELL\x07\x1B.WAV", "C1\x9B.WAV"}) {
    SampleDesc s;
    s.name = name;
    s.pcm.assign(40, 7);
    s.zones = {0};
    d.samples.push_back(s);
  }
  writeBank(bank, d);
  writeBytes(folder + "/bad\x1B.tti", std::vector<std::uint8_t>(300, 0));
  const std::string out = dir.file("out");
  std::filesystem::create_directory(out);
  struct Run {
    std::vector<std::string> argv;
    std::string shows;  // a line part the output must hold
  };
  const std::vector<Run> runs = {
      {{kCli, "info", bank}, "BELL\\x07\\x1b.WAV"},
      {{kCli, "scan", folder}, "bad\\x1b.tti: Read beyond end of file"},
      {{kCli, "folder", "-k", "--verify", "-o", out, folder}, "processing B\\x07.TTI"},
      // File names hold no control character: they become '_'.
      {{kCli, "convert", "-o", out, bank, folder + "/bad\x1B.tti"}, "C1_.WAV extracted"},
      {{kCli, "convert", "--dry-run", "--overwrite", "-o", out, bank}, "WAV_MONO_B\\x07.TTI/BELL__.WAV"},
      {{kCli, "verify", out, bank}, "files verified"},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.argv[1]);
    const auto r = runCommand(run.argv);
    const std::string both = r.out + r.err;
    for (const char control : {'\x1B', '\x07', '\x00'}) EXPECT_EQ(both.find(control), std::string::npos) << both;
    EXPECT_EQ(both.find("\xC2\x9B"), std::string::npos) << both;
    EXPECT_NE(both.find(run.shows), std::string::npos) << both;
  }
}
