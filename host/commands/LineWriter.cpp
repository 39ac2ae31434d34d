#include "host/commands/LineWriter.h"

namespace mailhost {

void LineWriter::Line(const std::string& line) {
  m_out << Hide(line) << std::endl;
}

std::string LineWriter::Hide(const std::string& text) const {
  if (m_hidden.empty()) return text;
  std::string result;
  std::size_t from = 0;
  for (;;) {
    const auto at = text.find(m_hidden, from);
    if (at == std::string::npos) break;
    result.append(text, from, at - from);
    result += kDataPlaceholder;
    from = at + m_hidden.size();
  }
  result.append(text, from, std::string::npos);
  return result;
}

}  // namespace mailhost
