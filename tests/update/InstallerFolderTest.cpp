// The sweep of installer folders that an earlier start could not remove:
// only old folders of ours go.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/ScratchFolder.h"
#include "update/InstallerFolder.h"

namespace sonvera {
namespace {

using testsupport::ScratchFolder;
namespace fs = std::filesystem;

constexpr auto kDay = std::chrono::hours(24);

void Age(const std::string& path, std::chrono::hours age) {
  const auto then = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - age);
  const timespec times[2] = {{then, 0}, {then, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

TEST(InstallerFolderTest, SweepRemovesOnlyOldFoldersOfOurs) {
  ScratchFolder tmp;
  ScratchFolder elsewhere;
  const auto folder = [&](const std::string& name, std::chrono::hours age) {
    fs::create_directory(tmp.File(name));
    tmp.Write(name + "/Sonvera2000_Install.exe", "#!/bin/sh\n");
    Age(tmp.File(name), age);
  };
  folder("sonvera-update-aB3xYz", 2 * kDay);               // ours, old: goes
  folder("sonvera-update-fresh1", std::chrono::hours(1));  // an attempt still running
  folder("sonvera-test-aB3xYz", 2 * kDay);                 // another prefix
  folder("sonvera-update-toolongname", 2 * kDay);          // not mkdtemp's
  tmp.Write("sonvera-update-file01", "not a folder");
  Age(tmp.File("sonvera-update-file01"), 2 * kDay);
  // A link named like ours must not lead the sweep into what it points at.
  elsewhere.Write("keep.txt", "kept");
  fs::create_directory_symlink(elsewhere.Path(), tmp.File("sonvera-update-link01"));
  Age(tmp.File("sonvera-update-link01"), 2 * kDay);
  const bool root = geteuid() == 0;
  if (root) {
    folder("sonvera-update-other1", 2 * kDay);
    ASSERT_EQ(lchown(tmp.File("sonvera-update-other1").c_str(), 65534, 65534), 0);
  }

  SweepInstallerFolders(tmp.Path(), std::chrono::system_clock::now() - kInstallerFolderMaxAge);

  EXPECT_FALSE(ScratchFolder::Exists(tmp.File("sonvera-update-aB3xYz")));
  for (const char* kept :
       {"sonvera-update-fresh1", "sonvera-test-aB3xYz", "sonvera-update-toolongname",
        "sonvera-update-file01", "sonvera-update-link01"}) {
    EXPECT_TRUE(ScratchFolder::Exists(tmp.File(kept))) << kept << " was swept";
  }
  EXPECT_EQ(ScratchFolder::Read(elsewhere.File("keep.txt")), "kept");
  if (root) {
    EXPECT_TRUE(ScratchFolder::Exists(tmp.File("sonvera-update-other1")));
  }
}

}  // namespace
}  // namespace sonvera
