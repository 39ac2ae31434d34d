#pragma once
// Message boxes for the person at the console: the box is printed as in a
// scenario and the answer is read from the input, re-asked until it fits.
// Answers queued with `answer` are used first. While waiting, the event loop
// keeps running, as under a modal box.
#include <deque>
#include <optional>
#include <string>

#include "host/commands/LineWriter.h"
#include "platform/MessageBoxes.h"

namespace mailhost {

class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next input line, running the event loop meanwhile; none at the end of input.
  virtual std::optional<std::string> WaitForLine() = 0;
  // Shows a prompt to the person; nothing when no person is there.
  virtual void Prompt(const std::string& text) = 0;
};

class ConsoleBoxes : public platform::MessageBoxes {
 public:
  ConsoleBoxes(LineWriter& out, LineSource& input) : m_out(out), m_input(input) {}

  platform::Answer Show(const platform::BoxRequest& request) override;
  void Queue(platform::Answer answer) { m_queued.push_back(answer); }

  // The answer a typed word stands for, if it fits the buttons.
  static std::optional<platform::Answer> Understand(const std::string& word,
                                                    platform::Buttons buttons);

 private:
  LineWriter& m_out;
  LineSource& m_input;
  std::deque<platform::Answer> m_queued;
};

}  // namespace mailhost
