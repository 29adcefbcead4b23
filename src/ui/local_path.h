// SPDX-License-Identifier: MIT
#pragma once
// Paths between the file system's bytes and the window's strings, exactly.
// File names from old media are often not UTF-8 (a Latin-1 "CAFÉ.TTI"
// holds the single byte 0xC9). In a path string every byte that is not
// part of a well-formed UTF-8 character stands as U+DC80 + its value (a
// lone surrogate that no real name holds), so that pathBytes gives back
// the very bytes pathString was given; shownText turns such a string into
// the text to show, a name that is not UTF-8 read as Latin-1.

#include <QString>

#include <string>
#include <string_view>

namespace vantrel {

QString pathString(std::string_view bytes);
std::string pathBytes(const QString& path);
// The text to show for a path string (or a name): each component that is
// UTF-8 as it is, each other one by its bytes taken as Latin-1.
QString shownText(const QString& path);

}  // namespace vantrel
