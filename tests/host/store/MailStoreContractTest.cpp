// What every mail store must agree on, run against the memory store and the
// Maildir one alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "host/store/MaildirStore.h"
#include "host/store/MemoryMailStore.h"
#include "host/store/MimeMessage.h"
#include "hostmodel/HostModel.h"
#include "platform/Error.h"
#include "tests/support/ContractTest.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredMail.h"

namespace mailhost {
namespace {

struct MemoryBackend {
  static constexpr const char* kName = "Memory";
  MemoryMailStore store;
};

struct MaildirBackend {
  static constexpr const char* kName = "Maildir";
  testsupport::ScratchFolder folder;
  MaildirStore store{folder.File("Mail")};
};

template <typename Backend>
class MailStoreContract : public testing::Test {
 protected:
  MailStore& Store() { return m_backend.store; }

 private:
  Backend m_backend;
};
SONVERA_CONTRACT_SUITE(MailStoreContract, MemoryBackend, MaildirBackend);

using testsupport::StoredMail;

std::vector<std::string> Ids(const std::vector<StoredItem>& items) {
  std::vector<std::string> ids;
  for (const auto& item : items) ids.push_back(item.id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::vector<std::uint8_t> EveryByte(std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i)
    bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 256) % 256);
  return bytes;
}

// Draft d1 with a voice message of `bytes` bytes.
StoredItem VoiceDraft(std::size_t bytes) {
  auto draft = StoredMail("d1", "Draft");
  draft.sent = false;
  draft.attachments = {{"Sonvera.mp3", EveryByte(bytes)}};
  return draft;
}

// What a store keeps of a mail besides its attachments.
auto Fields(const StoredItem& mail) {
  return std::make_tuple(mail.id, mail.itemClass, mail.subject, mail.body, mail.from, mail.to,
                         mail.date, mail.messageId, mail.sent, mail.read);
}

TYPED_TEST(MailStoreContract, HasTheFiveFoldersWithTheirItemTypes) {
  std::vector<std::pair<std::string, int>> folders;
  for (const auto& folder : this->Store().Folders())
    folders.emplace_back(folder.name, folder.defaultItemType);
  const std::vector<std::pair<std::string, int>> want = {
      {"Inbox", hostmodel::kOlMailItem},
      {"Sent", hostmodel::kOlMailItem},
      {"Drafts", hostmodel::kOlMailItem},
      {"Contacts", hostmodel::kOlContactItem},
      {"Calendar", hostmodel::kOlAppointmentItem}};
  EXPECT_EQ(folders, want);
  for (const auto& [name, type] : want) EXPECT_TRUE(this->Store().Items(name).empty()) << name;
}

TYPED_TEST(MailStoreContract, AddListsAnItemAndAddingItAgainReplacesIt) {
  auto& store = this->Store();
  const auto lunch = StoredMail("lunch", "Lunch on Friday?");
  store.Add("Inbox", lunch);
  store.Add("Inbox", StoredMail("report", "Quarterly report"));
  EXPECT_EQ(Ids(store.Items("Inbox")), (std::vector<std::string>{"lunch", "report"}));
  EXPECT_EQ(Fields(store.Load("lunch")), Fields(lunch));
  EXPECT_EQ(store.FolderOf("lunch"), "Inbox");
  EXPECT_EQ(store.FolderOf("nowhere"), "");

  auto changed = lunch;
  changed.subject = "Lunch on Saturday?";
  changed.body = "Friday is full.\r\n";
  changed.read = true;
  store.Add("Inbox", changed);
  ASSERT_EQ(Ids(store.Items("Inbox")), (std::vector<std::string>{"lunch", "report"}))
      << "the replacement must not leave the old copy beside it";
  EXPECT_EQ(Fields(store.Load("lunch")), Fields(changed));

  // A read mark changes the read state and nothing else.
  const auto unread = StoredMail("m", "Unread");
  store.Add("Inbox", unread);
  EXPECT_FALSE(store.Load("m").read);
  store.MarkRead("m");
  store.MarkRead("m");
  auto read = unread;
  read.read = true;
  EXPECT_EQ(Fields(store.Load("m")), Fields(read));
  EXPECT_TRUE(store.Summary("m").read);
}

TYPED_TEST(MailStoreContract, AttachmentsComeBackByteForByteAndListingsCarryOnlyTheirNames) {
  auto& store = this->Store();
  auto mail = StoredMail("voice", "A spoken message");
  const auto inner = WriteMimeMessage(StoredMail("inner", "Voice from Anna"));
  mail.attachments = {{"Sonvera.mp3", EveryByte(70000)},
                      {"R.wav", EveryByte(513)},
                      {"empty.bin", {}},
                      {"Grüße an Åsa.mp3", {0x0d, 0x0a, 0x0a, 0x0d, 0x00, 0xff}},
                      {"Voice from Anna.eml", {inner.begin(), inner.end()}, true}};
  store.Add("Drafts", mail);

  const auto loaded = store.Load("voice");
  ASSERT_EQ(loaded.attachments.size(), mail.attachments.size());
  for (std::size_t i = 0; i < mail.attachments.size(); ++i) {
    EXPECT_EQ(loaded.attachments[i].fileName, mail.attachments[i].fileName);
    EXPECT_EQ(loaded.attachments[i].message, mail.attachments[i].message)
        << "an attached mail stays a mail";
    if (!mail.attachments[i].message) {
      EXPECT_TRUE(loaded.attachments[i].bytes == mail.attachments[i].bytes)
          << mail.attachments[i].fileName << " came back with "
          << loaded.attachments[i].bytes.size() << " bytes";
    }
  }
  const auto& forwarded = loaded.attachments.back().bytes;
  EXPECT_EQ(ReadMimeMessage(std::string(forwarded.begin(), forwarded.end())).subject,
            "Voice from Anna");
  const auto listed = store.Summaries("Drafts");
  ASSERT_EQ(listed.size(), 1u);
  ASSERT_EQ(listed[0].attachments.size(), mail.attachments.size());
  for (std::size_t i = 0; i < mail.attachments.size(); ++i) {
    EXPECT_EQ(listed[0].attachments[i].fileName, mail.attachments[i].fileName);
    EXPECT_TRUE(listed[0].attachments[i].bytes.empty());
    EXPECT_EQ(listed[0].attachments[i].message, mail.attachments[i].message);
  }
  EXPECT_EQ(listed[0].subject, mail.subject);
}

TYPED_TEST(MailStoreContract, MoveTakesTheWholeItemAlongAndIdsStayUniqueAcrossFolders) {
  auto& store = this->Store();
  const auto draft = VoiceDraft(1000);
  store.Add("Drafts", draft);
  store.Move("d1", "Drafts");  // to where it is: nothing happens
  EXPECT_EQ(Ids(store.Items("Drafts")), std::vector<std::string>{"d1"});

  store.Move("d1", "Sent");
  EXPECT_TRUE(store.Items("Drafts").empty());
  const auto sent = store.Items("Sent");
  ASSERT_EQ(sent.size(), 1u);
  // Whether a draft moved away counts as sent is the store's: on disk
  // nothing but Drafts holds drafts.
  auto moved = draft;
  moved.sent = sent[0].sent;
  EXPECT_EQ(Fields(sent[0]), Fields(moved));
  ASSERT_EQ(sent[0].attachments.size(), 1u);
  EXPECT_TRUE(sent[0].attachments[0].bytes == draft.attachments[0].bytes);
  EXPECT_EQ(store.FolderOf("d1"), "Sent");

  EXPECT_THROW(store.Add("Inbox", draft), platform::Error)
      << "an id held by another folder must not be added twice";
  EXPECT_TRUE(store.Items("Inbox").empty());
  EXPECT_EQ(store.Load("d1").subject, "Draft");
}

TYPED_TEST(MailStoreContract, MissingFoldersAndItemsAreErrors) {
  auto& store = this->Store();
  store.Add("Inbox", StoredMail("here", "Here"));
  EXPECT_THROW(store.Items("Archive"), platform::Error);
  EXPECT_THROW(store.Summaries("Archive"), platform::Error);
  EXPECT_THROW(store.Add("Archive", StoredMail("x", "X")), platform::Error);
  EXPECT_THROW(store.Move("missing", "Sent"), platform::Error);
  EXPECT_THROW(store.Move("here", "Archive"), platform::Error);
  EXPECT_THROW(store.Load("missing"), platform::Error);
  EXPECT_THROW(store.MarkRead("missing"), platform::Error);
  EXPECT_EQ(store.FolderOf("here"), "Inbox") << "a failed move must leave the item where it was";
}

TYPED_TEST(MailStoreContract, FilingPutsTheNewVersionInItsFolderAndTakesTheOldOneOut) {
  auto& store = this->Store();
  const auto draft = VoiceDraft(2000);
  store.Add("Drafts", draft);
  auto sent = draft;
  sent.sent = true;
  sent.read = true;
  sent.body += "\r\nfooter";
  store.File("Sent", sent);
  EXPECT_TRUE(store.Items("Drafts").empty());
  ASSERT_EQ(Ids(store.Items("Sent")), std::vector<std::string>{"d1"});
  EXPECT_EQ(Fields(store.Load("d1")), Fields(sent));
  EXPECT_TRUE(store.Load("d1").attachments.at(0).bytes == draft.attachments[0].bytes);

  // Filing where the item is already, or where no folder holds it, is adding.
  sent.subject = "Filed again";
  store.File("Sent", sent);
  EXPECT_EQ(store.Load("d1").subject, "Filed again");
  store.File("Sent", StoredMail("fresh", "Never a draft"));
  EXPECT_EQ(store.FolderOf("fresh"), "Sent");
  EXPECT_THROW(store.File("Archive", sent), platform::Error);
  EXPECT_EQ(store.FolderOf("d1"), "Sent");
}

TYPED_TEST(MailStoreContract, AMailInDraftsIsADraftWhateverItCameWith) {
  auto& store = this->Store();
  auto postponed = StoredMail("postponed", "Written elsewhere");
  postponed.sent = true;  // as a client that leaves the draft mark off writes it
  store.Add("Drafts", postponed);
  EXPECT_FALSE(store.Load("postponed").sent);
  const auto summary = store.Summary("postponed");
  EXPECT_FALSE(summary.sent);
  EXPECT_EQ(summary.subject, "Written elsewhere");
  EXPECT_TRUE(summary.body.empty()) << "a listing carries no text";
  EXPECT_THROW(store.Summary("nowhere"), platform::Error);

  const auto first = store.NewId();
  const auto second = store.NewId();
  EXPECT_NE(first, second);
  EXPECT_EQ(store.FolderOf(first), "");
  store.Add("Drafts", StoredMail(first, "New"));
  EXPECT_EQ(store.FolderOf(first), "Drafts");
}

TYPED_TEST(MailStoreContract, ContactsAndAppointmentsKeepTheirClassSubjectAndBody) {
  auto& store = this->Store();
  const StoredItem contact{"anna", hostmodel::kOlContact, "Anna Berg", "Phone 123\r\nRoom 4"};
  const StoredItem meeting{"standup", hostmodel::kOlAppointment, "Team meeting", ""};
  store.Add("Contacts", contact);
  store.Add("Calendar", meeting);

  for (const auto& want : {contact, meeting}) {
    const auto got = store.Load(want.id);
    EXPECT_EQ(got.itemClass, want.itemClass) << want.id;
    EXPECT_EQ(got.subject, want.subject) << want.id;
    EXPECT_EQ(got.body, want.body) << want.id;
  }
  EXPECT_EQ(Ids(store.Summaries("Contacts")), std::vector<std::string>{"anna"});
}

}  // namespace
}  // namespace mailhost
