#pragma once
// The host's commands, in one table that the scenario parser (names, word
// counts, checks), the dispatcher (what runs), `help` and the web page read.
#include <string_view>
#include <vector>

#include "host/commands/ScriptParser.h"

namespace mailhost {

class CommandDispatcher;

struct CommandSpec {
  const char* name;
  int minArgs;
  int maxArgs;        // -1: any number
  bool consoleOnly;   // typed by a person, not part of the scenario language
  const char* usage;  // the words after the name, for help
  const char* help;
  // Checks the words before anything runs; throws ParseError. May be null.
  void (*check)(const Command& command);
  void (CommandDispatcher::*run)(const Command& command);
};

const std::vector<CommandSpec>& Commands();
// Null for an unknown name.
const CommandSpec* FindCommand(std::string_view name);
// One line a command, for `help`.
std::string HelpText();

}  // namespace mailhost
