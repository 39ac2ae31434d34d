#include "host/commands/ScriptParser.h"

#include <cctype>
#include <cstdint>
#include <limits>
#include <sstream>

#include "host/commands/CommandTable.h"

namespace mailhost {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

bool ScriptParser::AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

namespace {

std::optional<std::uint64_t> ParseUnsigned(const std::string& text, int base) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    int digit;
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > std::numeric_limits<std::uint32_t>::max() * std::uint64_t{1000})
      return std::nullopt;
  }
  return value;
}

}  // namespace

std::vector<std::string> ScriptParser::SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n) break;
    if (line[i] == '#') {
      std::size_t end = i + 1;
      while (end < n && !IsBlank(line[end])) ++end;
      const bool position = !words.empty() && AllDigits(line.substr(i + 1, end - i - 1));
      if (!position) break;  // a comment to the end of the line
    }
    std::string word;
    while (i < n && !IsBlank(line[i])) {
      if (line[i] != '"') {
        word += line[i++];
        continue;
      }
      ++i;
      bool closed = false;
      while (i < n) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && i < n) {
          const char next = line[i];
          if (next == '"' || next == '\\') {
            c = next;
            ++i;
          } else if (next == 'n') {
            c = '\n';
            ++i;
          } else if (next == 'r') {
            c = '\r';
            ++i;
          }
        }
        word += c;
      }
      if (!closed) throw ParseError(0, "a double quote is not closed");
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::optional<Command> ScriptParser::ParseLine(const std::string& rawLine, int number,
                                               Place place) {
  std::string line = rawLine;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> words;
  try {
    words = SplitWords(line);
  } catch (const ParseError& e) {
    throw ParseError(number, e.what());
  }
  if (words.empty()) return std::nullopt;
  Command command;
  command.line = number;
  command.name = words[0];
  command.args.assign(words.begin() + 1, words.end());
  command.place = place;
  const CommandSpec* spec = FindCommand(command.name);
  if (!spec) throw ParseError(number, "unknown command: " + command.name);
  if (!RunsAt(*spec, place)) throw ParseError(number, NotHere(*spec, place));
  const int count = static_cast<int>(command.args.size());
  if (count < spec->minArgs || (spec->maxArgs >= 0 && count > spec->maxArgs)) {
    std::ostringstream message;
    message << command.name << " takes ";
    if (spec->maxArgs < 0) {
      message << "at least " << spec->minArgs;
    } else if (spec->minArgs == spec->maxArgs) {
      message << spec->minArgs;
    } else {
      message << spec->minArgs << " to " << spec->maxArgs;
    }
    message << " argument(s), not " << count;
    throw ParseError(number, message.str());
  }
  if (spec->check) spec->check(command);
  return command;
}

std::vector<Command> ScriptParser::ParseScript(const std::string& text) {
  std::vector<Command> commands;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (auto command = ParseLine(line, number)) commands.push_back(std::move(*command));
  }
  return commands;
}

std::optional<std::chrono::milliseconds> ScriptParser::ParseDuration(const std::string& word) {
  std::size_t digits = 0;
  while (digits < word.size() && std::isdigit(static_cast<unsigned char>(word[digits]))) ++digits;
  if (digits == 0 || digits > 9) return std::nullopt;
  const std::int64_t amount = std::stoll(word.substr(0, digits));
  const std::string unit = word.substr(digits);
  if (unit == "ms") return std::chrono::milliseconds(amount);
  if (unit == "s") return std::chrono::milliseconds(amount * 1000);
  if (unit == "m") return std::chrono::milliseconds(amount * 60 * 1000);
  return std::nullopt;
}

std::optional<std::uint32_t> ScriptParser::ParseDword(const std::string& word) {
  std::string text = word;
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    text = text.substr(1);
  }
  std::optional<std::uint64_t> value;
  if (!negative && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    value = ParseUnsigned(text.substr(2), 16);
  } else {
    value = ParseUnsigned(text, 10);
  }
  if (!value) return std::nullopt;
  if (negative) {
    if (*value > std::uint64_t{1} << 31) return std::nullopt;
    return static_cast<std::uint32_t>(-static_cast<std::int64_t>(*value));
  }
  if (*value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

}  // namespace mailhost
