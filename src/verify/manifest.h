// SPDX-License-Identifier: MIT
#pragma once
// Checksum manifests in the format of sha256sum: one line per file,
// "<64 hex digits>  <path>", paths relative to the manifest's folder, so
// that `cd DIR && sha256sum -c SHA256SUMS` checks them.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace vantrel::verify {

inline constexpr const char* kManifestName = "SHA256SUMS";

// A SHA-256 digest made piece by piece.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void update(const void* data, std::size_t n);
  // The digest in lower-case hex; nothing may be added afterwards.
  std::string hex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// The digest of an output file made from the bytes the writer writes
// (File::setTap), so the file is not read again. It is known only if the
// file was written from start to end in order.
class Sha256Tap final : public WriteTap {
 public:
  void append(const void* data, std::size_t n) override;
  void appendZeros(std::uint64_t n) override;
  void lose() override { lost_ = true; }
  void restart() override;
  // The digest, or empty when the tap lost track of the file.
  std::string hex();

 private:
  std::unique_ptr<Sha256> digest_ = std::make_unique<Sha256>();
  bool lost_ = false;
};

// The SHA-256 of a file's bytes, in lower-case hex. RunError when it cannot
// be read.
std::string sha256File(const std::string& path);

// Path -> digest, sorted by path.
using Manifest = std::map<std::string, std::string>;

// Parses a manifest's text; lines that are no checksum line are listed in
// `bad` (line numbers from 1). Names that sha256sum escapes (a line
// starting with '\') are unescaped.
Manifest parseManifest(const std::string& text, std::vector<int>* bad = nullptr);
std::string formatManifest(const Manifest& manifest);

// Reads DIR/SHA256SUMS; an absent file gives an empty manifest.
Manifest readManifest(const std::string& folder, std::vector<int>* bad = nullptr);
// Writes DIR/SHA256SUMS under a temporary name in DIR and renames it over
// the old one, so the manifest is always whole.
void writeManifest(const std::string& folder, const Manifest& manifest);

}  // namespace vantrel::verify
