// What only the store on disk can show: the files it leaves, other programs
// changing them, and messages it did not write.
#include <gtest/gtest.h>
#include <poll.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "host/store/MaildirStore.h"
#include "host/store/MimeMessage.h"
#include "hostmodel/HostModel.h"
#include "platform/Error.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredMail.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Files(const std::string& folder) {
  return testsupport::ScratchFolder::Names(folder);
}

using testsupport::StoredMail;

bool ValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80         ? 1
                       : (c >> 5) == 6  ? 2
                       : (c >> 4) == 14 ? 3
                       : (c >> 3) == 30 ? 4
                                        : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (int k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

class MaildirStoreTest : public testing::Test {
 protected:
  std::string Root() const { return m_folder.File("Mail") + "/"; }
  MaildirStore& Store() { return m_store; }

  // Waits for the store's change notification, as the host's loop would.
  bool ChangeArrives() {
    pollfd watch{m_store.ChangeFd(), POLLIN, 0};
    if (poll(&watch, 1, 2000) != 1) return false;
    return m_store.DrainChanges();
  }

 private:
  testsupport::ScratchFolder m_folder;
  MaildirStore m_store{m_folder.File("Mail")};
};

std::vector<std::string> FolderNames(const MaildirStore& store) {
  std::vector<std::string> names;
  for (const auto& folder : store.Folders()) names.push_back(folder.name);
  return names;
}

TEST_F(MaildirStoreTest, MakesAMaildirPlusPlusTreeAndFindsFoldersOthersMade) {
  for (const char* folder : {"", ".Sent/", ".Drafts/", ".Contacts/", ".Calendar/"}) {
    for (const char* sub : {"tmp", "new", "cur"}) {
      EXPECT_TRUE(fs::is_directory(Root() + folder + sub)) << folder << sub;
    }
  }
  fs::create_directories(Root() + ".Archive/cur");
  MaildirStore again(Root());
  const auto folders = again.Folders();
  ASSERT_EQ(folders.size(), 6u);
  EXPECT_EQ(folders.back().name, "Archive");
  EXPECT_FALSE(fs::exists(Root() + ".Archive/new")) << "another program's folder is left as it is";
}

TEST_F(MaildirStoreTest, InAMaildirItDidNotMakeItMakesOnlyWhatAWriteNeeds) {
  testsupport::ScratchFolder other;
  const std::string root = other.File("Maildir") + "/";
  for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(root + sub);
  const auto before = Files(root);
  {
    MaildirStore store(root);
    EXPECT_EQ(FolderNames(store), (std::vector<std::string>{"Inbox", "Sent", "Drafts"}));
    EXPECT_EQ(Files(root), before) << "opening must make nothing";
    EXPECT_TRUE(store.Summaries("Drafts").empty());

    auto draft = StoredMail("d1", "Draft");
    draft.sent = false;
    store.Add("Drafts", draft);
    for (const char* made :
         {".Drafts/cur/d1:2,D", ".Drafts/new", ".Drafts/tmp", ".Drafts/maildirfolder"})
      EXPECT_TRUE(fs::exists(root + made)) << made;
    EXPECT_FALSE(fs::exists(root + ".Sent")) << "Sent is made when a mail is filed";
    EXPECT_FALSE(fs::exists(root + ".Contacts"));
  }
  // Contacts and Calendar are listed once another program made them.
  fs::create_directories(root + ".Contacts/cur");
  EXPECT_EQ(FolderNames(MaildirStore(root)),
            (std::vector<std::string>{"Inbox", "Sent", "Drafts", "Contacts"}));

  // A folder of other files is no Maildir, and nothing is written into it.
  fs::create_directories(other.File("papers"));
  other.Write("papers/notes.txt", "mine");
  try {
    MaildirStore papers(other.File("papers"));
    ADD_FAILURE() << "a folder of other files was opened as a Maildir";
  } catch (const platform::Error& e) {
    EXPECT_NE(std::string(e.what()).find("is not a Maildir"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Files(other.File("papers")), std::vector<std::string>{"notes.txt"});
}

TEST_F(MaildirStoreTest, DeliveryLeavesNoTmpFileAndFlagsLiveInTheFileName) {
  auto mail = StoredMail("m1", "Unread");
  Store().Add("Inbox", mail);
  EXPECT_TRUE(Files(Root() + "tmp").empty());
  EXPECT_EQ(Files(Root() + "new"), std::vector<std::string>{"m1"});

  Store().MarkRead("m1");
  EXPECT_TRUE(Files(Root() + "new").empty());
  EXPECT_EQ(Files(Root() + "cur"), std::vector<std::string>{"m1:2,S"});
  Store().Move("m1", "Sent");
  EXPECT_EQ(Files(Root() + ".Sent/cur"), std::vector<std::string>{"m1:2,S"});
  EXPECT_TRUE(Files(Root() + "cur").empty());
  EXPECT_TRUE(Store().Load("m1").read);

  auto draft = StoredMail("new1", "Draft");
  draft.sent = false;
  Store().Add("Drafts", draft);
  EXPECT_EQ(Files(Root() + ".Drafts/cur"), std::vector<std::string>{"new1:2,D"});
  EXPECT_TRUE(Files(Root() + ".Drafts/tmp").empty());
}

// Dovecot serves a file by what it saw under that name: a changed mail has
// to be a new file, the old one left as it was until it goes.
TEST_F(MaildirStoreTest, AChangedMailIsANewFileUnderANewNameAndKeepsItsId) {
  auto draft = StoredMail("new1", "Draft");
  draft.sent = false;
  Store().Add("Drafts", draft);
  const std::string first = Root() + ".Drafts/cur/new1:2,D";
  const std::string held = Root() + "held";
  fs::create_hard_link(first, held);  // what a reader that opened it still has
  const std::string before = testsupport::ScratchFolder::Read(held);

  draft.subject = "Draft, longer now";
  draft.attachments = {{"Sonvera.mp3", std::vector<std::uint8_t>(5000, 0x55)}};
  Store().Add("Drafts", draft);
  EXPECT_EQ(testsupport::ScratchFolder::Read(held), before) << "the delivered file was changed";
  EXPECT_FALSE(fs::exists(first)) << "the old version must be gone";
  const auto files = Files(Root() + ".Drafts/cur");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0].rfind("new1", 0), 0u) << files[0] << " has the old unique name";
  EXPECT_TRUE(MaildirStore::IsSafeId(files[0].substr(0, files[0].find(':'))));
  EXPECT_TRUE(Files(Root() + ".Drafts/tmp").empty());

  const auto listed = Store().Summaries("Drafts");
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].id, "new1");
  EXPECT_EQ(listed[0].subject, "Draft, longer now");
  EXPECT_EQ(Store().Load("new1").attachments.at(0).bytes.size(), 5000u);
  draft.subject = "Third";
  Store().Add("Drafts", draft);
  EXPECT_EQ(Files(Root() + ".Drafts/cur").size(), 1u);
  EXPECT_EQ(Store().Load("new1").subject, "Third");

  // The next run knows the mail by its file's unique name.
  const auto name = Files(Root() + ".Drafts/cur").at(0);
  MaildirStore next(Root());
  EXPECT_EQ(next.Load(name.substr(0, name.find(':'))).subject, "Third");
}

