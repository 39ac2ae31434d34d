#include "update/Version.h"

#include <limits>

#include "common/BuildInfo.h"
#include "platform/Error.h"

namespace sonvera {
namespace {

constexpr const char* kBlanks = " \t\r\n\v\f";

std::int16_t ToInt16(const std::string& part) {
  const std::string digits = TrimmedVersionText(part);
  std::size_t at = 0;
  bool negative = false;
  if (at < digits.size() && (digits[at] == '+' || digits[at] == '-'))
    negative = digits[at++] == '-';
  if (at == digits.size()) throw platform::Error(kVersionNotNumber);
  long value = 0;
  bool overflow = false;
  for (; at < digits.size(); ++at) {
    if (digits[at] < '0' || digits[at] > '9') throw platform::Error(kVersionNotNumber);
    // Keep reading past an overflow: a later non-digit is still a mismatch.
    if (!overflow) value = value * 10 + (digits[at] - '0');
    overflow = overflow || value > 32768;
  }
  if (negative) value = -value;
  if (overflow || value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max())
    throw platform::Error(kVersionOverflow);
  return static_cast<std::int16_t>(value);
}

}  // namespace

std::string TrimmedVersionText(const std::string& text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

Version ParseVersion(const std::string& text) {
  const auto p1 = text.find('.');
  if (p1 == std::string::npos) throw platform::Error(kVersionNoDots);
  const auto p2 = text.find('.', p1 + 1);
  if (p2 == std::string::npos) throw platform::Error(kVersionNoDots);
  Version version;
  version.major = ToInt16(text.substr(0, p1));
  version.minor = ToInt16(text.substr(p1 + 1, p2 - p1 - 1));
  version.revision = ToInt16(text.substr(p2 + 1));
  return version;
}

Version RunningVersion() {
  return {buildinfo::kVersionMajor, buildinfo::kVersionMinor, buildinfo::kVersionRevision};
}

std::string VersionText(const Version& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.revision);
}

}  // namespace sonvera
