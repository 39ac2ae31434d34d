#pragma once
// The host's commands, in one table that the scenario parser (names, word
// counts, checks, where a command may run), the dispatcher (what runs),
// `help` and the web page read.
#include <string_view>
#include <vector>

#include "host/commands/ScriptParser.h"

namespace mailhost {

class CommandDispatcher;

// Where a command may run, as a set of Place bits. The page reaches what a
// mail user reaches; what sets up a test (the registry, mail put in from a
// server path, answers queued ahead, time) stays in scenarios and at the
// console, the person's own terminal.
constexpr unsigned kScenario = static_cast<unsigned>(Place::Scenario);
constexpr unsigned kConsole = static_cast<unsigned>(Place::Console);
constexpr unsigned kPage = static_cast<unsigned>(Place::Page);
constexpr unsigned kEverywhere = kScenario | kConsole | kPage;
constexpr unsigned kTestOnly = kScenario | kConsole;
constexpr unsigned kPerson = kConsole | kPage;

struct CommandSpec {
  const char* name;
  int minArgs;
  int maxArgs;        // -1: any number
  unsigned places;    // where it may run: Place bits
  const char* usage;  // the words after the name, for help
  const char* help;
  // Checks the words before anything runs; throws ParseError. May be null.
  void (*check)(const Command& command);
  void (CommandDispatcher::*run)(const Command& command);
};

const std::vector<CommandSpec>& Commands();
// Null for an unknown name.
const CommandSpec* FindCommand(std::string_view name);
bool RunsAt(const CommandSpec& spec, Place place);
// "registry runs in scenarios (mailhost --script) and at mailhost's console,
// not on the page."
std::string NotHere(const CommandSpec& spec, Place place);
// One line a command that may run at `place`, for `help`.
std::string HelpText(Place place);

}  // namespace mailhost