TEST_F(MaildirStoreTest, WritesACompleteMessageAndKeepsItsIdentityAcrossVersions) {
  // What the host makes of a new mail: neither a message id nor a date.
  auto mail = StoredMail("m1", "First");
  mail.messageId.clear();
  mail.date.clear();
  Store().Add("Inbox", mail);
  const std::string file = testsupport::ScratchFolder::Read(Root() + "new/m1");
  for (const char* header : {"Message-Id: <", "Date: ", "Subject: First", "MIME-Version: 1.0",
                             "Content-Type: text/plain"}) {
    EXPECT_NE(file.find(header), std::string::npos) << header << " missing from\n" << file;
  }
  const auto first = Store().Load("m1");
  EXPECT_FALSE(first.messageId.empty());
  EXPECT_FALSE(first.date.empty());

  mail.subject = "Second";
  Store().Add("Inbox", mail);
  EXPECT_EQ(Store().Load("m1").messageId, first.messageId);
  EXPECT_EQ(Store().Load("m1").subject, "Second");
}

TEST_F(MaildirStoreTest, RejectsIdsThatCannotBeFileNames) {
  for (const char* id : {"", "a/b", "../up", "a:2,S", ".hidden", "a,U=3"}) {
    EXPECT_THROW(Store().Add("Inbox", StoredMail(id, "X")), platform::Error) << id;
  }
  EXPECT_TRUE(Files(Root() + "new").empty());
  EXPECT_TRUE(Files(Root() + "tmp").empty());
  EXPECT_TRUE(MaildirStore::IsSafeId("1700000000.M1P2Q3.host"));
}

