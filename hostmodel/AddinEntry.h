#pragma once
// What a host needs to load an add-in: the connection events every add-in's
// connection object handles, and the four exported entry points of the
// in-process server.
#include <memory>

#include "hostmodel/HostModel.h"

namespace hostmodel {

// Connect modes.
constexpr int kExtCmStartup = 1;

class AddinConnection {
 public:
  virtual ~AddinConnection() = default;
  virtual void OnConnection(Ref<Application> application, int connectMode) = 0;
  virtual void OnStartupComplete() = 0;
  virtual void OnBeginShutdown() = 0;
};

// Result codes of the entry points.
constexpr int kSOk = 0;
constexpr int kSFalse = 1;
constexpr int kSelfRegErrorClass = static_cast<int>(0x80040201u);
constexpr int kClassENotAvailable = static_cast<int>(0x80040111u);

// Where registration puts things, below HKEY_CURRENT_USER.
constexpr const char* kAddinsKey = "Software\\Microsoft\\Office\\Outlook\\Addins";
constexpr const char* kClassesKey = "Software\\Classes";

}  // namespace hostmodel

extern "C" {
using DllRegisterServerFn = int (*)();
using DllUnregisterServerFn = int (*)();
// Creates an instance of the class `progId`; the caller owns *object and
// releases it with `delete` through AddinConnection's virtual destructor.
using DllGetClassObjectFn = int (*)(const char* progId, hostmodel::AddinConnection** object);
using DllCanUnloadNowFn = int (*)();
}
