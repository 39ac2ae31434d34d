#include "host/commands/LineWriter.h"

#include <algorithm>

namespace mailhost {
namespace {

// A mail's text reaches a terminal here: its control characters are shown,
// never obeyed, and a line break in a name cannot forge a line of output.
std::string Shown(const std::string& line) {
  static const char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(line.size());
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7f) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xf];
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

void LineWriter::Line(const std::string& line) {
  m_out << Shown(Hide(line)) << std::endl;
}

void LineWriter::HideFolder(const std::string& folder, const std::string& placeholder) {
  if (folder.empty()) return;
  m_hidden.emplace_back(folder, placeholder);
  std::stable_sort(m_hidden.begin(), m_hidden.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
}

std::string LineWriter::Hide(const std::string& text) const {
  std::string result = text;
  for (const auto& [folder, placeholder] : m_hidden) {
    std::string replaced;
    std::size_t from = 0;
    for (auto at = result.find(folder); at != std::string::npos; at = result.find(folder, from)) {
      replaced.append(result, from, at - from);
      replaced += placeholder;
      from = at + folder.size();
    }
    replaced.append(result, from, std::string::npos);
    result = std::move(replaced);
  }
  return result;
}

}  // namespace mailhost
