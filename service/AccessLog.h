// The service's log on stderr: one line per request and one per change of the
// store's or the catalog's state. What a client sent is escaped, so its bytes never
// reach the log raw (no forged lines, no terminal controls). Lines are queued and
// written by a thread of their own, so a slow or blocked stderr (a full pipe, a
// stalled journal) never holds a thread that serves clients.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zel::svc {

enum class LogLevel { kError = 0, kWarn = 1, kInfo = 2 };

// "error", "warn", "info"; nothing for another text.
std::optional<LogLevel> ParseLogLevel(std::string_view name);
// Lines of a level above this one are left out (default: info, everything).
void SetLogLevel(LogLevel level);

// Printable ASCII stays; a backslash, a double quote and every other byte become
// \\, \" and \xHH.
std::string EscapeForLog(std::string_view bytes);

// Queues "TIME LEVEL text" as one line; never waits for the writing. Lines that
// find the queue full are dropped and counted.
void Log(LogLevel level, std::string_view text);
// Waits until every line queued so far is written.
void FlushLog();
std::uint64_t DroppedLogLines();

}  // namespace zel::svc
