// The one host setup: the platform chosen by name, and the console getting
// what the page has (a mail server) and ending at quit whatever runs.
#include <gtest/gtest.h>

#include <string>

#include "host/platforms/Integrations.h"
#include "platform/Error.h"
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
  try {
    mailhost::CreateIntegration("windows", "");
    FAIL() << "an unknown platform was made";
  } catch (const platform::Error& e) {
    EXPECT_NE(std::string(e.what()).find("linux, fake, scenario"), std::string::npos) << e.what();
  }
}

TEST(HostSetup, TheConsoleEndsAtQuitEvenInsideALongWait) {
  ScratchFolder data;
  data.Write("input.txt", "wait 100m\nquit\n");
  const auto run = RunMailhost("--data " + data.Path(), kGuard, data.File("input.txt"));
  EXPECT_EQ(run.status, 0) << "mailhost did not end at quit: " << run.err;
}

TEST(HostSetup, TheConsoleSendsThroughTheMailServerAsThePageDoes) {
  if (const auto why = testsupport::LoopbackSmtpServer::Unavailable(); !why.empty())
    GTEST_SKIP() << why;
  testsupport::LoopbackSmtpServer server;
  ScratchFolder data;
  data.Write("input.txt",
             "new w1\nto w1 anna@example.org\nsubject w1 \"From the console\"\nsend w1\nquit\n");
  const auto run =
      RunMailhost("--data " + data.Path() + " --smtp " + server.Url() + " --from me@example.org",
                  kGuard, data.File("input.txt"));
  EXPECT_EQ(run.status, 0) << run.err;
  const auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u) << run.out << run.err;
  EXPECT_NE(messages[0].find("Subject: From the console"), std::string::npos) << messages[0];
  EXPECT_EQ(server.Envelope(0), "from me@example.org\nto anna@example.org\n");
}

// The person types quit while the encoder hangs: mailhost ends, the encoder
// with it, and the recording is kept for another try.
TEST(HostSetup, QuitAtTheConsoleEndsAHungEncoderAndKeepsTheRecording) {
  ScratchFolder scratch;
  const std::string data = scratch.File("data");
  const auto library = testsupport::AddinWithEncoder(
      scratch.File("Sonvera"),
      "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/encoder.pid\"\nexec sleep 600\n");
  ASSERT_EQ(RunMailhost("--register " + library + " --data " + data).status, 0);
  // A closed port: the update check fails at once and quietly; the first
  // start asks about the tutorial.
  testsupport::MailhostProcess console("--data " + data,
                                       {"SONVERA_PRODUCT_HOST=http://127.0.0.1:9"});
  console.Write(
      "No\nnew w1\nactivate w1\nclick w1 Record\nwait 1s\n"
      "click w1 Stop\nwait 1s\n");
  ASSERT_NE(console.WaitForLine("run \""), "") << "the encoder never started: " << console.Output();
  const std::string pidFile = scratch.File("Sonvera/encoder.pid");
  ASSERT_TRUE(testsupport::Eventually([&] { return !ScratchFolder::Read(pidFile).empty(); }));
  const int pid = std::stoi(ScratchFolder::Read(pidFile));
  console.Write("quit\n");
  EXPECT_EQ(console.Wait(), 0) << "mailhost did not end at quit: " << console.Output();
  EXPECT_TRUE(testsupport::Eventually([&] { return testsupport::Ended(pid); }))
      << "the encoder outlived mailhost";
  EXPECT_TRUE(ScratchFolder::Exists(data + "/addin/Temp.wav") ||
              ScratchFolder::Exists(scratch.File("Sonvera/Temp.wav")))
      << "the recording was lost";
}

}  // namespace
