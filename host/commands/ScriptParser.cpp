#include "host/commands/ScriptParser.h"

#include <cctype>
#include <cstdint>
#include <limits>
#include <sstream>

namespace mailhost {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

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

struct Arity {
  const char* name;
  int min;
  int max;  // -1: any
  bool console;
};

constexpr Arity kCommands[] = {
    {"registry", 2, 5, false},    {"mail", 2, -1, false},
    {"item", 3, 3, false},        {"bar", 2, 2, false},
    {"file-remove", 1, 1, false}, {"file-readonly", 0, 0, false},
    {"start", 0, 0, false},       {"folder", 1, 1, false},
    {"select", 0, -1, false},     {"new", 1, 1, false},
    {"open", 2, 2, false},        {"activate", 1, 1, false},
    {"deactivate", 1, 1, false},  {"close", 1, 1, false},
    {"click", 2, 2, false},       {"choose", 2, 2, false},
    {"answer", 1, -1, false},     {"attach", 2, 2, false},
    {"send", 1, 1, false},        {"mic", 1, 1, false},
    {"wait", 1, 1, false},        {"show", 1, 1, false},
    {"show-mail", 1, 1, false},   {"show-forms", 0, 0, false},
    {"form-click", 2, 2, false},  {"form-choose", 3, 3, false},
    {"clipboard", 2, 2, false},   {"show-clipboard", 0, 0, false},
    {"quit", 0, 0, false},        {"help", 0, 0, true},
    {"list", 0, 0, true},
};

void CheckRegistry(const Command& command) {
  const auto& a = command.args;
  const auto& sub = a[0];
  if (sub == "set") {
    if (a.size() != 5) throw ParseError(command.line, "registry set needs KEY NAME sz|dword VALUE");
    if (a[3] == "dword") {
      if (!ScriptParser::ParseDword(a[4])) {
        throw ParseError(command.line, "not a 32-bit number: " + a[4]);
      }
    } else if (a[3] != "sz") {
      throw ParseError(command.line, "registry value type must be sz or dword, not " + a[3]);
    }
  } else if (sub == "delete") {
    if (a.size() < 2 || a.size() > 3)
      throw ParseError(command.line, "registry delete needs KEY [NAME]");
  } else if (sub == "show") {
    if (a.size() != 2) throw ParseError(command.line, "registry show needs KEY");
  } else {
    throw ParseError(command.line, "registry needs set, delete or show, not " + sub);
  }
}

void CheckCommand(const Command& command) {
  const auto& a = command.args;
  const auto& name = command.name;
  if (name == "registry") {
    CheckRegistry(command);
  } else if (name == "mail") {
    for (std::size_t i = 2; i < a.size(); ++i) {
      const auto& option = a[i];
      if (option == "sent" || option.rfind("subject=", 0) == 0 || option.rfind("body=", 0) == 0 ||
          option.rfind("attach=", 0) == 0) {
        continue;
      }
      throw ParseError(command.line, "unknown mail option: " + option);
    }
  } else if (name == "item") {
    if (a[2] != "contact" && a[2] != "appointment") {
      throw ParseError(command.line, "item type must be contact or appointment, not " + a[2]);
    }
  } else if (name == "choose") {
    if (!AllDigits(a[1]) || a[1].size() > 6 || std::stoi(a[1]) < 1) {
      throw ParseError(command.line, "not a list position: " + a[1]);
    }
  } else if (name == "answer") {
    for (const auto& word : a) {
      if (word != "Yes" && word != "No" && word != "OK") {
        throw ParseError(command.line, "an answer is Yes, No or OK, not " + word);
      }
    }
  } else if (name == "wait") {
    if (!ScriptParser::ParseDuration(a[0])) {
      throw ParseError(command.line, "not a duration (50ms, 3s, 45m): " + a[0]);
    }
  } else if (name == "clipboard") {
    if (a[0] != "text" && a[0] != "rtf") {
      throw ParseError(command.line, "clipboard needs text or rtf, not " + a[0]);
    }
  } else if (name == "click") {
    if (a[1].size() > 1 && a[1][0] == '#' && AllDigits(a[1].substr(1)) &&
        (a[1].size() > 7 || std::stoi(a[1].substr(1)) < 1)) {
      throw ParseError(command.line, "not a control position: " + a[1]);
    }
  }
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
                                               bool console) {
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
  const Arity* arity = nullptr;
  for (const auto& known : kCommands) {
    if (command.name == known.name && (console || !known.console)) arity = &known;
  }
  if (!arity) throw ParseError(number, "unknown command: " + command.name);
  const int count = static_cast<int>(command.args.size());
  if (count < arity->min || (arity->max >= 0 && count > arity->max)) {
    std::ostringstream message;
    message << command.name << " takes ";
    if (arity->max < 0) {
      message << "at least " << arity->min;
    } else if (arity->min == arity->max) {
      message << arity->min;
    } else {
      message << arity->min << " to " << arity->max;
    }
    message << " argument(s), not " << count;
    throw ParseError(number, message.str());
  }
  CheckCommand(command);
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
