// Process start and wait: the contract the fake shares with posix_spawn, then
// what only real children show (signals, zombies, files held open).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/fake/FakeProcesses.h"
#include "platform/linux/LinuxProcesses.h"
#include "tests/support/ContractTest.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ScratchFolder.h"

namespace {

using testsupport::ScratchFolder;
using Words = std::vector<std::string>;

void Nap() {
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Polls until the child has ended; a hung child fails instead of hanging.
bool WaitFinished(platform::Processes& processes, int pid, int* exitCode, void (*settle)() = Nap,
                  platform::ExitStatus* status = nullptr) {
  platform::ExitStatus ended;
  for (int i = 0; i < 3000; ++i) {
    if (processes.Finished(pid, &ended)) {
      if (exitCode) *exitCode = ended.code;
      if (status) *status = ended;
      return true;
    }
    settle();
  }
  return false;
}

struct LinuxSpawn {
  static constexpr const char* kName = "Linux";
  platform::LinuxProcesses processes;
  ScratchFolder scratch;
  // A program in a folder with a blank that writes down its arguments, then
  // runs until released, and says `words` on its standard error as it ends.
  std::string Program(int exitCode, const std::string& words = "") {
    scratch.Write("words", words);
    scratch.Write("a program",
                  "#!/bin/sh\nd=\"$(dirname \"$0\")\"\n"
                  "for a in \"$@\"; do echo \"$a\"; done > \"$d/args\"\n"
                  "while [ ! -e \"$d/release\" ]; do sleep 0.01; done\n"
                  "cat \"$d/words\" >&2\nexit " +
                      std::to_string(exitCode) + "\n",
                  true);
    return scratch.File("a program");
  }
  void Release() { scratch.Write("release", ""); }
  Words Args() {
    std::istringstream lines(ScratchFolder::Read(scratch.File("args")));
    Words words;
    for (std::string line; std::getline(lines, line);) words.push_back(line);
    return words;
  }
  static void Settle() { Nap(); }
};

struct FakeSpawn {
  static constexpr const char* kName = "Fake";
  platform::FakeProcesses processes;
  std::string Program(int exitCode, const std::string& words = "") {
    // The last lines, trimmed, as the real service hands them over.
    std::string said = words;
    while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
    processes.SetRun(2, exitCode, 0, said);
    return "/opt/a folder/a program";
  }
  void Release() {}  // ends after its polls
  Words Args() {
    const Words& argv = processes.Starts().back().argv;
    return Words(argv.begin() + 1, argv.end());
  }
  static void Settle() {}
};

template <typename Backend>
class ProcessesContract : public ::testing::Test {
 protected:
  Backend backend;
  platform::Processes& Processes() { return backend.processes; }
  bool WaitFinished(int pid, int* exitCode, platform::ExitStatus* status = nullptr) {
    return ::WaitFinished(Processes(), pid, exitCode, &Backend::Settle, status);
  }
};
SONVERA_CONTRACT_SUITE(ProcessesContract, LinuxSpawn, FakeSpawn);

TYPED_TEST(ProcessesContract, ArgumentsArriveSplitOrExactlyAsGivenWithTheExitCode) {
  const std::string program = this->backend.Program(3);
  this->backend.Release();
  int exitCode = -1;
  const int pid = this->Processes().Start("\"" + program + "\"  one \"two words\"  ", true);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(this->WaitFinished(pid, &exitCode));
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(this->backend.Args(), (Words{"one", "two words"}));

  const Words given{"a \"quoted\"  word", "", "-x"};
  Words argv{program};
  argv.insert(argv.end(), given.begin(), given.end());
  const int byPath = this->Processes().StartProgram(argv, true);
  ASSERT_GT(byPath, 0);
  ASSERT_TRUE(this->WaitFinished(byPath, &exitCode));
  EXPECT_EQ(this->backend.Args(), given) << "arguments given one by one were split again";
}

TYPED_TEST(ProcessesContract, AStartedProgramsLastWordsComeWithItsEnd) {
  const std::string program = this->backend.Program(1, "reading input\nError writing output \n");
  this->backend.Release();
  platform::ExitStatus status;
  const int pid = this->Processes().Start("\"" + program + "\"", true);
  ASSERT_TRUE(this->WaitFinished(pid, nullptr, &status));
  EXPECT_EQ(status.code, 1);
  EXPECT_EQ(status.signal, 0);
  EXPECT_EQ(status.errorText, "reading input\nError writing output");
  // An installer is left to say what it says where the host says its own.
  const int left = this->Processes().StartProgram({program}, true);
  ASSERT_TRUE(this->WaitFinished(left, nullptr, &status));
  EXPECT_EQ(status.errorText, "");
}

TYPED_TEST(ProcessesContract, FinishedDoesNotWaitAndKillEndsARunningProgramWithItsSignalOnce) {
  const int pid = this->Processes().Start("\"" + this->backend.Program(0) + "\"", true);
  ASSERT_GT(pid, 0);
  platform::ExitStatus status;
  EXPECT_FALSE(this->Processes().Finished(pid, &status)) << "a waiting program was finished";
  ASSERT_TRUE(this->Processes().Kill(pid)) << "a running program could not be ended";
  EXPECT_TRUE(this->Processes().Finished(pid, &status)) << "Kill returned before the end";
  EXPECT_EQ(status.signal, 9);
  EXPECT_EQ(status.code, 128 + 9);
  EXPECT_FALSE(this->Processes().Kill(pid)) << "an ended program was ended again";
}

TEST(SplitCommandLine, RunsOfBlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(platform::SplitCommandLine("   "), Words{});
  EXPECT_EQ(platform::SplitCommandLine("\"/my folder/setup\"\targ"),
            (Words{"/my folder/setup", "arg"}));
  EXPECT_EQ(platform::SplitCommandLine("a\"b c\"d e"), (Words{"ab cd", "e"}));
  EXPECT_EQ(platform::SplitCommandLine("x \"\" y"), (Words{"x", "", "y"}));
  EXPECT_EQ(platform::SplitCommandLine("\"unclosed quote"), (Words{"unclosed quote"}));
}

class LinuxProcesses : public ::testing::Test {
 protected:
  ScratchFolder scratch;
  platform::LinuxProcesses processes;
};

TEST_F(LinuxProcesses, WhatCannotRunGivesNoProcessAndNoChildReadsOurInput) {
  scratch.Write("not-executable", "#!/bin/sh\nexit 0\n", false);
  // An executable file that is no program (an error page saved as installer).
  scratch.Write("html", "<html><body>Not Found</body></html>\n", true);
  for (const char* name : {"missing", "not-executable", "html"})
    EXPECT_EQ(processes.Start(scratch.File(name), true), 0) << name;

  const int pid =
      processes.StartProgram({"/bin/sh", "-c", "cat > \"$0\"", scratch.File("in")}, true);
  int exitCode = -1;
  ASSERT_TRUE(WaitFinished(processes, pid, &exitCode));
  EXPECT_EQ(ScratchFolder::Read(scratch.File("in")), "") << "the child read our standard input";
}

TEST_F(LinuxProcesses, KilledChildReportsItsSignalOnceAndUnaskedOnesAreReaped) {
  const int pid = processes.Start("/bin/sleep 60", true);
  ASSERT_GT(pid, 0);
  kill(pid, SIGKILL);
  int exitCode = 0;
  ASSERT_TRUE(WaitFinished(processes, pid, &exitCode));
  EXPECT_EQ(exitCode, 128 + SIGKILL);
  platform::ExitStatus again;
  EXPECT_TRUE(processes.Finished(pid, &again));
  EXPECT_EQ(again.code, -1) << "a reaped child was reported again";

  // One never asked about sits as a zombie until any later call reaps it.
  const int left = processes.Start("/bin/true", true);
  ASSERT_GT(left, 0);
  ASSERT_TRUE(testsupport::Eventually([&] { return testsupport::ProcessState(left) == 'Z'; }));
  processes.Finished(-12345, &again);
  EXPECT_NE(kill(left, 0), 0) << "the ended child is still a zombie";
  EXPECT_TRUE(processes.Finished(left, &again));
  EXPECT_EQ(again.code, 0);
}

// What a hung encoder script leaves must not run on after it is ended.
TEST_F(LinuxProcesses, KillEndsWhatTheProgramStartedAndKeepsNoSecondWaitForIt) {
  scratch.Write("hangs", "#!/bin/sh\nsleep 60 &\necho $! > \"$0.child\"\nwait\n", true);
  const int pid = processes.Start(scratch.File("hangs"), true);
  ASSERT_GT(pid, 0);
  std::string child;
  ASSERT_TRUE(testsupport::Eventually([&] {
    child = ScratchFolder::Read(scratch.File("hangs.child"));
    return !child.empty();
  })) << "the script never started its program";
  ASSERT_TRUE(processes.Kill(pid));
  // The orphan is reaped by the system; until then it is a zombie, not a sleeper.
  EXPECT_TRUE(testsupport::Eventually([&] { return testsupport::Ended(std::stoi(child)); }))
      << "the script's own program runs on";
}

// What lets the update check remove an installer's file while it runs on.
TEST_F(LinuxProcesses, WaitForOpenSeesTheProgramOrTheInterpreterTakeItsFile) {
  const auto opened = [&](const std::string& path, const Words& argv) {
    const int pid = processes.StartProgram(argv, true);
    EXPECT_GT(pid, 0) << path;
    const bool result = processes.WaitForOpen(pid, path, 5000);
    processes.Kill(pid);
    return result;
  };
  // A binary is open once it runs.
  const std::string binary = scratch.File("a binary");
  std::filesystem::copy_file("/bin/sleep", binary);
  chmod(binary.c_str(), 0700);
  EXPECT_TRUE(opened(binary, {binary, "30"}));
  // A script only once its interpreter has read it.
  scratch.Write("script", "#!/bin/sh\nsleep 30\n", true);
  EXPECT_TRUE(opened(scratch.File("script"), {scratch.File("script")}));
  // One whose interpreter ends without ever opening it is reported, not waited for.
  scratch.Write("never read", "#!/bin/true\n", true);
  EXPECT_FALSE(opened(scratch.File("never read"), {scratch.File("never read")}));
}

}  // namespace
