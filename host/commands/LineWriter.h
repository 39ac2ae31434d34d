#pragma once
// Where the host's output lines go. A run's private data folder has a fresh
// name each time, so it is written as $DATA: a scenario's expected output
// then does not depend on where the run happened.
#include <ostream>
#include <string>

namespace mailhost {

constexpr const char* kDataPlaceholder = "$DATA";

class LineWriter {
 public:
  explicit LineWriter(std::ostream& out) : m_out(out) {}
  // Every occurrence of `folder` in later lines is written as $DATA.
  void HideFolder(const std::string& folder) { m_hidden = folder; }
  void Line(const std::string& line);
  // A line about the run itself rather than the add-in, e.g. a damaged registry file.
  void Note(const std::string& text) { Line("note " + text); }
  std::string Hide(const std::string& text) const;

 private:
  std::ostream& m_out;
  std::string m_hidden;
};

}  // namespace mailhost
