// The update check as frmUpdateMon's load runs it, on the fake platform: what
// the user sees for each version file, what is fetched, what is started; and
// its parts: the version file, the ping, the sweep of installer folders.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "addin/Amp.h"
#include "platform/Error.h"
#include "tests/support/ErrorText.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchFolder.h"
#include "update/InstallerFolder.h"
#include "update/Ping.h"
#include "update/UpdateCheck.h"
#include "update/Version.h"
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

// What parsing `text` as a version said, or "" when it parsed.
std::string ParseError(const std::string& text) {
  return testsupport::ErrorOf([&] { ParseVersion(text); });
}

// Which versions are offered, and that a line break or blanks around the
// version file's text are no part of it, are UpdateEndToEndTest's.
TEST(VersionTest, ParsesThreeNumbersWithBlanksAroundEach) {
  EXPECT_EQ(ParseVersion("1.0.28"), (Version{1, 0, 28}));
  EXPECT_EQ(ParseVersion(" 2 .\t3 . 4 "), (Version{2, 3, 4}));
  EXPECT_EQ(ParseVersion("32767.-32768.+7"), (Version{32767, -32768, 7}));
  EXPECT_EQ(ParseVersion("007.0.0"), (Version{7, 0, 0}));
}

TEST(VersionTest, EachWrongShapeHasItsError) {
  for (const char* text : {"1.0", "1", "", "NA", "1,0,28"})
    EXPECT_EQ(ParseError(text), kVersionNoDots) << text;
  for (const char* text : {"a.b.c", "1..2", "1.0.", ".1.2", "1.0.28.5", "1.0.2 8", "1.0.28x",
                           "1.0.-", "1.0.0x1C", "<html><title>404 Not Found.</title>.</html>"})
    EXPECT_EQ(ParseError(text), kVersionNotNumber) << text;
  for (const char* text : {"1.0.32768", "1.0.-32769", "99999999999999999999999.0.0", "1.65535.0"})
    EXPECT_EQ(ParseError(text), kVersionOverflow) << text;
  // The first bad part decides, as the parts convert in order.
  EXPECT_EQ(ParseError("40000.x.0"), kVersionOverflow);
  EXPECT_EQ(ParseError("x.40000.0"), kVersionNotNumber);
  EXPECT_EQ(ParseError("1.0.99999x"), kVersionNotNumber);
}

// What the ping asks of the fake ICMP service, in which order. The real
// echo's answers and time-outs are IcmpContract's, and the update end-to-end
// runs ping a real loopback server.
using PingTest = UpdateCheckTest;

TEST_F(PingTest, OneEchoPerResolvedNameItsStatusBackAndSocketsStoppedEachTime) {
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess);
  ASSERT_EQ(icmp.Echoes().size(), 1u);
  EXPECT_EQ(icmp.Echoes().front().address, inet_addr("10.1.2.3"));
  EXPECT_EQ(icmp.LookupsWhileStarted(), std::vector<bool>{true})
      << "the name must be looked up after the socket library started";
  icmp.AddHost("silent.test", "10.9.9.9");  // unscripted: times out
  EXPECT_EQ(PingHost("silent.test"), kIpReqTimedOut);
  EXPECT_EQ(PingHost("nosuch.test"), kBadAddress);
  EXPECT_EQ(icmp.Echoes().size(), 2u) << "a name without an address sent an echo";
  EXPECT_EQ(icmp.Stops(), 3);
  icmp.SetAvailable(false);
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess) << "without an ICMP handle it counts as answered";
  EXPECT_TRUE(fake.boxes.Shown().empty());
}

TEST_F(PingTest, SocketLibraryFailuresAreReported) {
  icmp.SetSocketResults(10091, 0);
  fake.boxes.Queue(Answer::Ok);
  EXPECT_EQ(PingHost("updates.test"), kBadAddress);
  EXPECT_TRUE(icmp.Lookups().empty()) << "looked up without a socket library";
  ASSERT_EQ(fake.boxes.Shown().size(), 1u);
  const auto& box = fake.boxes.Shown().front().request;
  EXPECT_EQ(box.text,
            "Windows Sockets for 32 bit Windows environments is not successfully responding.");
  EXPECT_FALSE(box.title.has_value());
  EXPECT_EQ(box.icon, platform::Icon::None);

  // One that does not stop is reported, but the echo's status stands.
  icmp.SetSocketResults(0, 10093);
  fake.boxes.Queue(Answer::Ok);
  EXPECT_EQ(PingHost("updates.test"), kIpSuccess);
  EXPECT_EQ(fake.LastBoxText(), "Windows Sockets error occurred in Cleanup.");
  EXPECT_EQ(fake.boxes.Shown().back().request.icon, platform::Icon::Exclamation);
}

