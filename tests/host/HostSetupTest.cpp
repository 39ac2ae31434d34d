// The one host setup: the platform chosen by name, the console getting what
// the page has (a mail server) and ending at quit whatever runs, and the page
// following the Maildir.
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
  data.Write("input.txt", "wait 100m\nquit\n");
  const auto run = RunMailhost("--data " + data.Path(), kGuard, data.File("input.txt"));
  EXPECT_EQ(run.status, 0) << "mailhost did not end at quit: " << run.err;
}

// A refusal's box and the mail left in Drafts are tests/web's.
TEST(HostSetup, TheConsoleSendsThroughTheMailServerAsThePageDoesAndSentKeepsWhatLeft) {
  if (const auto why = testsupport::LoopbackSmtpServer::Unavailable(); !why.empty())
    GTEST_SKIP() << why;
  testsupport::LoopbackSmtpServer server;
  ScratchFolder data;
  data.Write("input.txt",
             "new w1\nto w1 anna@example.org\nsubject w1 \"From the console\"\nsend w1\nquit\n");
  const auto run = RunMailhost(
      "--data " + data.Path() + " --smtp " + server.Url() + " --from 'Me <me@example.org>'", kGuard,
      data.File("input.txt"));
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
  data.Write("input.txt", "new w1\nsubject w1 Draft\nquit\n");
  const auto run = RunMailhost("--data " + data.Path(),
                               "EMAIL=\"Anna Berg <anna@example.org>\" " + std::string(kGuard),
                               data.File("input.txt"));
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

}  // namespace
