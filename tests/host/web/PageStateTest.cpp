#include <gtest/gtest.h>

#include "host/model/Attachments.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "host/store/MemoryMailStore.h"
#include "host/web/PageState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScratchFolder.h"

namespace mailhost {
namespace {

class PageStateTest : public ::testing::Test {
 protected:
  nlohmann::json State() { return PageStateJson(host, fake.windows, extras, pictures); }

  testsupport::FakePlatform fake;
  testsupport::ScratchFolder scratch;
  MemoryMailStore store;
  MailHost host{store};
  PageExtras extras;
  PictureIndex pictures;
};

TEST_F(PageStateTest, ALongTextIsCutWhereACharacterStartsAndAttachmentsGoWithoutBytes) {
  StoredItem mail;
  mail.id = "m1";
  // Two bytes a character, and an odd number of bytes before them: the cut
  // would fall inside one.
  mail.body = "x" + std::string(kBodyShown, '\0');
  for (std::size_t i = 1; i < mail.body.size(); i += 2) mail.body.replace(i, 2, "\xC3\xA9");
  mail.attachments.push_back({"voice.mp3", std::vector<std::uint8_t>(3000, 1)});
  store.Add("Inbox", mail);
  host.Select({"m1"});

  const auto reading = State()["reading"];
  const std::string shown = reading["body"];
  EXPECT_TRUE(reading["bodyCut"]);
  EXPECT_EQ(reading["bodySize"], mail.body.size());
  EXPECT_LE(shown.size(), kBodyShown);
  EXPECT_EQ(shown, mail.body.substr(0, shown.size()));
  EXPECT_EQ(shown.size() % 2, 1u) << "ends after a whole character";
  EXPECT_NO_THROW(reading.dump()) << "valid UTF-8";
  EXPECT_EQ(reading["attachments"], nlohmann::json::parse(R"([{"name":"voice.mp3","size":3000}])"));

  auto item = host.FindMail("m1");
  item->SetBody("short");
  const auto whole = State()["reading"];
  EXPECT_EQ(whole["body"], "short");
  EXPECT_FALSE(whole["bodyCut"]);
}

// A deleted mail struck through, an attached mail that opens, and the page
// drawn again for each change the add-in and the person make are tests/web's.
}  // namespace
}  // namespace mailhost
