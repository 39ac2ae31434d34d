#include <gtest/gtest.h>

#include <filesystem>

#include "host/web/PageUpload.h"
#include "tests/support/ScratchFolder.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;

// A body handed over in pieces, as the server reads it; `stopped` tells
// whether the receiver asked to read no further.
struct Body {
  std::vector<std::string> pieces;
  bool stopped = false;
  bool cutOff = false;  // the connection ends before the last piece

  Uploads::Reader Reader() {
    return [this](const Uploads::Receiver& receive) {
      for (const auto& piece : pieces) {
        if (!receive(piece.data(), piece.size())) {
          stopped = true;
          return false;
        }
      }
      return !cutOff;
    };
  }
};

class PageUploadTest : public ::testing::Test {
 protected:
  std::vector<std::string> Left() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
      names.push_back(entry.path().filename().string());
    return names;
  }

  testsupport::ScratchFolder scratch;
  const std::string folder = scratch.File("uploads");
  Uploads uploads{folder, 10};
};

TEST_F(PageUploadTest, AFileIsStreamedUnderItsBaseNameAndGoesWithItsHolder) {
  Body body{{"hello", " you"}};
  auto result = uploads.Receive("C:\\Users\\kim/../notes.txt", 9, body.Reader());
  ASSERT_TRUE(result.file) << result.error;
  EXPECT_EQ(fs::path(result.file->Path()).filename(), "notes.txt");
  EXPECT_EQ(testsupport::ScratchFolder::Read(result.file->Path()), "hello you");
  EXPECT_EQ(fs::status(result.file->Path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  result.file.reset();
  EXPECT_EQ(Left(), std::vector<std::string>{}) << "attached, the file and its folder go";
}

TEST_F(PageUploadTest, AboveTheCapOrCutOffNothingIsAttachedAndNothingStays) {
  // One of known length above the cap is tests/web's.
  Body chunked{{"012345", "6789a", "more"}};
  auto result = uploads.Receive("big.bin", std::nullopt, chunked.Reader());
  EXPECT_FALSE(result.file);
  EXPECT_EQ(result.status, 413);
  EXPECT_TRUE(chunked.stopped) << "a body of unknown length is not read past the cap";
  EXPECT_EQ(Left(), std::vector<std::string>{});

  Body cut{{"01234"}, false, true};
  result = uploads.Receive("half.bin", 8, cut.Reader());
  EXPECT_EQ(result.status, 400);
  EXPECT_EQ(Left(), std::vector<std::string>{});

  Body nameless{{"x"}};
  for (const char* name : {"", "..", "dir/", "a\nb"}) {
    result = uploads.Receive(name, 1, nameless.Reader());
    EXPECT_EQ(result.status, 400) << name;
  }
}

TEST_F(PageUploadTest, TheSweepRemovesOnlyWhatAKilledRunLeftLongAgo) {
  fs::create_directories(folder + "/old");
  scratch.Write("uploads/old/voice.mp3", "x");
  fs::last_write_time(folder + "/old", fs::file_time_type::clock::now() - std::chrono::hours(2));
  fs::create_directories(folder + "/new");
  uploads.Sweep();
  EXPECT_EQ(Left(), std::vector<std::string>{"new"});
}

}  // namespace
}  // namespace mailhost
