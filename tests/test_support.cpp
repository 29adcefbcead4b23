// SPDX-License-Identifier: MIT
#include "test_support.h"

#include <iconv.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace vantrel::testing {

// A program's path, looked for along PATH; empty when it is not there.
std::string onPath(const std::string& name) {
  std::istringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string path = dir + "/" + name;
    if (!dir.empty() && ::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

TempDir::TempDir(const std::filesystem::path& base) {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto p = base / ("vantrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    if (std::filesystem::create_directory(p)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission on anything a test made read-only.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::int64_t> RecordingListener::progressOf(GaugeId id) const {
  std::vector<std::int64_t> out;
  for (const auto& g : gauges)
    if (g.id == id) out.push_back(g.progress);
  return out;
}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string readStream(std::FILE* stream) {
  std::rewind(stream);
  std::string text;
  for (int c; (c = std::fgetc(stream)) != EOF;) text += static_cast<char>(c);
  return text;
}

std::string latin1AsUtf8(const std::string& latin1) {
  iconv_t cd = ::iconv_open("UTF-8", "ISO-8859-1");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no iconv for ISO-8859-1");
  std::string in = latin1, out(2 * latin1.size(), '\0');
  char* inp = in.data();
  char* outp = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  const std::size_t done = ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
  ::iconv_close(cd);
  if (done == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
  out.resize(out.size() - outLeft);
  return out;
}

CommandResult runCommand(const std::vector<std::string>& argv, const std::string& cwd,
                         std::uint64_t fileSizeLimit) {
  TempDir tmp;
  std::string outPath = tmp.file("out"), errPath = tmp.file("err");
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    FILE* o = std::fopen(outPath.c_str(), "w");
    FILE* e = std::fopen(errPath.c_str(), "w");
    if (!o || !e) _exit(127);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) _exit(127);
    ::dup2(fileno(o), 1);
    ::dup2(fileno(e), 2);
    if (fileSizeLimit != 0) {
      rlimit r{};
      ::getrlimit(RLIMIT_FSIZE, &r);
      r.rlim_cur = fileSizeLimit;
      ::setrlimit(RLIMIT_FSIZE, &r);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    _exit(127);
  }
  int st = 0;
  rusage usage{};
  ::wait4(pid, &st, 0, &usage);
  CommandResult r;
  r.peakRssKiB = usage.ru_maxrss;
  r.exitCode = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  auto bytes = readFileBytes(outPath);
  r.out.assign(bytes.begin(), bytes.end());
  bytes = readFileBytes(errPath);
  r.err.assign(bytes.begin(), bytes.end());
  return r;
}

}  // namespace vantrel::testing
