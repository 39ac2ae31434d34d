// The add-in enters itself in the registry file the way the host looks it up,
// and leaves the user's settings behind when it is removed.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/RegistryLinux.h"
#include "settings/Reg.h"
#include "settings/Settings.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/MailhostRun.h"
#include "tests/support/ScratchFolder.h"

namespace sonvera {
namespace {

using testsupport::RunMailhost;

const std::string kLibrary = std::string(SONVERA_TEST_ADDIN_DIR) + "/libsonvera.so";
constexpr const char* kAddinKey =
    "Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera_2000_A.Connect";

// Reads through a registry on the same file, installed as the add-in sees it.
struct FileRegistry {
  explicit FileRegistry(const std::string& path) : registry(path) {
    fake.GetServices().registry = &registry;
    fake.Reinstall();
  }
  std::string Text(const std::string& key, const std::string& name) {
    return RegDataText(GetRegValue(platform::kHkeyCurrentUser, key, name));
  }
  testsupport::FakePlatform fake;
  platform::RegistryLinux registry;
};

TEST(RegistrationTest, RegisterEntersTheAddinAndItsClassesUnregisterRemovesThem) {
  testsupport::ScratchFolder data;
  ASSERT_EQ(RunMailhost("--register " + kLibrary + " --data " + data.Path()).status, 0);
  {
    FileRegistry reg(data.File("registry.reg"));
    EXPECT_EQ(reg.Text(kAddinKey, "FriendlyName"), "Sonvera");
    EXPECT_EQ(reg.Text(kAddinKey, "Description"), "Sonvera addin for Outlook 2000");
    EXPECT_EQ(GetRegValue(platform::kHkeyCurrentUser, kAddinKey, "LoadBehavior"),
              RegData(std::int32_t{3}));
    for (const char* progId :
         {"Sonvera_2000_A.Connect", "Sonvera_2000_A.Amp", "Sonvera_2000_A.Insp"}) {
      std::string clsid = reg.Text(std::string("Software\\Classes\\") + progId + "\\CLSID", "");
      ASSERT_FALSE(clsid.empty()) << progId;
      std::string server = reg.Text("Software\\Classes\\CLSID\\" + clsid + "\\InprocServer32", "");
      EXPECT_EQ(server, kLibrary) << progId;
    }
    SetRegValue(platform::kHkeyCurrentUser, kSettingsKey, kValueAQ, std::string("3"), true);
  }
  ASSERT_EQ(RunMailhost("--unregister " + kLibrary + " --data " + data.Path()).status, 0);
  {
    FileRegistry reg(data.File("registry.reg"));
    EXPECT_EQ(reg.Text(kAddinKey, "FriendlyName"), "");
    EXPECT_EQ(reg.Text("Software\\Classes\\Sonvera_2000_A.Connect\\CLSID", ""), "");
    EXPECT_EQ(reg.Text(kSettingsKey, kValueAQ), "3") << "the user's settings stay";
  }
}

}  // namespace
}  // namespace sonvera
