// mailhost --script and the console run as programs, with the probe add-in,
// where a scenario file cannot say what is checked: exit statuses of lines
// that fail, the registration options, the temporary data folder, and the
// console's answers to boxes. What the host delivers and prints is the
// probe_* scenarios'.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/MailhostRun.h"
#include "tests/support/ScratchFolder.h"

namespace {

using testsupport::RunMailhost;

class ScriptRunTest : public ::testing::Test {
 protected:
  // Runs mailhost with the probe add-in on `script` written to the scratch folder.
  testsupport::MailhostRun Play(const std::string& script, const std::string& options = "",
                                const std::string& environment = "") {
    scratch.Write("test.scn", script);
    return RunMailhost(
        "--script " + scratch.File("test.scn") + " --addin " + MAILHOST_PROBE_ADDIN + " " + options,
        environment);
  }

  testsupport::ScratchFolder scratch;
};

TEST_F(ScriptRunTest, ALineThatCannotBeDoneFailsTheRunAndAnUnreadableScriptRunsNothing) {
  for (const char* line :
       {"click explorer Where", "new w1\nclose w1\nactivate w1", "select m1",
        "item Contacts c1 contact\nselect c1", "show-mail m1", "folder Archive", "start\nstart",
        "attach explorer x.txt", "registry show Software\\None"}) {
    EXPECT_EQ(Play(line).status, 1) << line;
  }
  // One that does not parse is the host_parse_error scenario.
  EXPECT_EQ(RunMailhost("--script " + scratch.File("missing.scn")).status, 2);
  EXPECT_EQ(RunMailhost("--script").status, 2) << "an option without its value";
}

// The data folder's private add-in copy and its registration are the
// host_registry and probe_library_gone scenarios'; a second run on it,
// FirstRunTest's restart.
TEST_F(ScriptRunTest, AnAddinNotRegisteredIsNotLoadedAndTheDataFolderGoesAtTheEnd) {
  auto run = Play("file-remove libmailhost_probe.so\nstart\n");
  EXPECT_TRUE(std::filesystem::exists(MAILHOST_PROBE_ADDIN)) << "the original must stay";
  run = Play("start\nshow explorer\n", "--no-register");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "bar explorer: none\n") << "an add-in that is not registered must not load";

  // Even a read-only add-in folder goes with the temporary data folder.
  const std::string tmp = scratch.File("tmp");
  std::filesystem::create_directories(tmp);
  run = Play("start\nfile-readonly\nquit\n", "", "TMPDIR=" + tmp);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "the data folder was left behind";
}

TEST_F(ScriptRunTest, TheConsoleReadsTheSameCommandsAndAsksThePersonForAnswers) {
  const std::string data = scratch.File("console");
  ASSERT_EQ(
      RunMailhost("--register " + std::string(MAILHOST_PROBE_ADDIN) + " --data " + data).status, 0);
  // The person's mail is the data folder's Maildir, as another program left it.
  std::filesystem::create_directories(data + "/Maildir/new");
  std::filesystem::create_directories(data + "/Maildir/.Contacts/cur");
  scratch.Write("console/Maildir/new/lunch",
                "From: Anna <anna@example.org>\nSubject: Lunch\n\nShall we meet on Friday?\n");
  // The line after a box is its answer, asked again until it fits; queued
  // answers come first; the end of input quits.
  scratch.Write("input.txt",
                "select lunch\nclick explorer Box\nmaybe\nno\nanswer Yes\nclick explorer Box\n"
                "show-mail lunch\nstart\nwait 1ms\nshow explorer\nfolder Contacts\nlist");
  const auto run = RunMailhost("--data " + data, "", scratch.File("input.txt"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, R"(probe connect mode=1
probe startup
probe selection Inbox type=0 count=1 first=43
probe click Box
box "Probe" YesNo+Question -> ?
| Go on?
| Second line
probe box-answer No
probe click Box
box "Probe" YesNo+Question -> Yes
| Go on?
| Second line
probe box-answer Yes
mail lunch: attachments() body="Shall we meet on Friday?\r\n"
bar explorer: [Box:-] [Quit:-] [Fail:-] list(one, two)
probe selection Contacts type=2 count=0
list Contacts: empty
probe shutdown
)");
  EXPECT_NE(run.err.find("started already"), std::string::npos) << run.err;
}

}  // namespace
