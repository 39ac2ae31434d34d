#pragma once
// The scenario language: one command a line, words separated by blanks, a
// word with blanks in double quotes (with \", \\, \n and \r inside), `#` to
// the end of the line a comment. Outside quotes a backslash is an ordinary
// character, so registry keys are written as they are. A word `#N` after the
// command (a control's position) is a word, not a comment.
//
// The whole file is checked before anything runs, so that a typo fails the
// run at once instead of half-way through.
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mailhost {

// Where a command is typed: a scenario file, mailhost's console (the
// person's own terminal) or the page's command line. The command table says
// where each command may run.
enum class Place { Scenario = 1, Console = 2, Page = 4 };

struct Command {
  int line = 0;
  std::string name;               // the first word
  std::vector<std::string> args;  // the words after it
  Place place = Place::Scenario;  // where it was typed
};

class ParseError : public std::runtime_error {
 public:
  ParseError(int line, const std::string& message) : std::runtime_error(message), m_line(line) {}
  int Line() const { return m_line; }

 private:
  int m_line;
};

class ScriptParser {
 public:
  // Splits a line into words; throws ParseError (line 0) on an unclosed quote.
  static std::vector<std::string> SplitWords(const std::string& line);
  // Null for a blank or comment line. A command that may not run at `place`
  // is refused with a message that says where it runs.
  static std::optional<Command> ParseLine(const std::string& line, int number,
                                          Place place = Place::Scenario);
  static std::vector<Command> ParseScript(const std::string& text);

  // "50ms", "3s", "45m".
  static std::optional<std::chrono::milliseconds> ParseDuration(const std::string& word);
  static bool AllDigits(const std::string& text);
  // A decimal (possibly negative) or 0x hexadecimal 32-bit number.
  static std::optional<std::uint32_t> ParseDword(const std::string& word);
};

}  // namespace mailhost
