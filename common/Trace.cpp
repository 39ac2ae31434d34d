#include "common/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace sonvera {

void TraceOpen(const std::string& /*path*/, bool /*flag*/) {
  // The path names a file of the original system; nothing is opened.
}

void TraceWrite(const std::string& line) {
  // Off unless a developer asks for it; the default writes nothing at all.
  const char* target = std::getenv("SONVERA_TRACE_FILE");
  if (!target || !*target) return;
  if (std::FILE* f = std::fopen(target, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string TraceLine(const std::string& text) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%d/%d/%d %d:%02d:%02d %s", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900, hour12, local.tm_min, local.tm_sec,
                local.tm_hour < 12 ? "AM" : "PM");
  return stamp + text;
}

void Trace(const std::string& text) {
  TraceWrite(TraceLine(text));
}

}  // namespace sonvera
