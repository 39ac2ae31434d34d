#include <gtest/gtest.h>

#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBars.h"
#include "tests/support/ErrorText.h"
#include "tests/support/FakePlatform.h"

namespace mailhost {
namespace {

using hostmodel::Ref;
using testsupport::ErrorOf;

Ref<hostmodel::CommandBarButton> AddButton(const Ref<hostmodel::CommandBar>& bar,
                                           const std::string& caption, int width) {
  auto control = bar->Controls()->Add(hostmodel::kMsoControlButton, 0, "", 0, true);
  auto button = std::dynamic_pointer_cast<hostmodel::CommandBarButton>(control);
  button->SetCaption(caption);
  if (width > 0) button->SetWidth(width);
  return button;
}

Ref<hostmodel::CommandBarComboBox> AddList(const Ref<hostmodel::CommandBar>& bar) {
  return std::dynamic_pointer_cast<hostmodel::CommandBarComboBox>(
      bar->Controls()->Add(hostmodel::kMsoControlDropdown, 0, "", 0, true));
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
  auto button = std::static_pointer_cast<CommandBarButton>(AddButton(bar, "Play", 0));
  EXPECT_EQ(button->Width(), kButtonIconWidth + 4 * kCaptionCharWidth);
  button->SetStyle(hostmodel::kMsoButtonIcon);
  EXPECT_EQ(button->Width(), kButtonIconWidth);

  fake.clipboard.SetText("text only");
  EXPECT_THROW(button->PasteFace(), platform::Error) << "no picture on the clipboard";
  auto picture = std::make_shared<platform::Picture>();
  picture->sourceFile = "/addin/PlayButton.bmp";
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
