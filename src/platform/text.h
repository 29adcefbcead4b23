// SPDX-License-Identifier: MIT
#pragma once
// Bank names are 8-bit characters; on this platform each byte is taken as its
// Latin-1 character when it becomes a file name or is shown.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Latin-1 bytes to UTF-8.
std::string latin1ToUtf8(std::string_view latin1);
// UTF-8 to Latin-1; characters above U+00FF and malformed bytes become '?'.
std::string utf8ToLatin1(std::string_view utf8);

// Whether `text` is well-formed UTF-8: no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view text) noexcept;
// A file system path or name for display: kept when it is UTF-8, else each
// byte taken as its Latin-1 character (old media often carry Latin-1 names).
std::string utf8OrLatin1(std::string_view bytes);

// The length of the well-formed UTF-8 character at the start of `text`, or
// 0 when it starts with a byte that begins none.
std::size_t utf8CharLength(std::string_view text) noexcept;

// Text made safe to print on a terminal: every control character becomes
// "\xNN" (lowercase hex), one escape per byte. Escaped are the C0 controls
// (bytes 00-1F), DEL (7F) and the C1 controls U+0080-U+009F, both as UTF-8
// characters (the two bytes C2 80 to C2 9F become "\xc2\x80" to
// "\xc2\x9f") and as single bytes 80-9F outside any well-formed UTF-8
// character (a Latin-1 name's own C1 bytes). Every other byte stays as it
// is.
std::string escapeControls(std::string_view text);

// The longest file name the file system takes, in bytes of its UTF-8 form.
constexpr std::size_t kMaxFileNameBytes = 255;

// Length of the UTF-8 form of a Latin-1 text.
std::size_t utf8Length(std::string_view latin1);

// Shortens a Latin-1 name until its UTF-8 form has at most `maxBytes` bytes,
// removing characters just before its last four (so an extension stays).
std::string fitFileName(std::string_view latin1Name, std::size_t maxBytes = kMaxFileNameBytes);

// Shortens a file system name (bytes, UTF-8 or not) to at most `maxBytes`
// bytes by the same rule, removing characters just before its last four; a
// UTF-8 name loses whole characters, so it stays UTF-8.
std::string fitNameBytes(std::string_view name, std::size_t maxBytes = kMaxFileNameBytes);

// The k-th repeat of a name (k > 0): "_k" inserted before its last four
// characters, the name shortened first (fitFileName) so that the mark
// survives. Latin-1 bytes.
std::string repeatedName(std::string_view latin1Name, std::uint32_t k);

// A name for comparing without regard to letter case, as case-insensitive
// file systems (FAT, exFAT) compare: ASCII letters and, with `latin1`, the
// Latin-1 letters A grave to THORN are taken as their lower-case forms.
std::string caseFolded(std::string_view name, bool latin1);
// The same for a file system name in UTF-8: ASCII letters and the Latin-1
// letters A grave to THORN in their UTF-8 form; other bytes stay.
std::string caseFoldedUtf8(std::string_view name);

// A name FAT takes: the characters it forbids ("*/:<>?\|) and the C0
// control characters and DEL become '_'. Other bytes stay as they are.
std::string fatSafeName(std::string_view name);

// Whether a failed creation or naming of `name` in a folder held open says
// that the file system refuses the name itself: EINVAL, EILSEQ and
// ENAMETOOLONG, and what FUSE servers of FAT and exFAT say instead
// (EPERM, ENOENT).
bool refusesName(int err) noexcept;
// The names tried in turn where the file system refuses `name` (UTF-8):
// fatSafeName's, then that with every character outside ASCII made '_'
// (a FAT without long names in Unicode); each only where it differs from
// those before.
std::vector<std::string> fallbackNames(std::string_view name);

// Makes a name taken from a bank safe as one file name inside an output
// folder: '/' and control characters (C0, DEL, C1) become '_'; a name that
// is then only dots has every dot replaced by '_'; an empty name becomes
// "_"; a name too long for the file system is shortened (fitFileName).
// Works on Latin-1 bytes.
std::string safeFileName(std::string_view latin1Name);

// Whether `name` has the form of an output's part file,
// ".vantrel-<process id>-<16 hex digits>.part": only such names are removed
// as part files left behind, and no output is ever given one.
bool isPartFileName(std::string_view name);

}  // namespace vantrel
