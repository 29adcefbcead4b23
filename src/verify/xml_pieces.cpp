// SPDX-License-Identifier: MIT
#include "verify/xml_pieces.h"

#include <charconv>
#include <string_view>

namespace vantrel::verify {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ':' ||
         c == '-' || c == '.';
}

// An attribute value as a reader gets it: entity and character references
// resolved, literal tab, LF and CR as spaces. False when it holds '<' or a
// reference that is not one. Our presets refer to characters by number
// only below U+0080 (tab, LF, CR).
bool attributeValue(std::string_view raw, std::string& out) {
  for (std::size_t k = 0; k < raw.size(); ++k) {
    const char c = raw[k];
    if (c == '<') return false;
    if (c == '\t' || c == '\n' || c == '\r') {
      out += ' ';
      continue;
    }
    if (c != '&') {
      out += c;
      continue;
    }
    const std::size_t semi = raw.find(';', k);
    if (semi == std::string_view::npos) return false;
    const std::string_view ref = raw.substr(k + 1, semi - k - 1);
    k = semi;
    if (ref == "amp") out += '&';
    else if (ref == "lt") out += '<';
    else if (ref == "gt") out += '>';
    else if (ref == "quot") out += '"';
    else if (ref == "apos") out += '\'';
    else if (ref.size() >= 2 && ref[0] == '#') {
      const bool hex = ref[1] == 'x';
      const std::string_view digits = ref.substr(hex ? 2 : 1);
      std::uint32_t cp = 0;
      const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
      if (digits.empty() || r.ptr != digits.data() + digits.size() || cp == 0 || cp >= 0x80) return false;
      out += static_cast<char>(cp);
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string readPieces(const std::string& text, std::size_t at, std::vector<Piece>& pieces) {
  while (true) {
    while (at < text.size() && isSpace(text[at])) ++at;
    if (at == text.size()) return {};
    if (text[at] != '<') {
      // Text up to the next tag, its trailing white space dropped.
      const std::size_t end = text.find('<', at);
      if (end == std::string::npos) return "text after the last tag at byte " + std::to_string(at);
      std::size_t last = end;
      while (last > at && isSpace(text[last - 1])) --last;
      Piece p;
      p.kind = Piece::Text;
      if (!attributeValue(std::string_view(text).substr(at, last - at), p.text)) {
        return "text at byte " + std::to_string(at) + " holds a reference that is not one";
      }
      pieces.push_back(std::move(p));
      at = end;
      continue;
    }
    if (text.compare(at, 4, "<!--") == 0) {
      const std::size_t end = text.find("-->", at + 4);
      if (end == std::string::npos) return "a comment does not end";
      Piece p;
      p.text = text.substr(at + 4, end - at - 4);
      if (p.text.find("--") != std::string::npos || (!p.text.empty() && p.text.back() == '-')) {
        return "a comment holds \"--\" at byte " + std::to_string(at);
      }
      pieces.push_back(std::move(p));
      at = end + 3;
      continue;
    }
    Piece p;
    ++at;
    p.kind = Piece::Start;
    if (at < text.size() && text[at] == '/') {
      p.kind = Piece::End;
      ++at;
    }
    const std::size_t nameStart = at;
    while (at < text.size() && isNameChar(text[at])) ++at;
    p.text = text.substr(nameStart, at - nameStart);
    if (p.text.empty()) return "a tag without a name at byte " + std::to_string(nameStart);
    while (true) {
      const std::size_t before = at;
      while (at < text.size() && isSpace(text[at])) ++at;
      if (at == text.size()) return "the tag <" + p.text + "> does not end";
      if (text[at] == '>') break;
      if (p.kind == Piece::Start && text.compare(at, 2, "/>") == 0) {
        p.kind = Piece::Empty;
        ++at;
        break;
      }
      if (p.kind == Piece::End || before == at) {
        return "a malformed tag <" + p.text + "> at byte " + std::to_string(at);
      }
      const std::size_t name = at;
      while (at < text.size() && isNameChar(text[at])) ++at;
      std::string attribute = text.substr(name, at - name);
      const char quote = at + 1 < text.size() && text[at] == '=' ? text[at + 1] : 0;
      const std::size_t end = quote == '"' || quote == '\'' ? text.find(quote, at + 2) : std::string::npos;
      if (attribute.empty() || end == std::string::npos) {
        return "a malformed attribute in <" + p.text + "> at byte " + std::to_string(name);
      }
      std::string value;
      if (!attributeValue(std::string_view(text).substr(at + 2, end - at - 2), value)) {
        return "attribute " + attribute + " of <" + p.text + "> holds markup that is not escaped";
      }
      for (const auto& [n, v] : p.attributes) {
        if (n == attribute) return "<" + p.text + "> has attribute " + attribute + " twice";
      }
      p.attributes.emplace_back(std::move(attribute), std::move(value));
      at = end + 1;
    }
    ++at;
    pieces.push_back(std::move(p));
  }
}


}  // namespace vantrel::verify
