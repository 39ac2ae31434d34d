#pragma once
// The registry of tests: memory only, gone with the object.
#include "platform/common/RegistryTree.h"

namespace platform {

class FakeRegistry : public RegistryTree {
 public:
  FakeRegistry();
  ~FakeRegistry() override;
};

}  // namespace platform
