// The host's object model: windows, attachments, sending, and the bars of
// a window with their controls.
#include <gtest/gtest.h>

#include "host/model/Application.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/Inspector.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "host/store/MemoryMailStore.h"
#include "tests/host/BarControls.h"
#include "tests/support/ErrorText.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredMail.h"

namespace mailhost {
namespace {

using hostmodel::Ref;
using testsupport::ErrorOf;

class MailHostTest : public ::testing::Test {
 protected:
  testsupport::FakePlatform fake;
  testsupport::ScratchFolder scratch;
  MemoryMailStore store;
  MailHost host{store};
  std::vector<std::string> events;
};

// The events of windows and the selection as an add-in sees them are the
// probe_events scenario's; these are the rules of opening windows.
TEST_F(MailHostTest, AWindowOpensOnceAtAPlaceOfItsOwnAndANewMailWaitsInDrafts) {
  store.Add("Inbox", testsupport::StoredMail("m1", "Hi"));
  auto first = host.NewMail("w1");
  auto second = host.Open("m1", "w2");
  EXPECT_NE(first->Left(), second->Left()) << "windows must not sit on each other";
  EXPECT_EQ(second->CurrentItem(), host.FindItem("m1"));
  EXPECT_EQ(store.Items("Drafts").size(), 1u) << "a new mail waits in Drafts";
  host.Close("w2");
  EXPECT_THROW(host.NewMail("w1"), platform::Error) << "w1 is open already";
  EXPECT_THROW(host.Activate("w2"), platform::Error) << "w2 was closed";
  host.Open("m1", "w3");
  EXPECT_THROW(host.Open("m1", "w4"), platform::Error) << "an item opens in one window at a time";
  EXPECT_THROW(host.AddItem("Sent", testsupport::StoredMail("m1", "Hi")), platform::Error)
      << "the host refuses a known id";
}

TEST_F(MailHostTest, AttachmentsAreCopiesKeptInOrderAndAnnounced) {
  scratch.Write("voice.mp3", std::string(300, 'x'));
  scratch.Write("notes.txt", "notes");
  auto window = host.NewMail("w1");
  auto mail = std::dynamic_pointer_cast<hostmodel::MailItem>(window->CurrentItem());
  ASSERT_TRUE(mail);
  auto sub = mail->AttachmentAdd.Subscribe([&](Ref<hostmodel::Attachment> added) {
    events.push_back(added->FileName() + "@" + std::to_string(added->Index()));
  });

  host.Attach("w1", scratch.File("notes.txt"));               // by the user
  mail->GetAttachments()->Add(scratch.File("voice.mp3"), 1);  // by an add-in, in front
  mail->GetAttachments()->Add(scratch.File("notes.txt"), 7);  // past the end: appended
  EXPECT_EQ(events, (std::vector<std::string>{"notes.txt@1", "voice.mp3@1", "notes.txt@3"}));
  auto attachments = mail->GetAttachments();
  auto second = attachments->GetItem(2);

  // The attachment is a copy: changing the file later changes nothing.
  scratch.Write("voice.mp3", "changed");
  scratch.Write("existing.mp3", std::string(1000, 'y'));
  attachments->GetItem(1)->SaveAsFile(scratch.File("existing.mp3"));
  EXPECT_EQ(testsupport::ScratchFolder::Read(scratch.File("existing.mp3")), std::string(300, 'x'))
      << "SaveAsFile must replace the file";
  EXPECT_THROW(attachments->GetItem(1)->SaveAsFile(scratch.File("no/such/folder.mp3")),
               platform::Error);

  attachments->Remove(1);
  EXPECT_EQ(second->Index(), 1) << "indexes follow removals";
  EXPECT_EQ(attachments->Count(), 2);
  EXPECT_THROW(attachments->Add(scratch.File("missing.wav"), 1), platform::Error);

  // Every change reaches the store at once.
  const auto drafts = store.Items("Drafts");
  ASSERT_EQ(drafts.size(), 1u);
  ASSERT_EQ(drafts[0].attachments.size(), 2u);
  EXPECT_EQ(drafts[0].attachments[0].fileName, "notes.txt");
}

TEST_F(MailHostTest, SendingCanBeCancelledOtherwiseTheMailIsSentAndTheWindowCloses) {
  auto window = host.NewMail("w1");
  auto mail = std::dynamic_pointer_cast<hostmodel::MailItem>(window->CurrentItem());
  mail->SetBody("Hello");
  bool cancelNext = true;
  auto onSend = mail->Send.Subscribe([&](bool& cancel) {
    events.push_back("send:" + mail->Body());
    cancel = cancelNext;
  });
  auto onClose = window->Close.Subscribe([&] { events.push_back("close"); });

  EXPECT_EQ(host.Send("w1"), MailHost::SendResult::Cancelled);
  EXPECT_TRUE(host.Window("w1")) << "a cancelled send keeps the window open";
  EXPECT_TRUE(store.Items("Sent").empty());

  cancelNext = false;
  mail->SetBody("Hello again");
  EXPECT_EQ(host.Send("w1"), MailHost::SendResult::Sent);
  EXPECT_FALSE(host.Window("w1"));
  EXPECT_EQ(events, (std::vector<std::string>{"send:Hello", "send:Hello again", "close"}));
  EXPECT_TRUE(store.Items("Drafts").empty());
  ASSERT_EQ(store.Items("Sent").size(), 1u);
  EXPECT_EQ(store.Items("Sent")[0].body, "Hello again");

  // A quit from an add-in only asks the driver.
  int hooked = 0;
  host.SetQuitHook([&] { ++hooked; });
  host.App()->GetApplication()->Quit();
  EXPECT_TRUE(host.QuitRequested());
  EXPECT_EQ(hooked, 1);

  host.Open("w1", "w2");
  EXPECT_THROW(host.Send("w2"), platform::Error) << "a sent mail cannot be sent again";
}

TEST_F(MailHostTest, BarsKeptFromAnEarlierStartComeBackInTheirKindOfWindow) {
  host.MainExplorer()->Bars()->Add("Kept", hostmodel::kMsoBarTop, false, false);
  host.NewMail("w1")->Bars()->Add("Mine", hostmodel::kMsoBarTop, false, false);
  host.MainExplorer()->Bars()->Add("Gone", hostmodel::kMsoBarTop, false, true);

  MailHost next(store);
  auto explorerBars = next.MainExplorer()->Bars();
  ASSERT_EQ(explorerBars->Count(), 1);
  EXPECT_EQ(explorerBars->GetItem(1)->Name(), "Kept");
  EXPECT_FALSE(explorerBars->GetItem(1)->Visible());
  auto windowBars = next.NewMail("w1")->Bars();
  ASSERT_EQ(windowBars->Count(), 1);
  EXPECT_EQ(windowBars->GetItem(1)->Name(), "Mine");
}

TEST(CommandBarsTest, BarsAreFoundByNameAndEnumeratedFromOne) {
  auto bars = std::make_shared<CommandBars>(ScreenPoint{0, 0}, nullptr);
  auto standard = bars->Add("Standard", hostmodel::kMsoBarTop, false, true);
  auto mine = bars->Add("Sonvera", hostmodel::kMsoBarTop, false, true);
  EXPECT_FALSE(mine->Visible()) << "a new bar must start hidden";
  EXPECT_EQ(bars->GetItem(1), standard);
  EXPECT_EQ(bars->Find("sonvera"), mine);
  EXPECT_EQ(ErrorOf([&] { bars->GetItem(3); }), "Array index out of bounds.");
  EXPECT_EQ(ErrorOf([&] { bars->Find("Other"); }), "Invalid procedure call or argument.");
  EXPECT_THROW(bars->Add("SONVERA", hostmodel::kMsoBarTop, false, true), platform::Error)
      << "two bars of one window may not share a name";
  EXPECT_EQ(bars->Count(), 2);
}

TEST(CommandBarsTest, ControlsAreLaidOutInScreenPixels) {
  auto bars = std::make_shared<CommandBars>(ScreenPoint{100, 200}, nullptr);
  auto first = bars->Add("First", hostmodel::kMsoBarTop, false, true);
  auto second = bars->Add("Second", hostmodel::kMsoBarTop, false, true);
  auto a = AddButton(second, "A", 70);
  auto b = AddButton(second, "B", 20);
  auto list = AddList(second);
  auto c = AddButton(second, "C", 30);

  const int left = 100 + kBarInsetLeft;
  const int row0 = 200 + kBarsOffsetTop;
  EXPECT_EQ(a->Top(), row0) << "a hidden bar above takes no row";
  EXPECT_EQ(c->Left(), left + 90 + kDropdownWidth);

  b->SetVisible(false);
  list->SetVisible(false);
  EXPECT_EQ(c->Left(), left + 70) << "hidden controls take no room";
  first->SetVisible(true);
  EXPECT_EQ(c->Top(), row0 + kBarRowHeight) << "a visible bar above pushes this one down";

  // Inserting before a control moves it right; out-of-range positions fail.
  auto front = second->Controls()->Add(hostmodel::kMsoControlButton, 0, "", 1, true);
  front->SetWidth(10);
  EXPECT_EQ(second->Controls()->GetItem(1), front);
  EXPECT_EQ(a->Left(), left + 10);
  EXPECT_THROW(second->Controls()->Add(hostmodel::kMsoControlButton, 0, "", 9, true),
               platform::Error);

  // A control whose window has gone cannot say where it is.
  bars.reset();
  first.reset();
  EXPECT_EQ(ErrorOf([&] { a->Left(); }), "The object invoked has disconnected from its clients.")
      << "the bar itself is still held";
  second.reset();
  EXPECT_THROW(a->Top(), platform::Error);
}

TEST(CommandBarsTest, ButtonsTakeTheirFaceFromTheClipboardAndReportClicks) {
  testsupport::FakePlatform fake;
  auto bars = std::make_shared<CommandBars>(ScreenPoint{0, 0}, nullptr);
  auto bar = bars->Add("Bar", hostmodel::kMsoBarTop, false, true);
  auto button = std::static_pointer_cast<CommandBarButton>(AddButton(bar, "Play"));
  EXPECT_EQ(button->Width(), kButtonIconWidth + 4 * kCaptionCharWidth);
  button->SetStyle(hostmodel::kMsoButtonIcon);
  EXPECT_EQ(button->Width(), kButtonIconWidth);

  fake.clipboard.SetText("text only");
  EXPECT_THROW(button->PasteFace(), platform::Error) << "no picture on the clipboard";
  auto picture = Face("/addin/PlayButton.bmp");
  fake.clipboard.SetPicture(picture);
  button->PasteFace();
  EXPECT_EQ(button->Face(), picture);
  EXPECT_EQ(fake.clipboard.GetText(), "text only") << "pasting a face leaves the clipboard alone";

  std::vector<std::string> seen;
  auto first = button->Click.Subscribe([&](Ref<hostmodel::CommandBarButton> control, bool& cancel) {
    seen.push_back("first:" + control->Caption());
    cancel = true;
  });
  auto second = button->Click.Subscribe([&](Ref<hostmodel::CommandBarButton>, bool& cancel) {
    seen.push_back(cancel ? "second saw cancel" : "second");
    throw platform::Error("handler failure");
  });
  button->Press();  // a failing handler must not reach the host
  EXPECT_EQ(seen, (std::vector<std::string>{"first:Play", "second saw cancel"}));
  first.Reset();
  second.Reset();
  seen.clear();
  button->Press();
  EXPECT_TRUE(seen.empty()) << "a released subscription still received the click";
}

TEST(CommandBarsTest, DropDownListsCountFromOne) {
  auto bars = std::make_shared<CommandBars>(ScreenPoint{0, 0}, nullptr);
  auto list = AddList(bars->Add("Bar", hostmodel::kMsoBarTop, false, true));
  list->AddItem("a.mp3");
  list->AddItem("b.mp3");
  EXPECT_EQ(list->List(2), "b.mp3");
  EXPECT_THROW(list->List(0), platform::Error);
  list->SetListIndex(2);
  EXPECT_THROW(list->SetListIndex(3), platform::Error);
  list->Clear();
  EXPECT_EQ(list->ListIndex(), 0) << "clearing the list leaves nothing chosen";
}

}  // namespace
}  // namespace mailhost
