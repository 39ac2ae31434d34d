#pragma once
// The one error type of failing host and platform calls. Its description is
// what the add-in's error prompt shows, so it must read well to a user.
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& description) : std::runtime_error(description) {}
  std::string Description() const { return what(); }
};

}  // namespace platform
