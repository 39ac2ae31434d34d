#include "platform/Processes.h"

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty word of its own
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string JoinCommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const auto& word : argv) {
    if (!line.empty()) line += ' ';
    const bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
    line += quote ? "\"" + word + "\"" : word;
  }
  return line;
}

}  // namespace platform
