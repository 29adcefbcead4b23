// SPDX-License-Identifier: MIT
#include "verify/manifest.h"

#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

#include "writers/output_file.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "verify/libraries.h"

namespace vantrel::verify {
namespace {

struct DigestFree {
  void operator()(EVP_MD_CTX* c) const noexcept { crypto().freeContext(c); }
};

bool isHex(const std::string& s) {
  if (s.size() != 64) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

// sha256sum writes a name holding '\' or a line break with those escaped
// (as "\\" and "\n") and a '\' before the line.
bool needsEscape(const std::string& name) { return name.find_first_of("\\\n\r") != std::string::npos; }

std::string escape(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

bool unescape(const std::string& name, std::string& out) {
  out.clear();
  for (std::size_t k = 0; k < name.size(); ++k) {
    if (name[k] != '\\') {
      out += name[k];
      continue;
    }
    if (++k == name.size()) return false;
    if (name[k] == '\\') out += '\\';
    else if (name[k] == 'n') out += '\n';
    else if (name[k] == 'r') out += '\r';
    else return false;
  }
  return true;
}

}  // namespace

struct Sha256::Context {
  std::unique_ptr<EVP_MD_CTX, DigestFree> ctx;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  const Crypto& c = crypto();
  context_->ctx.reset(c.newContext());
  if (!context_->ctx || c.init(context_->ctx.get(), c.sha256(), nullptr) != 1) throw RunError(kOutOfMemory);
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t n) {
  if (n > 0) crypto().update(context_->ctx.get(), data, n);
}

std::string Sha256::hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  crypto().final(context_->ctx.get(), digest, &length);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int k = 0; k < length; ++k) {
    hex += kHex[digest[k] >> 4];
    hex += kHex[digest[k] & 15];
  }
  return hex;
}

void Sha256Tap::append(const void* data, std::size_t n) {
  if (!lost_) digest_->update(data, n);
}

void Sha256Tap::restart() {
  digest_ = std::make_unique<Sha256>();
  lost_ = false;
}

void Sha256Tap::appendZeros(std::uint64_t n) {
  if (lost_) return;
  static const unsigned char kZeros[64 * 1024] = {};
  while (n > 0) {
    const std::size_t take = n < sizeof kZeros ? static_cast<std::size_t>(n) : sizeof kZeros;
    digest_->update(kZeros, take);
    n -= take;
  }
}

std::string Sha256Tap::hex() { return lost_ ? std::string() : digest_->hex(); }

std::string sha256File(const std::string& path) {
  File file(path, File::Mode::Read);
  Sha256 digest;
  // Large blocks: the digest runs at the speed of the processor's SHA
  // instructions and the reads stay few. The block is not cleared first:
  // only what is read into it is used.
  const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(file.size() + 1, 1u << 20));
  const auto block = std::make_unique_for_overwrite<unsigned char[]>(size);
  for (;;) {
    const std::size_t n = file.readSome(block.get(), size);
    if (n == 0) break;
    digest.update(block.get(), n);
  }
  return digest.hex();
}

Manifest parseManifest(const std::string& text, std::vector<int>* bad) {
  Manifest manifest;
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty()) continue;
    const bool escaped = line[0] == '\\';
    const std::string body = escaped ? line.substr(1) : line;
    // "<digest>  <name>" (text mode) or "<digest> *<name>" (binary mode).
    std::string name;
    if (body.size() < 67 || !isHex(body.substr(0, 64)) || body[64] != ' ' ||
        (body[65] != ' ' && body[65] != '*') || !(escaped ? unescape(body.substr(66), name) : (name = body.substr(66), true))) {
      if (bad) bad->push_back(number);
      continue;
    }
    std::string digest = body.substr(0, 64);
    for (char& c : digest) c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    manifest[name] = digest;
  }
  return manifest;
}

std::string formatManifest(const Manifest& manifest) {
  std::string text;
  for (const auto& [name, digest] : manifest) {
    if (needsEscape(name)) text += "\\" + digest + "  " + escape(name) + "\n";
    else text += digest + "  " + name + "\n";
  }
  return text;
}

Manifest readManifest(const std::string& folder, std::vector<int>* bad) {
  const std::string path = joinPath(folder, kManifestName);
  if (!fileExists(path)) return {};
  File file(path, File::Mode::Read);
  std::string text(static_cast<std::size_t>(file.size()), '\0');
  file.readExact(text.data(), text.size());
  return parseManifest(text, bad);
}

void writeManifest(const std::string& folder, const Manifest& manifest) {
  // Made like every output file: without a name (or under a random part
  // file's, which a later run removes) until it replaces the manifest whole.
  const std::string path = joinPath(folder, kManifestName);
  const std::string text = formatManifest(manifest);
  OutputFile file(path);
  file.file().writeAll(text.data(), text.size());
  if (::fsync(file.file().descriptor()) != 0) throwErrno(errno, path, true);
  file.commit();
}

}  // namespace vantrel::verify
