// Process start on Linux: how a command line splits, what the child gets,
// and that a finished child is reported without ever blocking.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/linux/LinuxProcesses.h"
#include "tests/support/ScratchFolder.h"

namespace {

using platform::LinuxProcesses;
using testsupport::ScratchFolder;
using Words = std::vector<std::string>;

// Polls until the child has ended; a hung child fails the test instead of
// hanging it.
bool WaitFinished(LinuxProcesses& processes, int pid, int* exitCode) {
  for (int i = 0; i < 3000; ++i) {
    if (processes.Finished(pid, exitCode)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(LinuxProcesses, SplitsOnRunsOfBlanksWithQuotesGrouping) {
  EXPECT_EQ(platform::SplitCommandLine(""), Words{});
  EXPECT_EQ(platform::SplitCommandLine("   "), Words{});
  // The encoder's line: double blanks and a trailing blank make no empty words.
  EXPECT_EQ(platform::SplitCommandLine("/a/lame -s 11025  /a/Temp.wav  /a/Sonvera.mp3 "),
            (Words{"/a/lame", "-s", "11025", "/a/Temp.wav", "/a/Sonvera.mp3"}));
  EXPECT_EQ(platform::SplitCommandLine("\"/my folder/setup\"\targ"),
            (Words{"/my folder/setup", "arg"}));
  EXPECT_EQ(platform::SplitCommandLine("a\"b c\"d e"), (Words{"ab cd", "e"}));
  EXPECT_EQ(platform::SplitCommandLine("x \"\" y"), (Words{"x", "", "y"}));
  EXPECT_EQ(platform::SplitCommandLine("\"unclosed quote"), (Words{"unclosed quote"}));
}

TEST(LinuxProcesses, ChildGetsItsArgumentsAndExitCodeComesBack) {
  ScratchFolder scratch;
  // Prints each argument on its own line and reads standard input to its end.
  scratch.Write("show args",
                "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > \"$(dirname \"$0\")/args\"\n"
                "cat > \"$(dirname \"$0\")/stdin\"\nexit 3\n",
                true);
  LinuxProcesses processes;
  const int pid =
      processes.Start("\"" + scratch.File("show args") + "\"  one \"two words\"  ", true);
  ASSERT_GT(pid, 0);
  int exitCode = -1;
  ASSERT_TRUE(WaitFinished(processes, pid, &exitCode));
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(ScratchFolder::Read(scratch.File("args")), "[one]\n[two words]\n");
  EXPECT_EQ(ScratchFolder::Read(scratch.File("stdin")), "") << "the child must not read our input";
}

TEST(LinuxProcesses, WhatCannotRunGivesNoProcess) {
  ScratchFolder scratch;
  scratch.Write("not-executable", "#!/bin/sh\nexit 0\n", false);
  // An executable file that is no program (an error page saved as installer).
  scratch.Write("html", "<html><body>Not Found</body></html>\n", true);
  LinuxProcesses processes;
  EXPECT_EQ(processes.Start(scratch.File("missing"), true), 0);
  EXPECT_EQ(processes.Start(scratch.File("not-executable"), true), 0);
  EXPECT_EQ(processes.Start(scratch.File("html"), true), 0);
  EXPECT_EQ(processes.Start("   ", true), 0);
}

TEST(LinuxProcesses, FinishedNeverBlocksAndReportsEachEndOnce) {
  LinuxProcesses processes;
  const int pid = processes.Start("/bin/sleep 60", true);
  ASSERT_GT(pid, 0);
  int exitCode = 0;
  EXPECT_FALSE(processes.Finished(pid, &exitCode)) << "a sleeping child is still running";
  kill(pid, SIGKILL);
  ASSERT_TRUE(WaitFinished(processes, pid, &exitCode));
  EXPECT_EQ(exitCode, 128 + SIGKILL);
  // Reaped: asking again finds no child of ours and does not wait.
  EXPECT_TRUE(processes.Finished(pid, &exitCode));
  EXPECT_EQ(exitCode, -1);
}

TEST(LinuxProcesses, ChildLeftRunningIsReapedByLaterCalls) {
  LinuxProcesses processes;
  const int pid = processes.Start("/bin/true", true);
  ASSERT_GT(pid, 0);
  // Wait until it has ended and sits as a zombie, never asked about.
  bool zombie = false;
  for (int i = 0; i < 3000 && !zombie; ++i) {
    const std::string stat = ScratchFolder::Read("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    zombie = close != std::string::npos && stat.compare(close + 1, 3, " Z ") == 0;
    if (!zombie) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(zombie);
  // Any later call reaps it.
  int exitCode = 0;
  EXPECT_TRUE(processes.Finished(-12345, &exitCode));
  EXPECT_NE(kill(pid, 0), 0) << "the ended child is still a zombie";
  EXPECT_TRUE(processes.Finished(pid, &exitCode));
  EXPECT_EQ(exitCode, 0);
}

// What lets the update check remove an installer's file while it runs on.
TEST(LinuxProcesses, WaitForOpenSeesTheProgramOrTheInterpreterTakeItsFile) {
  ScratchFolder scratch;
  LinuxProcesses processes;
  const auto opened = [&](const std::string& path, const Words& argv) {
    const int pid = processes.StartProgram(argv, true);
    EXPECT_GT(pid, 0) << path;
    const bool result = processes.WaitForOpen(pid, path, 5000);
    kill(pid, SIGKILL);
    int exitCode = 0;
    WaitFinished(processes, pid, &exitCode);
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
  EXPECT_FALSE(processes.WaitForOpen(-12345, scratch.File("script"), 5000));
}

}  // namespace
