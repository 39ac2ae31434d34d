#include <gtest/gtest.h>

#include "host/commands/CommandTable.h"
#include "host/commands/ScriptParser.h"

namespace mailhost {
namespace {

using Words = std::vector<std::string>;

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
  try {
    ScriptParser::ParseScript("start\n\nclipboard text \"unclosed\n");
    FAIL() << "an unclosed quote parsed";
  } catch (const ParseError& e) {
    EXPECT_EQ(e.Line(), 3);
  }
  EXPECT_TRUE(ScriptParser::ParseLine("help", 1, Place::Console).has_value());
}

// The page reaches what a mail user reaches; what sets up a test stays in
// scenarios and at the person's own terminal, and the refusal says so.
TEST(ScriptParserTest, EachCommandRunsWhereTheTableSays) {
  for (const char* line :
       {"registry show Software", "mail Inbox m1 attach=/etc/passwd", "item Contacts c1 contact",
        "bar w1 Other", "answer Yes", "wait 999999999m", "mic a.wav", "clipboard text x",
        "file-remove R.wav", "file-readonly", "start", "attach w1 /etc/passwd"}) {
    try {
      ScriptParser::ParseLine(line, 1, Place::Page);
      ADD_FAILURE() << "the page ran: " << line;
    } catch (const ParseError& e) {
      const std::string name = ScriptParser::SplitWords(line)[0];
      EXPECT_EQ(std::string(e.what()), name +
                                           " runs in scenarios (mailhost --script) and at "
                                           "mailhost's console, not on the page.");
    }
    EXPECT_NO_THROW(ScriptParser::ParseLine(line, 1, Place::Console)) << line;
  }
  // What the page's own controls send is tests/web's; these it offers too.
  for (const char* line :
       {"show w1", "show-mail w1", "show-forms", "show-clipboard", "list", "help", "quit"}) {
    EXPECT_NO_THROW(ScriptParser::ParseLine(line, 1, Place::Page)) << line;
  }
  try {
    ScriptParser::ParseLine("list", 4);
    ADD_FAILURE() << "a scenario ran list";
  } catch (const ParseError& e) {
    EXPECT_EQ(e.Line(), 4);
    EXPECT_STREQ(e.what(),
                 "list runs at mailhost's console and on the page, not in scenarios (mailhost "
                 "--script).");
  }
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

}  // namespace
}  // namespace mailhost
