// The start-up sequence against the host's own object model, with failures
// put where no scenario can reach.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "addin/Amp.h"
#include "addin/Connect.h"
#include "common/Trace.h"
#include "host/model/Application.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/Inspector.h"
#include "host/model/MailHost.h"
#include "host/store/MemoryMailStore.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/BarRows.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchFolder.h"
#include "update/frmUpdateMon.h"

namespace sonvera {
namespace {

using namespace hostmodel;

// A main window whose parts fail where a test says, and whose selection a
// test may put in place of the host's.
struct FaultyExplorer : Explorer {
  explicit FaultyExplorer(Ref<Explorer> inner) : inner(std::move(inner)) {}
  Ref<CommandBars> GetCommandBars() override {
    if (barsBroken) throw platform::Error("Bars are broken");
    return inner->GetCommandBars();
  }
  Ref<Folder> CurrentFolder() override {
    if (folderBroken) throw platform::Error("Folder is broken");
    return inner->CurrentFolder();
  }
  Ref<Selection> GetSelection() override { return selection ? selection : inner->GetSelection(); }
  Ref<Explorer> inner;
  bool barsBroken = false;
  bool folderBroken = false;
  Ref<Selection> selection;
};

// A mail whose attachments cannot be read, selected alone.
struct UnreadableMail : MailItem {
  int Class() override { return kOlMail; }
  Ref<Attachments> GetAttachments() override { throw platform::Error("Attachments are broken"); }
  std::string Body() override { return ""; }
  void SetBody(const std::string&) override {}
  bool Sent() override { return true; }
};
struct OneItemSelection : Selection {
  explicit OneItemSelection(Ref<Item> item) : item(std::move(item)) {}
  int Count() override { return 1; }
  Ref<Item> GetItem(int) override { return item; }
  Ref<Item> item;
};

class AmpTest : public ::testing::Test {
 protected:
  AmpTest() : host(store) {
    SetRegValue(platform::kHkeyCurrentUser, kSettingsKey, kValueAQ, std::string("1"), true);
  }
  ~AmpTest() override {
    if (connection) connection->OnBeginShutdown();
  }

  // The add-in started on a main window that fails where the test says.
  std::shared_ptr<FaultyExplorer> StartFaulty(bool barsBroken) {
    auto explorer = std::make_shared<FaultyExplorer>(host.MainExplorer());
    explorer->barsBroken = barsBroken;
    Start(std::make_shared<mailhost::Application>(host.AllInspectors(), explorer, [] {}));
    return explorer;
  }
  void Start(Ref<Application> app) {
    connection = std::make_unique<ConnectObject>();
    connection->OnConnection(app, kExtCmStartup);
    connection->OnStartupComplete();
  }

  testsupport::FakePlatform fake;
  mailhost::MemoryMailStore store;
  mailhost::MailHost host;
  std::unique_ptr<ConnectObject> connection;
};

// The trace lines written meanwhile, without their time stamps.
class TraceRecorder {
 public:
  TraceRecorder()
      : m_file(m_scratch.File("trace.log")), m_env("SONVERA_TRACE_FILE", m_file.c_str()) {}
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(m_file);
    const std::regex stamp(R"(^\d+/\d+/\d+ \d+:\d\d:\d\d [AP]M)");
    for (std::string line; std::getline(in, line);)
      lines.push_back(std::regex_replace(line, stamp, ""));
    return lines;
  }

 private:
  testsupport::ScratchFolder m_scratch;
  std::string m_file;
  testsupport::ScopedEnv m_env;
};

// A mutation that moves the first-run check before the single-instance test,
// the bar before the update check, or drops the pump, changes this sequence.
TEST_F(AmpTest, StartUpRunsItsStepsInTheirOrder) {
  testsupport::ScopedEnv server("SONVERA_PRODUCT_HOST", nullptr);
  fake.registry.DeleteTree(platform::kHkeyCurrentUser, kSettingsKey);
  fake.icmp.AddHost("updates.example", "10.0.0.1");
  fake.icmp.SetEchoStatus("10.0.0.1", 0);
  fake.http.Serve("https://updates.example/SonveraVersions/SonveraVersion.txt", 200, "1.0.27");
  fake.boxes.Queue(platform::Answer::No);  // the tutorial
  TraceRecorder trace;
  // A window message queued before the start runs at the start-up's pump.
  fake.loop.Post([] { TraceWrite("queued message"); });
  Start(host.App());

  EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                               " AddinInstance_OnConnection ",
                               "AddinInstance_OnConnection",
                               "AddinInstance_OnStartupComplete",
                               " Amp OnStartupComplete",
                               " Amp IsCommandBarSet",
                               " CheckFirstRun",
                               " WriteDefaults",
                               "queued message",
                               "https://updates.example/SonveraVersions/SonveraVersion.txt",
                               "1.0.27",
                               " Amp AddButtons",
                           }));
  EXPECT_EQ(fake.boxes.TakeUnanswered(), 0);
}

