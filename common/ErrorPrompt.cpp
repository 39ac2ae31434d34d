#include "common/ErrorPrompt.h"

#include "common/Routine.h"
#include "platform/Platform.h"

namespace sonvera {
namespace {

constexpr const char* kAskQuit = "Do you want to quit Sonvera?";

std::weak_ptr<ShutdownTarget> AddinTarget;

}  // namespace

void SetAddinTarget(std::weak_ptr<ShutdownTarget> addin) {
  AddinTarget = std::move(addin);
}

void ShutDownAddin() {
  if (auto addin = AddinTarget.lock()) addin->CleanShutdown();
}

std::optional<bool> ErrorPrompt(const std::string& errorDescription, const std::string& source,
                                const std::string& mode, ShutdownTarget* caller) {
  try {
    // The host is exiting: nobody is there to answer, and a box would hold the exit up.
    if (platform::GetLoop().Ending()) {
      if (mode == kModeDoShutDown) {
        if (caller) caller->CleanShutdown();
        ShutDownAddin();
      }
      return mode == kModeAskShutDown ? std::optional<bool>(false) : std::nullopt;
    }
    std::string message = source + kCrLf + errorDescription;
    platform::BoxRequest box;
    box.title = kErrorBoxTitle;
    if (mode == kModeAskShutDown) {
      box.text = message + kCrLf + kAskQuit;
      box.buttons = platform::Buttons::YesNo;
      return platform::GetBoxes().Show(box) == platform::Answer::Yes;
    }
    if (mode == kModeDoShutDown) {
      box.text = message;
      platform::GetBoxes().Show(box);
      if (caller) caller->CleanShutdown();
      ShutDownAddin();
    } else if (mode == kModeDoWarning) {
      box.text = message;
      platform::GetBoxes().Show(box);
    }
    return std::nullopt;
  } catch (...) {
    IgnoreErrors([] { ShutDownAddin(); });
    return std::nullopt;
  }
}

}  // namespace sonvera
