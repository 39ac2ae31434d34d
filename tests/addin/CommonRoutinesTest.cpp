// The add-in's shared routines: the error prompt and the routine's handler,
// events bound and unbound while they fire, the clipboard kept across a face
// paste, and the trace. The trace's line format (the date, then the text) is
// AmpTest's start-up sequence's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/ErrorPrompt.h"
#include "common/FacePaste.h"
#include "common/Routine.h"
#include "common/ShortPath.h"
#include "common/Trace.h"
#include "common/WithEvents.h"
#include "hostmodel/Event.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScratchFolder.h"

namespace sonvera {
namespace {

using platform::Answer;

struct Recorder : ShutdownTarget {
  int calls = 0;
  void CleanShutdown() override { ++calls; }
};

class ErrorPromptTest : public ::testing::Test {
 protected:
  testsupport::FakePlatform fake;
  Recorder caller;
};

TEST_F(ErrorPromptTest, AskShutDownReturnsTheAnswerAndDoesNothingElse) {
  fake.boxes.Queue(Answer::No);
  EXPECT_EQ(ErrorPrompt("Boom", "Add Buttons\r\nCmdPlay\r\n", kModeAskShutDown, &caller),
            std::optional<bool>(false));
  fake.boxes.Queue(Answer::Yes);
  EXPECT_EQ(ErrorPrompt("Boom", "Src", kModeAskShutDown, &caller), std::optional<bool>(true));
  // Its text as printed is the explorer_missing_face scenario's.
  EXPECT_EQ(caller.calls, 0) << "the caller decides what a Yes means";
}

TEST_F(ErrorPromptTest, OtherModesShowOkBoxesOrNothing) {
  fake.boxes.Queue(Answer::Ok);
  EXPECT_FALSE(ErrorPrompt("Late", "", kModeDoWarning, &caller).has_value());
  EXPECT_EQ(fake.LastBoxText(), "\r\nLate") << "an empty source still starts the text";
  EXPECT_EQ(caller.calls, 0);

  fake.boxes.Queue(Answer::Ok);
  EXPECT_FALSE(ErrorPrompt("x", "y", kModeDoShutDown, &caller).has_value());
  EXPECT_EQ(caller.calls, 1) << "DoShutDown shuts the caller down";
}

// No answer queued: the box fails.
TEST_F(ErrorPromptTest, AFailingBoxNeverEscapes) {
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

std::int16_t kSave = 1, kRestore = 2;

platform::PicturePtr Face(const char* name) {
  auto p = std::make_shared<platform::Picture>();
  p->sourceFile = name;
  return p;
}

class PreserveClipboardTest : public ::testing::Test {
 protected:
  // A face paste between save and restore; the clipboard emptied before the
  // restore unless `leaveFace`.
  void FacePaste(bool leaveFace = false) {
    PreserveClipboard(kSave);
    clip.Clear();
    clip.SetPicture(Face("face.bmp"));
    if (!leaveFace) clip.Clear();
    PreserveClipboard(kRestore);
  }

  testsupport::FakePlatform fake;
  platform::Clipboard& clip = fake.clipboard;
};

TEST_F(PreserveClipboardTest, TextPicturesAndRichTextComeBackAfterAFacePaste) {
  clip.SetText("kept");
  FacePaste(true);
  EXPECT_EQ(clip.GetText(), "kept");

  clip.Clear();
  auto mine = Face("mine.bmp");
  clip.SetPicture(mine);
  clip.SetText("both");
  FacePaste();
  EXPECT_EQ(clip.GetPicture(), mine);
  EXPECT_EQ(clip.GetText(), "both");

  // Rich text comes back as its plain text.
  clip.Clear();
  clip.SetRichText("{\\rtf1 bold}", "bold");
  FacePaste();
  EXPECT_TRUE(clip.HasFormat(platform::kCfText));
  EXPECT_FALSE(clip.HasFormat(platform::kCfRtf));
  EXPECT_EQ(clip.GetText(), "bold");

  // Saved empty: the old text must not come back.
  clip.SetText("old");
  PreserveClipboard(kSave);
  clip.Clear();
  FacePaste();
  EXPECT_FALSE(clip.HasFormat(platform::kCfText));
}

namespace fs = std::filesystem;

TEST(TraceTest, WritesNothingUnlessADeveloperSwitchesItOn) {
  testsupport::ScratchFolder scratch;
  const fs::path before = fs::current_path();
  fs::current_path(scratch.Path());
  unsetenv("SONVERA_TRACE_FILE");
  TraceOpen("C:\\DEBUG.LOG", true);
  for (int i = 0; i < 100; ++i) Trace(" Amp OnStartupComplete");
  fs::current_path(before);
  EXPECT_TRUE(fs::is_empty(scratch.Path())) << "the default trace left a file behind";
}

using hostmodel::Event;
using hostmodel::Subscription;

struct Source {
  Event<int> Changed;
};

TEST(EventTest, ReleasingTheHolderUnbinds) {
  auto source = std::make_shared<Source>();
  int seen = 0;
  WithEvents<Source> held;
  held.Set(source, [&](Source& s, auto& subs) {
    subs.push_back(s.Changed.Subscribe([&](int v) { seen += v; }));
  });
  source->Changed.Fire(2);
  EXPECT_EQ(seen, 2);
  held.Reset();
  source->Changed.Fire(5);
  EXPECT_EQ(seen, 2) << "a released member must not hear events";
  EXPECT_EQ(source->Changed.Count(), 0u);
}

TEST(EventTest, HandlersMayUnsubscribeEachOtherWhileFiring) {
  Source source;
  std::vector<std::string> calls;
  Subscription second;
  Subscription first = source.Changed.Subscribe([&](int) {
    calls.push_back("first");
    second.Reset();
  });
  second = source.Changed.Subscribe([&](int) { calls.push_back("second"); });
  Subscription added;
  Subscription third = source.Changed.Subscribe([&](int) {
    calls.push_back("third");
    if (!added) added = source.Changed.Subscribe([&](int) { calls.push_back("added"); });
  });
  source.Changed.Fire(0);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "third"}));
  calls.clear();
  source.Changed.Fire(0);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "third", "added"}));
  // A subscription that outlives its event is released harmlessly (ASan).
  Subscription late;
  {
    Source gone;
    late = gone.Changed.Subscribe([](int) {});
  }
  late.Reset();
}

}  // namespace
}  // namespace sonvera
