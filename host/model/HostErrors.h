#pragma once
// Descriptions of the host's failing calls, as the add-in's error prompt shows them.
#include "platform/Error.h"

namespace mailhost {

constexpr const char* kIndexOutOfBounds = "Array index out of bounds.";
constexpr const char* kInvalidArgument = "Invalid procedure call or argument.";
constexpr const char* kObjectDeleted = "The object invoked has disconnected from its clients.";

}  // namespace mailhost
