// The one host setup: the platform chosen by name, the console getting what
// the page has (a mail server) and ending at quit whatever runs, and the page
// following the Maildir.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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

// A client of the page of a mailhost started with --web 0, with the token it
// printed; null when it printed none.
std::unique_ptr<httplib::Client> PageClient(testsupport::MailhostProcess& page) {
  const std::string address = page.WaitForLine("page ");
  const auto token = address.find("?token=");
  if (token == std::string::npos) return nullptr;
  auto client = std::make_unique<httplib::Client>(
      "127.0.0.1", std::stoi(address.substr(address.rfind(':') + 1)));
  client->set_bearer_token_auth(address.substr(token + 7));
  client->set_read_timeout(60);
  return client;
}

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

// A box waits on the page (the first start's tutorial question) and the
// person quits instead of answering: mailhost ends.
TEST(HostSetup, QuitOnThePageEndsMailhostUnderABox) {
  ScratchFolder data;
  ASSERT_EQ(RunMailhost("--register " + std::string(SONVERA_TEST_ADDIN_DIR) +
                        "/libsonvera.so --data " + data.Path())
                .status,
            0);
  testsupport::MailhostProcess page("--web 0 --data " + data.Path(),
                                    {"SONVERA_PRODUCT_HOST=http://127.0.0.1:9"});
  auto client = PageClient(page);
  ASSERT_TRUE(client) << page.Output();
  ASSERT_TRUE(testsupport::Eventually([&] {
    auto state = client->Get("/state");
    return state && state->body.find("Sonvera Tutorial") != std::string::npos;
  })) << page.Output();
  client->Post("/command", "quit", "text/plain");
  EXPECT_EQ(page.Wait(), 0) << "mailhost did not end at quit: " << page.Output();
}

// notmuch skips a file without From: a draft names the user from the start.
TEST(HostSetup, ADraftIsFromTheUsersAddressInTheEnvironment) {
  ScratchFolder data;
  data.Write("input.txt", "new w1\nsubject w1 Draft\nquit\n");
  const auto run = RunMailhost("--data " + data.Path(),
                               "EMAIL=\"Anna Berg <anna@example.org>\" " + std::string(kGuard),
                               data.File("input.txt"));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string drafts = data.File("Maildir/.Drafts/cur");
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(drafts))
    files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  const auto draft = ScratchFolder::Read(files[0]);
  EXPECT_NE(draft.find("From: Anna Berg <anna@example.org>"), std::string::npos) << draft;
  EXPECT_NE(draft.find("Subject: Draft"), std::string::npos) << draft;
}

// The person quits while the encoder hangs: mailhost ends, the encoder with
// it, and the recording is kept. (The page's quit is the one under a box.)
TEST(HostSetup, QuitWhileTheEncoderRunsEndsItAndKeepsTheRecording) {
  ScratchFolder scratch;
  const std::string data = scratch.File("data");
  const auto library = testsupport::AddinWithEncoder(
      scratch.File("Sonvera"),
      "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/encoder.pid\"\nexec sleep 600\n");
  ASSERT_EQ(RunMailhost("--register " + library + " --data " + data).status, 0);
  // A closed port: the update check fails at once and quietly.
  testsupport::MailhostProcess console("--data " + data,
                                       {"SONVERA_PRODUCT_HOST=http://127.0.0.1:9"});
  // The first start asks about the tutorial.
  console.Write("No\nnew w1\nactivate w1\nclick w1 Record\nwait 1s\nclick w1 Stop\nwait 1s\n");
  const std::string pidFile = scratch.File("Sonvera/encoder.pid");
  ASSERT_FALSE(console.WaitForLine("run \"").empty()) << console.Output();
  ASSERT_TRUE(testsupport::Eventually([&] { return !ScratchFolder::Read(pidFile).empty(); }));
  const int encoder = std::stoi(ScratchFolder::Read(pidFile));
  console.Write("quit\n");
  EXPECT_EQ(console.Wait(), 0) << "mailhost did not end at quit: " << console.Output();
  EXPECT_TRUE(testsupport::Eventually([&] { return testsupport::Ended(encoder); }))
      << "the encoder outlived mailhost";
  EXPECT_TRUE(ScratchFolder::Exists(scratch.File("Sonvera/Temp.wav"))) << "the recording was lost";
}

}  // namespace
