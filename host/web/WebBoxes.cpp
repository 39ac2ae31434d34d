#include "host/web/WebBoxes.h"

#include "host/commands/Printer.h"
#include "platform/Error.h"

namespace mailhost {
namespace {

constexpr const char* kNotAnswered = "The message box was not answered.";
constexpr const char* kNoBox = "No message box is waiting for an answer.";
constexpr const char* kDoesNotFit = "The answer does not fit the message box's buttons.";

bool Fits(const platform::BoxRequest& request, platform::Answer answer) {
  return (request.buttons == platform::Buttons::Ok) == (answer == platform::Answer::Ok);
}

}  // namespace

platform::Answer WebBoxes::Show(const platform::BoxRequest& request) {
  if (!m_queued.empty()) {
    const auto answer = m_queued.front();
    m_queued.pop_front();
    const bool fits = Fits(request, answer);
    for (const auto& line : FormatBox(request, fits ? AnswerName(answer) : "none"))
      m_out.Line(line);
    if (!fits) throw platform::Error(kDoesNotFit);
    return answer;
  }
  if (m_abandoned) throw platform::Error(kNotAnswered);
  m_waiting.push_back({request, std::nullopt});
  Waiter& mine = m_waiting.back();
  m_changed();
  // Boxes nest: a timer may show another while this one waits. Only the
  // innermost is answered, and its loop is the innermost one.
  while (!mine.answer && !m_abandoned && !m_loop.Ending()) m_loop.Run();
  const auto answer = mine.answer;
  m_waiting.pop_back();
  if (m_abandoned && !m_waiting.empty()) m_loop.Quit();  // the next box out gives up too
  for (const auto& line : FormatBox(request, answer ? AnswerName(*answer) : "none"))
    m_out.Line(line);
  m_changed();
  if (!answer) throw platform::Error(kNotAnswered);
  return *answer;
}

void WebBoxes::Answer(platform::Answer answer) {
  if (m_waiting.empty()) throw platform::Error(kNoBox);
  auto& box = m_waiting.back();
  if (!Fits(box.request, answer)) throw platform::Error(kDoesNotFit);
  box.answer = answer;
  m_loop.Quit();
}

void WebBoxes::Abandon() {
  m_abandoned = true;
  if (!m_waiting.empty()) m_loop.Quit();
}

std::vector<platform::BoxRequest> WebBoxes::Waiting() const {
  std::vector<platform::BoxRequest> boxes;
  for (const auto& waiter : m_waiting) boxes.push_back(waiter.request);
  return boxes;
}

}  // namespace mailhost
