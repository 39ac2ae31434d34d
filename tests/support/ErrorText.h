#pragma once
// What an action that must fail said, for tests that check the words.
#include <functional>
#include <string>

#include "platform/Error.h"

namespace testsupport {

// The text of the platform::Error `action` throws, or "" when it throws none.
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::Error& e) {
    return e.what();
  }
  return "";
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace testsupport
