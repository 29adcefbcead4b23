// SPDX-License-Identifier: MIT
#include "verify/riff.h"

#include <cstring>

#include "platform/errors.h"

namespace vantrel::verify {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Reads the chunks in [from, to) into `out`; LIST chunks one level deeper
// when `depth` allows.
std::string readChunks(File& file, std::uint64_t from, std::uint64_t to, int depth,
                       std::vector<RiffChunk>& out) {
  std::uint64_t at = from;
  while (at < to) {
    if (to - at < 8) return "a chunk header at byte " + std::to_string(at) + " is cut short";
    std::uint8_t h[12];
    file.readAt(at, h, 8);
    RiffChunk c;
    c.id.assign(reinterpret_cast<const char*>(h), 4);
    c.size = le32(h + 4);
    c.offset = at + 8;
    const std::uint64_t end = c.offset + c.size + (c.size & 1u);
    if (c.offset + c.size > to) {
      return "chunk \"" + c.id + "\" at byte " + std::to_string(at) + " of " + std::to_string(c.size) +
             " bytes runs past its parent";
    }
    if (c.id == "LIST") {
      if (c.size < 4) return "a LIST chunk at byte " + std::to_string(at) + " has no type";
      file.readAt(c.offset, h, 4);
      c.listType.assign(reinterpret_cast<const char*>(h), 4);
      c.offset += 4;
      c.size -= 4;
      if (depth > 0) {
        if (std::string what = readChunks(file, c.offset, c.offset + c.size, depth - 1, c.children);
            !what.empty()) {
          return what;
        }
      }
    }
    out.push_back(std::move(c));
    at = end;
  }
  return {};
}

}  // namespace

std::string readRiffTree(File& file, const char (&form)[5], std::vector<RiffChunk>& top, int depth) {
  const std::uint64_t length = file.size();
  if (length < 12) return "shorter than a RIFF header";
  std::uint8_t h[12];
  file.readAt(0, h, 12);
  if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, form, 4) != 0) {
    return std::string("not a RIFF ") + form + " file";
  }
  const std::uint64_t size = le32(h + 4);
  if (size + 8 != length) {
    return "RIFF size " + std::to_string(size) + ", expected " + std::to_string(length - 8) +
           " (the file's length - 8)";
  }
  try {
    return readChunks(file, 12, length, depth, top);
  } catch (const RunError& e) {
    return e.message();
  }
}

const RiffChunk* findChunk(const std::vector<RiffChunk>& chunks, const std::string& id,
                           const std::string& listType) {
  for (const RiffChunk& c : chunks) {
    if (c.id == id && (listType.empty() || c.listType == listType)) return &c;
  }
  return nullptr;
}

}  // namespace vantrel::verify
