// mailhost as a program: the one host setup (the platform chosen by name,
// the console getting what the page has, a mail server, and ending at quit
// whatever runs), and, with the probe add-in, what a scenario file cannot
// say: exit statuses of lines that fail, the registration options, the
// temporary data folder, and the console's answers to boxes. What the host
// delivers and prints is the probe_* scenarios'.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/platforms/Integrations.h"
#include "platform/Error.h"
#include "tests/support/ErrorText.h"
#include "tests/support/LoopbackSmtpServer.h"
#include "tests/support/MailhostRun.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ScratchFolder.h"

namespace {

using testsupport::RunMailhost;
using testsupport::ScratchFolder;

// A hang guard, not a timing: a run that does not end is killed and fails.
constexpr const char* kGuard = "timeout 120";

// mailhost at its console on the data folder `data`, `typed` its input.
testsupport::MailhostRun AtTheConsole(const ScratchFolder& data, const std::string& typed,
                                      const std::string& options = "",
                                      const std::string& environment = "") {
  data.Write("input.txt", typed);
  return RunMailhost("--data " + data.Path() + " " + options, environment + " " + kGuard,
                     data.File("input.txt"));
}

TEST(HostSetup, PlatformsAreChosenByNameAndAnUnknownNameSaysWhichExist) {
  ScratchFolder data;
  for (const auto& name : mailhost::IntegrationNames()) {
    auto integration = mailhost::CreateIntegration(name, data.File("registry.reg"));
    EXPECT_EQ(integration->Name(), name);
    EXPECT_NE(integration->GetServices().loop, nullptr) << name;
  }
  const auto unknown = testsupport::ErrorOf([] { mailhost::CreateIntegration("windows", ""); });
  EXPECT_TRUE(testsupport::Contains(unknown, "linux, fake, scenario")) << unknown;
}

TEST(HostSetup, TheConsoleEndsAtQuitEvenInsideALongWait) {
  ScratchFolder data;
  const auto run = AtTheConsole(data, "wait 100m\nquit\n");
  EXPECT_EQ(run.status, 0) << "mailhost did not end at quit: " << run.err;
}

// A refusal's box and the mail left in Drafts are tests/web's.
TEST(HostSetup, TheConsoleSendsThroughTheMailServerAsThePageDoesAndSentKeepsWhatLeft) {
  if (const auto why = testsupport::LoopbackSmtpServer::Unavailable(); !why.empty())
    GTEST_SKIP() << why;
  testsupport::LoopbackSmtpServer server;
  ScratchFolder data;
  const auto run = AtTheConsole(
      data, "new w1\nto w1 anna@example.org\nsubject w1 \"From the console\"\nsend w1\nquit\n",
      "--smtp " + server.Url() + " --from 'Me <me@example.org>'");
  EXPECT_EQ(run.status, 0) << run.err;
  const auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u) << run.out << run.err;
  EXPECT_NE(messages[0].find("Subject: From the console"), std::string::npos) << messages[0];
  EXPECT_EQ(server.Envelope(0), "from me@example.org\nto anna@example.org\n");
  // Filed read, and the Sent copy is the message the server got.
  EXPECT_TRUE(ScratchFolder::Names(data.File("Maildir/.Drafts/cur")).empty());
  const auto sent = ScratchFolder::Names(data.File("Maildir/.Sent/cur"));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].substr(sent[0].find(':')), ":2,S");
  const auto filed = ScratchFolder::Read(data.File("Maildir/.Sent/cur/" + sent[0]));
  const auto at = filed.find("Message-Id: <");
  ASSERT_NE(at, std::string::npos) << filed;
  const auto messageId = filed.substr(at, filed.find('\n', at) - at);
  EXPECT_NE(messages[0].find(messageId), std::string::npos) << messageId << " not in\n"
                                                            << messages[0];
}

// The sound is chosen by name at start: the page's needs the page, and a
// name no sound has says which there are. (Record with the page's sound is
// tests/web's.)
TEST(HostSetup, TheSoundIsChosenByNameAtStart) {
  ScratchFolder data;
  const auto unknown = RunMailhost("--web 0 --sound oss --data " + data.Path());
  EXPECT_NE(unknown.status, 0);
  EXPECT_NE(unknown.err.find("no sound named oss (alsa, page)"), std::string::npos) << unknown.err;
  const auto console = RunMailhost("--sound page --data " + data.Path());
  EXPECT_EQ(console.status, 2);
  EXPECT_NE(console.err.find("--sound page needs the page"), std::string::npos) << console.err;
}

// notmuch skips a file without From: a draft names the user from the start.
TEST(HostSetup, ADraftIsFromTheUsersAddressInTheEnvironment) {
  ScratchFolder data;
  const auto run = AtTheConsole(data, "new w1\nsubject w1 Draft\nquit\n", "",
                                "EMAIL=\"Anna Berg <anna@example.org>\"");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto drafts = ScratchFolder::Names(data.File("Maildir/.Drafts/cur"));
  ASSERT_EQ(drafts.size(), 1u);
  const auto draft = ScratchFolder::Read(data.File("Maildir/.Drafts/cur/" + drafts[0]));
  EXPECT_NE(draft.find("From: Anna Berg <anna@example.org>"), std::string::npos) << draft;
  EXPECT_NE(draft.find("Subject: Draft"), std::string::npos) << draft;
}

// The person quits while the encoder hangs: mailhost ends, the encoder with
// it, and the recording is kept. (The page's quit is tests/web's, under a box.)
TEST(HostSetup, QuitWhileTheEncoderRunsEndsItAndKeepsTheRecording) {
  ScratchFolder scratch;
  const std::string data = scratch.File("data");
  const auto library = testsupport::AddinWithEncoder(
      scratch.File("Sonvera"),
      "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/encoder.pid\"\nexec sleep 600\n");
  ASSERT_EQ(RunMailhost("--register " + library + " --data " + data).status, 0);
  // The person types at the console, and quits once the encoder runs. The
  // first start asks about the tutorial.
  const std::string input = scratch.File("typed");
  const std::string pidFile = scratch.File("Sonvera/encoder.pid");
  ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
  std::thread person([&] {
    std::ofstream typed(input);
    typed << "No\nnew w1\nactivate w1\nclick w1 Record\nwait 1s\nclick w1 Stop\n" << std::flush;
    testsupport::Eventually([&] { return !ScratchFolder::Read(pidFile).empty(); });
    typed << "quit\n";
  });
  // A closed port: the update check fails at once and quietly.
  const auto run = RunMailhost(
      "--data " + data, "SONVERA_PRODUCT_HOST=http://127.0.0.1:9 " + std::string(kGuard), input);
  person.join();
  EXPECT_EQ(run.status, 0) << "mailhost did not end at quit: " << run.err;
  const std::string pid = ScratchFolder::Read(pidFile);
  ASSERT_FALSE(pid.empty()) << "the encoder never started: " << run.out;
  EXPECT_TRUE(testsupport::Eventually([&] { return testsupport::Ended(std::stoi(pid)); }))
      << "the encoder outlived mailhost";
  EXPECT_TRUE(ScratchFolder::Exists(scratch.File("Sonvera/Temp.wav"))) << "the recording was lost";
}

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
