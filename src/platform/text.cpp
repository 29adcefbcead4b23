// SPDX-License-Identifier: MIT
#include "platform/text.h"

#include <cerrno>

#include <algorithm>
#include <cstdint>

namespace vantrel {

std::string latin1ToUtf8(std::string_view latin1) {
  std::string out(utf8Length(latin1), '\0');
  char* p = out.data();
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      *p++ = static_cast<char>(c);
    } else {
      *p++ = static_cast<char>(0xC0 | (c >> 6));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string utf8ToLatin1(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    int extra = c >= 0xF8 ? -1 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    bool ok = extra > 0 && i + static_cast<std::size_t>(extra) < utf8.size();
    std::uint32_t cp = 0;
    if (ok) {
      cp = c & (0x3Fu >> extra);
      for (int k = 1; k <= extra; ++k) {
        unsigned char cc = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
        if ((cc & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        cp = (cp << 6) | (cc & 0x3Fu);
      }
    }
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    out += cp <= 0xFF ? static_cast<char>(cp) : '?';
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

bool isUtf8(std::string_view text) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    // Lead byte: the sequence's length and the range its second byte must
    // fall in (narrower after E0, ED, F0 and F4 to rule out overlong forms,
    // surrogates and code points above U+10FFFF).
    std::size_t len;
    unsigned lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    else return false;
    if (n - i < len || p[i + 1] < lo || p[i + 1] > hi) return false;
    for (std::size_t k = 2; k < len; ++k)
      if ((p[i + k] & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

std::string utf8OrLatin1(std::string_view bytes) {
  return isUtf8(bytes) ? std::string(bytes) : latin1ToUtf8(bytes);
}

std::size_t utf8CharLength(std::string_view text) noexcept {
  for (std::size_t len = 1; len <= 4 && len <= text.size(); ++len) {
    if (isUtf8(text.substr(0, len))) return len;
  }
  return 0;
}

std::string escapeControls(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  auto escape = [&](unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      escape(c);
      ++i;
      continue;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t len = utf8CharLength(text.substr(i));
    if (len == 0) {
      // A byte outside any UTF-8 character: a C1 control as a single byte.
      if (c <= 0x9F) escape(c);
      else out += static_cast<char>(c);
      ++i;
      continue;
    }
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (c == 0xC2 && second <= 0x9F) {
      escape(c);
      escape(second);
    } else {
      out.append(text.substr(i, len));
    }
    i += len;
  }
  return out;
}

std::size_t utf8Length(std::string_view latin1) {
  std::size_t n = latin1.size();
  for (unsigned char c : latin1) n += c >= 0x80;
  return n;
}

std::string fitFileName(std::string_view latin1Name, std::size_t maxBytes) {
  std::string name(latin1Name);
  std::size_t bytes = utf8Length(name);
  while (bytes > maxBytes && !name.empty()) {
    std::size_t at = name.size() > 4 ? name.size() - 5 : name.size() - 1;
    bytes -= static_cast<unsigned char>(name[at]) >= 0x80 ? 2 : 1;
    name.erase(at, 1);
  }
  return name;
}

std::string fitNameBytes(std::string_view bytes, std::size_t maxBytes) {
  std::string name(bytes);
  const bool utf8 = isUtf8(name);
  while (name.size() > maxBytes) {
    std::size_t at = name.size() > 4 ? name.size() - 5 : name.size() - 1;
    std::size_t end = at + 1;
    if (utf8) {
      while (at > 0 && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80) --at;
      while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) ++end;
    }
    name.erase(at, end - at);
  }
  return name;
}

std::string repeatedName(std::string_view latin1Name, std::uint32_t k) {
  const std::string mark = "_" + std::to_string(k);
  std::string marked = fitFileName(latin1Name, kMaxFileNameBytes - mark.size());
  marked.insert(marked.size() > 4 ? marked.size() - 4 : 0, mark);
  return marked;
}

std::string caseFolded(std::string_view name, bool latin1) {
  std::string folded(name);
  for (char& c : folded) {
    const auto u = static_cast<unsigned char>(c);
    const bool upper = (u >= 'A' && u <= 'Z') || (latin1 && u >= 0xC0 && u <= 0xDE && u != 0xD7);
    if (upper) c = static_cast<char>(u + 0x20);
  }
  return folded;
}

std::string caseFoldedUtf8(std::string_view name) {
  std::string folded(name);
  for (std::size_t k = 0; k < folded.size(); ++k) {
    const auto u = static_cast<unsigned char>(folded[k]);
    if (u >= 'A' && u <= 'Z') {
      folded[k] = static_cast<char>(u + 0x20);
    } else if (u == 0xC3 && k + 1 < folded.size()) {
      // U+00C0..U+00DE but U+00D7 (the multiplication sign): C3 80..C3 9E.
      const auto v = static_cast<unsigned char>(folded[k + 1]);
      if (v >= 0x80 && v <= 0x9E && v != 0x97) folded[k + 1] = static_cast<char>(v + 0x20);
      ++k;
    }
  }
  return folded;
}

std::string fatSafeName(std::string_view name) {
  std::string safe(name);
  for (char& c : safe) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos) c = '_';
  }
  return safe;
}

bool refusesName(int err) noexcept {
  return err == EINVAL || err == EILSEQ || err == ENAMETOOLONG || err == EPERM || err == ENOENT;
}

std::vector<std::string> fallbackNames(std::string_view name) {
  std::vector<std::string> names;
  std::string safe = fatSafeName(name);
  if (safe != name) names.push_back(safe);
  // A character of several UTF-8 bytes becomes one '_'.
  std::string ascii;
  for (std::size_t k = 0; k < safe.size(); ++k) {
    const auto u = static_cast<unsigned char>(safe[k]);
    if (u < 0x80) {
      ascii += safe[k];
      continue;
    }
    ascii += '_';
    if (u >= 0xC0) {
      while (k + 1 < safe.size() && (static_cast<unsigned char>(safe[k + 1]) & 0xC0) == 0x80) ++k;
    }
  }
  if (ascii != safe) names.push_back(ascii);
  return names;
}

std::string safeFileName(std::string_view latin1Name) {
  std::string name = fitFileName(latin1Name);
  // Control characters (C0, DEL and, of the 8-bit names, C1) break scripts
  // and terminals that list the files.
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || u < 0x20 || (u >= 0x7F && u <= 0x9F)) c = '_';
  }
  if (std::all_of(name.begin(), name.end(), [](char c) { return c == '.'; })) {
    std::replace(name.begin(), name.end(), '.', '_');
  }
  if (name.empty()) return std::string(1, '_');
  // A bank is known by its extension: no output may be taken for one.
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (name.size() >= 4 && name[name.size() - 4] == '.' && lower(name[name.size() - 3]) == 't' &&
      lower(name[name.size() - 2]) == 't' && lower(name[name.size() - 1]) == 'i') {
    name = fitFileName(name + ".wav");
  }
  // Nor for a part file, which a later run would remove.
  if (isPartFileName(name)) name[0] = '_';
  return name;
}

bool isPartFileName(std::string_view name) {
  constexpr std::string_view kHead = ".vantrel-", kTail = ".part";
  if (name.size() < kHead.size() + kTail.size() + 18 || name.substr(0, kHead.size()) != kHead ||
      name.substr(name.size() - kTail.size()) != kTail) {
    return false;
  }
  const std::string_view middle = name.substr(kHead.size(), name.size() - kHead.size() - kTail.size());
  const std::size_t dash = middle.size() - 17;
  if (middle[dash] != '-' || dash == 0) return false;
  auto all = [](std::string_view s, const char* set) { return s.find_first_not_of(set) == std::string_view::npos; };
  return all(middle.substr(0, dash), "0123456789") && all(middle.substr(dash + 1), "0123456789abcdef");
}

}  // namespace vantrel
