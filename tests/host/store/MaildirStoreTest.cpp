// What only the store on disk can show: the files it leaves, other programs
// changing them, messages it did not write, and filing cut short by a kill.
// That every message written reads in mail tools, with its flags and
// headers, is tests/tools'; a full disk and a read-only Maildir are
// MailHostSendTest's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "platform/Error.h"
#include "tests/host/store/MaildirKit.h"
#include "tests/support/ErrorText.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using testsupport::ScratchFolder;
using testsupport::StoredMail;

class MaildirStoreTest : public MaildirTest {
 protected:
  MaildirStore store{scratch.File("Mail")};
};

TEST_F(MaildirStoreTest, MakesItsOwnTreeAndInAnotherMakesOnlyWhatAWriteNeeds) {
  for (const char* folder : {"", ".Sent/", ".Drafts/", ".Contacts/", ".Calendar/"})
    for (const char* sub : {"tmp", "new", "cur"})
      EXPECT_TRUE(fs::is_directory(Root() + folder + sub)) << folder << sub;

  ScratchFolder other;
  const std::string root = other.File("Maildir") + "/";
  for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(root + sub);
  {
    MaildirStore theirs(root);
    EXPECT_EQ(FolderNames(theirs), (Names{"Inbox", "Sent", "Drafts"}));
    EXPECT_EQ(Files(root), (Names{"cur", "new", "tmp"})) << "opening must make nothing";
    theirs.Add("Drafts", Draft("d1"));
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
  store.Add("Drafts", draft);
  const std::string first = Root() + ".Drafts/cur/new1:2,D";
  fs::create_hard_link(first, Root() + "held");  // what a reader that opened it still has
  const std::string before = ScratchFolder::Read(Root() + "held");

  draft.subject = "Draft, longer now";
  draft.attachments = {{"Sonvera.mp3", std::vector<std::uint8_t>(5000, 0x55)}};
  store.Add("Drafts", draft);
  EXPECT_EQ(ScratchFolder::Read(Root() + "held"), before) << "the delivered file was changed";
  EXPECT_FALSE(fs::exists(first)) << "the old version must be gone";
  const auto files = Files(Root() + ".Drafts/cur");
  ASSERT_EQ(files.size(), 1u);
  const std::string unique = files[0].substr(0, files[0].find(':'));
  EXPECT_NE(unique, "new1");
  EXPECT_TRUE(MaildirStore::IsSafeId(unique));
  EXPECT_TRUE(Files(Root() + ".Drafts/tmp").empty());
  const auto listed = store.Summaries("Drafts");
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].id, "new1");
  EXPECT_EQ(listed[0].subject, "Draft, longer now");
  EXPECT_EQ(store.Load("new1").attachments.at(0).bytes.size(), 5000u);
  // The next run knows the mail by its file's unique name.
  EXPECT_EQ(MaildirStore(Root()).Load(unique).subject, "Draft, longer now");
}

// Neither an id that is no plain file name nor another program's mail is
// ever written; after a crash between two versions the newer one counts.
TEST_F(MaildirStoreTest, OnlyPlainNamesAreWrittenAndNeverOverAnotherProgramsMail) {
  for (const char* id : {"", "a/b", "../up", "a:2,S", ".hidden", "a,U=3"})
    EXPECT_THROW(store.Add("Inbox", StoredMail(id, "X")), platform::Error) << id;
  EXPECT_TRUE(MaildirStore::IsSafeId("1700000000.M1P2Q3.host"));
  std::ofstream(Root() + ".Sent/cur/theirs:2,S") << "Subject: Theirs\n\nKeep me.\n";
  EXPECT_THROW(store.Add("Inbox", StoredMail("theirs", "Mine")), platform::Error);
  EXPECT_EQ(ScratchFolder::Read(Root() + ".Sent/cur/theirs:2,S"), "Subject: Theirs\n\nKeep me.\n");
  EXPECT_TRUE(Files(Root() + "new").empty() && Files(Root() + "tmp").empty());

  std::ofstream(Root() + "cur/m:2,D") << "Subject: Old\n\nold\n";
  utimbuf past{1000000000, 1000000000};
  utime((Root() + "cur/m:2,D").c_str(), &past);
  std::ofstream(Root() + "new/m") << "Subject: New\n\nnew\n";
  ASSERT_EQ(store.Summaries("Inbox").size(), 1u);
  EXPECT_EQ(store.Summaries("Inbox")[0].subject, "New");
}

