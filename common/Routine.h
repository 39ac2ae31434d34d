#pragma once
// The three ways the add-in's routines meet failures, so that no try/catch is
// copied around:
// - Routine: statements run one by one under a step label and a detail
//   message; a failure goes to the routine's handler, which says whether the
//   routine goes on with the next statement or is left.
// - IgnoreErrors: one statement whose failure does not matter.
// - A Routine whose handler returns Leave without a word: the routine ends
//   silently at its first failure.
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/Error.h"

namespace sonvera {

enum class OnError { Continue, Leave };

class Routine {
 public:
  using Handler = std::function<OnError(Routine& routine, const std::string& description)>;

  explicit Routine(Handler handler) : m_handler(std::move(handler)) {}

  // Runs one statement unless the routine was left; false once it is left.
  template <typename F>
  bool Do(F&& statement) {
    if (m_left) return false;
    std::string description;
    try {
      statement();
      return true;
    } catch (const std::exception& e) {
      description = e.what();
    } catch (...) {
      description = "Automation error";
    }
    if (m_handler(*this, description) == OnError::Leave) m_left = true;
    return !m_left;
  }

  bool Left() const { return m_left; }
  void Leave() { m_left = true; }

  std::string step;    // the step in progress
  std::string detail;  // prepared before a risky call, e.g. "Error saving " + path

 private:
  Handler m_handler;
  bool m_left = false;
};

template <typename F>
bool IgnoreErrors(F&& statement) {
  try {
    statement();
    return true;
  } catch (...) {
    return false;
  }
}

// What the original run time says when a member is used on an empty reference.
constexpr const char* kObjectNotSet = "Object variable or With block variable not set";

template <typename T>
T& Need(const std::shared_ptr<T>& reference) {
  if (!reference) throw platform::Error(kObjectNotSet);
  return *reference;
}

// The object as the type a late-bound call needs, or the run time's error.
template <typename T, typename U>
std::shared_ptr<T> As(const std::shared_ptr<U>& object) {
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) throw platform::Error("Type mismatch");
  return typed;
}

}  // namespace sonvera
