#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "host/loader/AddinLoader.h"
#include "host/model/Application.h"
#include "host/model/Explorer.h"
#include "host/model/MailHost.h"
#include "host/store/MemoryMailStore.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxFiles.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RegistryCalls.h"

namespace mailhost {
namespace {

const std::string kProbe = std::filesystem::canonical(MAILHOST_PROBE_ADDIN).string();
const std::string kAddins = hostmodel::kAddinsKey;
const std::string kClasses = hostmodel::kClassesKey;

class AddinLoaderTest : public ::testing::Test {
 protected:
  // Registration enters the path of the library that registers itself.
  AddinLoaderTest() {
    fake.GetServices().files = &files;
    fake.Reinstall();
  }
  void Set(const std::string& key, const std::string& name, const std::string& text) {
    ASSERT_EQ(
        testsupport::PutValue(fake.registry, key, name, platform::kRegSz,
                              testsupport::B(std::string_view(text.c_str(), text.size() + 1))),
        0);
  }
  void SetDword(const std::string& key, const std::string& name, std::uint8_t value) {
    ASSERT_EQ(
        testsupport::PutValue(fake.registry, key, name, platform::kRegDword, {value, 0, 0, 0}), 0);
  }
  // An add-in entry whose class leads to `library`.
  void Enter(const std::string& progId, const std::string& library) {
    SetDword(kAddins + "\\" + progId, "LoadBehavior", 3);
    Set(kClasses + "\\" + progId + "\\CLSID", "", "{" + progId + "}");
    Set(kClasses + "\\CLSID\\{" + progId + "}\\InprocServer32", "", library);
  }

  testsupport::FakePlatform fake;
  platform::LinuxFiles files;
  MemoryMailStore store;
  MailHost host{store};
  AddinLoader loader;
  std::ostringstream errors;
};

// Registering and loading what is registered is what every script run with the
// probe shows; unregistering, RegistrationTest's run of mailhost --unregister.
TEST_F(AddinLoaderTest, EntriesThatAreNotAddinsAreSkippedAndFailuresReported) {
  Set(kAddins + "\\Settings.Only", "AQ", "1");  // an add-in's own settings
  SetDword(kAddins + "\\Disabled.Connect", "LoadBehavior", 2);
  Set(kAddins + "\\Text.Connect", "LoadBehavior", "3");  // not a DWORD
  SetDword(kAddins + "\\NoClass.Connect", "LoadBehavior", 3);
  Enter("Missing.Connect", "/nonexistent/libmissing.so");
  Enter("Unknown.Connect", kProbe);  // the library knows no such class
  Enter("Probe.Connect", kProbe);

  testing::internal::CaptureStdout();
  loader.Connect(host.App(), errors);
  const auto out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "probe connect mode=1\n") << "the good add-in must load despite the others";

  const auto text = errors.str();
  for (const std::string& said : std::vector<std::string>{
           "NoClass.Connect not loaded: its class is not registered",
           "Missing.Connect not loaded: /nonexistent/libmissing.so",
           "Unknown.Connect not loaded: DllGetClassObject of " + kProbe + " returned 0x80040111"})
    EXPECT_NE(text.find(said), std::string::npos) << text;
  for (const char* silent : {"Settings.Only", "Disabled", "Text.Connect"}) {
    EXPECT_EQ(text.find(silent), std::string::npos) << silent << " should be skipped quietly";
  }
  testing::internal::CaptureStdout();
  loader.Shutdown(errors);
  testing::internal::GetCapturedStdout();
}

TEST_F(AddinLoaderTest, RegistrationNeedsALibraryWithTheEntryPoint) {
  EXPECT_FALSE(AddinLoader::Register("/nonexistent/lib.so", false, errors));
  EXPECT_NE(errors.str().find("no such library"), std::string::npos) << errors.str();

  errors.str("");
  const auto platformLibrary =
      platform::LinuxFiles().ModulePathOf(reinterpret_cast<const void*>(&platform::Install));
  EXPECT_FALSE(AddinLoader::Register(platformLibrary, true, errors));
  EXPECT_NE(errors.str().find("has no entry point DllUnregisterServer"), std::string::npos)
      << errors.str();

  EXPECT_FALSE(AddinLoader::Register(MAILHOST_BINARY, false, errors)) << "a program is no library";
}

}  // namespace
}  // namespace mailhost