// Mail appended, flagged, moved and expunged by others is tools/test_dovecot's;
// these are a file edited in place and a folder made again.
TEST_F(MaildirStoreTest, ChangesByAnotherProgramAreSeenAfterTheDrain) {
  ASSERT_GE(store.ChangeFd(), 0) << "inotify is not available";
  store.Add("Inbox", StoredMail("m1", "Before"));
  ASSERT_EQ(store.Summaries("Inbox").at(0).subject, "Before");
  store.DrainChanges();
  EXPECT_FALSE(store.DrainChanges()) << "nothing changed since the last drain";
  std::ofstream(Root() + "new/m1", std::ios::trunc) << "Subject: After the edit\n\nEdited.\n";
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_EQ(store.Summaries("Inbox").at(0).subject, "After the edit");

  fs::remove_all(Root() + ".Drafts");
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_TRUE(store.Summaries("Drafts").empty());
  store.Add("Drafts", StoredMail("mine", "Made again"));
  store.DrainChanges();
  std::ofstream(Root() + ".Drafts/new/theirs") << "Subject: Theirs\n\n";
  EXPECT_TRUE(ChangeArrives(store)) << "no change notification from the folder made again";
  EXPECT_EQ(store.Summaries("Drafts").size(), 2u);
}

TEST_F(MaildirStoreTest, MalformedMessagesListWithWhatCanBeRead) {
  const std::string corpus = std::string(SONVERA_TEST_SOURCE_DIR) + "/tests/host/store/corpus/";
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    fs::copy_file(entry.path(), Root() + "cur/" + entry.path().stem().string() + ":2,S");
    ++count;
  }
  const auto items = store.Summaries("Inbox");
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
    for (const auto& attachment : store.Load(id).attachments) result.push_back(attachment.fileName);
    return result;
  };
  EXPECT_EQ(byId["empty"].subject, "");
  EXPECT_EQ(byId["broken-mime"].subject, "Broken parts");
  EXPECT_EQ(store.Load("broken-mime").body, "The text.");
  EXPECT_EQ(byId["missing-boundary"].subject, "No boundary");
  EXPECT_EQ(byId["missing-boundary"].from, "Anna Berg <anna@example.com>");
  const auto& garbage = byId["header-garbage"].subject;
  EXPECT_EQ(garbage.rfind("Caf", 0), 0u) << garbage;
  EXPECT_EQ(garbage.substr(garbage.size() - 5), " menu") << garbage;
  EXPECT_EQ(store.Load("header-garbage").body, "Body after garbage.\r\n");
  EXPECT_EQ(names("zero-byte-attachment"), Names{"silence.wav"});
  EXPECT_TRUE(store.Load("zero-byte-attachment").attachments.at(0).bytes.empty());
  const auto cut = store.Load("truncated");
  EXPECT_EQ(cut.subject, "Cut short");
  ASSERT_EQ(cut.attachments.size(), 1u);
  EXPECT_GT(cut.attachments[0].bytes.size(), 0u) << "what arrived of the attachment";
  EXPECT_LT(cut.attachments[0].bytes.size(), 1024u);
  EXPECT_EQ(byId["rfc2047-name"].subject, "Grüße aus Wien");
  EXPECT_EQ(names("rfc2047-name"), Names{"Grüße.mp3"});
  EXPECT_EQ(names("rfc2231-name"), Names{"été note.wav"});
  EXPECT_EQ(names("path-name"), (Names{"x.mp3", "y.wav"}));
  EXPECT_EQ(store.Load("path-name").attachments[0].bytes, (std::vector<std::uint8_t>{0, 1, 2}));
}

