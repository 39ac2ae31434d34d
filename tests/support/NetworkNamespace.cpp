#include "tests/support/NetworkNamespace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "tests/support/ScratchFolder.h"

extern char** environ;

namespace testsupport {
namespace {

constexpr const char* kChildVariable = "SONVERA_TEST_IN_NETNS";

int Run(std::vector<std::string> args, const std::string& outputFile) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool InsideNetworkNamespace() {
  const char* value = std::getenv(kChildVariable);
  return value && *value;
}

NamespaceRun RerunInNetworkNamespace(const std::string& setup) {
  NamespaceRun run;
  ScratchFolder scratch;
  const std::string log = scratch.File("output");
  // Without root, a user namespace maps us to root inside, which is enough
  // for a network namespace and the sysctls that belong to it.
  const std::string unshareFlags = geteuid() == 0 ? "-n" : "-rn";
  if (Run({"unshare", unshareFlags, "true"}, log) != 0) {
    run.output = "network namespaces are not available here (unshare " + unshareFlags +
                 " failed): " + ScratchFolder::Read(log);
    return run;
  }
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter =
      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
    run.output = "the test binary cannot find its own path";
    return run;
  }
  setenv(kChildVariable, "1", 1);
  const int code = Run(
      {"unshare", unshareFlags, "sh", "-c", setup + " && exec \"$0\" \"$1\"", self, filter}, log);
  unsetenv(kChildVariable);
  run.available = true;
  run.output = ScratchFolder::Read(log);
  run.passed = code == 0;
  run.skipped = run.output.find("[  SKIPPED ]") != std::string::npos;
  return run;
}

}  // namespace testsupport
