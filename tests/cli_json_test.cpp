// SPDX-License-Identifier: MIT
// vantrel-cli --progress=json: every line of standard error is one event
// with the fields its name promises, from runs of the program and from a
// console told of banks, warnings and folders a walk cannot read.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/console_listener.h"
#include "jobs_fixtures.h"
#include "platform/errors.h"

using namespace vantrel;
using namespace vantrel::cli;
using namespace vantrel::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// The fields each event must carry, with their JSON types, as the README's
// table of events lists them.
const std::map<std::string, std::map<std::string, json::value_t>> kEventFields = {
    {"start", {{"command", json::value_t::string}, {"version", json::value_t::string},
               {"out", json::value_t::string}, {"mode", json::value_t::string}}},
    {"bank", {{"path", json::value_t::string}}},
    {"file", {{"path", json::value_t::string}, {"status", json::value_t::string},
              {"kind", json::value_t::string}, {"bytes", json::value_t::number_unsigned}}},
    {"warning", {{"text", json::value_t::string}}},
    {"error", {{"message", json::value_t::string}}},
    {"bankDone", {{"path", json::value_t::string}, {"status", json::value_t::string}}},
    {"progress", {{"gauge", json::value_t::string}, {"value", json::value_t::number_unsigned},
                  {"max", json::value_t::number_unsigned}, {"unit", json::value_t::string}}},
    {"status", {{"text", json::value_t::string}}},
    {"done", {{"converted", json::value_t::number_unsigned}, {"failed", json::value_t::number_unsigned},
              {"written", json::value_t::number_unsigned}, {"skipped", json::value_t::number_unsigned},
              {"status", json::value_t::number_unsigned}}},
};

// Every line of `text` as an event, each checked against kEventFields;
// a failure names the line.
std::vector<json> events(const std::string& text) {
  std::vector<json> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    SCOPED_TRACE(line);
    const json e = json::parse(line, nullptr, false);
    EXPECT_TRUE(e.is_object());
    if (!e.is_object()) continue;
    EXPECT_EQ(e.value("formatVersion", 0), 1);
    const auto fields = kEventFields.find(e.value("event", ""));
    EXPECT_NE(fields, kEventFields.end());
    if (fields == kEventFields.end()) continue;
    for (const auto& [name, type] : fields->second) {
      EXPECT_EQ(e.contains(name) ? e[name].type() : json::value_t::discarded, type) << name;
    }
    out.push_back(e);
  }
  return out;
}

std::vector<json> named(const std::vector<json>& all, const std::string& event) {
  std::vector<json> out;
  for (const json& e : all)
    if (e["event"] == event) out.push_back(e);
  return out;
}

}  // namespace