// Every message file under the tree but those in tmp/, as "FOLDER/sub/NAME"
// ("" for the Inbox).
Names MessageFiles(const std::string& root) {
  Names files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().filename() == "maildirfolder" ||
        entry.path().parent_path().filename() == "tmp")
      continue;
    files.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

StoredItem SentCopy(StoredItem draft) {
  draft.sent = true;
  draft.read = true;
  draft.body += "\r\nfooter";
  return draft;
}

using FileStep = MaildirStore::FileStep;
using MaildirFaultsTest = MaildirTest;

// A real SIGKILL at each step of filing (no destructor runs), and what the
// next start makes of it: the draft or the sent mail, never neither, never
// both for long.
TEST_F(MaildirFaultsTest, AKillAtAnyStepOfFilingLeavesTheDraftOrTheSentMail) {
  const auto draft = Draft("1700000000.M1P2Q1.host", 3000);
  const std::string id = draft.id;
  struct Case {
    FileStep killedAt;
    Names leftOnDisk;  // before the next start
    const char* folderAfterRestart;
  };
  const Case cases[] = {
      {FileStep::CopyWritten, {".Drafts/cur/" + id + ":2,D"}, "Drafts"},
      {FileStep::CopyInPlace, {".Drafts/cur/" + id + ":2,D", ".Sent/cur/" + id + ":2,S"}, "Sent"},
      {FileStep::OldRemoved, {".Sent/cur/" + id + ":2,S"}, "Sent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.killedAt));
    fs::remove_all(Root());
    MaildirStore(Root()).Add("Drafts", draft);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      MaildirStore store(Root());
      store.SetFileHook([&](FileStep step) {
        if (step == c.killedAt) kill(getpid(), SIGKILL);
      });
      try {
        store.File("Sent", SentCopy(draft));
      } catch (...) {
      }
      _exit(0);  // the kill did not come
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    EXPECT_EQ(MessageFiles(Root()), c.leftOnDisk);

    MaildirStore restarted(Root());
    EXPECT_EQ(restarted.FolderOf(id), c.folderAfterRestart);
    const auto kept = restarted.Load(id);
    EXPECT_EQ(kept.attachments.size(), 1u);
    EXPECT_EQ(kept.messageId, draft.messageId);
    if (std::string(c.folderAfterRestart) == "Sent") {
      EXPECT_TRUE(restarted.Summaries("Drafts").empty()) << "the filed draft must go at start";
      EXPECT_TRUE(kept.sent && kept.read);
      EXPECT_EQ(kept.body, SentCopy(draft).body);
    } else {
      EXPECT_FALSE(kept.sent);
      EXPECT_TRUE(restarted.Summaries("Sent").empty());
    }
  }
}

TEST_F(MaildirFaultsTest, AtStartOnlyADraftSentHoldsUnderItsIdAndMessageIdGoes) {
  { MaildirStore store(Root()); }
  // Another program's draft that shares a name with a sent mail but is
  // another message, and one that shares a Message-Id under another name.
  std::ofstream(Root() + ".Drafts/cur/same-name:2,D") << "Message-Id: <a@x>\nSubject: A\n\nA\n";
  std::ofstream(Root() + ".Sent/cur/same-name:2,S") << "Message-Id: <b@x>\nSubject: B\n\nB\n";
  std::ofstream(Root() + ".Drafts/cur/other-name:2,D") << "Message-Id: <c@x>\nSubject: C\n\nC\n";
  std::ofstream(Root() + ".Sent/cur/c-sent:2,S") << "Message-Id: <c@x>\nSubject: C\n\nC\n";
  MaildirStore store(Root());
  EXPECT_EQ(store.Summaries("Drafts").size(), 2u) << "neither draft is a filing's leftover";
}

}  // namespace
}  // namespace mailhost
