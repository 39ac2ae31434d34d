// The update check as frmUpdateMon's load runs it, on the fake platform: what
// the user sees for each version file, what is fetched, what is started.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "addin/Amp.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchFolder.h"
#include "update/Ping.h"
#include "update/UpdateCheck.h"
#include "update/frmUpdateMon.h"

namespace sonvera {
namespace {

using platform::Answer;
using testsupport::ScopedEnv;
using testsupport::ScratchFolder;

constexpr const char* kHost = "updates.test:8123";
constexpr const char* kVersionUrl = "https://updates.test:8123/SonveraVersions/SonveraVersion.txt";
constexpr const char* kInstallerUrl =
    "https://updates.test:8123/SonveraVersions/Sonvera2000_Install.exe";

// The host's application, far enough to be asked to quit.
class QuittingApplication : public hostmodel::Application,
                            public std::enable_shared_from_this<QuittingApplication> {
 public:
  hostmodel::Ref<hostmodel::Inspectors> GetInspectors() override { return nullptr; }
  hostmodel::Ref<hostmodel::Explorer> ActiveExplorer() override { return nullptr; }
  hostmodel::Ref<hostmodel::Application> GetApplication() override { return shared_from_this(); }
  void Quit() override { ++quits; }
  int quits = 0;
};

class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest() : m_tmp("TMPDIR", scratch.Path().c_str()) {
    frmUpdateMon::Instance().ProductHost = ParseProductServer(kHost, nullptr);
    icmp.AddHost("updates.test", "10.1.2.3");
    icmp.SetEchoStatus("10.1.2.3", kIpSuccess);
  }
  ~UpdateCheckTest() override {
    frmUpdateMon::Instance().AmpRef.reset();
    frmUpdateMon::Instance().ProductHost = {};
    frmUpdateMon::Instance().Unload();
    if (oAmp) oAmp->CleanShutdown();
  }

  void RunCheck() {
    frmUpdateMon::Instance().Unload();
    frmUpdateMon::Instance().Load();
  }
  void ServeVersion(const std::string& text) { http.Serve(kVersionUrl, 200, text); }
  // The application object with a host that records its quit.
  std::shared_ptr<QuittingApplication> StartAmp() {
    auto app = std::make_shared<QuittingApplication>();
    auto amp = Amp::Create();
    amp->oApp = app;
    frmUpdateMon::Instance().AmpRef = amp;
    return app;
  }

  ScratchFolder scratch;
  testsupport::FakePlatform fake;
  platform::FakeHttp& http = fake.http;
  platform::FakeIcmp& icmp = fake.icmp;
  platform::FakeProcesses& processes = fake.processes;

 private:
  ScopedEnv m_tmp;
};

// What the user sees for each version file, and that No fetches and starts
// nothing, are UpdateEndToEndTest's.
TEST_F(UpdateCheckTest, UnreachableServerIsNeverAskedForTheFile) {
  icmp.SetEchoStatus("10.1.2.3", kIpReqTimedOut);
  ServeVersion("1.0.28");
  RunCheck();
  frmUpdateMon::Instance().ProductHost = ParseProductServer("nosuch.test", nullptr);
  RunCheck();
  EXPECT_TRUE(http.Requests().empty());
  EXPECT_TRUE(fake.boxes.Shown().empty());
}

TEST_F(UpdateCheckTest, EachStartSweepsWhatAKilledAttemptLeftEvenWithoutAServer) {
  const std::string left = scratch.File("sonvera-update-k1lled");
  ASSERT_TRUE(std::filesystem::create_directory(left));
  const auto twoDaysAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
  std::filesystem::last_write_time(left, twoDaysAgo);
  icmp.SetEchoStatus("10.1.2.3", kIpReqTimedOut);
  RunCheck();
  EXPECT_TRUE(std::filesystem::is_empty(scratch.Path())) << "a day-old installer folder was kept";
}

// What is fetched and started, and that nothing stays behind, are
// UpdateEndToEndTest's; the modes the installer meets and the add-in's own
// shutdown only show here.
TEST_F(UpdateCheckTest, YesInstallsFromAPrivateFolderAndQuitsTheHost) {
  auto app = StartAmp();
  ServeVersion("1.0.28");
  http.Serve(kInstallerUrl, 200, "#!/bin/sh\n");
  unsigned folderMode = 0, fileMode = 0;
  processes.OnStart([&](const std::string& path) {
    struct stat st {};
    if (stat(path.substr(0, path.rfind('/')).c_str(), &st) == 0) folderMode = st.st_mode & 0777;
    if (stat(path.c_str(), &st) == 0) fileMode = st.st_mode & 0777;
  });
  fake.boxes.Queue(Answer::Yes);
  RunCheck();

  ASSERT_EQ(processes.Starts().size(), 1u);
  EXPECT_TRUE(processes.Starts().front().minimized);
  EXPECT_EQ(folderMode, 0700u) << "the folder must be private";
  EXPECT_EQ(fileMode, 0700u) << "the installer must be executable by its owner only";
  EXPECT_EQ(app->quits, 1) << "the host must be asked to quit";
  EXPECT_EQ(oAmp, nullptr) << "the add-in must have shut down";
  EXPECT_EQ(frmUpdateMon::Instance().AmpRef, nullptr);
}

// A download that fails is UpdateEndToEndTest's; a file that cannot be written
// is only reachable here.
TEST_F(UpdateCheckTest, InstallerThatCannotBeWrittenGivesTheWarningAndStartsNothing) {
  auto app = StartAmp();
  ServeVersion("1.0.28");
  http.Serve(kInstallerUrl, 200, "x");
  ScopedEnv tmp("TMPDIR", scratch.File("missing").c_str());
  fake.boxes.Queue(Answer::Yes);
  fake.boxes.Queue(Answer::Ok);
  RunCheck();
  ASSERT_EQ(fake.boxes.Shown().size(), 2u);
  EXPECT_NE(fake.LastBoxText().find("Could not write the update program"), std::string::npos)
      << fake.LastBoxText();
  EXPECT_TRUE(processes.Starts().empty());
  EXPECT_EQ(app->quits, 0);
}

}  // namespace
}  // namespace sonvera
