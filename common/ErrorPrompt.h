#pragma once
// The one place where the add-in shows a failure, and offers or forces its
// shutdown.
#include <optional>
#include <string>

namespace sonvera {

// Whoever a "DoShutDown" prompt shuts down besides oAmp (a late-bound call on
// the original system).
class ShutdownTarget {
 public:
  virtual ~ShutdownTarget() = default;
  virtual void CleanShutdown() = 0;
};

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
