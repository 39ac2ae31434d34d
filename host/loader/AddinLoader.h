#pragma once
// Loads the add-ins the registry names, the way the mail client does: every
// subkey of the Addins key whose DWORD LoadBehavior is 3 is a ProgID; its
// CLSID leads to the in-process server's library. The host knows no add-in
// by name.
//
// Libraries stay loaded until the process ends: the host's events may still
// hold handlers whose code lives in them.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "hostmodel/AddinEntry.h"

namespace mailhost {

class AddinLoader {
 public:
  ~AddinLoader();

  // Loads every registered add-in and delivers OnConnection. An add-in that
  // fails is reported on `errors` with the reason and skipped.
  void Connect(hostmodel::Ref<hostmodel::Application> application, std::ostream& errors);
  void StartupComplete(std::ostream& errors);
  // OnBeginShutdown to each, then releases them.
  void Shutdown(std::ostream& errors);
  std::size_t Count() const { return m_addins.size(); }

  // Calls the library's DllRegisterServer (or DllUnregisterServer), loading
  // it for the call only. Returns
  // false, after a message on `errors`, when the library or the entry point
  // is missing or the call fails.
  static bool Register(const std::string& library, bool unregister, std::ostream& errors);
  // The library registered for a ProgID, or "" (with the reason in `why`).
  static std::string LibraryOf(const std::string& progId, std::string* why);

 private:
  struct Addin {
    std::string progId;
    std::unique_ptr<hostmodel::AddinConnection> connection;
  };
  std::vector<Addin> m_addins;
};

}  // namespace mailhost