// Every property of the main window's bar, as a user and the host see it.
TEST_F(AmpTest, TheMainWindowsBarHasItsWholePropertyTable) {
  Start(host.App());
  auto bar = std::dynamic_pointer_cast<mailhost::CommandBar>(
      host.MainExplorer()->GetCommandBars()->Find("Sonvera"));
  ASSERT_TRUE(bar);
  EXPECT_TRUE(bar->Temporary());
  EXPECT_TRUE(bar->Visible());
  EXPECT_TRUE(bar->Enabled());
  EXPECT_EQ(bar->Protection(), kMsoBarNoCustomize);

  EXPECT_EQ(testsupport::BarRows(*bar),
            (std::vector<std::string>{
                "1|Sonvera|voice mail servece|70|shown|enabled||style 3|Sonvera.bmp",
                "1|Play|Play file|70|hidden|enabled|!<Sonvera.Amp>|style 3|PlayButton.bmp",
                "3||Choose file to play|100|hidden|enabled||style 1",
            }));
}

// The recorder form is a single instance that outlives the application
// object: a reference it kept would keep a shut-down add-in alive.
TEST_F(AmpTest, ShutdownLeavesNothingHoldingTheApplicationObject) {
  Start(host.App());
  std::weak_ptr<Amp> amp = oAmp;
  ASSERT_FALSE(amp.expired());
  FrmProp::Instance().PlayCaller = amp.lock();
  connection->OnBeginShutdown();
  connection.reset();
  EXPECT_TRUE(amp.expired()) << "something still holds the shut-down application object";
  EXPECT_FALSE(FrmProp::Instance().AmpRef);
  EXPECT_FALSE(FrmProp::Instance().PlayCaller);
  EXPECT_FALSE(frmUpdateMon::Instance().AmpRef);
}

TEST_F(AmpTest, YesInTheSingleInstancePromptEndsTheStartUp) {
  fake.boxes.Queue(platform::Answer::Yes);
  StartFaulty(true);

  ASSERT_EQ(fake.boxes.Shown().size(), 1u) << "nothing may be asked after the user chose to quit";
  EXPECT_EQ(
      fake.boxes.Shown()[0].request.text,
      "Is Command Bar Set\r\nCommandBars\r\n\r\nBars are broken\r\nDo you want to quit Sonvera?");
  EXPECT_FALSE(oAmp) << "the add-in is shut down";
  EXPECT_FALSE(frmUpdateMon::Instance().Loaded());
  EXPECT_EQ(host.MainExplorer()->GetCommandBars()->Count(), 0);
}

TEST_F(AmpTest, NoGoesOnStatementByStatementNamingEachStep) {
  for (int i = 0; i < 100; ++i) fake.boxes.Queue(platform::Answer::No);
  StartFaulty(true);

  // The step labels of the failing statements, in order, each once.
  std::vector<std::string> steps;
  for (const auto& box : fake.boxes.Shown()) {
    const std::string& text = box.request.text;
    auto first = text.find("\r\n");
    auto second = text.find("\r\n", first + 2);
    std::string step = text.substr(first + 2, second - first - 2);
    if (steps.empty() || steps.back() != step) steps.push_back(step);
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"CommandBars", "oExp.CommandBars", "oCBar", "CmdAmp",
                                             "CmdPlay", "CmdList", "oCBar.Protection"}));
  EXPECT_EQ(fake.boxes.TakeUnanswered(), 0);
  EXPECT_TRUE(oAmp) << "No keeps the add-in running";
}

// A failure on a selection change names its routine; No goes on with the
// next statement there, and leaves the listing of the mail's attachments.
TEST_F(AmpTest, TheMainWindowsSelectionFailuresNameTheirRoutine) {
  mailhost::StoredItem voice;
  voice.id = "m1";
  voice.attachments.push_back({"hello.mp3", {'I', 'D', '3'}});
  host.AddItem("Inbox", voice);
  auto explorer = StartFaulty(false);
  auto play = [&] { return host.BarsOf("explorer")->Find("Sonvera")->Controls()->GetItem(2); };
  host.Select({"m1"});
  explorer->folderBroken = true;
  fake.boxes.Queue(platform::Answer::No);
  explorer->SelectionChange.Fire();
  EXPECT_EQ(fake.LastBoxText(),
            "Change Selection\r\n\r\n\r\nFolder is broken\r\nDo you want to quit Sonvera?");
  EXPECT_TRUE(play()->Visible()) << "No must go on to list the selected mail";

  explorer->folderBroken = false;
  explorer->selection = std::make_shared<OneItemSelection>(std::make_shared<UnreadableMail>());
  fake.boxes.Queue(platform::Answer::No);
  explorer->SelectionChange.Fire();
  EXPECT_EQ(fake.LastBoxText(),
            "Check Mail\r\nList Box of sound files\r\n\r\nAttachments are broken\r\n"
            "Do you want to quit Sonvera?");
  EXPECT_TRUE(play()->Visible()) << "No must leave the listing as it was";
  EXPECT_EQ(fake.boxes.TakeUnanswered(), 0);
}

}  // namespace
}  // namespace sonvera
