// SPDX-License-Identifier: MIT
// vantrel-cli stopped by real signals in the middle of a large bank: exit
// 128 + N, no temporary or partial file, completed files intact, and a
// second run that ends as a clean one does; signals ignored from the start
// stay ignored, and a stopped run says so.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "bank_builder.h"
#include "test_support.h"

using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// Every entry below `folder` (hidden ones included) with its bytes; folders
// map to "/".
std::map<std::string, std::string> tree(const std::string& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    const std::string rel = fs::relative(e.path(), folder).string();
    if (e.is_directory()) {
      entries[rel] = "/";
    } else {
      std::ifstream in(e.path(), std::ios::binary);
      std::string& bytes = entries[rel];
      bytes.resize(static_cast<std::size_t>(e.file_size()));
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  }
  return entries;
}

// Whether a file (or, with `partFile`, a named part file) is below `folder`.
bool anyFileBelow(const std::string& folder, bool partFile) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (partFile ? name.starts_with(".vantrel-") && name.ends_with(".part") : it->is_regular_file()) return true;
  }
  return false;
}

// The environment of a run as if on a file system without unnamed files
// (FAT): output goes through named part files. A sanitized build must let
// the preloaded library come before its runtime.
std::vector<std::string> withoutUnnamedFiles() {
  const char* asan = std::getenv("ASAN_OPTIONS");
  return {std::string("LD_PRELOAD=") + VANTREL_NO_TMPFILE,
          std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0"};
}

// A bank of 20 left/right pairs of 1 MiB each (40 MiB of samples), each
// sample's bytes its own.
void writeLargeBank(const std::string& path) {
  BankDesc d;
  for (int k = 0; k < 20; ++k) {
    for (const char* side : {"L", "R"}) {
      SampleDesc s;
      s.name = "S" + std::to_string(k) + " " + side + ".WAV";
      s.pcm.resize(1 << 20);
      for (std::size_t i = 0; i < s.pcm.size(); ++i)
        s.pcm[i] = static_cast<std::uint8_t>(i * 31 + static_cast<std::size_t>(k) * 7 + (side[0] == 'R'));
      s.zones = {static_cast<std::uint8_t>(k)};
      d.samples.push_back(std::move(s));
    }
    d.zones.push_back(ZoneDesc{});
  }
  writeBank(path, d);
}

struct Stopped {
  int exitCode = -1;
  bool finishedFirst = false;  // the run ended before the signal was sent
};

// How a run is stopped and on what.
struct Case {
  std::string mode;
  int signal;
  bool closePipe = false;   // SIGPIPE from a closed standard output
  bool namedParts = false;  // no unnamed files
};

// Runs `argv` and sends the signal once the conversion is under way: with
// named part files while one exists, else after the first complete file
// where the run writes several, else once it has begun. With closePipe,
// standard output is a pipe closed after its first line instead, and the
// signal is the SIGPIPE of the next write.
Stopped stopMidway(const std::vector<std::string>& argv, const std::string& out, const Case& c,
                   const std::string& errFile) {
  const bool closePipe = c.closePipe;
  const bool waitForFile = c.namedParts || c.mode != "sf2";
  int pipeFds[2];
  if (closePipe && ::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid == 0) {
    FILE* e = std::fopen(errFile.c_str(), "w");
    if (!e) _exit(127);
    if (c.namedParts) {
      for (const std::string& setting : withoutUnnamedFiles()) ::putenv(::strdup(setting.c_str()));
    }
    ::dup2(fileno(e), 2);
    if (closePipe) {
      ::dup2(pipeFds[1], 1);
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
    } else {
      FILE* o = std::fopen("/dev/null", "w");
      ::dup2(fileno(o), 1);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    _exit(127);
  }
  Stopped result;
  int status = 0;
  auto exited = [&] { return ::waitpid(pid, &status, WNOHANG) == pid; };
  if (closePipe) {
    ::close(pipeFds[1]);
    char c = 0;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') {
    }
    ::close(pipeFds[0]);
  } else {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool done = false;
    while (!(done = exited()) && std::chrono::steady_clock::now() < deadline) {
      std::ifstream err(errFile);
      const std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
      if (text.find("processing") != std::string::npos && (!waitForFile || anyFileBelow(out, c.namedParts)))
        break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (done) {
      result.finishedFirst = true;
    } else {
      ::kill(pid, c.signal);
    }
  }
  if (!result.finishedFirst) ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace

TEST(CliSignals, AStoppedRunLeavesNothingHalfWrittenAndASecondRunCompletesIt) {
  // On a disk a bank's files are flushed and named in batches, and the
  // last ones can follow the first within a millisecond; in memory each is
  // named once written, so a signal after the first lands midway.
  TempDir dir(fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path());
  const std::string bank = dir.file("LARGE.TTI");
  writeLargeBank(bank);
  const std::vector<Case> cases = {
      {"mono", SIGINT},         {"stereo", SIGTERM},       {"sf2", SIGINT},
      {"mono", SIGHUP},         {"stereo", SIGPIPE},       {"sf2", SIGTERM},
      {"mono", SIGPIPE, true},  {"mono", SIGINT, false, true}, {"sf2", SIGTERM, false, true},
      // A crash: the part file stays, and the next run into the folder
      // removes it.
      {"stereo", SIGKILL, false, true},
  };
#if defined(__SANITIZE_ADDRESS__)
  // A sanitized build is many times slower: one case per way of stopping.
  const std::vector<Case> chosen = {cases[0], cases[5], cases[6], cases[7], cases[9]};
#else
  const std::vector<Case>& chosen = cases;
#endif
  std::map<std::string, std::map<std::string, std::string>> clean;
  for (const std::string mode : {"mono", "stereo", "sf2"}) {
    const std::string out = dir.file("clean-" + mode);
    fs::create_directory(out);
    ASSERT_EQ(runCommand({kCli, "convert", "-m", mode, "-o", out, bank}).exitCode, 0);
    clean[mode] = tree(out);
  }
  int n = 0;
  for (const Case& c : chosen) {
    SCOPED_TRACE(c.mode + " signal " + std::to_string(c.signal) + (c.closePipe ? " (closed pipe)" : "") +
                 (c.namedParts ? " (named part files)" : ""));
    const std::string out = dir.file("run" + std::to_string(n++));
    fs::create_directory(out);
    const std::vector<std::string> argv = {kCli, "convert", "-m", c.mode, "-o", out, bank};
    const Stopped s = stopMidway(argv, out, c, out + ".err");
    ASSERT_FALSE(s.finishedFirst) << "the run ended before the signal; the bank is too small";
    EXPECT_EQ(s.exitCode, 128 + c.signal);
    // Only complete files, each as a clean run writes it.
    const auto stopped = tree(out);
    EXPECT_LT(stopped.size(), clean[c.mode].size());
    for (const auto& [name, bytes] : stopped) {
      if (c.signal == SIGKILL) break;
      ASSERT_EQ(clean[c.mode].count(name), 1u) << "left over: " << name;
      EXPECT_TRUE(clean[c.mode].at(name) == bytes) << "changed: " << name;
    }
    std::vector<std::string> rerun = {kCli, "convert", "-m", c.mode, "-o", out, bank};
    if (c.namedParts) {
      const auto settings = withoutUnnamedFiles();
      rerun.insert(rerun.begin(), settings.begin(), settings.end());
      rerun.insert(rerun.begin(), "/usr/bin/env");
    }
    const auto again = runCommand(rerun);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(tree(out) == clean[c.mode]);
  }
}

// A run waits on its list of banks, a FIFO the test writes (the open of its
// write end returns once the program has opened the list, after its stop
// handlers are installed). A signal its parent ignored (nohup, a script's
// background command) stays ignored: the run then converts the bank listed
// after it. Any other stop signal ends the wait, and the run says
// "interrupted" (in JSON an error event, then done with the exit status).
TEST(CliSignals, AnIgnoredSignalStaysIgnoredAndAStopSaysInterrupted) {
  struct Case {
    int signal;
    const char* name;  // as the shell's trap names it
    bool ignored;
    bool json;
  };
  const std::vector<Case> cases = {
      {SIGHUP, "HUP", true, false}, {SIGINT, "INT", true, true}, {SIGHUP, "HUP", false, false},
      {SIGTERM, "TERM", false, true}, {SIGINT, "INT", false, false}};
  TempDir dir;
  BankDesc d;
  d.samples = {SampleDesc{}};
  d.samples[0].name = "S.WAV";
  d.samples[0].pcm.assign(64, 3);
  const std::string bank = dir.file("A.TTI");
  writeBank(bank, d);
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.ignored ? " ignored" : "") + (c.json ? " json" : ""));
    const std::string out = dir.file("out" + std::to_string(n)), list = dir.file("list" + std::to_string(n));
    const std::string errFile = out + ".err";
    ++n;
    fs::create_directory(out);
    ASSERT_EQ(::mkfifo(list.c_str(), 0600), 0);
    std::vector<std::string> argv = {"/bin/sh", "-c",
                                     std::string(c.ignored ? "trap '' " + std::string(c.name) + "; " : "") +
                                         "exec \"$0\" \"$@\"",
                                     kCli, "convert", "-o", out, "--files-from", list};
    if (c.json) argv.push_back("--progress=json");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Whatever the test's own parent ignores: the shell sets it.
      std::signal(c.signal, SIG_DFL);
      FILE* e = std::fopen(errFile.c_str(), "w");
      FILE* o = std::fopen("/dev/null", "w");
      if (!e || !o) _exit(127);
      ::dup2(fileno(o), 1);
      ::dup2(fileno(e), 2);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      _exit(127);
    }
    const int fifo = ::open(list.c_str(), O_WRONLY);
    ASSERT_GE(fifo, 0);
    ::kill(pid, c.signal);
    // A stop ends the wait with the list still open; an ignored signal
    // leaves the run waiting for its bank.
    if (c.ignored) {
      const std::string line = bank + "\n";
      EXPECT_EQ(::write(fifo, line.data(), line.size()), static_cast<ssize_t>(line.size()));
      ::close(fifo);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!c.ignored) ::close(fifo);
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(errFile);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (c.ignored) {
      EXPECT_EQ(exitCode, 0);
      EXPECT_TRUE(fs::exists(out + "/WAV_MONO_A.TTI/S.WAV"));
      for (const std::string& line : lines) EXPECT_EQ(line.find("interrupted"), std::string::npos) << line;
      continue;
    }
    EXPECT_EQ(exitCode, 128 + c.signal);
    EXPECT_TRUE(fs::is_empty(out));
    ASSERT_FALSE(lines.empty());
    const std::string said = std::string("interrupted by SIG") + c.name;
    if (!c.json) {
      EXPECT_EQ(lines.back(), "vantrel-cli: " + said);
      continue;
    }
    ASSERT_GE(lines.size(), 2u);
    const auto error = nlohmann::json::parse(lines[lines.size() - 2]);
    const auto done = nlohmann::json::parse(lines.back());
    EXPECT_EQ(error["event"], "error");
    EXPECT_EQ(error["message"], said);
    EXPECT_EQ(done["event"], "done");
    EXPECT_EQ(done["status"], 128 + c.signal);
  }
}
