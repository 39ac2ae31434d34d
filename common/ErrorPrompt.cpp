#include "common/ErrorPrompt.h"

#include "addin/Amp.h"
#include "common/Routine.h"
#include "platform/Platform.h"

namespace sonvera {
namespace {

constexpr const char* kAskQuit = "Do you want to quit Sonvera?";

void ShutDownThroughAmp() {
  // CleanShutdown clears oAmp: hold the object for the length of the call.
  if (std::shared_ptr<Amp> amp = oAmp) amp->CleanShutdown();
}

}  // namespace

std::optional<bool> ErrorPrompt(const std::string& errorDescription, const std::string& source,
                                const std::string& mode, ShutdownTarget* caller) {
  try {
    // The host is exiting: nobody is there to answer, and a box would hold the exit up.
    if (platform::GetLoop().Ending()) {
      if (mode == kModeDoShutDown) {
        if (caller) caller->CleanShutdown();
        ShutDownThroughAmp();
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
      ShutDownThroughAmp();
    } else if (mode == kModeDoWarning) {
      box.text = message;
      platform::GetBoxes().Show(box);
    }
    return std::nullopt;
  } catch (...) {
    IgnoreErrors([] { ShutDownThroughAmp(); });
    return std::nullopt;
  }
}

}  // namespace sonvera
