// SPDX-License-Identifier: MIT
#pragma once
// Reading back the XML files we write (DecentSampler presets,
// multisample.xml): a flat list of pieces, with code of its own.

#include <string>
#include <utility>
#include <vector>

namespace vantrel::verify {

// One piece of an XML file of ours after its declaration: a comment, a tag,
// or text between tags (white space alone is no piece).
struct Piece {
  enum Kind { Comment, Start, Empty, End, Text } kind = Comment;
  std::string text;  // the element's name, the comment's text, or the text with references resolved
  std::vector<std::pair<std::string, std::string>> attributes;  // values with references resolved
};

// The pieces of an XML file from byte `at` on (after its declaration); ""
// or what is malformed.
std::string readPieces(const std::string& text, std::size_t at, std::vector<Piece>& pieces);

}  // namespace vantrel::verify