TEST_F(PingTest, SendEchoRefusesWhatIsNoAddressOrDoesNotFitTheReplyRecord) {
  EchoReply reply;
  for (const std::string& address : std::vector<std::string>{
           "", "300.1.1.1", "10.1.2.3.4", "x", "255.255.255.255", std::string("10.1.2.3\0", 9)}) {
    EXPECT_EQ(SendEcho(address, "Found x", reply), kBadAddress) << "[" << address << "]";
  }
  // 250 bytes of room hold the echoed data and an error's 8 quoted bytes.
  EXPECT_EQ(SendEcho("10.1.2.3", std::string(242, 'p'), reply), kIpSuccess);
  EXPECT_EQ(reply.dataSize, 242);
  EXPECT_EQ(reply.address, inet_addr("10.1.2.3"));
  EXPECT_EQ(SendEcho("10.1.2.3", std::string(243, 'p'), reply), kIpBufTooSmall);
  EXPECT_EQ(icmp.Echoes().size(), 1u);
}

// The sweep of installer folders that an earlier start could not remove:
// only old folders of ours go.
namespace fs = std::filesystem;
constexpr auto kDay = std::chrono::hours(24);

void Age(const std::string& path, std::chrono::hours age) {
  const auto then = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - age);
  const timespec times[2] = {{then, 0}, {then, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

TEST(InstallerFolderTest, SweepRemovesOnlyOldFoldersOfOurs) {
  ScratchFolder tmp;
  ScratchFolder elsewhere;
  const auto folder = [&](const std::string& name, std::chrono::hours age) {
    fs::create_directory(tmp.File(name));
    tmp.Write(name + "/Sonvera2000_Install.exe", "#!/bin/sh\n");
    Age(tmp.File(name), age);
  };
  folder("sonvera-update-aB3xYz", 2 * kDay);               // ours, old: goes
  folder("sonvera-update-fresh1", std::chrono::hours(1));  // an attempt still running
  folder("sonvera-test-aB3xYz", 2 * kDay);                 // another prefix
  folder("sonvera-update-toolongname", 2 * kDay);          // not mkdtemp's
  tmp.Write("sonvera-update-file01", "not a folder");
  Age(tmp.File("sonvera-update-file01"), 2 * kDay);
  // A link named like ours must not lead the sweep into what it points at.
  elsewhere.Write("keep.txt", "kept");
  fs::create_directory_symlink(elsewhere.Path(), tmp.File("sonvera-update-link01"));
  Age(tmp.File("sonvera-update-link01"), 2 * kDay);
  const bool root = geteuid() == 0;
  if (root) {
    folder("sonvera-update-other1", 2 * kDay);
    ASSERT_EQ(lchown(tmp.File("sonvera-update-other1").c_str(), 65534, 65534), 0);
  }

  SweepInstallerFolders(tmp.Path(), std::chrono::system_clock::now() - kInstallerFolderMaxAge);

  EXPECT_FALSE(ScratchFolder::Exists(tmp.File("sonvera-update-aB3xYz")));
  for (const char* kept :
       {"sonvera-update-fresh1", "sonvera-test-aB3xYz", "sonvera-update-toolongname",
        "sonvera-update-file01", "sonvera-update-link01"}) {
    EXPECT_TRUE(ScratchFolder::Exists(tmp.File(kept))) << kept << " was swept";
  }
  EXPECT_EQ(ScratchFolder::Read(elsewhere.File("keep.txt")), "kept");
  if (root) {
    EXPECT_TRUE(ScratchFolder::Exists(tmp.File("sonvera-update-other1")));
  }
}

}  // namespace
}  // namespace sonvera
