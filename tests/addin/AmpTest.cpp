// The start-up sequence against the host's own object model, with failures
// put where no scenario can reach.
#include <gtest/gtest.h>

#include "addin/Amp.h"
#include "addin/Connect.h"
#include "common/FacePaste.h"
#include "host/model/Application.h"
#include "host/model/CommandBarButton.h"
#include "host/model/Explorer.h"
#include "host/model/Inspector.h"
#include "host/model/MailHost.h"
#include "host/store/MemoryMailStore.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/FakePlatform.h"
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

TEST_F(AmpTest, FacePasteKeepsTheUsersTextAndShowsTheFace) {
  auto bar = host.MainExplorer()->GetCommandBars()->Add("Test", kMsoBarTop, false, true);
  auto button = std::dynamic_pointer_cast<mailhost::CommandBarButton>(
      bar->Controls()->Add(kMsoControlButton, 0, "", 0, true));
  ASSERT_TRUE(button);
  fake.clipboard.SetText("kept");
  int failures = 0;
  auto run = [&](auto&& statement) {
    try {
      statement();
    } catch (const std::exception&) {
      ++failures;
    }
  };
  PasteFaceFrom(*button, "\\StopButton.bmp", run);
  EXPECT_EQ(failures, 0);
  ASSERT_TRUE(button->Face());
  EXPECT_NE(button->Face()->sourceFile.find("StopButton.bmp"), std::string::npos);
  EXPECT_EQ(fake.clipboard.GetText(), "kept");

  fake.clipboard.Clear();
  fake.clipboard.SetRichText("{\\rtf1 x}", "rich");
  PasteFaceFrom(*button, "\\PlayButton.bmp", run);
  EXPECT_EQ(fake.clipboard.GetText(), "rich");
  EXPECT_NE(button->Face()->sourceFile.find("PlayButton.bmp"), std::string::npos);

  // A missing file: the paste goes on with what the clipboard holds.
  PasteFaceFrom(*button, "\\NoSuchFace.bmp", run);
  EXPECT_EQ(failures, 1);
  EXPECT_NE(button->Face()->sourceFile.find("PlayButton.bmp"), std::string::npos);
}

}  // namespace
}  // namespace sonvera
