#pragma once
// Boxes answered from a queue. A box shown with no answer queued is recorded
// as unanswered and fails with platform::Error; since the add-in may swallow
// that error, a runner checks Unanswered() after each step.
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "platform/MessageBoxes.h"

namespace platform {

struct ShownBox {
  BoxRequest request;
  Answer answer;
  bool answered;
};

class FakeMessageBoxes : public MessageBoxes {
 public:
  Answer Show(const BoxRequest& request) override;

  void Queue(Answer answer) { m_answers.push_back(answer); }
  std::size_t Queued() const { return m_answers.size(); }
  void ClearQueue() { m_answers.clear(); }

  const std::vector<ShownBox>& Shown() const { return m_shown; }
  void ClearShown() { m_shown.clear(); }
  // Boxes shown with no answer queued since the last Take.
  int TakeUnanswered() { return std::exchange(m_unanswered, 0); }

  // Called for each box as it is answered (or found unanswered).
  std::function<void(const ShownBox&)> onShown;

 private:
  std::deque<Answer> m_answers;
  std::vector<ShownBox> m_shown;
  int m_unanswered = 0;
};

// "OK", "Yes", "No".
const char* AnswerName(Answer answer);

}  // namespace platform
