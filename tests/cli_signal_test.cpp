// SPDX-License-Identifier: MIT
// vantrel-cli stopped by real signals in the middle of a large bank: exit
// 128 + N, no temporary or partial file, completed files intact, and a
// second run that ends as a clean one does.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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
  TempDir dir;
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
