#pragma once
// Bank names are 8-bit characters; on this platform each byte is taken as its
// Latin-1 character when it becomes a file name or is shown.

#include <string>
#include <string_view>

namespace vantrel {

// Latin-1 bytes to UTF-8.
std::string latin1ToUtf8(std::string_view latin1);
// UTF-8 to Latin-1; characters above U+00FF and malformed bytes become '?'.
std::string utf8ToLatin1(std::string_view utf8);

// Makes a name taken from a bank safe as one file name inside an output
// folder: '/' becomes '_'; a name that is then only dots has every dot
// replaced by '_'; an empty name becomes "_". Works on Latin-1 bytes.
std::string safeFileName(std::string_view latin1Name);

}  // namespace vantrel
