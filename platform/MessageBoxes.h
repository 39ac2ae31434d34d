#pragma once
// Modal message boxes. On the original system a box runs a nested loop, so
// timers and device notifications keep arriving while it is open; backends
// that wait for a person must keep the EventLoop running meanwhile.
#include <optional>
#include <string>

namespace platform {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Question, Critical, Exclamation };
enum class Answer { Ok, Yes, No };

struct BoxRequest {
  std::string text;                  // lines split at CRLF, CR or LF
  std::optional<std::string> title;  // empty: the default title
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Throws platform::Error when the box cannot be shown or answered.
  virtual Answer Show(const BoxRequest& request) = 0;
};

}  // namespace platform
