// The trace's line format (the date, then the text) is AmpTest's start-up
// sequence's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/Trace.h"
#include "tests/support/ScratchFolder.h"

namespace sonvera {
namespace {

namespace fs = std::filesystem;

TEST(TraceTest, WritesNothingUnlessADeveloperSwitchesItOn) {
  testsupport::ScratchFolder scratch;
  const fs::path before = fs::current_path();
  fs::current_path(scratch.Path());
  unsetenv("SONVERA_TRACE_FILE");
  TraceOpen("C:\\DEBUG.LOG", true);
  for (int i = 0; i < 100; ++i) Trace(" Amp OnStartupComplete");
  fs::current_path(before);
  EXPECT_TRUE(fs::is_empty(scratch.Path())) << "the default trace left a file behind";
}

}  // namespace
}  // namespace sonvera
