// SPDX-License-Identifier: MIT
#pragma once
// The lines the command line writes on standard error: error lines and
// usage errors as text, or, with --progress=json, as JSON events, one
// object per line. Text lines show control characters escaped
// (escapeControls); every text in an event is UTF-8 (bytes that are not
// taken as Latin-1).

#include <cstddef>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace vantrel {
class RunError;
}

namespace vantrel::cli {

// The version of the events' fields; every event carries it as
// "formatVersion".
constexpr int kEventFormatVersion = 1;

// Whether standard error carries JSON events for this process (set once
// the command line asks for --progress=json).
void setJsonEvents(bool on) noexcept;
bool jsonEvents() noexcept;

// A file system path or other bytes as a JSON string: UTF-8, or Latin-1.
nlohmann::ordered_json jsonText(std::string_view bytes);

// One event: {"formatVersion":1,"event":NAME, then FIELDS}, without a
// newline.
std::string eventLine(std::string_view name, const nlohmann::ordered_json& fields = nlohmann::ordered_json::object());

// An error: the line "vantrel-cli: PATH: MESSAGE" (without "PATH: " when
// the path is empty), or the event {"event":"error","path":...,"message":...}
// (without "path" when it is empty). No newline.
std::string errorLine(bool json, std::string_view path, std::string_view message);

// The path an error line shows for `error`, a failure about `subject`:
// none for a failed verification (its text names the file), else the
// error's own path or, when it names none, the subject.
std::string errorPath(const RunError& error, const std::string& subject);

// A usage error of COMMAND (empty before one is named): the text's two
// lines, the problem and "Run 'vantrel-cli COMMAND --help' for usage.", or
// one error event. No newline at the end.
std::string usageErrorLines(bool json, std::string_view command, std::string_view message);

// Writes `line` and a newline with one write and flushes the stream.
void writeLine(std::FILE* stream, std::string_view line);

// "1 bank", "2 banks", "0 banks".
std::string counted(std::size_t n, std::string_view one, std::string_view many);

}  // namespace vantrel::cli
