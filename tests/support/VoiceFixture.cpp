#include "tests/support/VoiceFixture.h"

#include <filesystem>

#include "host/model/Application.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBarControls.h"
#include "host/model/CommandBars.h"
#include "settings/Reg.h"
#include "settings/Settings.h"

namespace testsupport {

namespace fs = std::filesystem;

VoiceFixture::VoiceFixture() {
  LinkAddinFiles();
  fake.files.SetModulePath(addin.File("libsonvera.so"));
  fake.Reinstall();
  host = std::make_unique<mailhost::MailHost>(store);
  sonvera::SetRegValue(platform::kHkeyCurrentUser, sonvera::kSettingsKey, sonvera::kValueVersion,
                       std::string(sonvera::kDefaultVersion), true);
  sonvera::SetRegValue(platform::kHkeyCurrentUser, sonvera::kSettingsKey, sonvera::kValueAQ,
                       std::string("1"), true);
}

void VoiceFixture::LinkAddinFiles() {
  for (const auto& entry : fs::directory_iterator(SONVERA_TEST_ADDIN_DIR)) {
    const auto name = entry.path().filename().string();
    if (name == "Temp.wav" || name == "Sonvera.mp3" || name == "R.wav") continue;
    fs::create_symlink(entry.path(), addin.File(name));
  }
}

VoiceFixture::~VoiceFixture() {
  if (connection) connection->OnBeginShutdown();
}

void VoiceFixture::Start() {
  connection = std::make_unique<sonvera::ConnectObject>();
  connection->OnConnection(host->App(), hostmodel::kExtCmStartup);
  connection->OnStartupComplete();
}

std::shared_ptr<mailhost::CommandBarButton> VoiceFixture::Button(const std::string& window,
                                                                 const std::string& caption) {
  auto bar = host->BarsOf(window)->Newest();
  if (!bar) return nullptr;
  for (const auto& control : bar->ControlList()->All()) {
    if (control->Caption() == caption && control->Visible())
      return std::dynamic_pointer_cast<mailhost::CommandBarButton>(control);
  }
  return nullptr;
}

void VoiceFixture::Click(const std::string& window, const std::string& caption) {
  auto button = Button(window, caption);
  ASSERT_TRUE(button && button->Enabled()) << "no enabled " << caption << " on " << window;
  button->Press();
}

void VoiceFixture::Wait(int milliseconds) {
  fake.loop.AdvanceBy(platform::Millis(milliseconds));
}

}  // namespace testsupport
