#pragma once
// Runs the current test again in a child process inside a network namespace
// of its own, so that a test can make loopback drop echoes or go down without
// touching the machine's network. The same test body serves both roles:
//
//   TEST(Suite, Name) {
//     RUN_INSIDE_NETWORK_NAMESPACE("ip link set lo up");
//     ... the checks, run only inside ...
//   }
#include <gtest/gtest.h>

#include <string>

namespace testsupport {

struct NamespaceRun {
  bool available = false;  // false: namespaces cannot be made here; `output` says why
  bool passed = false;
  bool skipped = false;  // the child skipped; `output` holds its reason
  std::string output;
};

bool InsideNetworkNamespace();

// `setup` is a shell command list run inside the fresh namespace first
// (loopback starts down there).
NamespaceRun RerunInNetworkNamespace(const std::string& setup);

}  // namespace testsupport

// Outside: reruns the test inside and passes, fails or skips as it did there.
#define RUN_INSIDE_NETWORK_NAMESPACE(setup)                                   \
  if (!testsupport::InsideNetworkNamespace()) {                               \
    const auto run = testsupport::RerunInNetworkNamespace(setup);             \
    if (!run.available) GTEST_SKIP() << run.output;                           \
    if (run.skipped) GTEST_SKIP() << "inside the namespace:\n" << run.output; \
    EXPECT_TRUE(run.passed) << run.output;                                    \
    return;                                                                   \
  }
