#include "platform/fake/FakeMessageBoxes.h"

#include "platform/Error.h"

namespace platform {

const char* AnswerName(Answer answer) {
  switch (answer) {
    case Answer::Ok:
      return "OK";
    case Answer::Yes:
      return "Yes";
    case Answer::No:
      return "No";
  }
  return "?";
}

Answer FakeMessageBoxes::Show(const BoxRequest& request) {
  if (m_answers.empty()) {
    ++m_unanswered;
    ShownBox box{request, Answer::Ok, false};
    m_shown.push_back(box);
    if (onShown) onShown(box);
    throw Error("No answer was queued for the message box.");
  }
  Answer answer = m_answers.front();
  m_answers.pop_front();
  // A queued OK answers a Yes/No box as the default button would not: refuse
  // it, since it hides a mistake in the scenario.
  bool fits = request.buttons == Buttons::Ok ? answer == Answer::Ok : answer != Answer::Ok;
  if (!fits) {
    ++m_unanswered;
    ShownBox box{request, answer, false};
    m_shown.push_back(box);
    if (onShown) onShown(box);
    throw Error(std::string("The answer ") + AnswerName(answer) +
                " does not fit the box's buttons.");
  }
  ShownBox box{request, answer, true};
  m_shown.push_back(box);
  if (onShown) onShown(box);
  return answer;
}

}  // namespace platform
