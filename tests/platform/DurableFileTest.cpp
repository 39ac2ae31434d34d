// The durable-file helpers the registry file, the Maildir and the page's
// token share: what they leave on disk when a write cannot be made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/common/DurableFile.h"
#include "tests/support/ScratchFolder.h"

namespace platform {
namespace {

using testsupport::ScratchFolder;

TEST(DurableFileTest, ANewFileNeverReplacesWhatIsThereNorWritesThroughALink) {
  ScratchFolder folder;
  folder.Write("kept", "the user's");
  EXPECT_EQ(WriteNewFile(folder.File("kept"), "ours", 0600), EEXIST);
  EXPECT_EQ(ScratchFolder::Read(folder.File("kept")), "the user's");

  ASSERT_EQ(symlink(folder.File("kept").c_str(), folder.File("link").c_str()), 0);
  EXPECT_EQ(WriteNewFile(folder.File("link"), "ours", 0600), EEXIST);
  EXPECT_EQ(ScratchFolder::Read(folder.File("kept")), "the user's") << "written through a link";
}

TEST(DurableFileTest, AReplacedFileHasTheNewContentAndModeAndNothingBesideIt) {
  ScratchFolder folder;
  folder.Write("file", "old content, longer than the new");
  chmod(folder.File("file").c_str(), 0644);
  ASSERT_EQ(ReplaceFile(folder.File("file"), "new", 0600), 0);
  EXPECT_EQ(ScratchFolder::Read(folder.File("file")), "new");
  struct stat info {};
  ASSERT_EQ(stat(folder.File("file").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "the old file's mode was kept";
  EXPECT_EQ(ScratchFolder::Names(folder.Path()), std::vector<std::string>{"file"});
}

TEST(DurableFileTest, AReplacementThatCannotBeginNamesTheFileItCouldNotMake) {
  ScratchFolder folder;
  const std::string path = folder.File("missing/file");
  std::string failed;
  EXPECT_EQ(ReplaceFile(path, "new", 0600, Flush::Durable, &failed), ENOENT);
  EXPECT_EQ(failed.rfind(path + kTempInfix, 0), 0u) << failed;
  EXPECT_FALSE(RemoveFile(path));
}

}  // namespace
}  // namespace platform
