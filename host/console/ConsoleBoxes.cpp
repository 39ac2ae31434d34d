#include "host/console/ConsoleBoxes.h"

#include <algorithm>
#include <cctype>

#include "host/commands/Printer.h"
#include "platform/Error.h"

namespace mailhost {
namespace {

constexpr const char* kAskOk = "Press Enter (OK): ";
constexpr const char* kAskYesNo = "Yes or No? ";
constexpr const char* kNotAnswered = "The message box was not answered.";
constexpr const char* kDoesNotFit = "The queued answer does not fit the message box's buttons.";

std::string Lower(std::string text) {
  text.erase(0, text.find_first_not_of(" \t"));
  text.erase(text.find_last_not_of(" \t\r") + 1);
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::optional<platform::Answer> ConsoleBoxes::Understand(const std::string& word,
                                                         platform::Buttons buttons) {
  const auto answer = Lower(word);
  if (buttons == platform::Buttons::Ok) {
    if (answer.empty() || answer == "ok" || answer == "o") return platform::Answer::Ok;
    return std::nullopt;
  }
  if (answer == "yes" || answer == "y") return platform::Answer::Yes;
  if (answer == "no" || answer == "n") return platform::Answer::No;
  return std::nullopt;
}

platform::Answer ConsoleBoxes::Show(const platform::BoxRequest& request) {
  if (!m_queued.empty()) {
    const auto answer = m_queued.front();
    m_queued.pop_front();
    const bool fits =
        (request.buttons == platform::Buttons::Ok) == (answer == platform::Answer::Ok);
    for (const auto& line : FormatBox(request, fits ? AnswerName(answer) : "none"))
      m_out.Line(line);
    if (!fits) throw platform::Error(kDoesNotFit);
    return answer;
  }
  for (const auto& line : FormatBox(request, "?")) m_out.Line(line);
  const char* ask = request.buttons == platform::Buttons::Ok ? kAskOk : kAskYesNo;
  for (;;) {
    m_input.Prompt(ask);
    auto line = m_input.WaitForLine();
    if (!line) throw platform::Error(kNotAnswered);
    if (auto answer = Understand(*line, request.buttons)) return *answer;
  }
}

}  // namespace mailhost
