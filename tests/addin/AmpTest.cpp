// The start-up sequence against the host's own object model, with failures
// put where no scenario can reach.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "addin/Amp.h"
#include "addin/Connect.h"
#include "common/Trace.h"
#include "host/model/Application.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBarComboBox.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/Inspector.h"
#include "host/model/MailHost.h"
#include "host/store/MemoryMailStore.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchFolder.h"
#include "update/frmUpdateMon.h"

namespace sonvera {
namespace {

using namespace hostmodel;

// A main window whose bars cannot be reached.
struct BrokenBarsExplorer : Explorer {
  explicit BrokenBarsExplorer(Ref<Explorer> inner) : inner(std::move(inner)) {}
  Ref<CommandBars> GetCommandBars() override { throw platform::Error("Bars are broken"); }
  Ref<Folder> CurrentFolder() override { return inner->CurrentFolder(); }
  Ref<Selection> GetSelection() override { return inner->GetSelection(); }
  Ref<Explorer> inner;
};

class AmpTest : public ::testing::Test {
 protected:
  AmpTest() : host(store) {
    SetRegValue(platform::kHkeyCurrentUser, kSettingsKey, kValueAQ, std::string("1"), true);
  }
  ~AmpTest() override {
    if (connection) connection->OnBeginShutdown();
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

  std::vector<std::string> rows;
  auto controls = bar->Controls();
  for (int i = 1; i <= controls->Count(); ++i) {
    auto c = controls->GetItem(i);
    std::string row = std::to_string(c->Type()) + "|" + c->Caption() + "|" + c->DescriptionText() +
                      "|" + std::to_string(c->Width()) + "|" + (c->Visible() ? "shown" : "hidden") +
                      "|" + (c->Enabled() ? "enabled" : "disabled") + "|" + c->OnAction();
    if (auto button = std::dynamic_pointer_cast<mailhost::CommandBarButton>(c)) {
      row += "|style " + std::to_string(button->Style()) + "|" +
             (button->Face() ? std::filesystem::path(button->Face()->sourceFile).filename().string()
                             : "no face");
    } else if (auto list = std::dynamic_pointer_cast<mailhost::CommandBarComboBox>(c)) {
      row += "|style " + std::to_string(list->Style());
    }
    rows.push_back(row);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{
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
  auto explorer = std::make_shared<BrokenBarsExplorer>(host.MainExplorer());
  auto app = std::make_shared<mailhost::Application>(host.AllInspectors(), explorer, [] {});
  fake.boxes.Queue(platform::Answer::Yes);
  Start(app);

  ASSERT_EQ(fake.boxes.Shown().size(), 1u) << "nothing may be asked after the user chose to quit";
  EXPECT_EQ(
      fake.boxes.Shown()[0].request.text,
      "Is Command Bar Set\r\nCommandBars\r\n\r\nBars are broken\r\nDo you want to quit Sonvera?");
  EXPECT_FALSE(oAmp) << "the add-in is shut down";
  EXPECT_FALSE(frmUpdateMon::Instance().Loaded());
  EXPECT_EQ(host.MainExplorer()->GetCommandBars()->Count(), 0);
}

TEST_F(AmpTest, NoGoesOnStatementByStatementNamingEachStep) {
  auto explorer = std::make_shared<BrokenBarsExplorer>(host.MainExplorer());
  auto app = std::make_shared<mailhost::Application>(host.AllInspectors(), explorer, [] {});
  for (int i = 0; i < 100; ++i) fake.boxes.Queue(platform::Answer::No);
  Start(app);

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

}  // namespace
}  // namespace sonvera
