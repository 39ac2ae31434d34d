#include "platform/fake/FakeRegistry.h"

namespace platform {

FakeRegistry::FakeRegistry() = default;
FakeRegistry::~FakeRegistry() = default;

}  // namespace platform
