#include "host/loader/AddinLoader.h"

#include <dlfcn.h>

#include <cstdio>
#include <exception>
#include <filesystem>

#include "platform/Platform.h"

namespace mailhost {
namespace {

constexpr std::uint32_t kLoadAtStartup = 3;

std::string Hex(int code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

// Reads a value of a key below HKEY_CURRENT_USER; false when absent.
bool ReadValue(const std::string& path, const std::string& name, platform::RegValue* value) {
  auto& registry = platform::GetRegistry();
  platform::HKey key = 0;
  if (registry.OpenKey(platform::kHkeyCurrentUser, path, &key) != platform::kErrorSuccess) {
    return false;
  }
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  bool found = registry.QueryValue(key, name, &type, nullptr, &size) == platform::kErrorSuccess;
  if (found) {
    value->type = type;
    value->data.resize(size);
    found =
        registry.QueryValue(key, name, &type, value->data.data(), &size) == platform::kErrorSuccess;
    value->data.resize(size);
  }
  registry.CloseKey(key);
  return found;
}

std::string ReadText(const std::string& path, const std::string& name) {
  platform::RegValue value;
  if (!ReadValue(path, name, &value) || value.type != platform::kRegSz) return "";
  std::string text(value.data.begin(), value.data.end());
  return text.substr(0, text.find('\0'));
}

// dlopen wants a path with a folder, or it searches the library path.
std::string Locate(const std::string& library) {
  std::error_code ec;
  auto path = std::filesystem::absolute(library, ec);
  return ec ? library : path.lexically_normal().string();
}

void* Open(const std::string& library, std::string* why) {
  // A library loaded once stays loaded when it defines unique symbols, and
  // dlopen then answers by its name even after the file is gone.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(library, ec)) {
    *why = library + ": no such library";
    return nullptr;
  }
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    *why = error ? error : "cannot be loaded";
  }
  return handle;
}

template <typename Fn>
bool Deliver(const std::string& progId, const char* eventName, std::ostream& errors, Fn fn) {
  try {
    fn();
    return true;
  } catch (const std::exception& e) {
    errors << "mailhost: add-in " << progId << ": " << eventName << " failed: " << e.what()
           << std::endl;
  } catch (...) {
    errors << "mailhost: add-in " << progId << ": " << eventName << " failed" << std::endl;
  }
  return false;
}

}  // namespace

AddinLoader::~AddinLoader() = default;

std::string AddinLoader::LibraryOf(const std::string& progId, std::string* why) {
  const std::string classes = hostmodel::kClassesKey;
  const std::string clsid = ReadText(classes + "\\" + progId + "\\CLSID", "");
  if (clsid.empty()) {
    *why = "its class is not registered (no " + classes + "\\" + progId + "\\CLSID)";
    return "";
  }
  const std::string server = classes + "\\CLSID\\" + clsid + "\\InprocServer32";
  const std::string library = ReadText(server, "");
  if (library.empty()) *why = "no library is registered under " + server;
  return library;
}

void AddinLoader::Connect(hostmodel::Ref<hostmodel::Application> application,
                          std::ostream& errors) {
  auto& registry = platform::GetRegistry();
  platform::HKey addins = 0;
  if (registry.OpenKey(platform::kHkeyCurrentUser, hostmodel::kAddinsKey, &addins) !=
      platform::kErrorSuccess) {
    return;  // nothing registered
  }
  std::vector<std::string> progIds;
  registry.ListSubkeys(addins, &progIds);
  registry.CloseKey(addins);

  for (const auto& progId : progIds) {
    platform::RegValue behavior;
    if (!ReadValue(std::string(hostmodel::kAddinsKey) + "\\" + progId, "LoadBehavior", &behavior) ||
        behavior.type != platform::kRegDword || behavior.data.size() != 4) {
      continue;  // not an add-in entry (an add-in's own settings, say)
    }
    std::uint32_t loadBehavior = behavior.data[0] | behavior.data[1] << 8 | behavior.data[2] << 16 |
                                 std::uint32_t{behavior.data[3]} << 24;
    if (loadBehavior != kLoadAtStartup) continue;

    std::string why;
    const std::string library = LibraryOf(progId, &why);
    if (library.empty()) {
      errors << "mailhost: add-in " << progId << " not loaded: " << why << std::endl;
      continue;
    }
    void* handle = Open(library, &why);
    if (!handle) {
      errors << "mailhost: add-in " << progId << " not loaded: " << why << std::endl;
      continue;
    }
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!getClassObject) {
      errors << "mailhost: add-in " << progId << " not loaded: " << library
             << " has no entry point DllGetClassObject" << std::endl;
      continue;
    }
    hostmodel::AddinConnection* object = nullptr;
    int result = hostmodel::kClassENotAvailable;
    try {
      result = getClassObject(progId.c_str(), &object);
    } catch (...) {
      object = nullptr;
    }
    std::unique_ptr<hostmodel::AddinConnection> connection(object);
    if (result != hostmodel::kSOk || !connection) {
      errors << "mailhost: add-in " << progId << " not loaded: DllGetClassObject of " << library
             << " returned " << Hex(result) << std::endl;
      continue;
    }
    if (!Deliver(progId, "OnConnection", errors,
                 [&] { connection->OnConnection(application, hostmodel::kExtCmStartup); })) {
      continue;
    }
    m_addins.push_back({progId, std::move(connection)});
  }
}

void AddinLoader::StartupComplete(std::ostream& errors) {
  for (auto& addin : m_addins) {
    Deliver(addin.progId, "OnStartupComplete", errors,
            [&] { addin.connection->OnStartupComplete(); });
  }
}

void AddinLoader::Shutdown(std::ostream& errors) {
  for (auto& addin : m_addins) {
    Deliver(addin.progId, "OnBeginShutdown", errors, [&] { addin.connection->OnBeginShutdown(); });
  }
  for (auto& addin : m_addins) {
    Deliver(addin.progId, "release", errors, [&] { addin.connection.reset(); });
  }
  m_addins.clear();
}

bool AddinLoader::Register(const std::string& library, bool unregister, std::ostream& errors) {
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const std::string path = Locate(library);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    errors << "mailhost: " << library << ": no such library" << std::endl;
    return false;
  }
  std::string why;
  void* handle = Open(path, &why);
  if (!handle) {
    errors << "mailhost: cannot load " << path << ": " << why << std::endl;
    return false;
  }
  // Registration loads the library only for the call, as a separate
  // registration program would: a later start must find what is on disk then.
  auto function = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, entry));
  if (!function) {
    errors << "mailhost: " << path << " has no entry point " << entry << std::endl;
    dlclose(handle);
    return false;
  }
  int result = hostmodel::kSelfRegErrorClass;
  std::int32_t saved = platform::kErrorSuccess;
  {
    // Whatever the library writes, the registry file is written once.
    platform::RegistryBatch batch(platform::GetRegistry());
    try {
      result = function();
    } catch (...) {
    }
    saved = batch.Commit();
  }
  dlclose(handle);
  if (saved != platform::kErrorSuccess) {
    errors << "mailhost: " << entry << " of " << path
           << ": the registry could not be saved (status " << saved << ")" << std::endl;
    return false;
  }
  if (result != hostmodel::kSOk) {
    errors << "mailhost: " << entry << " of " << path << " failed with " << Hex(result)
           << std::endl;
    return false;
  }
  return true;
}

}  // namespace mailhost
