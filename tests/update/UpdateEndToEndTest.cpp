// The update check through mailhost, as a user meets it: the add-in loaded the
// normal way, a real HTTP server on loopback, a real ping, a real installer.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/MailhostRun.h"
#include "tests/support/ProcessState.h"
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

// The printed form of a program started by its path alone.
std::string RunLine(const std::string& path) {
  std::string line = path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
  line = std::regex_replace(line, std::regex(R"(["\\])"), R"(\$&)");
  return "run \"" + line + "\"\n";
}

std::string ShellWord(const std::string& text) {
  return "'" + std::regex_replace(text, std::regex("'"), R"('\'')") + "'";
}

// A shell script that, once run, leaves its own path in `marker`.
std::string MarkingInstaller(const std::string& marker) {
  return "#!/bin/sh\necho \"$0\" > " + ShellWord(marker + ".tmp") + " && mv " +
         ShellWord(marker + ".tmp") + " " + ShellWord(marker) + "\n";
}

class UpdateEndToEndTest : public ::testing::Test {
 protected:
  UpdateEndToEndTest() { std::filesystem::create_directory(tmpdir); }

  // Starts mailhost on a scenario whose first box answers are `answers`, with
  // the product host pointing at `productHost` (the test's plain server by
  // default) and installers downloaded under `tmpdir`.
  MailhostRun Run(const std::string& answers, const std::string& productHost = "",
                  const std::string& environment = "") {
    scratch.Write(
        "update.scn",
        std::string("registry set Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp "
                    "AQ sz 1\n") +
            (answers.empty() ? "" : "answer " + answers + "\n") + "start\nshow explorer\nquit\n");
    return testsupport::RunMailhost(
        "--script " + scratch.File("update.scn"),
        "SONVERA_PRODUCT_HOST=" + (productHost.empty() ? server.Origin() : productHost) +
            " TMPDIR=" + ShellWord(tmpdir) + " " + environment);
  }

  // Where the installer is downloaded, its folder's random name fixed.
  std::string Installer() const {
    return tmpdir + "/sonvera-update-XXXXXX/Sonvera2000_Install.exe";
  }
  // What the attempts left where installers are downloaded.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tmpdir))
      names.push_back(entry.path().filename());
    return names;
  }

  ScratchFolder scratch;
  std::string tmpdir = scratch.File("tmp");
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
      {"1.0.28\r\n", 200, OfferBox("No", "1.0.28")},
      {"1.0.27", 200, ""},
      {"0.9.99", 200, ""},
      {" NA\n", 200, ""},
      {"", 200, ""},
      {"1.1.0", 200, OfferBox("No", "1.1.0")},
      {"2.0.0", 200, OfferBox("No", "2.0.0")},
      {"1.0", 200, std::string(kWarning) + "| Invalid procedure call or argument\n"},
      {"1.0.32768", 200, std::string(kWarning) + "| Overflow\n"},
      {std::string(4097, '7'), 200,
       std::string(kWarning) + "| The reply from " + url + " is larger than 4096 bytes.\n"},
      // An error page is no version; each status's refusal is HttpContract's.
      {page, 404, kWarning + StatusLine(url, 404)},
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

TEST_F(UpdateEndToEndTest, YesStartsTheInstallerByItsPathAndLeavesNothingBehind) {
  // Split again as a command line, this folder's name would start "<scratch>/a".
  tmpdir = scratch.File("a\" b");
  std::filesystem::create_directory(tmpdir);
  const std::string decoyMarker = scratch.File("decoy-ran");
  scratch.Write("a", MarkingInstaller(decoyMarker), true);
  const std::string marker = scratch.File("installed");
  server.Serve(kVersionPath, 200, "1.0.28");
  server.Serve(kInstallerPath, 200, MarkingInstaller(marker));

  const MailhostRun run = Run("Yes");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{kVersionPath, kInstallerPath}));
  // The host quit on the spot: the bar is never shown.
  EXPECT_EQ(WithFixedFolderName(run.out), OfferBox("Yes", "1.0.28") + RunLine(Installer()))
      << run.err;
  // The script's interpreter opened it before the folder went.
  EXPECT_TRUE(testsupport::Eventually([&] { return ScratchFolder::Exists(marker); }))
      << "the installer never ran";
  EXPECT_EQ(WithFixedFolderName(ScratchFolder::Read(marker)), Installer() + "\n");
  EXPECT_FALSE(ScratchFolder::Exists(decoyMarker)) << "another program was started";
  EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "the installer's folder stayed behind";
}

TEST_F(UpdateEndToEndTest, InstallerBehindAnErrorStatusIsNeitherKeptNorStarted) {
  const std::string marker = scratch.File("installed");
  server.Serve(kVersionPath, 200, "1.0.28");
  for (int status : {404, 302}) {
    server.Serve(kInstallerPath, status, MarkingInstaller(marker));
    const MailhostRun run = Run("Yes OK");
    EXPECT_EQ(run.out, OfferBox("Yes", "1.0.28") + kWarning +
                           StatusLine(server.Url(kInstallerPath), status) + kBar)
        << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
  }
  EXPECT_FALSE(ScratchFolder::Exists(marker)) << "an error page was started as the installer";
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(UpdateEndToEndTest, InstallerThatCannotStartLeavesTheHostRunning) {
  server.Serve(kVersionPath, 200, "1.0.28");
  server.Serve(kInstallerPath, 200, std::string("MZ\x90\0\3\0\0\0 not for this system", 28));
  const MailhostRun run = Run("Yes OK");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(WithFixedFolderName(run.out),
            OfferBox("Yes", "1.0.28") + RunLine(Installer()) +
                "box \"Update Error\" OK+Critical -> OK\n"
                "| Error executing update program.  Please download the latest version from " +
                server.Origin().substr(7) + "\n" + kBar)
      << run.err;
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(UpdateEndToEndTest, HttpsServerIsTrustedOnlyThroughTheCertificateStore) {
  testsupport::TestCertificate certificate;
  LoopbackHttpServer https(certificate.Identity());
  const std::string marker = scratch.File("installed");
  https.Serve(kVersionPath, 200, "1.0.28");
  https.Serve(kInstallerPath, 200, MarkingInstaller(marker));

  // A product host without a scheme is reached over https; a self-signed
  // certificate is no server at all, so no offer comes to say Yes to.
  const MailhostRun refused = Run("Yes", https.HostAndPort());
  EXPECT_EQ(refused.out, kBar) << refused.err;
  EXPECT_TRUE(https.Requests().empty()) << "a request went to an unverified server";

  const MailhostRun trusted =
      Run("Yes", https.HostAndPort(), "SONVERA_CA_FILE=" + certificate.CertificateFile());
  EXPECT_EQ(WithFixedFolderName(trusted.out), OfferBox("Yes", "1.0.28") + RunLine(Installer()))
      << trusted.err;
  EXPECT_TRUE(testsupport::Eventually([&] { return ScratchFolder::Exists(marker); }))
      << "the installer never ran";
}

}  // namespace
