#pragma once
// The one place where the add-in shows a failure, and offers or forces its
// shutdown.
#include <memory>
#include <optional>
#include <string>

namespace sonvera {

// What a prompt shuts down: the caller it names, and the add-in itself (a
// late-bound call on the original system).
class ShutdownTarget {
 public:
  virtual ~ShutdownTarget() = default;
  virtual void CleanShutdown() = 0;
  // Asks the host to quit, then shuts down; one that cannot quit its host
  // only shuts down.
  virtual void ExitProgram() { CleanShutdown(); }
};

// The add-in as a whole (what oAmp holds): set when the application object
// is made, cleared by its shutdown. Held weakly: oAmp owns it.
void SetAddinTarget(std::weak_ptr<ShutdownTarget> addin);
// Shuts the add-in down if it is still running; the add-in is held for the
// length of the call, since its shutdown clears the registration.
void ShutDownAddin();

constexpr const char* kModeAskShutDown = "AskShutDown";
constexpr const char* kModeDoShutDown = "DoShutDown";
constexpr const char* kModeDoWarning = "DoWarning";
constexpr const char* kErrorBoxTitle = "Sonvera Outlook Addin Error";
constexpr const char* kCrLf = "\r\n";

// Shows `source` + CRLF + `errorDescription` as the mode says. Returns the
// answer in "AskShutDown" mode (true for Yes), nothing otherwise. Never throws.
std::optional<bool> ErrorPrompt(const std::string& errorDescription, const std::string& source,
                                const std::string& mode, ShutdownTarget* caller);

}  // namespace sonvera
