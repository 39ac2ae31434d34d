#pragma once
// The trace facility: every routine of note passes a time-stamped line, and
// by default nothing is written anywhere. SONVERA_TRACE_FILE switches a
// writer on for a developer's run.
#include <string>

namespace sonvera {

void TraceOpen(const std::string& path, bool flag);
void TraceWrite(const std::string& line);
// The current date and time in the general date format, then `text` directly.
std::string TraceLine(const std::string& text);
// TraceWrite(TraceLine(text)).
void Trace(const std::string& text);

}  // namespace sonvera