TEST(CliJson, EveryLineOfStandardErrorIsAnEventWithItsFields) {
  TempDir dir;
  const std::string good = dir.file("GOOD.TTI"), bad = dir.file("BAD.TTI");
  writeJobBank(good, {"ONE.WAV", "TWO.WAV"});
  writeBytes(bad, std::vector<std::uint8_t>(300, 0));

  struct Case {
    std::string name;
    std::vector<std::string> args;  // after "convert --progress=json -o OUT"
    int exitCode;
    json done;              // the done event's counts and status
    std::string errorPath;  // the path of the one error event, if any
  };
  const std::vector<Case> cases = {
      {"a good bank", {good}, 0, {{"converted", 1}, {"failed", 0}, {"written", 2}, {"skipped", 0}, {"status", 0}}, ""},
      {"a failing bank, kept going", {"-k", bad, good}, 1,
       {{"converted", 1}, {"failed", 1}, {"written", 2}, {"skipped", 0}, {"status", 1}}, bad},
      {"verified and found again", {"--verify", good}, 0,
       {{"converted", 1}, {"failed", 0}, {"written", 0}, {"skipped", 2}, {"verified", 2}, {"alreadyThere", 2}, {"status", 0}},
       ""},
      {"a dry run", {"--dry-run", good}, 0,
       {{"converted", 1}, {"failed", 0}, {"written", 0}, {"skipped", 0}, {"status", 0}}, ""},
  };
  const std::string out = dir.file("out");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each case into a fresh folder but the one that finds the files of the
    // one before.
    if (c.name != "verified and found again") fs::remove_all(out);
    fs::create_directories(out);
    std::vector<std::string> argv = {kCli, "convert", "--progress=json", "-o", out};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const auto r = runCommand(argv);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    const std::vector<json> all = events(r.err);
    ASSERT_GE(all.size(), 2u) << r.err;
    EXPECT_EQ(all.front()["event"], "start");
    EXPECT_EQ(all.front()["command"], "convert");
    EXPECT_EQ(all.front()["mode"], "mono");
    json done = all.back();
    EXPECT_EQ(done["event"], "done");
    done.erase("event");
    done.erase("formatVersion");
    EXPECT_EQ(done, c.done);
    const auto errors = named(all, "error");
    EXPECT_EQ(errors.size(), c.errorPath.empty() ? 0u : 1u) << r.err;
    if (!errors.empty()) {
      EXPECT_EQ(errors[0].value("path", ""), c.errorPath);
    }
    // Each file event's bytes are the file's size; written files are all
    // there is below the folder.
    std::size_t written = 0;
    for (const json& f : named(all, "file")) {
      EXPECT_EQ(f["bytes"].get<std::uintmax_t>(), fs::file_size(f["path"].get<std::string>()));
      EXPECT_EQ(f["kind"], "monoWav");
      written += f["status"] == "written";
    }
    std::size_t onDisk = 0;
    for (const auto& e : fs::recursive_directory_iterator(out)) onDisk += e.is_regular_file();
    if (c.done["skipped"] == 0) {
      EXPECT_EQ(written, onDisk);
    }
    for (const json& p : named(all, "progress")) EXPECT_LE(p["value"].get<long>(), p["max"].get<long>());
  }

  // What the job reports of its banks, warnings and walks, told to the
  // console directly.
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  const std::string written = dir.file("W.WAV"), differs = dir.file("D.WAV");
  writeBytes(written, std::vector<std::uint8_t>(44, 1));
  writeBytes(differs, std::vector<std::uint8_t>(50, 2));
  {
    ConsoleSettings settings;
    settings.command = "drive";
    settings.mode = "sf2";
    settings.jsonProgress = true;
    settings.keepGoing = true;
    settings.outBase = dir.str() + "/";
    ConsoleListener console(settings, stdout, err);
    console.start();
    console.walkFailed(RunError(kFileNotFound, dir.file("gone")));
    console.bankStarted("A.TTI");
    console.warning("A.TTI: sample 1 is cut short");
    OutputFileEvent event;
    event.path = written;
    event.kind = FormatId::Sf2;
    console.outputFile(event);
    event.path = differs;
    event.outcome = OutputOutcome::Differs;
    console.outputFile(event);
    console.bankFinished("A.TTI", nullptr);
    console.bankStarted("B.TTI");
    const RunError failure(kFileNotFound, "B.TTI");
    EXPECT_TRUE(console.bankFailed("B.TTI", failure));
    console.bankFinished("B.TTI", &failure);
    console.done(1, 0);
  }
  const std::vector<json> all = events(readStream(err));
  std::fclose(err);
  std::vector<std::string> order;
  for (const json& e : all) order.push_back(e["event"]);
  EXPECT_EQ(order, (std::vector<std::string>{"start", "error", "bank", "warning", "file", "file", "bankDone", "bank",
                                             "error", "bankDone", "done"}));
  if (order.size() != 11) return;
  EXPECT_EQ(all[0]["out"], dir.str());
  EXPECT_EQ(all[1]["path"], dir.file("gone"));
  EXPECT_EQ(all[3]["bank"], "A.TTI");
  EXPECT_EQ(all[4]["status"], "written");
  EXPECT_EQ(all[4]["bytes"], 44);
  EXPECT_EQ(all[4]["kind"], "soundFont");
  EXPECT_EQ(all[5]["status"], "differs");
  EXPECT_EQ(all[5]["bytes"], 50);
  EXPECT_EQ(all[6]["status"], "ok");
  EXPECT_EQ(all[8]["path"], "B.TTI");
  EXPECT_EQ(all[9]["status"], "failed");
  // The folder the walk could not read and the bank that failed.
  EXPECT_EQ(all[10]["converted"], 1);
  EXPECT_EQ(all[10]["failed"], 2);
  EXPECT_EQ(all[10]["written"], 1);
}
