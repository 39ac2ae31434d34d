#include <gtest/gtest.h>

#include "common/FacePaste.h"
#include "tests/support/FakePlatform.h"

namespace sonvera {
namespace {

std::int16_t kSave = 1, kRestore = 2;

platform::PicturePtr Face(const char* name) {
  auto p = std::make_shared<platform::Picture>();
  p->sourceFile = name;
  return p;
}

// What a face paste does to the clipboard between save and restore.
void Disturb(platform::Clipboard& clip) {
  clip.Clear();
  clip.SetPicture(Face("face.bmp"));
}

class PreserveClipboardTest : public ::testing::Test {
 protected:
  testsupport::FakePlatform fake;
  platform::Clipboard& clip = fake.clipboard;
};

TEST_F(PreserveClipboardTest, TextPicturesAndRichTextComeBackAfterAFacePaste) {
  clip.SetText("kept");
  PreserveClipboard(kSave);
  Disturb(clip);
  PreserveClipboard(kRestore);
  EXPECT_EQ(clip.GetText(), "kept");

  clip.Clear();
  auto mine = Face("mine.bmp");
  clip.SetPicture(mine);
  clip.SetText("both");
  PreserveClipboard(kSave);
  Disturb(clip);
  clip.Clear();
  PreserveClipboard(kRestore);
  EXPECT_EQ(clip.GetPicture(), mine);
  EXPECT_EQ(clip.GetText(), "both");

  // Rich text comes back as its plain text.
  clip.Clear();
  clip.SetRichText("{\\rtf1 bold}", "bold");
  PreserveClipboard(kSave);
  Disturb(clip);
  clip.Clear();
  PreserveClipboard(kRestore);
  EXPECT_TRUE(clip.HasFormat(platform::kCfText));
  EXPECT_FALSE(clip.HasFormat(platform::kCfRtf));
  EXPECT_EQ(clip.GetText(), "bold");
}

TEST_F(PreserveClipboardTest, AnEmptyClipboardRestoresNothingStale) {
  clip.SetText("old");
  PreserveClipboard(kSave);
  clip.Clear();
  PreserveClipboard(kSave);  // now empty: the old text must not come back
  Disturb(clip);
  clip.Clear();
  PreserveClipboard(kRestore);
  EXPECT_FALSE(clip.HasFormat(platform::kCfText));
}

}  // namespace
}  // namespace sonvera
