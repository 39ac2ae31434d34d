// Whole runs of mailhost where the disk runs out under a recording.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/MailhostRun.h"
#include "tests/support/ScratchFolder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchFolder;

std::uintmax_t FolderBytes(const fs::path& folder) {
  std::uintmax_t bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && !entry.is_symlink()) bytes += entry.file_size();
  return bytes;
}

TEST(VoiceRunTest, ADiskThatFillsDuringARecordingGivesABoxAndNoCrash) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
  ScratchFolder scratch;
  const std::string data = scratch.File("data");
  fs::create_directory(data);
  // Room for the add-in folder's copy and the registry, and a little more:
  // two minutes of recording at 44,100 Hz cannot fit.
  const auto size = FolderBytes(SONVERA_TEST_ADDIN_DIR) + 1024 * 1024;
  std::ofstream(scratch.File("full.scn")) << "answer No No No\n"
                                             "start\n"
                                             "new w1\n"
                                             "activate w1\n"
                                             "click w1 Record\n"
                                             "wait 2m\n"
                                             "click w1 Stop\n"
                                             "wait 500ms\n"
                                             "show w1\n"
                                             "show-mail w1\n";
  // In a mount namespace of its own, so the small disk goes with the run.
  const std::string wrapper = "unshare -m sh -c 'mount -t tmpfs -o size=" +
                              std::to_string(size) + " tmpfs " + data +
                              " && exec \"$0\" \"$@\"'";
  const auto run = testsupport::RunMailhost(
      "--script " + scratch.File("full.scn") + " --data " + data, wrapper);
  ASSERT_NE(run.status, -1) << run.err;
  EXPECT_LE(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("box \"Sonvera Outlook Addin Error\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("bar w1: [Sonvera:Sonvera] [Record:RecordButton]"), std::string::npos)
      << run.out;
}

}  // namespace
