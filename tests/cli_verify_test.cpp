// SPDX-License-Identifier: MIT
// vantrel-cli --verify, --manifest and verify: what the command line adds
// to the verification library (the options on every converting command,
// the summary line, the exit status, the verify command's report).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "bank_builder.h"
#include "test_support.h"
#include "verify_banks.h"

using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

std::vector<std::string> regularFiles(const std::string& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() && e.path().filename() != "SHA256SUMS") out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The paths the verify command names as failed.
std::set<std::string> namedAsFailed(const std::string& err) {
  std::set<std::string> out;
  const std::regex line("Verification failed: (.*?): ");
  for (auto it = std::sregex_iterator(err.begin(), err.end(), line); it != std::sregex_iterator(); ++it) {
    out.insert((*it)[1]);
  }
  return out;
}

void flipByte(const std::string& path, std::uint64_t at) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekg(static_cast<std::streamoff>(at));
  char c = 0;
  f.read(&c, 1);
  c = static_cast<char>(c ^ 0x21);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(&c, 1);
}

std::uint64_t findTag(const std::string& path, const std::string& tag) {
  const auto bytes = readFileBytes(path);
  return static_cast<std::uint64_t>(std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end()) - bytes.begin());
}

}  // namespace

// Every converting command in every mode: exit 0, one "N files verified"
// ("1 file verified") line, a manifest sha256sum accepts, and a verify run that passes; then
// damage to the bytes of one file (with its manifest line made to match)
// and the loss of another are named, and nothing else.
TEST(CliVerify, EveryCommandAndModeVerifiesListsAndIsCheckedLater) {
  struct Run {
    std::string command;
    std::vector<std::string> args;  // after the options
    std::vector<std::string> banks;  // those the run converts
  };
  TempDir dir;
  const std::string src = dir.file("src");
  fs::create_directories(src + "/deep");
  const std::vector<std::string> banks = {src + "/ONE.TTI", src + "/deep/TWO.TTI"};
  writeBank(banks[0], randomArchiveBank(21));
  writeBank(banks[1], randomArchiveBank(22));
  const Run runs[] = {{"convert", banks, banks}, {"folder", {src + "/deep"}, {banks[1]}}, {"drive", {src}, banks}};
  int case_ = 0;
  for (const Run& run : runs) {
    for (const std::string mode : {"mono", "stereo", "sf2"}) {
      SCOPED_TRACE(run.command + " " + mode);
      const std::string out = dir.file("out" + std::to_string(case_++));
      fs::create_directories(out);
      std::vector<std::string> argv = {kCli, run.command, "--mode", mode, "--out", out, "--verify", "--manifest"};
      argv.insert(argv.end(), run.args.begin(), run.args.end());
      const auto r = runCommand(argv);
      ASSERT_EQ(r.exitCode, 0) << r.err;
      const std::vector<std::string> files = regularFiles(out);
      const std::string verified = files.size() == 1 ? "1 file verified\n" : std::to_string(files.size()) + " files verified\n";
      EXPECT_NE(r.err.find(verified), std::string::npos) << r.err;
      EXPECT_EQ(runCommand({"/usr/bin/sha256sum", "--quiet", "-c", "SHA256SUMS"}, out).exitCode, 0);
      std::vector<std::string> check = {kCli, "verify", out};
      check.insert(check.end(), run.banks.begin(), run.banks.end());
      auto v = runCommand(check);
      EXPECT_EQ(v.exitCode, 0) << v.err;

      // One file's bytes changed and its manifest line rewritten to match;
      // another file lost.
      const std::string changed = files.front(), lost = files.back();
      flipByte(changed, changed.ends_with(".sf2") ? findTag(changed, "smpl") + 9 : fs::file_size(changed) - 1);
      const auto sums = runCommand({"/usr/bin/sha256sum", fs::relative(changed, out).string()}, out);
      std::ofstream(out + "/SHA256SUMS", std::ios::app) << sums.out;
      std::string text;
      {
        std::ifstream in(out + "/SHA256SUMS");
        std::string line;
        while (std::getline(in, line)) {
          if (line.find("  " + fs::relative(changed, out).string()) == std::string::npos || sums.out.find(line) == 0) text += line + "\n";
        }
      }
      std::ofstream(out + "/SHA256SUMS", std::ios::trunc) << text;
      if (changed != lost) fs::remove(lost);
      v = runCommand(check);
      EXPECT_EQ(v.exitCode, 1);
      EXPECT_EQ(namedAsFailed(v.err), (std::set<std::string>{changed, lost})) << v.err;
      // The manifest alone misses the change its line was made to match.
      v = runCommand({kCli, "verify", out});
      const std::set<std::string> missing = changed != lost ? std::set<std::string>{lost} : std::set<std::string>{};
      EXPECT_EQ(v.exitCode, missing.empty() ? 0 : 1);
      EXPECT_EQ(namedAsFailed(v.err), missing) << v.err;
    }
  }
}

// A second run finds its files already extracted and lists them again; the
// lines of files of another run stay. Extraction of single samples is
// verified and listed as well.
TEST(CliVerify, ManifestKeepsEarlierRunsAndListsFilesFoundAgain) {
  TempDir dir;
  const std::string bank = dir.file("K.TTI");
  writeBank(bank, randomArchiveBank(4));
  const std::string out = dir.file("out");
  fs::create_directories(out);
  auto r = runCommand({kCli, "extract", "--out", out, "--verify", "--manifest", bank, "0", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("1 file verified\n"), std::string::npos) << r.err;
  // The second run compares every file it finds with the bank: all of them
  // count as verified, and as already there.
  const std::size_t samples = randomArchiveBank(4).samples.size();
  for (int k = 0; k < 2; ++k) {
    r = runCommand({kCli, "convert", "--out", out, "--manifest", "--verify", bank});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string n = std::to_string(samples);
    EXPECT_NE(r.err.find(k == 0 ? n + " files verified\n" : n + " files verified, " + n + " of them already there\n"),
              std::string::npos) << r.err;
  }
  const auto c = runCommand({"/usr/bin/sha256sum", "-c", "SHA256SUMS"}, out);
  EXPECT_EQ(c.exitCode, 0) << c.out << c.err;
  EXPECT_EQ(static_cast<std::size_t>(std::count(c.out.begin(), c.out.end(), '\n')), regularFiles(out).size());
}