TEST_F(MaildirStoreTest, AnotherProgramsMailIsNeverOverwritten) {
  std::ofstream(Root() + ".Sent/cur/theirs:2,S") << "Subject: Theirs\n\nKeep me.\n";
  EXPECT_THROW(Store().Add("Inbox", StoredMail("theirs", "Mine")), platform::Error);
  EXPECT_EQ(testsupport::ScratchFolder::Read(Root() + ".Sent/cur/theirs:2,S"),
            "Subject: Theirs\n\nKeep me.\n");
  EXPECT_TRUE(Files(Root() + "new").empty());
  EXPECT_TRUE(Files(Root() + "tmp").empty());
}

TEST_F(MaildirStoreTest, AfterACrashBetweenTwoVersionsTheNewerIsTheItem) {
  // What a crash after linking the new version and before removing the old
  // one leaves: both files, the new one written later.
  std::ofstream(Root() + "cur/m:2,D") << "Subject: Old\n\nold\n";
  utimbuf past{1000000000, 1000000000};
  utime((Root() + "cur/m:2,D").c_str(), &past);
  std::ofstream(Root() + "new/m") << "Subject: New\n\nnew\n";
  const auto items = Store().Summaries("Inbox");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].subject, "New");
}

TEST_F(MaildirStoreTest, ChangesByAnotherProgramAreSeenAfterTheDrain) {
  ASSERT_GE(Store().ChangeFd(), 0) << "inotify is not available";
  Store().Add("Inbox", StoredMail("m1", "Before"));
  ASSERT_EQ(Store().Summaries("Inbox").at(0).subject, "Before");
  Store().DrainChanges();
  EXPECT_FALSE(Store().DrainChanges()) << "nothing changed since the last drain";

  // Edited in place: same name, other size.
  std::ofstream(Root() + "new/m1", std::ios::trunc) << "Subject: After the edit\n\nEdited.\n";
  EXPECT_TRUE(ChangeArrives());
  EXPECT_EQ(Store().Summaries("Inbox").at(0).subject, "After the edit");

  // Delivered by someone else, and flagged by someone else.
  std::ofstream(Root() + ".Drafts/tmp/x") << "Subject: Delivered\n\n";
  fs::rename(Root() + ".Drafts/tmp/x", Root() + ".Drafts/new/1700000000.M1P2Q3.elsewhere");
  EXPECT_TRUE(ChangeArrives());
  EXPECT_EQ(Store().Summaries("Drafts").at(0).subject, "Delivered");
  fs::rename(Root() + "new/m1", Root() + "cur/m1:2,S");
  EXPECT_TRUE(ChangeArrives());
  EXPECT_TRUE(Store().Summaries("Inbox").at(0).read);

  fs::remove(Root() + "cur/m1:2,S");
  EXPECT_TRUE(ChangeArrives());
  EXPECT_TRUE(Store().Summaries("Inbox").empty());
  EXPECT_EQ(Store().FolderOf("m1"), "");

  // A folder removed and made again is watched again.
  fs::remove_all(Root() + ".Drafts");
  EXPECT_TRUE(ChangeArrives());
  EXPECT_TRUE(Store().Summaries("Drafts").empty());
  Store().Add("Drafts", StoredMail("mine", "Made again"));
  Store().DrainChanges();
  std::ofstream(Root() + ".Drafts/new/theirs") << "Subject: Theirs\n\n";
  EXPECT_TRUE(ChangeArrives()) << "no change notification from the folder made again";
  EXPECT_EQ(Store().Summaries("Drafts").size(), 2u);
}

