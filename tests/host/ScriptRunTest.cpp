// mailhost --script run as a program, with the probe add-in: what the host
// delivers to an add-in and prints, and how a run ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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

TEST_F(ScriptRunTest, TheAddinSeesEveryEventOfTheHostInOrder) {
  scratch.Write("hello.txt", "hello");
  const auto run = Play(R"(mail Inbox m1 subject="Hi" body="Hello"
item Contacts c1 contact
start
show explorer
click explorer Where
click explorer #4
show explorer
select m1
folder Contacts
select c1
folder Inbox
new w1
activate w1
show w1
click w1 Where
click w1 Attach
attach w1 hello.txt
show-mail w1
choose explorer 2
show explorer
send w1
show-mail w1
)");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, R"(probe connect mode=1
probe startup
bar explorer: [Where:-] [Box:-] [Quit:-] [Face:-] [Fail:-] list(one, two)
probe click Where
probe where Where=5,60 Box=64,60 Quit=109,60 Face=161,60 Fail=213,60 list=265,60
probe face-pasted
bar explorer: [Where:-] [Box:-] [Quit:-] [Face:Probe] [Fail:-] list(one, two)
probe selection Inbox type=0 count=1 first=43
probe selection Contacts type=2 count=0
probe selection Contacts type=2 count=1 first=40
probe selection Inbox type=0 count=0
probe new-inspector class=43 at 64,80
probe activate
bar w1: [Attach:-] [Where:-]
probe click Where
probe where Attach=69,140 Where=135,140
probe click Attach
probe attachment-add note.txt at 1
probe attachment-add hello.txt at 2
mail w1: attachments(note.txt 11, hello.txt 5) body=""
bar explorer: [Where:-] [Box:-] [Quit:-] [Face:Probe] [Fail:-] list(one, two*)
probe send
probe close
mail w1: attachments(note.txt 11, hello.txt 5) body=""
probe shutdown
)");
}

