// What only the store on disk can show: the files it leaves, other programs
// changing them, and messages it did not write. That every message written
// reads in mail tools, with its flags and headers, is tests/tools'.
#include <gtest/gtest.h>
#include <poll.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/store/MaildirStore.h"
#include "platform/Error.h"
#include "tests/support/ErrorText.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredMail.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using testsupport::ScratchFolder;
using testsupport::StoredMail;

Names Files(const std::string& folder) {
  return ScratchFolder::Names(folder);
}

Names FolderNames(const MaildirStore& store) {
  Names names;
  for (const auto& folder : store.Folders()) names.push_back(folder.name);
  return names;
}

StoredItem Draft(const std::string& id) {
  auto draft = StoredMail(id, "Draft");
  draft.sent = false;
  return draft;
}

class MaildirStoreTest : public testing::Test {
 protected:
  std::string Root() const { return m_folder.File("Mail") + "/"; }
  MaildirStore& Store() { return m_store; }
  // Waits for the store's change notification, as the host's loop would.
  bool ChangeArrives() {
    pollfd watch{m_store.ChangeFd(), POLLIN, 0};
    return poll(&watch, 1, 2000) == 1 && m_store.DrainChanges();
  }

 private:
  ScratchFolder m_folder;
  MaildirStore m_store{m_folder.File("Mail")};
};

TEST_F(MaildirStoreTest, MakesItsOwnTreeAndInAnotherMakesOnlyWhatAWriteNeeds) {
  for (const char* folder : {"", ".Sent/", ".Drafts/", ".Contacts/", ".Calendar/"})
    for (const char* sub : {"tmp", "new", "cur"})
      EXPECT_TRUE(fs::is_directory(Root() + folder + sub)) << folder << sub;

  ScratchFolder other;
  const std::string root = other.File("Maildir") + "/";
  for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(root + sub);
  {
    MaildirStore store(root);
    EXPECT_EQ(FolderNames(store), (Names{"Inbox", "Sent", "Drafts"}));
    EXPECT_EQ(Files(root), (Names{"cur", "new", "tmp"})) << "opening must make nothing";
    store.Add("Drafts", Draft("d1"));
    for (const char* made : {".Drafts/cur/d1:2,D", ".Drafts/new", ".Drafts/maildirfolder"})
      EXPECT_TRUE(fs::exists(root + made)) << made;
    EXPECT_TRUE(Files(root + ".Drafts/tmp").empty());
    EXPECT_FALSE(fs::exists(root + ".Sent")) << "Sent is made when a mail is filed";
  }
  // A folder another program made is listed, and left as it is.
  fs::create_directories(root + ".Contacts/cur");
  fs::create_directories(root + ".Archive/cur");
  EXPECT_EQ(FolderNames(MaildirStore(root)),
            (Names{"Inbox", "Sent", "Drafts", "Contacts", "Archive"}));
  EXPECT_FALSE(fs::exists(root + ".Archive/new"));

  // A folder of other files is no Maildir, and nothing is written into it.
  fs::create_directories(other.File("papers"));
  other.Write("papers/notes.txt", "mine");
  const auto papers = testsupport::ErrorOf([&] { MaildirStore(other.File("papers")); });
  EXPECT_TRUE(testsupport::Contains(papers, "is not a Maildir")) << papers;
  EXPECT_EQ(Files(other.File("papers")), Names{"notes.txt"});
}

// Dovecot serves a file by what it saw under that name: a changed mail has
// to be a new file, the old one left as it was until it goes.
TEST_F(MaildirStoreTest, AChangedMailIsANewFileUnderANewNameAndKeepsItsId) {
  auto draft = Draft("new1");
  Store().Add("Drafts", draft);
  const std::string first = Root() + ".Drafts/cur/new1:2,D";
  fs::create_hard_link(first, Root() + "held");  // what a reader that opened it still has
  const std::string before = ScratchFolder::Read(Root() + "held");

  draft.subject = "Draft, longer now";
  draft.attachments = {{"Sonvera.mp3", std::vector<std::uint8_t>(5000, 0x55)}};
  Store().Add("Drafts", draft);
  EXPECT_EQ(ScratchFolder::Read(Root() + "held"), before) << "the delivered file was changed";
  EXPECT_FALSE(fs::exists(first)) << "the old version must be gone";
  const auto files = Files(Root() + ".Drafts/cur");
  ASSERT_EQ(files.size(), 1u);
  const std::string unique = files[0].substr(0, files[0].find(':'));
  EXPECT_NE(unique, "new1");
  EXPECT_TRUE(MaildirStore::IsSafeId(unique));
  EXPECT_TRUE(Files(Root() + ".Drafts/tmp").empty());
  const auto listed = Store().Summaries("Drafts");
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].id, "new1");
  EXPECT_EQ(listed[0].subject, "Draft, longer now");
  EXPECT_EQ(Store().Load("new1").attachments.at(0).bytes.size(), 5000u);
  // The next run knows the mail by its file's unique name.
  EXPECT_EQ(MaildirStore(Root()).Load(unique).subject, "Draft, longer now");
}

