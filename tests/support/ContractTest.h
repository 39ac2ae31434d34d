#pragma once
// One typed suite per platform service, run against every backend of it, so
// that a fake cannot drift from the real thing. A backend is a small traits
// type: it builds the service, names itself, and knows how to drive it in the
// ways the two differ (how time passes, how a reply is scripted):
//
//   struct AlsaMedia { static constexpr const char* kName = "Alsa";
//                      platform::AlsaMedia media; void Pass(Millis); };
//   struct FakeMedia { static constexpr const char* kName = "Fake"; ... };
//   template <typename Backend> class MediaContract : public ::testing::Test {
//    protected:
//     Backend backend;
//   };
//   SONVERA_CONTRACT_SUITE(MediaContract, AlsaMedia, FakeMedia);
//   TYPED_TEST(MediaContract, ...) { ... this->backend.media ... }
//
// What only one backend can show stays a plain TEST beside the suite.
#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// Test names read SuiteName/kName.Case, e.g. EventLoopContract/Virtual.Nested.
struct BackendNames {
  template <typename Backend>
  static std::string GetName(int) {
    return Backend::kName;
  }
};

}  // namespace testsupport

#define SONVERA_CONTRACT_SUITE(Suite, ...)               \
  using Suite##Backends = ::testing::Types<__VA_ARGS__>; \
  TYPED_TEST_SUITE(Suite, Suite##Backends, ::testsupport::BackendNames)
