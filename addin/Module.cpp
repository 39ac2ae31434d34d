// The in-process server's four entry points. Registration enters the add-in
// and its classes in the registry the way the host looks them up.
#include <cstring>
#include <string>
#include <vector>

#include "addin/Connect.h"
#include "common/Routine.h"
#include "hostmodel/AddinEntry.h"
#include "platform/Platform.h"

namespace sonvera {
namespace {

struct ClassEntry {
  const char* progId;
  const char* clsid;
};

constexpr ClassEntry kClasses[] = {
    {"Sonvera_2000_A.Connect", "{7CC16E41-623B-4D5B-970B-5C3755EE197E}"},
    {"Sonvera_2000_A.Amp", "{53B2B391-D5BC-41B5-9CC9-A07AD9359271}"},
    {"Sonvera_2000_A.Insp", "{41304EE4-8E60-4B70-A22B-0F57CEAFDF29}"},
};
constexpr const char* kConnectProgId = "Sonvera_2000_A.Connect";
constexpr const char* kFriendlyName = "Sonvera";
constexpr const char* kDescription = "Sonvera addin for Outlook 2000";
constexpr std::uint32_t kLoadAtStartup = 3;

// Writes one value; false when the registry refused.
bool Put(const std::string& path, const std::string& name, std::uint32_t type,
         const std::vector<std::uint8_t>& data) {
  auto& reg = platform::GetRegistry();
  platform::HKey key = 0;
  if (reg.CreateKey(platform::kHkeyCurrentUser, path, &key) != platform::kErrorSuccess)
    return false;
  bool ok = reg.SetValue(key, name, type, data.data(), static_cast<std::uint32_t>(data.size())) ==
            platform::kErrorSuccess;
  reg.CloseKey(key);
  return ok;
}

bool PutText(const std::string& path, const std::string& name, const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return Put(path, name, platform::kRegSz, data);
}

bool PutDword(const std::string& path, const std::string& name, std::uint32_t v) {
  return Put(path, name, platform::kRegDword,
             {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
              static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
}

std::string LibraryPath() {
  return platform::GetFiles().ModulePathOf(reinterpret_cast<const void*>(&LibraryPath));
}

}  // namespace
}  // namespace sonvera

using namespace sonvera;

extern "C" __attribute__((visibility("default"))) int DllRegisterServer() {
  try {
    // One write of the file for every entry, not one for each.
    platform::RegistryBatch batch(platform::GetRegistry());
    const std::string classes = hostmodel::kClassesKey;
    bool ok = true;
    for (const ClassEntry& c : kClasses) {
      ok &= PutText(classes + "\\" + c.progId, "", c.progId);
      ok &= PutText(classes + "\\" + c.progId + "\\CLSID", "", c.clsid);
      std::string clsidKey = classes + "\\CLSID\\" + c.clsid;
      ok &= PutText(clsidKey, "", c.progId);
      ok &= PutText(clsidKey + "\\InprocServer32", "", LibraryPath());
      ok &= PutText(clsidKey + "\\InprocServer32", "ThreadingModel", "Apartment");
      ok &= PutText(clsidKey + "\\ProgID", "", c.progId);
    }
    std::string addin = std::string(hostmodel::kAddinsKey) + "\\" + kConnectProgId;
    ok &= PutText(addin, "FriendlyName", kFriendlyName);
    ok &= PutText(addin, "Description", kDescription);
    ok &= PutDword(addin, "LoadBehavior", kLoadAtStartup);
    ok &= batch.Commit() == platform::kErrorSuccess;
    return ok ? hostmodel::kSOk : hostmodel::kSelfRegErrorClass;
  } catch (...) {
    return hostmodel::kSelfRegErrorClass;
  }
}

extern "C" __attribute__((visibility("default"))) int DllUnregisterServer() {
  try {
    auto& reg = platform::GetRegistry();
    platform::RegistryBatch batch(reg);
    const std::string classes = hostmodel::kClassesKey;
    for (const ClassEntry& c : kClasses) {
      reg.DeleteTree(platform::kHkeyCurrentUser, classes + "\\" + c.progId);
      reg.DeleteTree(platform::kHkeyCurrentUser, classes + "\\CLSID\\" + c.clsid);
    }
    // The settings key below Addins is the user's and stays.
    reg.DeleteTree(platform::kHkeyCurrentUser,
                   std::string(hostmodel::kAddinsKey) + "\\" + kConnectProgId);
    return batch.Commit() == platform::kErrorSuccess ? hostmodel::kSOk
                                                     : hostmodel::kSelfRegErrorClass;
  } catch (...) {
    return hostmodel::kSelfRegErrorClass;
  }
}

extern "C" __attribute__((visibility("default"))) int DllGetClassObject(
    const char* progId, hostmodel::AddinConnection** object) {
  if (!object) return hostmodel::kClassENotAvailable;
  *object = nullptr;
  if (!progId || std::strcmp(progId, kConnectProgId) != 0) return hostmodel::kClassENotAvailable;
  try {
    *object = new ConnectObject();
    return hostmodel::kSOk;
  } catch (...) {
    return hostmodel::kClassENotAvailable;
  }
}

extern "C" __attribute__((visibility("default"))) int DllCanUnloadNow() {
  return ConnectObject::LiveObjects() == 0 ? hostmodel::kSOk : hostmodel::kSFalse;
}