// Neither an id that is no plain file name nor another program's mail is
// ever written; after a crash between two versions the newer one counts.
TEST_F(MaildirStoreTest, OnlyPlainNamesAreWrittenAndNeverOverAnotherProgramsMail) {
  for (const char* id : {"", "a/b", "../up", "a:2,S", ".hidden", "a,U=3"})
    EXPECT_THROW(Store().Add("Inbox", StoredMail(id, "X")), platform::Error) << id;
  EXPECT_TRUE(MaildirStore::IsSafeId("1700000000.M1P2Q3.host"));
  std::ofstream(Root() + ".Sent/cur/theirs:2,S") << "Subject: Theirs\n\nKeep me.\n";
  EXPECT_THROW(Store().Add("Inbox", StoredMail("theirs", "Mine")), platform::Error);
  EXPECT_EQ(ScratchFolder::Read(Root() + ".Sent/cur/theirs:2,S"), "Subject: Theirs\n\nKeep me.\n");
  EXPECT_TRUE(Files(Root() + "new").empty() && Files(Root() + "tmp").empty());

  std::ofstream(Root() + "cur/m:2,D") << "Subject: Old\n\nold\n";
  utimbuf past{1000000000, 1000000000};
  utime((Root() + "cur/m:2,D").c_str(), &past);
  std::ofstream(Root() + "new/m") << "Subject: New\n\nnew\n";
  ASSERT_EQ(Store().Summaries("Inbox").size(), 1u);
  EXPECT_EQ(Store().Summaries("Inbox")[0].subject, "New");
}

// Mail appended, flagged, moved and expunged by others is tools/test_dovecot's;
// these are a file edited in place and a folder made again.
TEST_F(MaildirStoreTest, ChangesByAnotherProgramAreSeenAfterTheDrain) {
  ASSERT_GE(Store().ChangeFd(), 0) << "inotify is not available";
  Store().Add("Inbox", StoredMail("m1", "Before"));
  ASSERT_EQ(Store().Summaries("Inbox").at(0).subject, "Before");
  Store().DrainChanges();
  EXPECT_FALSE(Store().DrainChanges()) << "nothing changed since the last drain";
  std::ofstream(Root() + "new/m1", std::ios::trunc) << "Subject: After the edit\n\nEdited.\n";
  EXPECT_TRUE(ChangeArrives());
  EXPECT_EQ(Store().Summaries("Inbox").at(0).subject, "After the edit");

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
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    fs::copy_file(entry.path(), Root() + "cur/" + entry.path().stem().string() + ":2,S");
    ++count;
  }
  const auto items = Store().Summaries("Inbox");
  ASSERT_EQ(items.size(), count);
  std::map<std::string, StoredItem> byId;
  for (const auto& item : items) {
    // Valid UTF-8 throughout (the page's JSON refuses anything else), and no
    // attachment name that leads out of a folder.
    EXPECT_NO_THROW(nlohmann::json({item.subject, item.from, item.body}).dump()) << item.id;
    for (const auto& attachment : item.attachments) {
      EXPECT_NO_THROW(nlohmann::json(attachment.fileName).dump()) << item.id;
      EXPECT_EQ(attachment.fileName.find_first_of("/\\"), std::string::npos) << item.id;
    }
    byId[item.id] = item;
  }
  auto names = [&](const std::string& id) {
    Names result;
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
  EXPECT_EQ(names("zero-byte-attachment"), Names{"silence.wav"});
  EXPECT_TRUE(Store().Load("zero-byte-attachment").attachments.at(0).bytes.empty());
  const auto cut = Store().Load("truncated");
  EXPECT_EQ(cut.subject, "Cut short");
  ASSERT_EQ(cut.attachments.size(), 1u);
  EXPECT_GT(cut.attachments[0].bytes.size(), 0u) << "what arrived of the attachment";
  EXPECT_LT(cut.attachments[0].bytes.size(), 1024u);
  EXPECT_EQ(byId["rfc2047-name"].subject, "Grüße aus Wien");
  EXPECT_EQ(names("rfc2047-name"), Names{"Grüße.mp3"});
  EXPECT_EQ(names("rfc2231-name"), Names{"été note.wav"});
  EXPECT_EQ(names("path-name"), (Names{"x.mp3", "y.wav"}));
  EXPECT_EQ(Store().Load("path-name").attachments[0].bytes, (std::vector<std::uint8_t>{0, 1, 2}));
}

}  // namespace
}  // namespace mailhost
