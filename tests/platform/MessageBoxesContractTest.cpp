// The message boxes' contract: the scenario fake and the console's own boxes.
#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "host/console/ConsoleBoxes.h"
#include "platform/Error.h"
#include "platform/fake/FakeMessageBoxes.h"
#include "tests/support/ContractTest.h"

namespace {

using platform::Answer;
using platform::BoxRequest;
using platform::Buttons;

class TypedLines : public mailhost::LineSource {
 public:
  std::deque<std::string> lines;
  int prompts = 0;
  std::optional<std::string> WaitForLine() override {
    if (lines.empty()) return std::nullopt;
    std::string line = lines.front();
    lines.pop_front();
    return line;
  }
  void Prompt(const std::string&) override { ++prompts; }
};

struct ConsoleBackend {
  static constexpr const char* kName = "Console";
  std::ostringstream printed;
  mailhost::LineWriter writer{printed};
  TypedLines input;  // none: the person has gone (end of input)
  mailhost::ConsoleBoxes boxes{writer, input};
  void Queue(Answer answer) { boxes.Queue(answer); }
};

struct FakeBackend {
  static constexpr const char* kName = "Fake";
  platform::FakeMessageBoxes boxes;
  void Queue(Answer answer) { boxes.Queue(answer); }
};

template <typename Backend>
class MessageBoxesContract : public ::testing::Test {
 protected:
  Backend backend;
  Answer Show(Buttons buttons) {
    return backend.boxes.Show(BoxRequest{"Text\r\nmore", "Title", buttons});
  }
};
SONVERA_CONTRACT_SUITE(MessageBoxesContract, ConsoleBackend, FakeBackend);

TYPED_TEST(MessageBoxesContract, AnswerThatDoesNotFitTheButtonsIsRefusedAndUsedUp) {
  // Taking OK for Yes or No would hide a mistake in whatever queued it.
  this->backend.Queue(Answer::Ok);
  this->backend.Queue(Answer::No);
  this->backend.Queue(Answer::Yes);
  EXPECT_THROW(this->Show(Buttons::YesNo), platform::Error);
  EXPECT_THROW(this->Show(Buttons::Ok), platform::Error);
  EXPECT_EQ(this->Show(Buttons::YesNo), Answer::Yes);
}

TYPED_TEST(MessageBoxesContract, BoxNobodyCanAnswerThrows) {
  EXPECT_THROW(this->Show(Buttons::Ok), platform::Error);
  EXPECT_THROW(this->Show(Buttons::YesNo), platform::Error);
}

TEST(ConsoleBoxes, TypedAnswerIsAskedForAgainUntilItFitsTheButtons) {
  ConsoleBackend console;
  console.input.lines = {"maybe", "ok", " Y \r", ""};
  EXPECT_EQ(console.boxes.Show({"Go on?", std::nullopt, Buttons::YesNo}), Answer::Yes);
  EXPECT_EQ(console.input.prompts, 3);
  EXPECT_EQ(console.boxes.Show({"Done.", std::nullopt, Buttons::Ok}), Answer::Ok)
      << "Enter alone is OK";
  EXPECT_EQ(mailhost::ConsoleBoxes::Understand("NO", Buttons::YesNo), Answer::No);
  EXPECT_EQ(mailhost::ConsoleBoxes::Understand("yes", Buttons::Ok), std::nullopt);
}

}  // namespace
