#include "host/store/MaildirName.h"

#include <algorithm>

namespace mailhost {
namespace {

constexpr std::string_view kAdditionLetters = "USW";

// ",X=value" with X one of `letters`.
bool IsAddition(std::string_view field, std::string_view letters) {
  return field.size() >= 2 && field[1] == '=' && letters.find(field[0]) != std::string_view::npos;
}

}  // namespace

MaildirName SplitName(std::string_view name) {
  const auto mark = name.find(kInfoMark);
  if (mark == std::string_view::npos) return {std::string(name.substr(0, name.find(':'))), ""};
  return {std::string(name.substr(0, mark)), std::string(name.substr(mark + kInfoMark.size()))};
}

std::string WithoutAdditions(std::string_view base, std::string_view letters) {
  std::string result;
  std::size_t at = 0;
  bool first = true;
  while (at <= base.size()) {
    auto comma = base.find(',', at);
    if (comma == std::string_view::npos) comma = base.size();
    const auto field = base.substr(at, comma - at);
    if (first || !IsAddition(field, letters)) {
      if (!first) result += ',';
      result += field;
    }
    first = false;
    at = comma + 1;
  }
  return result;
}

std::string IdentityOf(std::string_view name) {
  return WithoutAdditions(SplitName(name).base, kAdditionLetters);
}

std::string SortedFlags(std::string flags) {
  std::sort(flags.begin(), flags.end());
  flags.erase(std::unique(flags.begin(), flags.end()), flags.end());
  return flags;
}

}  // namespace mailhost
