// mailhost --script run as a program, with the probe add-in: what the host
// delivers to an add-in and prints, and how a run ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/MailhostRun.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

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
click explorer #7
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
open c1 w2
activate w2
show w2
choose explorer 2
show explorer
send w1
show-mail w1
)");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, R"(probe connect mode=1
probe startup
bar explorer: [Where:-] [Box:-] [Quit:-] [Later:-] [Run:-] [Open:-] [Face:-] [Fail:-] list(one, two)
probe click Where
probe where Where=5,60 Box=64,60 Quit=109,60 Later=161,60 Run=220,60 Open=265,60 Face=317,60 Fail=369,60 list=421,60
probe face-pasted
bar explorer: [Where:-] [Box:-] [Quit:-] [Later:-] [Run:-] [Open:-] [Face:Probe] [Fail:-] list(one, two)
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
probe new-inspector class=40 at 96,112
probe deactivate
probe activate
bar w2: none
bar explorer: [Where:-] [Box:-] [Quit:-] [Later:-] [Run:-] [Open:-] [Face:Probe] [Fail:-] list(one, two*)
probe send
probe close
mail w1: attachments(note.txt 11, hello.txt 5) body=""
probe shutdown
)");
}

TEST_F(ScriptRunTest, BoxesTimersProgramsAndTheShellShowAsTheUserWouldSeeThem) {
  const auto run = Play(R"(start
answer No
click explorer Box
click explorer Later
wait 2999ms
click explorer Run
click explorer Open
wait 1ms
click explorer Fail
show explorer
)");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, R"(probe connect mode=1
probe startup
probe click Box
box "Probe" YesNo+Question -> No
| Go on?
| Second line
probe box-answer No
probe click Later
probe click Run
run "/bin/true \"a b\" c\\d"
probe started
probe click Open
open "http://example.invalid\page"
probe timer
probe click Fail
bar explorer: [Where:-] [Box:-] [Quit:-] [Later:-] [Run:-] [Open:-] [Face:-] [Fail:-] list(one, two)
probe shutdown
)");
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

TEST_F(ScriptRunTest, AFailingLineStopsTheRunWithItsNumber) {
  auto run = Play("start\n\nclick explorer Nothing\nshow explorer\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("test.scn:3: click: The bar of explorer has no control Nothing."),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "probe connect mode=1\nprobe startup\nprobe shutdown\n");

  // A box with no answer fails its line, though the add-in swallowed the error.
  run = Play("start\nclick explorer Box\nshow explorer\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("test.scn:2: click: a message box had no queued answer"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("box \"Probe\" YesNo+Question -> none\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("bar explorer"), std::string::npos) << "the line after the failure ran";

  // A microphone file that cannot be heard fails its line and names the file.
  scratch.Write("junk.wav", "not a sound");
  for (const char* line : {"mic missing.wav", "mic junk.wav"}) {
    run = Play(line);
    EXPECT_EQ(run.status, 1) << line;
    EXPECT_NE(run.err.find(scratch.File(std::string(line).substr(4))), std::string::npos)
        << run.err;
  }
  for (const char* line : {"show-forms", "form-click Fx Ok"}) {
    run = Play(line);
    EXPECT_EQ(run.status, 1) << line;
    EXPECT_NE(run.err.find("not available yet"), std::string::npos) << run.err;
  }
  for (const char* line : {"click explorer Where", "new w1\nclose w1\nactivate w1", "select m1",
                           "show-mail m1", "folder Archive", "start\nstart",
                           "attach explorer x.txt", "registry show Software\\None"}) {
    EXPECT_EQ(Play(line).status, 1) << line;
  }
}

TEST_F(ScriptRunTest, TheMicrophoneTakesAWavBesideTheScript) {
  testsupport::WriteWav(scratch.File("voice.wav"), testsupport::Ramp(4410));
  const auto run = Play("mic voice.wav\nwait 1s\n");
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(ScriptRunTest, AScriptThatCannotBeReadOrParsedRunsNothing) {
  // That nothing runs and the status is 2 is the host_parse_error scenario's.
  const auto run = Play("start\nshow explorer\nclick w1\n");
  EXPECT_NE(run.err.find("test.scn:3: click takes 2 argument(s), not 1"), std::string::npos)
      << run.err;
  EXPECT_EQ(RunMailhost("--script " + scratch.File("missing.scn")).status, 2);
  EXPECT_EQ(RunMailhost("--script").status, 2) << "an option without its value";
}

TEST_F(ScriptRunTest, TheDataFolderHoldsTheRegistryAndAPrivateAddinFolder) {
  const std::string data = scratch.File("data");
  const std::string classKey =
      "Software\\Classes\\CLSID\\{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}\\InprocServer32";
  auto run = Play("registry show " + classKey + "\nregistry set Software\\Test Kept dword 7\n",
                  "--data " + data);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "registry " + classKey + " @=sz:$DATA/addin/libmailhost_probe.so\n")
      << "the private copy is registered, its folder written as $DATA";
  EXPECT_TRUE(std::filesystem::exists(data + "/addin/libmailhost_probe.so"));

  // A second run on the same folder finds the registry as the first left it.
  run = Play(
      "registry show Software\\Test\nregistry delete Software\\Test Kept\n"
      "registry show Software\\Test\nregistry delete Software\\Test\n"
      "registry delete Software\\Test\n",
      "--data " + data);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "registry Software\\Test Kept=dword:7\n");
}

TEST_F(ScriptRunTest, AnAddinThatIsNotThereOrNotRegisteredIsSkipped) {
  // Without its library the add-in is reported and skipped; the host goes on.
  auto run = Play("file-remove libmailhost_probe.so\nstart\nshow explorer\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "bar explorer: none\n");
  EXPECT_NE(run.err.find("add-in Probe.Connect not loaded"), std::string::npos) << run.err;
  EXPECT_TRUE(std::filesystem::exists(MAILHOST_PROBE_ADDIN)) << "the original must stay";
  EXPECT_EQ(Play("file-remove nothing.bmp").status, 1);
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

TEST_F(ScriptRunTest, TheConsoleReadsTheSameCommandsAndAsksThePersonForAnswers) {
  const std::string data = scratch.File("console");
  ASSERT_EQ(
      RunMailhost("--register " + std::string(MAILHOST_PROBE_ADDIN) + " --data " + data).status, 0);
  // The line after a box is its answer, asked again until it fits; queued
  // answers come first; the end of input quits.
  scratch.Write("input.txt",
                "select welcome\nclick explorer Box\nmaybe\nno\nanswer Yes\nclick explorer Box\n"
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
mail lunch: attachments() body="Hi,\r\n\r\nshall we meet for lunch on Friday at noon?\r\n\r\nAnna"
bar explorer: [Where:-] [Box:-] [Quit:-] [Later:-] [Run:-] [Open:-] [Face:-] [Fail:-] list(one, two)
probe selection Contacts type=2 count=0
item anna contact
probe shutdown
)");
  EXPECT_NE(run.err.find("started already"), std::string::npos) << run.err;
}

}  // namespace