// Boxes, timers, programs and the shell print as the scenarios show them;
// what they cannot show is a handler's failure, which the host only reports.
TEST_F(ScriptRunTest, AFailingClickHandlerIsReportedAndTheRunGoesOn) {
  const auto run = Play("start\nclick explorer Fail\nquit\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "probe connect mode=1\nprobe startup\nprobe click Fail\nprobe shutdown\n");
  EXPECT_NE(run.err.find("Click handler failed: probe failure"), std::string::npos) << run.err;
}

TEST_F(ScriptRunTest, AQuitEndsTheRunAfterTheCommandWithTheShutdownEvent) {
  auto run = Play("start\nclick explorer Quit\nshow explorer\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "probe connect mode=1\nprobe startup\nprobe click Quit\nprobe quit-asked\n"
            "probe shutdown\n");
  run = Play("start\nquit\nshow explorer\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "probe connect mode=1\nprobe startup\nprobe shutdown\n");
  run = Play("quit\nshow explorer\n");
  EXPECT_EQ(run.out, "") << "a host that never started has no add-in to tell";
}

TEST_F(ScriptRunTest, AFailingLineStopsTheRunWithItsNumberAndTheAddinIsShutDown) {
  // A box with no answer fails its line, though the add-in swallowed the error.
  auto run = Play("start\n\nclick explorer Box\nshow explorer\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("test.scn:3: click: a message box had no queued answer"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out,
            "probe connect mode=1\nprobe startup\nprobe click Box\n"
            "box \"Probe\" YesNo+Question -> none\n| Go on?\n| Second line\n"
            "probe box-failed No answer was queued for the message box.\nprobe shutdown\n");

  for (const char* line :
       {"click explorer Where", "new w1\nclose w1\nactivate w1", "select m1",
        "item Contacts c1 contact\nselect c1", "show-mail m1", "folder Archive", "start\nstart",
        "attach explorer x.txt", "registry show Software\\None"}) {
    EXPECT_EQ(Play(line).status, 1) << line;
  }
}

TEST_F(ScriptRunTest, AScriptThatCannotBeReadRunsNothing) {
  // One that does not parse is the host_parse_error scenario.
  EXPECT_EQ(RunMailhost("--script " + scratch.File("missing.scn")).status, 2);
  EXPECT_EQ(RunMailhost("--script").status, 2) << "an option without its value";
}

// The data folder's private add-in copy and its registration are the
// host_registry scenario's; a second run on it, FirstRunTest's restart.
TEST_F(ScriptRunTest, AnAddinThatIsNotThereOrNotRegisteredIsSkipped) {
  // Without its library the add-in is reported and skipped; the host goes on.
  auto run = Play("file-remove libmailhost_probe.so\nstart\nshow explorer\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "bar explorer: none\n");
  EXPECT_NE(run.err.find("add-in Probe.Connect not loaded"), std::string::npos) << run.err;
  EXPECT_TRUE(std::filesystem::exists(MAILHOST_PROBE_ADDIN)) << "the original must stay";
  run = Play("start\nshow explorer\n", "--no-register");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "bar explorer: none\n") << "an add-in that is not registered must not load";

  // In a read-only folder the add-in cannot write its file, even as root; the
  // temporary data folder still goes at the end.
  const std::string tmp = scratch.File("tmp");
  std::filesystem::create_directories(tmp);
  run = Play("start\nnew w1\nactivate w1\nfile-readonly\nclick w1 Attach\nshow-mail w1\n", "",
             "TMPDIR=" + tmp);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("probe click Attach\nmail w1: attachments() body=\"\"\n"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "the data folder was left behind";
}

// The maildir_folders scenario lists a tree other programs made; this is
// what a run leaves there.
TEST_F(ScriptRunTest, OnAMaildirTheRunReadsAndWritesThereButNeverIntoWhatIsNoMailFolder) {
  namespace fs = std::filesystem;
  const std::string root = scratch.File("Maildir");
  for (const char* folder : {"", "/.&AMQ-rger", "/.Drafts"}) {
    for (const char* sub : {"/cur", "/new", "/tmp"}) fs::create_directories(root + folder + sub);
  }
  scratch.Write("Maildir/.&AMQ-rger/new/1700000000.M1P1.elsewhere",
                "From: Kim <kim@example.org>\nSubject: Trouble\n\nAgain.\n");
  // notmuch's index, and a Sent that is another program's directory.
  for (const char* other : {"Maildir/.notmuch/xapian/postlist.glass", "Maildir/.Sent/index"})
    fs::create_directories(fs::path(scratch.File(other)).parent_path()), scratch.Write(other, "x");
  const auto listing = [&](const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
      names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const auto notmuch = listing(root + "/.notmuch");
  const auto sent = listing(root + "/.Sent");

  const auto run = Play(
      "show-folders\nfolder \"\xc3\x84rger\"\nopen 1700000000.M1P1.elsewhere w1\nshow-mail w1\n"
      "new w2\nsubject w2 \"Voice note\"\nanswer OK\nsend w2\n",
      "--maildir " + root);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find("\nbox ") + 1),
            "folder Inbox\nfolder Sent\nfolder Drafts\nfolder \xc3\x84rger\n"
            "mail w1: attachments() body=\"Again.\\r\\n\"\n");
  // The failure names the folder as $MAILDIR, wherever the run was.
  EXPECT_NE(run.out.find("Could not make the folder Sent ($MAILDIR/.Sent/): File exists."),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(fs::exists(root + "/.&AMQ-rger/cur/1700000000.M1P1.elsewhere:2,S"))
      << "the read mark did not land in the Maildir";
  ASSERT_EQ(listing(root + "/.Drafts/cur").size(), 1u) << "the draft stays in Drafts";
  EXPECT_EQ(listing(root + "/.notmuch"), notmuch);
  EXPECT_EQ(listing(root + "/.Sent"), sent);
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
bar explorer: [Where:-] [Box:-] [Quit:-] [Face:-] [Fail:-] list(one, two)
probe selection Contacts type=2 count=0
list Contacts: empty
probe shutdown
)");
  EXPECT_NE(run.err.find("started already"), std::string::npos) << run.err;
}

}  // namespace
