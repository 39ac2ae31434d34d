// The clipboard's contract. Mailhost is the desktop on this system, so the
// memory clipboard is both the real and the scenario backend: one instance.
#include <gtest/gtest.h>

#include <memory>

#include "platform/common/MemoryClipboard.h"
#include "tests/support/ContractTest.h"

namespace {

using namespace platform;

struct MemoryBackend {
  static constexpr const char* kName = "Memory";
  MemoryClipboard clipboard;
};

template <typename Backend>
class ClipboardContract : public ::testing::Test {
 protected:
  Backend backend;
  Clipboard& Board() { return backend.clipboard; }
  std::string Formats() {
    std::string formats;
    for (int format : {kCfText, kCfBitmap, kCfDib, kCfRtf})
      formats += Board().HasFormat(format) ? "1" : "0";
    return formats;
  }
};
SONVERA_CONTRACT_SUITE(ClipboardContract, MemoryBackend);

TYPED_TEST(ClipboardContract, EachSetAddsItsFormatsClearEmptiesAllAndRichTextLendsItsText) {
  auto& board = this->Board();
  EXPECT_EQ(this->Formats(), "0000");
  EXPECT_EQ(board.GetPicture(), nullptr);
  const auto picture = std::make_shared<const Picture>(Picture{"face.bmp", 16, 16, {'B', 'M'}});
  board.SetPicture(picture);
  EXPECT_EQ(this->Formats(), "0110") << "a picture is offered as bitmap and DIB";
  board.SetRichText("{\\rtf1 rich}", "rich");
  board.SetText("plain");
  EXPECT_EQ(this->Formats(), "1111");
  EXPECT_EQ(board.GetPicture(), picture);
  EXPECT_EQ(board.GetText(), "plain");
  EXPECT_EQ(board.GetRichPlainText(), "rich");
  EXPECT_FALSE(board.HasFormat(0xC000)) << "an unknown format";
  board.Clear();
  EXPECT_EQ(this->Formats(), "0000");
  EXPECT_EQ(board.GetText(), "");
  EXPECT_EQ(board.GetRichPlainText(), "");

  // Rich text alone lends its plain text until text is set.
  board.SetRichText("{\\rtf1 rich}", "rich");
  EXPECT_EQ(board.GetText(), "rich");
  board.SetText("");
  EXPECT_EQ(board.GetText(), "") << "empty text set on purpose is still the text";
  EXPECT_EQ(board.GetRichPlainText(), "rich");
}

}  // namespace
