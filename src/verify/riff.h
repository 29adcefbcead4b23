// SPDX-License-Identifier: MIT
#pragma once
// A small RIFF reader for SoundFont files: the chunk tree as plain records,
// checked for consistent sizes, with no knowledge of what the chunks mean.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace vantrel::verify {

struct RiffChunk {
  std::string id;            // four characters
  std::string listType;      // for "LIST": the list's type, else empty
  std::uint64_t offset = 0;  // of the chunk's data (after id and size; for LIST after the type)
  std::uint32_t size = 0;    // of the data (for LIST without the type)
  std::vector<RiffChunk> children;  // for LIST
};

// Reads the tree of `file`: a "RIFF" form of type `form` whose size field
// is the file's length - 8, holding chunks and `depth` levels of LIST
// chunks, every chunk inside its parent (odd sizes padded to even). Returns
// what is wrong, or empty with `top` holding the form's chunks.
std::string readRiffTree(File& file, const char (&form)[5], std::vector<RiffChunk>& top, int depth = 1);

// The first chunk with `id` (and, for "LIST", type `listType`) in `chunks`.
const RiffChunk* findChunk(const std::vector<RiffChunk>& chunks, const std::string& id,
                           const std::string& listType = {});

}  // namespace vantrel::verify
