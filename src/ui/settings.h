// SPDX-License-Identifier: MIT
#pragma once
// vantrel.ini: three lines of text in the folder the program started in.
//   1  the source folder (dir1)
//   2  the target folder (destin)
//   3  the output choice (into's item index) in decimal, "-1" for none
// Written with CR LF line ends; read back with CR LF, CR or LF.

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

inline constexpr const char* kSettingsFileName = "vantrel.ini";

struct SettingsLines {
  std::string source;  // line 1, bytes as stored
  std::string target;  // line 2
  std::string choice;  // line 3
};

// The first three lines of a settings file. A line ends at CR (a LF right
// after it belongs to the same line end) or at a bare LF. A byte 26 or the
// end of the data ends the reading; lines from there on are empty.
SettingsLines parseSettings(std::string_view bytes);

// Line 3 as an item index: blanks skipped, an optional sign, then decimal
// digits ("$" or "0x" in front reads hexadecimal); reading stops at the first
// character that does not fit and keeps the value so far (an empty line is
// 0). The value is reduced to its low 8 bits, unsigned: 0 to 255.
int settingsItemIndex(std::string_view line);

// The file's bytes for the two folders and the item index.
std::string formatSettings(const std::string& source, const std::string& target, int itemIndex);

// The user's own folder for the file, when the start folder cannot take
// it: $XDG_CONFIG_HOME/vantrel, or ~/.config/vantrel without that variable.
std::string userSettingsFolder();
// The user's home folder ($HOME), "/" without one.
std::string homeFolder();

// Reads vantrel.ini from `folder`; nothing when the file does not exist.
// A file that exists but cannot be read throws RunError.
std::optional<SettingsLines> readSettingsFile(const std::string& folder);
// Creates or replaces vantrel.ini in `folder`; a failure throws RunError.
void writeSettingsFile(const std::string& folder, const std::string& source,
                       const std::string& target, int itemIndex);

}  // namespace vantrel
