// The host's commands: how a line of a script, the console or the page is
// read, and how what a script shows is printed.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "host/commands/CommandTable.h"
#include "host/commands/LineWriter.h"
#include "host/commands/Printer.h"
#include "host/commands/ScriptParser.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBars.h"
#include "platform/common/MemoryClipboard.h"
#include "tests/host/BarControls.h"
#include "tests/support/FakePlatform.h"

namespace mailhost {
namespace {

using Words = std::vector<std::string>;

// "LINE: message" of the ParseError `parse` throws, or "parsed".
std::string RefusalOf(const std::function<void()>& parse) {
  try {
    parse();
  } catch (const ParseError& e) {
    return std::to_string(e.Line()) + ": " + e.what();
  }
  return "parsed";
}

TEST(ScriptParserTest, SplitsWordsWithQuotingRules) {
  EXPECT_EQ(ScriptParser::SplitWords("  click\t w1   Record  "), (Words{"click", "w1", "Record"}));
  // Inside quotes: blanks kept, four escapes understood, others left alone.
  EXPECT_EQ(ScriptParser::SplitWords(R"(clipboard text "a \"b\" \\ c\nd\re \t")"),
            (Words{"clipboard", "text", "a \"b\" \\ c\nd\re \\t"}));
  // Outside quotes a backslash is an ordinary character.
  EXPECT_EQ(ScriptParser::SplitWords(R"(registry show Software\Classes\n)"),
            (Words{"registry", "show", "Software\\Classes\\n"}));
  // Quoted parts join the word they touch; an empty pair is an empty word.
  EXPECT_EQ(ScriptParser::SplitWords(R"(mail Inbox m1 body="Hi there" subject="")"),
            (Words{"mail", "Inbox", "m1", "body=Hi there", "subject="}));
  EXPECT_THROW(ScriptParser::SplitWords(R"(clipboard text "open)"), ParseError);
  EXPECT_THROW(ScriptParser::SplitWords(R"(x "ends in escape\")"), ParseError);
}

TEST(ScriptParserTest, CommentsEndTheLineButControlPositionsDoNot) {
  EXPECT_TRUE(ScriptParser::SplitWords("# exit: 1").empty());
  EXPECT_EQ(ScriptParser::SplitWords("click w1 #2"), (Words{"click", "w1", "#2"}));
  EXPECT_EQ(ScriptParser::SplitWords("click w1 #2 # the second"), (Words{"click", "w1", "#2"}));
  EXPECT_EQ(ScriptParser::SplitWords("show w1 #note"), (Words{"show", "w1"}));
  EXPECT_EQ(ScriptParser::SplitWords(R"(clipboard text "#1 #x")"),
            (Words{"clipboard", "text", "#1 #x"}));
}

TEST(ScriptParserTest, ParsesAWholeScriptKeepingLineNumbers) {
  const auto commands =
      ScriptParser::ParseScript("# exit: 0\r\n\r\nstart\r\n  select m1 m2  # both\nselect\nquit");
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[0].line, 3);
  EXPECT_EQ(commands[1].args, (Words{"m1", "m2"}));
  EXPECT_EQ(commands[3].line, 6);
}

TEST(ScriptParserTest, RejectsMistakesBeforeAnythingRuns) {
  const std::vector<std::string> bad = {
      "strat",                                // unknown command
      "help",                                 // the console's, not a script's
      "start now",                            // too many words
      "open m1",                              // too few
      "answer Maybe",                         // not an answer
      "answer yes",                           // answers are spelt as the buttons
      "wait 3",                               // no unit
      "wait 3h",                              // unknown unit
      "wait -3s",                             // negative
      "choose explorer 0",                    // positions start at 1
      "click w1 #0",                          //
      "item Contacts c1 note",                // not a kind of item
      "mail Inbox m1 unread",                 // unknown option
      "registry set Software\\X A qword 1",   // unknown type
      "registry set Software\\X A dword 1x",  // not a number
      "registry set Software\\X A dword 4294967296",
      "registry set Software\\X A sz",  // no value
  };
  for (const auto& line : bad) {
    EXPECT_THROW(ScriptParser::ParseLine(line, 7), ParseError) << line;
  }
  EXPECT_EQ(RefusalOf([] {
              ScriptParser::ParseScript("start\n\nclipboard text \"unclosed\n");
            }).substr(0, 3),
            "3: ");
  EXPECT_TRUE(ScriptParser::ParseLine("help", 1, Place::Console).has_value());
}

// The page reaches what a mail user reaches; what sets up a test stays in
// scenarios and at the person's own terminal, and the refusal says so.
TEST(ScriptParserTest, EachCommandRunsWhereTheTableSays) {
  for (const char* line :
       {"registry show Software", "mail Inbox m1 attach=/etc/passwd", "item Contacts c1 contact",
        "bar w1 Other", "answer Yes", "wait 999999999m", "mic a.wav", "clipboard text x",
        "file-remove R.wav", "file-readonly", "start", "attach w1 /etc/passwd"}) {
    EXPECT_EQ(RefusalOf([&] { ScriptParser::ParseLine(line, 1, Place::Page); }),
              "1: " + ScriptParser::SplitWords(line)[0] +
                  " runs in scenarios (mailhost --script) and at mailhost's console, not on the "
                  "page.");
    EXPECT_NO_THROW(ScriptParser::ParseLine(line, 1, Place::Console)) << line;
  }
  // What the page's own controls send is tests/web's; these it offers too.
  for (const char* line :
       {"show w1", "show-mail w1", "show-forms", "show-clipboard", "list", "help", "quit"}) {
    EXPECT_NO_THROW(ScriptParser::ParseLine(line, 1, Place::Page)) << line;
  }
  EXPECT_EQ(RefusalOf([] { ScriptParser::ParseLine("list", 4); }),
            "4: list runs at mailhost's console and on the page, not in scenarios (mailhost "
            "--script).");
  EXPECT_EQ(ScriptParser::ParseLine("help", 1, Place::Page)->place, Place::Page)
      << "help lists what may run where it was asked";
  const auto page = HelpText(Place::Page);
  const auto console = HelpText(Place::Console);
  EXPECT_EQ(page.find("\n  registry "), std::string::npos) << page;
  EXPECT_NE(page.find("\n  send WIN"), std::string::npos) << page;
  EXPECT_NE(console.find("\n  registry "), std::string::npos) << console;
}

// Every scenario and script-run test parses its own lines first; these are
// the forms none of them uses.
TEST(ScriptParserTest, AcceptsTheFormsNoScriptUses) {
  for (const char* line : {"registry set Software\\X A dword 0xFFFFFFFF",
                           "mail Sent m1 sent subject=S body=B attach=a.txt attach=b.txt",
                           "item Calendar a1 appointment", "activate explorer", "deactivate w1",
                           "wait 45m", "clipboard rtf \"\""}) {
    EXPECT_NO_THROW(ScriptParser::ParseLine(line, 1)) << line;
  }
}

TEST(ScriptParserTest, ReadsDurationsAndNumbers) {
  EXPECT_EQ(ScriptParser::ParseDuration("50ms"), std::chrono::milliseconds(50));
  EXPECT_EQ(ScriptParser::ParseDuration("45m"), std::chrono::milliseconds(45 * 60 * 1000));
  EXPECT_FALSE(ScriptParser::ParseDuration("ms"));
  EXPECT_FALSE(ScriptParser::ParseDuration("1.5s"));

  EXPECT_EQ(ScriptParser::ParseDword("2"), 2u);
  EXPECT_EQ(ScriptParser::ParseDword("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ScriptParser::ParseDword("-2147483648"), 0x80000000u);
  EXPECT_FALSE(ScriptParser::ParseDword("-2147483649"));
  EXPECT_EQ(ScriptParser::ParseDword("0x10"), 16u);
  EXPECT_FALSE(ScriptParser::ParseDword(""));
  EXPECT_FALSE(ScriptParser::ParseDword("0x"));
}

// Quoting, faces named from file paths, `open` lines and the common box, bar,
// registry, clipboard and mail lines are printed by the scenarios and the
// script-run tests; what follows is what no script reaches.
TEST(PrinterTest, FaceNamesAndCommandLinesKeepWhatTheyAreGiven) {
  EXPECT_EQ(FaceName(Face("C:\\addin\\Sonvera.bmp")), "Sonvera");
  EXPECT_EQ(FaceName(Face("/x/noext")), "noext");
  EXPECT_EQ(FormatRun("/a/lame -s 11025  \"/b c\\d\" "), R"(run "/a/lame -s 11025  \"/b c\\d\" ")");
}

// A sender's mail reaches the person's terminal: escapes are shown, never
// obeyed, and a name's line break cannot forge a line of output.
TEST(PrinterTest, ControlCharactersAreShownNeverWritten) {
  std::ostringstream out;
  LineWriter writer(out);
  writer.HideFolder("/tmp/run1");
  writer.Line("mail w1: attachments(a\nquit\r.mp3 3) body=" +
              Quote("\x1b]0;title\a\x1b[2J\tend\x7f\r\n") + " /tmp/run1/x");
  EXPECT_EQ(out.str(),
            "mail w1: attachments(a\\x0aquit\\x0d.mp3 3) "
            "body=\"\\x1b]0;title\\x07\\x1b[2J\tend\\x7f\\r\\n\" $DATA/x\n");
}

TEST(PrinterTest, ABarListsItsVisibleControlsFromLeftToRight) {
  auto bars = std::make_shared<CommandBars>(ScreenPoint{0, 0}, nullptr);
  bars->Add("Other", hostmodel::kMsoBarTop, false, true)->SetVisible(true);
  auto bar = bars->Add("Sonvera", hostmodel::kMsoBarTop, false, true);
  bar->SetVisible(true);
  EXPECT_EQ(FormatBar("w2", *bars), "bar w2:") << "the newest bar is the add-in's";

  auto product = AddButton(bar, "Sonvera");
  AddButton(bar, "Pause")->SetVisible(false);
  AddButton(bar, "Record")->SetEnabled(false);
  auto list = AddList(bar);
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
  EXPECT_EQ(FormatBox({.text = "Startup Complete\r\nCommand Bar\r\n\r\nAnother\rLast\n",
                       .title = "Sonvera Outlook Addin Error"},
                      "OK"),
            (Words{"box \"Sonvera Outlook Addin Error\" OK -> OK", "| Startup Complete",
                   "| Command Bar", "|", "| Another", "| Last", "|"}));
  platform::BoxRequest box{.buttons = platform::Buttons::YesNo, .icon = platform::Icon::Question};
  EXPECT_EQ(FormatBox(box, "No"), (Words{"box default YesNo+Question -> No", "|"}));
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
            (Words{"clipboard text \"kept\"", "clipboard rtf \"rich\\nline\"",
                   "clipboard picture Sonvera"}));
}

}  // namespace
}  // namespace mailhost
