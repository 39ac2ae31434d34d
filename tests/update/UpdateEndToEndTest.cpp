// The update check through mailhost, as a user meets it: the add-in loaded the
// normal way, a real HTTP server on loopback, a real ping, a real installer.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/MailhostRun.h"
#include "tests/support/ScratchFolder.h"

namespace {

using testsupport::LoopbackHttpServer;
using testsupport::MailhostRun;
using testsupport::ScratchFolder;

constexpr const char* kVersionPath = "/SonveraVersions/SonveraVersion.txt";
constexpr const char* kInstallerPath = "/SonveraVersions/Sonvera2000_Install.exe";
constexpr const char* kBar = "bar explorer: [Sonvera:Sonvera]\n";
constexpr const char* kOffer =
    "| Installing the new version will close your running copy of Outlook and may take several "
    "minutes. \n"
    "| Would you like to install the new version?\n";
constexpr const char* kWarning =
    "box \"Sonvera Outlook Addin Error\" OK -> OK\n"
    "| Error getting remote version update.\n"
    "| Sonvera addin continuing without update\n";

std::string OfferBox(const std::string& answer, const std::string& shownVersion) {
  return "box \"Update Sonvera2000\" YesNo -> " + answer +
         "\n| You are using version 1.0.27 of Sonvera2000. Version " + shownVersion +
         "is now available.\n" + kOffer;
}

std::string StatusLine(const std::string& url, int status) {
  return "| The server answered " + url + " with status " + std::to_string(status) +
         " instead of the file.\n";
}

// The installer's folder has a random name; the rest of its path is ours.
std::string WithFixedFolderName(const std::string& output) {
  return std::regex_replace(output, std::regex("/sonvera-update-[A-Za-z0-9]{6}/"),
                            "/sonvera-update-XXXXXX/");
}

class UpdateEndToEndTest : public ::testing::Test {
 protected:
  // Starts mailhost on a scenario whose first box answers are `answers`, with
  // the product host pointing at the test's server.
  MailhostRun Run(const std::string& answers) {
    scratch.Write(
        "update.scn",
        std::string("registry set Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp "
                    "AQ sz 1\n") +
            (answers.empty() ? "" : "answer " + answers + "\n") + "start\nshow explorer\nquit\n");
    return testsupport::RunMailhost(
        "--script " + scratch.File("update.scn"),
        "SONVERA_PRODUCT_HOST=" + server.HostAndPort() + " TMPDIR=" + scratch.Path());
  }

  ScratchFolder scratch;
  LoopbackHttpServer server;
};

TEST_F(UpdateEndToEndTest, EachVersionFileGetsItsAnswer) {
  struct Case {
    std::string body;
    int status;
    std::string boxes;  // what the user sees before the bar
  };
  const std::string page =
      "<!DOCTYPE html><html><head><title>404 Not Found</title></head>"
      "<body><h1>Not Found</h1></body></html>\n";
  const std::string url = server.Url(kVersionPath);
  const std::vector<Case> cases = {
      {"1.0.28", 200, OfferBox("No", "1.0.28")},
      {"1.0.27", 200, ""},
      {"0.9.99", 200, ""},
      {"NA", 200, ""},
      {"", 200, ""},
      {"1.1.0", 200, OfferBox("No", "1.1.0")},
      {"2.0.0", 200, OfferBox("No", "2.0.0")},
      {"1.0.28\r\n", 200, OfferBox("No", "1.0.28")},
      {"1.0", 200, std::string(kWarning) + "| Invalid procedure call or argument\n"},
      {"1.0.32768", 200, std::string(kWarning) + "| Overflow\n"},
      {std::string(4097, '7'), 200,
       std::string(kWarning) + "| The reply from " + url + " is larger than 4096 bytes.\n"},
      // Whatever an error status or a redirect carries, it is not the version.
      {page, 404, kWarning + StatusLine(url, 404)},
      {"1.0.99", 404, kWarning + StatusLine(url, 404)},
      {"1.0.99", 500, kWarning + StatusLine(url, 500)},
      {"1.0.99", 302, kWarning + StatusLine(url, 302)},
  };
  server.Serve(kInstallerPath, 200, "#!/bin/sh\nexit 0\n");
  for (const Case& c : cases) {
    server.Serve(kVersionPath, c.status, c.body);
    const bool offered = c.boxes.rfind("box \"Update", 0) == 0;
    const MailhostRun run = Run(c.boxes.empty() ? "" : offered ? "No" : "OK");
    EXPECT_EQ(run.out, c.boxes + kBar)
        << "version file [" << c.body.substr(0, 40) << "] status " << c.status << "\n"
        << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
  }
  for (const auto& path : server.Requests()) EXPECT_EQ(path, kVersionPath) << "No downloaded";
}

TEST_F(UpdateEndToEndTest, SilentServerIsGivenUpWithoutAWord) {
  // Nothing arrives, so the speed floor ends the wait long before the
  // 30-second time-out would.
  server.Hang(kVersionPath);
  const MailhostRun run = Run("");
  EXPECT_EQ(run.out, kBar) << run.err;
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(UpdateEndToEndTest, YesStartsTheInstallerAndTheHostQuits) {
  const std::string marker = scratch.File("installed");
  server.Serve(kVersionPath, 200, "1.0.28");
  server.Serve(
      kInstallerPath, 200,
      "#!/bin/sh\necho \"$0\" > " + marker + ".tmp && mv " + marker + ".tmp " + marker + "\n");
  const MailhostRun run = Run("Yes");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{kVersionPath, kInstallerPath}));

  // The host quit on the spot: the bar is never shown.
  const std::string installer = scratch.Path() + "/sonvera-update-XXXXXX/Sonvera2000_Install.exe";
  EXPECT_EQ(WithFixedFolderName(run.out), OfferBox("Yes", "1.0.28") + "run \"" + installer + "\"\n")
      << run.err;

  bool installed = false;
  for (int i = 0; i < 1000 && !installed; ++i) {
    installed = ScratchFolder::Exists(marker);
    if (!installed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(installed) << "the installer never ran";
  const std::string startedAs = ScratchFolder::Read(marker);
  EXPECT_NE(run.out.find(startedAs.substr(0, startedAs.size() - 1)), std::string::npos)
      << "the installer ran from elsewhere: " << startedAs;
}

TEST_F(UpdateEndToEndTest, InstallerThatCannotStartLeavesTheHostRunning) {
  server.Serve(kVersionPath, 200, "1.0.28");
  server.Serve(kInstallerPath, 200, std::string("MZ\x90\0\3\0\0\0 not for this system", 28));
  const MailhostRun run = Run("Yes OK");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(WithFixedFolderName(run.out),
            OfferBox("Yes", "1.0.28") + "run \"" + scratch.Path() +
                "/sonvera-update-XXXXXX/Sonvera2000_Install.exe\"\n"
                "box \"Update Error\" OK+Critical -> OK\n"
                "| Error executing update program.  Please download the latest version from " +
                server.HostAndPort() + "\n" + kBar)
      << run.err;
}

}  // namespace
