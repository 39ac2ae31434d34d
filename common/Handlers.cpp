#include "common/Handlers.h"

#include "common/ErrorPrompt.h"
#include "platform/Platform.h"

namespace sonvera {

std::string SourceText(const char* label, const Routine& routine) {
  return std::string(label) + kCrLf + routine.step + kCrLf + routine.detail;
}

Routine::Handler AskToQuit(const char* label, OnError onNo) {
  return [label, onNo](Routine& routine, const std::string& description) {
    if (ErrorPrompt(description, SourceText(label, routine), kModeAskShutDown, nullptr)
            .value_or(false)) {
      ShutDownAddin();
      return OnError::Leave;
    }
    return onNo;
  };
}

Routine::Handler AskToQuit(const char* label, std::function<void()> onNo) {
  return [label, onNo = std::move(onNo)](Routine& routine, const std::string& description) {
    if (ErrorPrompt(description, SourceText(label, routine), kModeAskShutDown, nullptr)
            .value_or(false)) {
      ShutDownAddin();
    } else {
      IgnoreErrors(onNo);
    }
    return OnError::Leave;
  };
}

Routine::Handler ShutDownAndLeave(const char* label) {
  return [label](Routine& routine, const std::string& description) {
    ErrorPrompt(description, SourceText(label, routine), kModeDoShutDown, nullptr);
    return OnError::Leave;
  };
}

Routine::Handler WarnAndLeave(const char* source) {
  return [source](Routine&, const std::string& description) {
    ErrorPrompt(description, source, kModeDoWarning, nullptr);
    return OnError::Leave;
  };
}

Routine::Handler TellAndLeave() {
  return [](Routine&, const std::string& description) {
    platform::BoxRequest box;
    box.text = description;
    IgnoreErrors([&] { platform::GetBoxes().Show(box); });
    return OnError::Leave;
  };
}

Routine::Handler QuietWhile(const bool& quiet, Routine::Handler handler) {
  return [&quiet, handler = std::move(handler)](Routine& routine, const std::string& description) {
    if (quiet) return OnError::Leave;
    return handler(routine, description);
  };
}

Routine::Handler LeaveSilently() {
  return [](Routine&, const std::string&) { return OnError::Leave; };
}

}  // namespace sonvera
