// SPDX-License-Identifier: MIT
#include "ui/settings.h"

#include <cstdint>
#include <cstdlib>

#include "platform/file.h"

namespace vantrel {
namespace {

constexpr char kEndOfFileMark = 26;

class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : bytes_(bytes) {}

  std::string next() {
    std::string line;
    while (!ended_) {
      if (pos_ >= bytes_.size() || bytes_[pos_] == kEndOfFileMark) {
        ended_ = true;
        break;
      }
      char c = bytes_[pos_++];
      if (c == '\r') {
        if (pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
        break;
      }
      if (c == '\n') break;
      line += c;
    }
    return line;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool ended_ = false;
};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

SettingsLines parseSettings(std::string_view bytes) {
  LineReader reader(bytes);
  SettingsLines lines;
  lines.source = reader.next();
  lines.target = reader.next();
  lines.choice = reader.next();
  return lines;
}

int settingsItemIndex(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  int base = 10;
  if (i < line.size() && line[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < line.size() && line[i] == '0' && (line[i + 1] == 'x' || line[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  // Only the low 8 bits are kept, so arithmetic modulo 2^32 loses nothing.
  std::uint32_t value = 0;
  for (; i < line.size(); ++i) {
    int digit = hexValue(line[i]);
    if (digit < 0 || digit >= base) break;
    value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value & 0xFFu);
}

std::string formatSettings(const std::string& source, const std::string& target, int itemIndex) {
  return source + "\r\n" + target + "\r\n" + std::to_string(itemIndex) + "\r\n";
}

std::string userSettingsFolder() {
  // An empty or relative value is ignored, as the base directory rules ask.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return joinPath(config, "vantrel");
  return joinPath(joinPath(homeFolder(), ".config"), "vantrel");
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  return home && home[0] == '/' ? std::string(home) : std::string("/");
}

std::optional<SettingsLines> readSettingsFile(const std::string& folder) {
  const std::string path = joinPath(folder, kSettingsFileName);
  if (!fileExists(path)) return std::nullopt;
  File file(path, File::Mode::Read);
  // Three lines of folder paths: the first megabyte holds all that matters.
  constexpr std::size_t kMostRead = 1 << 20;
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < kMostRead) {
    std::size_t n = file.readSome(buffer, sizeof buffer);
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  file.close();
  return parseSettings(bytes);
}

void writeSettingsFile(const std::string& folder, const std::string& source,
                       const std::string& target, int itemIndex) {
  const std::string bytes = formatSettings(source, target, itemIndex);
  File file(joinPath(folder, kSettingsFileName), File::Mode::Create);
  file.writeAll(bytes.data(), bytes.size());
  file.close();
}

}  // namespace vantrel
