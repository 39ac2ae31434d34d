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

TEST_F(PageStateTest, TheListAndTheReadingPaneSayWhatIsDeletedAndWhichAttachmentOpens) {
  StoredItem mail;
  mail.id = "m1";
  mail.deleted = true;
  mail.attachments = {{"notes.txt", {'x'}}, {"Anna.eml", {'S', ':', ' ', 'x'}, true}};
  store.Add("Inbox", mail);
  const auto listed = FolderJson(host, "Inbox", 0, 10)["items"].at(0);
  EXPECT_TRUE(listed["deleted"]);

  host.Select({"m1"});
  const auto reading = State()["reading"];
  EXPECT_TRUE(reading["deleted"]);
  EXPECT_FALSE(reading["removed"]);
  EXPECT_FALSE(reading["attachments"][0].contains("opens"));
  EXPECT_EQ(reading["attachments"][1]["opens"], "m1/2") << "the id the attached mail opens under";
}

// The state is built again only when this number, or a change the session
// counts (commands, store notices, boxes, the log), says something changed.
TEST_F(PageStateTest, TheDigestChangesWithWhatTheAddinAndThePersonChangeOnly) {
  StoredItem mail;
  mail.id = "m1";
  store.Add("Inbox", mail);
  const auto digest = [this] { return ShownDigest(host, fake.windows); };
  const auto start = digest();
  EXPECT_EQ(digest(), start) << "nothing changed";

  auto bar = host.BarsOf("explorer")->Add("Sonvera", hostmodel::kMsoBarTop, false, true);
  auto button = bar->Controls()->Add(hostmodel::kMsoControlButton, 0, "", 0, true);
  auto withBar = digest();
  EXPECT_NE(withBar, start);
  button->SetCaption("Play");
  EXPECT_NE(digest(), withBar) << "a caption";
  withBar = digest();
  button->SetEnabled(false);
  EXPECT_NE(digest(), withBar) << "enabled";

  auto form = fake.windows.CreateForm("Fx", "Meter", 100, 20);
  form->Place(true, 10, 10, 100, 20);
  const auto shown = digest();
  EXPECT_NE(shown, withBar);
  platform::Control clock;
  clock.name = "Label1";
  clock.text = "00:01";
  form->SetControl(clock);
  const auto ticked = digest();
  EXPECT_NE(ticked, shown);
  form->Find("Label1")->text = "00:02";
  EXPECT_NE(digest(), ticked) << "the meter's clock";

  const auto before = digest();
  host.Select({"m1"});
  EXPECT_NE(digest(), before) << "the selection";
  const auto selected = digest();
  host.NewMail("w1");
  EXPECT_NE(digest(), selected) << "a window";
  const auto opened = digest();
  host.FindMail("w1")->SetRemoved(true);
  EXPECT_NE(digest(), opened) << "a window's mail removed by another program";
}

}  // namespace
}  // namespace mailhost
