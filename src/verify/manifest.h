// SPDX-License-Identifier: MIT
#pragma once
// Checksum manifests in the format of sha256sum: one line per file,
// "<64 hex digits>  <path>", paths relative to the manifest's folder, so
// that `cd DIR && sha256sum -c SHA256SUMS` checks them.

#include <map>
#include <string>
#include <vector>

namespace vantrel::verify {

inline constexpr const char* kManifestName = "SHA256SUMS";

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
