// The request log: one line per request on stderr. What a client sent is escaped,
// so its bytes never reach the log raw (no forged lines, no terminal controls).
#pragma once

#include <string>
#include <string_view>

namespace zel::svc {

// Printable ASCII stays; a backslash, a double quote and every other byte become
// \\, \" and \xHH.
std::string EscapeForLog(std::string_view bytes);

// Writes one whole line with one call, so lines of concurrent requests never mix.
void WriteLogLine(const std::string& line);

}  // namespace zel::svc
