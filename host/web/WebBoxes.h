#pragma once
// Message boxes shown on the page. Show waits in a nested loop, as under a
// modal box, until the page answers; the server keeps serving meanwhile.
// Answers queued with `answer` are used first.
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "host/commands/LineWriter.h"
#include "platform/EventLoop.h"
#include "platform/MessageBoxes.h"

namespace mailhost {

class WebBoxes : public platform::MessageBoxes {
 public:
  WebBoxes(platform::EventLoop& loop, LineWriter& out, std::function<void()> changed)
      : m_loop(loop), m_out(out), m_changed(std::move(changed)) {}

  platform::Answer Show(const platform::BoxRequest& request) override;
  void Queue(platform::Answer answer) { m_queued.push_back(answer); }
  // The page's answer to the innermost box. Throws platform::Error when no
  // box waits or the answer is not one of its buttons.
  void Answer(platform::Answer answer);
  // The host ends: every waiting box gives up.
  void Abandon();

  std::vector<platform::BoxRequest> Waiting() const;

 private:
  struct Waiter {
    platform::BoxRequest request;
    std::optional<platform::Answer> answer;
  };
  platform::EventLoop& m_loop;
  LineWriter& m_out;
  std::function<void()> m_changed;
  std::deque<platform::Answer> m_queued;
  std::deque<Waiter> m_waiting;  // innermost last; a deque keeps references
  bool m_abandoned = false;
};

}  // namespace mailhost
