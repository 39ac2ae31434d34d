#include "host/commands/CommandTable.h"

#include <initializer_list>
#include <string>
#include <string_view>

#include "host/commands/CommandDispatcher.h"

namespace mailhost {
namespace {

using D = CommandDispatcher;

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

void CheckMail(const Command& command) {
  const auto& a = command.args;
  for (std::size_t i = 2; i < a.size(); ++i) {
    const auto& option = a[i];
    if (option == "sent" || option.rfind("subject=", 0) == 0 || option.rfind("body=", 0) == 0 ||
        option.rfind("attach=", 0) == 0) {
      continue;
    }
    throw ParseError(command.line, "unknown mail option: " + option);
  }
}

// `word` is one of `words`, or the parse error is `refusal` followed by it.
void CheckWord(const Command& command, const std::string& word,
               std::initializer_list<std::string_view> words, const char* refusal) {
  for (const auto allowed : words)
    if (word == allowed) return;
  throw ParseError(command.line, refusal + word);
}

void CheckItem(const Command& command) {
  CheckWord(command, command.args[2], {"contact", "appointment"},
            "item type must be contact or appointment, not ");
}

void CheckChoose(const Command& command) {
  const auto& position = command.args[1];
  if (!ScriptParser::AllDigits(position) || position.size() > 6 || std::stoi(position) < 1) {
    throw ParseError(command.line, "not a list position: " + position);
  }
}

void CheckAnswer(const Command& command) {
  for (const auto& word : command.args)
    CheckWord(command, word, {"Yes", "No", "OK"}, "an answer is Yes, No or OK, not ");
}

void CheckWait(const Command& command) {
  if (!ScriptParser::ParseDuration(command.args[0])) {
    throw ParseError(command.line, "not a duration (50ms, 3s, 45m): " + command.args[0]);
  }
}

void CheckClipboard(const Command& command) {
  CheckWord(command, command.args[0], {"text", "rtf"}, "clipboard needs text or rtf, not ");
}

void CheckClick(const Command& command) {
  const auto& control = command.args[1];
  if (control.size() > 1 && control[0] == '#' && ScriptParser::AllDigits(control.substr(1)) &&
      (control.size() > 7 || std::stoi(control.substr(1)) < 1)) {
    throw ParseError(command.line, "not a control position: " + control);
  }
}

const std::vector<CommandSpec> kCommands = {
    {"start", 0, 0, kTestOnly, "", "load the registered add-ins", nullptr, &D::Start},
    {"folder", 1, 1, kEverywhere, "NAME",
     "show a folder: Inbox, Sent, Drafts, one show-folders lists", nullptr, &D::ShowFolder},
    {"show-folders", 0, 0, kEverywhere, "", "print the folders, a nested one as PARENT/CHILD",
     nullptr, &D::ShowFolders},
    {"select", 0, -1, kEverywhere, "ID...", "select items of the folder shown", nullptr,
     &D::Select},
    {"new", 1, 1, kEverywhere, "WIN", "open a new mail window", nullptr, &D::NewMail},
    {"open", 2, 2, kEverywhere, "ID WIN", "open an item in a window", nullptr, &D::Open},
    {"activate", 1, 1, kEverywhere, "WIN", "activate a window", nullptr, &D::Activate},
    {"deactivate", 1, 1, kEverywhere, "WIN", "deactivate a window", nullptr, &D::Deactivate},
    {"close", 1, 1, kEverywhere, "WIN", "close a window", nullptr, &D::Close},
    {"click", 2, 2, kEverywhere, "WIN CAPTION|#N",
     "click a control of the add-in's bar (WIN or explorer)", &CheckClick, &D::Click},
    {"choose", 2, 2, kEverywhere, "WIN N", "choose an entry of the bar's list", &CheckChoose,
     &D::Choose},
    {"attach", 2, 2, kTestOnly, "WIN PATH", "attach a file to the window's mail", nullptr,
     &D::Attach},
    {"to", 2, 2, kEverywhere, "WIN ADDRESSES", "set whom the window's mail goes to", nullptr,
     &D::To},
    {"subject", 2, 2, kEverywhere, "WIN TEXT", "set the subject of the window's mail", nullptr,
     &D::Subject},
    {"body", 1, -1, kEverywhere, "WIN LINE...", "set the text of the window's mail, a word a line",
     nullptr, &D::Body},
    {"send", 1, 1, kEverywhere, "WIN", "send the window's mail", nullptr, &D::Send},
    {"show", 1, 1, kEverywhere, "WIN", "print the add-in's bar of a window", nullptr, &D::Show},
    {"show-mail", 1, 1, kEverywhere, "WIN|ID", "print a mail's attachments and body", nullptr,
     &D::ShowMail},
    {"mail", 2, -1, kTestOnly, "FOLDER ID [sent] [subject=T] [body=T] [attach=PATH]...",
     "put a mail into a folder", &CheckMail, &D::Mail},
    {"item", 3, 3, kTestOnly, "FOLDER ID contact|appointment", "put an item that is no mail",
     &CheckItem, &D::Item},
    {"bar", 2, 2, kTestOnly, "WIN NAME", "add a bar to a window", nullptr, &D::AddBar},
    {"answer", 1, -1, kTestOnly, "Yes|No|OK...", "answer the next message boxes", &CheckAnswer,
     &D::Answer},
    {"mic", 1, 1, kTestOnly, "FILE", "the microphone plays a WAV file", nullptr, &D::Microphone},
    {"wait", 1, 1, kTestOnly, "50ms|3s|45m", "let time pass", &CheckWait, &D::Wait},
    {"show-forms", 0, 0, kEverywhere, "", "print the add-in's open windows", nullptr,
     &D::ShowForms},
    {"form-click", 2, 2, kEverywhere, "FORM CONTROL", "click a control of an add-in window",
     nullptr, &D::FormClick},
    {"form-choose", 3, 3, kEverywhere, "FORM CONTROL TEXT", "choose in a list of an add-in window",
     nullptr, &D::FormChoose},
    {"clipboard", 2, 2, kTestOnly, "text|rtf TEXT", "put text on the clipboard", &CheckClipboard,
     &D::SetClipboard},
    {"show-clipboard", 0, 0, kEverywhere, "", "print what the clipboard holds", nullptr,
     &D::ShowClipboard},
    {"registry", 2, 5, kTestOnly, "set KEY NAME sz|dword VALUE | delete KEY [NAME] | show KEY",
     "change or print the registry", &CheckRegistry, &D::Registry},
    {"file-remove", 1, 1, kTestOnly, "NAME", "remove a file of the add-in folder (private copies)",
     nullptr, &D::RemoveFile},
    {"file-readonly", 0, 0, kTestOnly, "", "make the add-in folder read-only (private copies)",
     nullptr, &D::MakeAddinFolderReadOnly},
    {"list", 0, 0, kPerson, "", "the items of the folder shown", nullptr, &D::List},
    {"help", 0, 0, kPerson, "", "this list", nullptr, &D::Help},
    {"quit", 0, 0, kEverywhere, "", "end mailhost", nullptr, &D::Quit},
};

}  // namespace

const std::vector<CommandSpec>& Commands() {
  return kCommands;
}

const CommandSpec* FindCommand(std::string_view name) {
  for (const auto& spec : kCommands) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

bool RunsAt(const CommandSpec& spec, Place place) {
  return (spec.places & static_cast<unsigned>(place)) != 0;
}

std::string NotHere(const CommandSpec& spec, Place place) {
  static const std::pair<Place, const char*> kWhere[] = {
      {Place::Scenario, "in scenarios (mailhost --script)"},
      {Place::Console, "at mailhost's console"},
      {Place::Page, "on the page"}};
  std::string where;
  std::string notHere;
  for (const auto& [candidate, words] : kWhere) {
    if (candidate == place) {
      notHere = words;
    } else if (RunsAt(spec, candidate)) {
      where += (where.empty() ? "" : " and ") + std::string(words);
    }
  }
  return std::string(spec.name) + " runs " + where + ", not " + notHere + ".";
}

std::string HelpText(Place place) {
  std::string text = "Commands (one a line; words with blanks in double quotes):";
  for (const auto& spec : kCommands) {
    if (!RunsAt(spec, place)) continue;
    std::string words = std::string(spec.name) + (*spec.usage ? " " : "") + spec.usage;
    constexpr std::size_t kColumn = 40;
    // A long usage gets the explanation on a line of its own.
    words += words.size() < kColumn ? std::string(kColumn - words.size(), ' ')
                                    : "\n" + std::string(kColumn + 2, ' ');
    text += "\n  " + words + " " + spec.help;
  }
  return text;
}

}  // namespace mailhost
