#pragma once
// Where the host's output lines go. A run's private data folder has a fresh
// name each time, so it is written as $DATA, and the Maildir it was given as
// $MAILDIR: a scenario's expected output then does not depend on where the
// run happened.
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace mailhost {

constexpr const char* kDataPlaceholder = "$DATA";
constexpr const char* kMaildirPlaceholder = "$MAILDIR";

class LineWriter {
 public:
  explicit LineWriter(std::ostream& out) : m_out(out) {}
  // Every occurrence of `folder` in later lines is written as `placeholder`;
  // of two folders, one inside the other, the inner one as its own.
  void HideFolder(const std::string& folder, const std::string& placeholder = kDataPlaceholder);
  void Line(const std::string& line);
  // A line about the run itself rather than the add-in, e.g. a damaged registry file.
  void Note(const std::string& text) { Line("note " + text); }
  std::string Hide(const std::string& text) const;

 private:
  std::ostream& m_out;
  std::vector<std::pair<std::string, std::string>> m_hidden;  // longest first
};

}  // namespace mailhost