TEST_F(MaildirStoreTest, MalformedMessagesListWithWhatCanBeRead) {
  const std::string corpus = std::string(SONVERA_TEST_SOURCE_DIR) + "/tests/host/store/corpus/";
  for (const auto& entry : fs::directory_iterator(corpus)) {
    fs::copy_file(entry.path(), Root() + "cur/" + entry.path().stem().string() + ":2,S");
  }
  const auto items = Store().Summaries("Inbox");
  ASSERT_EQ(items.size(), static_cast<std::size_t>(std::distance(fs::directory_iterator(corpus),
                                                                 fs::directory_iterator())));
  std::map<std::string, StoredItem> byId;
  for (const auto& item : items) {
    EXPECT_TRUE(ValidUtf8(item.subject) && ValidUtf8(item.from) && ValidUtf8(item.body)) << item.id;
    for (const auto& attachment : item.attachments) {
      EXPECT_TRUE(ValidUtf8(attachment.fileName)) << item.id;
      EXPECT_EQ(attachment.fileName.find_first_of("/\\"), std::string::npos) << item.id;
    }
    byId[item.id] = item;
  }
  auto names = [&](const std::string& id) {
    std::vector<std::string> result;
    for (const auto& attachment : Store().Load(id).attachments)
      result.push_back(attachment.fileName);
    return result;
  };

  EXPECT_EQ(byId["empty"].subject, "");
  EXPECT_EQ(byId["broken-mime"].subject, "Broken parts");
  EXPECT_EQ(Store().Load("broken-mime").body, "The text.");
  EXPECT_EQ(byId["missing-boundary"].subject, "No boundary");
  EXPECT_EQ(byId["missing-boundary"].from, "Anna Berg <anna@example.com>");
  const auto& garbage = byId["header-garbage"].subject;
  EXPECT_EQ(garbage.rfind("Caf", 0), 0u) << garbage;
  EXPECT_EQ(garbage.substr(garbage.size() - 5), " menu") << garbage;
  EXPECT_EQ(Store().Load("header-garbage").body, "Body after garbage.\r\n");
  EXPECT_EQ(names("zero-byte-attachment"), std::vector<std::string>{"silence.wav"});
  EXPECT_TRUE(Store().Load("zero-byte-attachment").attachments.at(0).bytes.empty());
  const auto cut = Store().Load("truncated");
  EXPECT_EQ(cut.subject, "Cut short");
  ASSERT_EQ(cut.attachments.size(), 1u);
  EXPECT_GT(cut.attachments[0].bytes.size(), 0u) << "what arrived of the attachment";
  EXPECT_LT(cut.attachments[0].bytes.size(), 1024u);
  EXPECT_EQ(byId["rfc2047-name"].subject, "Grüße aus Wien");
  EXPECT_EQ(names("rfc2047-name"), std::vector<std::string>{"Grüße.mp3"});
  EXPECT_EQ(names("rfc2231-name"), std::vector<std::string>{"été note.wav"});
  EXPECT_EQ(names("path-name"), (std::vector<std::string>{"x.mp3", "y.wav"}));
  EXPECT_EQ(Store().Load("path-name").attachments[0].bytes, (std::vector<std::uint8_t>{0, 1, 2}));
}

TEST(MimeMessageTest, AttachmentsCarryTheirContentTypeInBase64) {
  StoredItem item;
  item.attachments = {
      {"Sonvera.mp3", {1, 2, 3}}, {"R.WAV", {4}}, {"notes.txt", {5}}, {"noext", {}}};
  const auto message = WriteMimeMessage(item);
  for (const char* part : {"Content-Type: audio/mpeg", "Content-Type: audio/wav",
                           "Content-Type: application/octet-stream; name=notes.txt",
                           "Content-Transfer-Encoding: base64\n\nAQID"}) {
    EXPECT_NE(message.find(part), std::string::npos) << part << " missing from\n" << message;
  }
  EXPECT_EQ(AttachmentContentType("a.b.Mp3"), "audio/mpeg");
  EXPECT_EQ(AttachmentContentType("mp3"), "application/octet-stream");
}

}  // namespace
}  // namespace mailhost
