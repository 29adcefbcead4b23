// SPDX-License-Identifier: MIT
#include "cli/messages.h"

#include <atomic>
#include <cerrno>

#include "cli/commands.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace vantrel::cli {
namespace {

std::atomic<bool> gJsonEvents{false};

}  // namespace

void setJsonEvents(bool on) noexcept { gJsonEvents.store(on); }
bool jsonEvents() noexcept { return gJsonEvents.load(); }

nlohmann::ordered_json jsonText(std::string_view bytes) { return utf8OrLatin1(bytes); }

std::string eventLine(std::string_view name, const nlohmann::ordered_json& fields) {
  nlohmann::ordered_json event = {{"formatVersion", kEventFormatVersion}, {"event", name}};
  for (const auto& [key, value] : fields.items()) event[key] = value;
  return event.dump();
}

std::string errorLine(bool json, std::string_view path, std::string_view message) {
  if (json) {
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();
    if (!path.empty()) fields["path"] = jsonText(path);
    fields["message"] = jsonText(message);
    return eventLine("error", fields);
  }
  std::string line = "vantrel-cli: ";
  if (!path.empty()) line += escapeControls(path) + ": ";
  return line + escapeControls(message);
}

std::string errorPath(const RunError& error, const std::string& subject) {
  if (error.code() == kVerificationFailed) return {};
  return error.path().empty() ? subject : error.path();
}

std::string usageErrorLines(bool json, std::string_view command, std::string_view message) {
  if (json) return errorLine(true, {}, message);
  return errorLine(false, {}, message) + "\nRun 'vantrel-cli " + std::string(command) +
         (command.empty() ? "" : " ") + "--help' for usage.";
}

void writeLine(std::FILE* stream, std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line).push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string counted(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// The functions of commands.h that report errors before a run's console
// exists, or without one (info, scan, verify).

void reportError(const std::string& path, const std::string& message) {
  std::fflush(stdout);
  writeLine(stderr, errorLine(jsonEvents(), path, message));
}

void reportRunError(const RunError& error, const std::string& subject) {
  reportError(errorPath(error, subject), error.message());
}

int finishOutput(int status) {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int err = errno != 0 ? errno : EIO;
    reportError("standard output", errorText(errorCodeFromErrno(err, true)));
    return 1;
  }
  return status;
}

}  // namespace vantrel::cli
