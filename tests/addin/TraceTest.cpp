#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

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
  EXPECT_TRUE(fs::is_empty(scratch.Path())) << "the default trace left a file behind";

  const std::string log = scratch.File("trace.log");
  setenv("SONVERA_TRACE_FILE", log.c_str(), 1);
  Trace(" Amp CleanShutdown");
  unsetenv("SONVERA_TRACE_FILE");
  fs::current_path(before);

  std::ifstream in(log);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  // General date format, then the text with no separator.
  EXPECT_TRUE(std::regex_match(
      line, std::regex(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2} (AM|PM) Amp CleanShutdown)")))
      << line;
}

}  // namespace
}  // namespace sonvera
