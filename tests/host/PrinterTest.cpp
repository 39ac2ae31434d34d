#include <gtest/gtest.h>

#include "host/commands/Printer.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBars.h"
#include "platform/common/MemoryClipboard.h"
#include "tests/support/FakePlatform.h"

namespace mailhost {
namespace {

using Lines = std::vector<std::string>;

platform::PicturePtr Face(const std::string& file) {
  auto picture = std::make_shared<platform::Picture>();
  picture->sourceFile = file;
  return picture;
}

// Quoting, faces named from file paths, `open` lines and the common box, bar,
// registry, clipboard and mail lines are printed by the scenarios and the
// script-run tests; what follows is what no script reaches.
TEST(PrinterTest, FaceNamesAndCommandLinesKeepWhatTheyAreGiven) {
  EXPECT_EQ(FaceName(Face("C:\\addin\\Sonvera.bmp")), "Sonvera");
  EXPECT_EQ(FaceName(Face("/x/noext")), "noext");
  EXPECT_EQ(FormatRun("/a/lame -s 11025  \"/b c\\d\" "), R"(run "/a/lame -s 11025  \"/b c\\d\" ")");
}

TEST(PrinterTest, ABarListsItsVisibleControlsFromLeftToRight) {
  auto bars = std::make_shared<CommandBars>(ScreenPoint{0, 0}, nullptr);
  bars->Add("Other", hostmodel::kMsoBarTop, false, true)->SetVisible(true);
  auto bar = bars->Add("Sonvera", hostmodel::kMsoBarTop, false, true);
  bar->SetVisible(true);
  EXPECT_EQ(FormatBar("w2", *bars), "bar w2:") << "the newest bar is the add-in's";

  auto controls = bar->Controls();
  auto product = std::dynamic_pointer_cast<hostmodel::CommandBarButton>(
      controls->Add(hostmodel::kMsoControlButton, 0, "", 0, true));
  product->SetCaption("Sonvera");
  auto hidden = controls->Add(hostmodel::kMsoControlButton, 0, "", 0, true);
  hidden->SetCaption("Pause");
  hidden->SetVisible(false);
  auto record = controls->Add(hostmodel::kMsoControlButton, 0, "", 0, true);
  record->SetCaption("Record");
  record->SetEnabled(false);
  auto list = std::dynamic_pointer_cast<hostmodel::CommandBarComboBox>(
      controls->Add(hostmodel::kMsoControlDropdown, 0, "", 0, true));
  list->AddItem("a.mp3");
  list->AddItem("c.MP3");
  list->SetListIndex(1);

  testsupport::FakePlatform fake;
  fake.clipboard.SetPicture(Face("/addin/Sonvera.bmp"));
  product->PasteFace();

  EXPECT_EQ(FormatBar("explorer", *bars),
            "bar explorer: [Sonvera:Sonvera] [Record:-]! list(a.mp3*, c.MP3)");
  list->Clear();
  bar->SetEnabled(false);
  EXPECT_EQ(FormatBar("explorer", *bars), "bar explorer: [Sonvera:Sonvera]! [Record:-]! list()!");
}

TEST(PrinterTest, MessageBoxesPrintTitleButtonsAnswerAndOneLinePerLine) {
  platform::BoxRequest box;
  box.text = "Startup Complete\r\nCommand Bar\r\n\r\nAnother\rLast\n";
  box.title = "Sonvera Outlook Addin Error";
  EXPECT_EQ(FormatBox(box, "OK"),
            (Lines{"box \"Sonvera Outlook Addin Error\" OK -> OK", "| Startup Complete",
                   "| Command Bar", "|", "| Another", "| Last", "|"}));
  box.text = "";
  box.title.reset();
  box.buttons = platform::Buttons::YesNo;
  box.icon = platform::Icon::Question;
  EXPECT_EQ(FormatBox(box, "No"), (Lines{"box default YesNo+Question -> No", "|"}));
  box.title = "";
  EXPECT_EQ(FormatBox(box, "none")[0], "box default YesNo+Question -> none");
}

TEST(PrinterTest, RegistryValuesPrintByType) {
  const std::string key = "Software\\X";
  auto value = [](const std::string& name, std::uint32_t type, std::vector<std::uint8_t> data) {
    return platform::RegValue{name, type, std::move(data)};
  };
  EXPECT_EQ(FormatRegistryValue(key, value("", platform::kRegSz, {'a', 0, 'b', 0})),
            "registry Software\\X @=sz:a")
      << "a string ends at its first NUL";
  EXPECT_EQ(FormatRegistryValue(key, value("B", platform::kRegBinary, {0x0a, 0xff})),
            "registry Software\\X B=hex(3):0a,ff");
  EXPECT_EQ(FormatRegistryValue(key, value("D", platform::kRegDword, {1, 2})),
            "registry Software\\X D=hex(4):01,02")
      << "a short DWORD is shown as bytes";
}

TEST(PrinterTest, TheClipboardPrintsOneLinePerFormatInAFixedOrder) {
  platform::MemoryClipboard clipboard;
  clipboard.SetRichText("{\\rtf1 rich}", "rich\nline");
  clipboard.SetText("kept");
  clipboard.SetPicture(Face("/a/Sonvera.bmp"));
  EXPECT_EQ(FormatClipboard(clipboard),
            (Lines{"clipboard text \"kept\"", "clipboard rtf \"rich\\nline\"",
                   "clipboard picture Sonvera"}));
}

}  // namespace
}  // namespace mailhost
