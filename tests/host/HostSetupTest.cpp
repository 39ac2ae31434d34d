// The one host setup: the platform chosen by name, and the console getting
// what the page has (a mail server) and ending at quit whatever runs.
#include <gtest/gtest.h>

#include <string>

#include "host/platforms/Integrations.h"
#include "platform/Error.h"
#include "tests/support/LoopbackSmtpServer.h"
#include "tests/support/MailhostRun.h"
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

}  // namespace
