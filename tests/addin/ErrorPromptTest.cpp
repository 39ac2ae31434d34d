#include <gtest/gtest.h>

#include "common/ErrorPrompt.h"
#include "common/Routine.h"
#include "common/ShortPath.h"
#include "tests/support/FakePlatform.h"

namespace sonvera {
namespace {

using platform::Answer;

struct Recorder : ShutdownTarget {
  int calls = 0;
  void CleanShutdown() override { ++calls; }
};

TEST(ErrorPromptTest, AskShutDownReturnsTheAnswerAndDoesNothingElse) {
  testsupport::FakePlatform fake;
  Recorder caller;
  fake.boxes.Queue(Answer::No);
  EXPECT_EQ(ErrorPrompt("Boom", "Add Buttons\r\nCmdPlay\r\n", kModeAskShutDown, &caller),
            std::optional<bool>(false));
  fake.boxes.Queue(Answer::Yes);
  EXPECT_EQ(ErrorPrompt("Boom", "Src", kModeAskShutDown, &caller), std::optional<bool>(true));
  // Its text as printed is the explorer_missing_face scenario's.
  EXPECT_EQ(caller.calls, 0) << "the caller decides what a Yes means";
}

TEST(ErrorPromptTest, OtherModesShowOkBoxesOrNothing) {
  testsupport::FakePlatform fake;
  Recorder caller;
  fake.boxes.Queue(Answer::Ok);
  EXPECT_FALSE(ErrorPrompt("Late", "", kModeDoWarning, &caller).has_value());
  EXPECT_EQ(fake.LastBoxText(), "\r\nLate") << "an empty source still starts the text";
  EXPECT_EQ(caller.calls, 0);

  fake.boxes.Queue(Answer::Ok);
  EXPECT_FALSE(ErrorPrompt("x", "y", kModeDoShutDown, &caller).has_value());
  EXPECT_EQ(caller.calls, 1) << "DoShutDown shuts the caller down";
}

TEST(ErrorPromptTest, AFailingBoxNeverEscapes) {
  testsupport::FakePlatform fake;  // no answer queued: the box fails
  EXPECT_FALSE(ErrorPrompt("x", "y", kModeAskShutDown, nullptr).value_or(false));
  EXPECT_EQ(fake.boxes.TakeUnanswered(), 1);
}

TEST(ShortPathOfTest, MissingPathTellsTheUserAndGivesEmpty) {
  testsupport::FakePlatform fake;
  fake.boxes.Queue(Answer::Ok);
  EXPECT_EQ(ShortPathOf("/no/such/file.wav"), "");
  EXPECT_EQ(fake.LastBoxText(), "Error \r\nCould not find path for /no/such/file.wav");
  EXPECT_FALSE(fake.boxes.Shown().back().request.title.has_value()) << "default title";
  EXPECT_EQ(ShortPathOf("/tmp"), "/tmp");
}

TEST(RoutineTest, HandlerChoosesBetweenNextStatementAndLeaving) {
  std::vector<std::string> seen;
  Routine r([&](Routine& routine, const std::string& description) {
    seen.push_back(routine.step + ":" + description);
    return seen.size() < 2 ? OnError::Continue : OnError::Leave;
  });
  int ran = 0;
  r.step = "one";
  r.Do([] { throw platform::Error("first"); });
  r.Do([&] { ++ran; });
  r.step = "two";
  r.Do([] { throw std::runtime_error("second"); });
  EXPECT_FALSE(r.Do([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"one:first", "two:second"}));
  std::shared_ptr<int> empty;
  EXPECT_THROW(Need(empty), platform::Error);
}

}  // namespace
}  // namespace sonvera
