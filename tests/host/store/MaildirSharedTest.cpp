// The Maildir shared with other programs: what mbsync, Dovecot and mail
// clients do to its files (simulated by renaming and writing them as they
// do), and the summary cache that lists a large folder at once after a start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

#include "host/store/MimeMessage.h"
#include "platform/Error.h"
#include "tests/host/store/MaildirKit.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using testsupport::ScratchFolder;
using testsupport::StoredMail;

// Other programs rename a file as mbsync and Dovecot do: its content kept.
class MaildirSharedTest : public MaildirTest {
 protected:
  MaildirStore store{scratch.File("Mail")};
};

// mbsync's renames of a draft it uploaded are tools/test_mbsync's, for real;
// here are Dovecot's sizes and an IMAP client's flag, through an edit, a read
// mark, the filing and a move.
TEST_F(MaildirSharedTest, ADraftRenamedByOthersStaysOneDraftThroughEditsAndFiling) {
  auto draft = Draft("d1", 2000);
  store.Add("Drafts", draft);
  fs::rename(Drafts() + "d1:2,D", Drafts() + "d1,U=2:2,D");
  draft.subject = "Voice note, edited";
  store.Add("Drafts", draft);
  const auto edited = OnlyFile(Drafts());
  EXPECT_EQ(edited.find(",U="), std::string::npos)
      << edited << ": mbsync's number belongs to the old content";
  const auto unique = edited.substr(0, edited.find(':'));
  // Dovecot names the file by its sizes and keeps a flag an IMAP client set.
  fs::rename(Drafts() + edited, Drafts() + unique + ",S=2954,W=3001:2,DF");
  EXPECT_EQ(Ids(store.Summaries("Drafts")), Names{"d1"});
  EXPECT_EQ(store.Load("d1").subject, "Voice note, edited");
  store.MarkRead("d1");
  EXPECT_EQ(Files(Drafts()), Names{unique + ",S=2954,W=3001:2,DFS"})
      << "a read mark changes the flags and nothing else";
  auto sent = draft;
  sent.sent = sent.read = true;
  store.File("Sent", sent);
  EXPECT_TRUE(Files(Drafts()).empty()) << "the draft must go with the send";
  EXPECT_EQ(Files(Root() + ".Sent/cur"), Names{unique + ":2,FS"})
      << "the filed copy is new content: Dovecot's sizes go, the flag stays";
  EXPECT_EQ(store.Load("d1").messageId, draft.messageId);
  // A move keeps the name but for mbsync's number of the old folder.
  fs::rename(Root() + ".Sent/cur/" + unique + ":2,FS",
             Root() + ".Sent/cur/" + unique + ",U=7,S=9:2,FS");
  store.Move("d1", "Inbox");
  EXPECT_EQ(Files(Root() + "cur"), Names{unique + ",S=9:2,FS"});
}

TEST_F(MaildirSharedTest, FlagsOfOtherClientsAreKeptAndDraftsAreWhatDraftsHolds) {
  // A received mail that another client flagged D (and deleted, not yet
  // expunged, and tagged with a keyword).
  std::ofstream(Root() + "cur/received:2,DFPRTa")
      << "From: anna@example.com\nSubject: Received\n\nText\n";
  // neomutt's postponed mail: in Drafts, without D.
  std::ofstream(Drafts() + "postponed:2,") << "From: me@example.com\nSubject: Postponed\n\nText\n";

  const auto received = store.Summaries("Inbox").at(0);
  EXPECT_TRUE(received.sent) << "a received mail must not become a draft by its D";
  EXPECT_TRUE(received.deleted) << "T is deleted, not yet expunged";
  EXPECT_FALSE(store.Summaries("Drafts").at(0).sent) << "a mail in Drafts is a draft";
  EXPECT_FALSE(store.Load("postponed").sent);

  store.MarkRead("received");
  EXPECT_EQ(Files(Root() + "cur"), Names{"received:2,DFPRSTa"});
  EXPECT_TRUE(store.Load("received").deleted);
}

TEST_F(MaildirSharedTest, AFileThatTookADraftsPlaceWithItsMessageIdIsThatDraft) {
  auto draft = Draft("d1", 2000);
  store.Add("Drafts", draft);
  ASSERT_EQ(Ids(store.Summaries("Drafts")), Names{"d1"});

  // Another client saved its version and removed the old one.
  auto theirs = draft;
  theirs.subject = "Edited elsewhere";
  std::ofstream(Drafts() + "1700000001.M2P3.elsewhere:2,D") << WriteMimeMessage(theirs);
  fs::remove(Drafts() + "d1:2,D");
  EXPECT_EQ(Ids(store.Summaries("Drafts")), Names{"d1"});
  EXPECT_EQ(store.Load("d1").subject, "Edited elsewhere");
  draft.subject = "Mine again";
  store.Add("Drafts", draft);
  EXPECT_EQ(Files(Drafts()).size(), 1u);

  // A run that never knew the draft's file finds it by its Message-Id.
  MaildirStore later(Root());
  auto fromWindow = draft;
  fromWindow.id = "gone-name";
  fromWindow.subject = "From a window of an earlier look";
  later.Add("Drafts", fromWindow);
  ASSERT_EQ(Files(Drafts()).size(), 1u) << "the next version must replace the draft";
  EXPECT_EQ(later.Load("gone-name").subject, "From a window of an earlier look");

  // Another Message-Id is another mail.
  auto other = Draft("d2", 2000);
  other.messageId = "other@example.com";
  later.Add("Drafts", other);
  EXPECT_EQ(later.Summaries("Drafts").size(), 2u);
}

// mbsync renames a file whenever a flag changes on the server, and that may
// fall between the store's look at the folder and its read of the file.
TEST_F(MaildirSharedTest, AMailRenamedBeforeItIsReadIsReadUnderItsNewNameAndOneGoneIsNotFound) {
  store.Add("Drafts", Draft("d1", 2000, "Important"));
  const auto renameOnRead = [&](Names renames) {
    store.SetReadHook([this, renames](const std::string& path) mutable {
      if (renames.empty()) return;
      fs::rename(path, Drafts() + renames.front());
      renames.erase(renames.begin());
    });
  };
  // Renamed again while it is looked for, as a flag toggled twice would.
  renameOnRead({"d1,U=5:2,DF", "d1,U=5:2,D", "d1,U=5:2,DFS"});
  const auto listed = store.Summaries("Drafts");
  ASSERT_EQ(Ids(listed), Names{"d1"});
  EXPECT_EQ(listed[0].subject, "Important") << "the draft was listed without its subject";
  renameOnRead({"d1:2,D"});
  const auto opened = store.Load("d1");
  EXPECT_EQ(opened.subject, "Important") << "the draft opened empty";
  ASSERT_EQ(opened.attachments.size(), 1u) << "the voice message was lost";
  EXPECT_EQ(opened.attachments[0].bytes.size(), 2000u);
  EXPECT_FALSE(opened.read) << "the flags are those of the name read";

  // Removed there: an empty draft opened would be written over it at the next edit.
  store.SetReadHook([](const std::string& path) { fs::remove(path); });
  EXPECT_THROW(store.Load("d1"), platform::Error);
  store.SetReadHook(nullptr);
  EXPECT_TRUE(store.Summaries("Drafts").empty());
}

// Runs the call on a thread of its own; true when it ends within seconds. One
// still waiting for a writer of the FIFO at `fifo` is let go, so that the
// test ends either way.
bool EndsPromptly(const std::function<void()>& call, const std::string& fifo) {
  auto running = std::async(std::launch::async, call);
  if (running.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return true;
  close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
  running.wait();
  return false;
}

// Another program renames a FIFO onto a mail's name after the store looked at
// the folder: opened as a file, it would wait for a writer that never comes,
// and every later request of the page with it.
TEST_F(MaildirSharedTest, AFifoRenamedOntoAMailsNameIsNoMailAndKeepsNobodyWaiting) {
  std::string swapAt;
  store.SetReadHook([&](const std::string& path) {
    if (path != swapAt) return;
    const std::string fifo = scratch.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::rename(fifo, path);
  });
  store.Add("Inbox", StoredMail("m1", "Listed"));
  swapAt = Root() + "new/m1";
  std::vector<StoredItem> listed{StoredMail("unset", "")};
  ASSERT_TRUE(EndsPromptly([&] { listed = store.Summaries("Inbox"); }, swapAt))
      << "listing the folder waited for the FIFO";
  EXPECT_TRUE(listed.empty()) << "a FIFO was listed as a mail";

  store.Add("Inbox", StoredMail("m2", "Opened"));
  ASSERT_EQ(Ids(store.Summaries("Inbox")), Names{"m2"});
  swapAt = Root() + "new/m2";
  bool notFound = false;
  ASSERT_TRUE(EndsPromptly(
      [&] {
        try {
          store.Load("m2");
        } catch (const platform::Error&) {
          notFound = true;
        }
      },
      swapAt))
      << "opening the mail waited for the FIFO";
  EXPECT_TRUE(notFound) << "a FIFO opened as a mail";
}

class SummaryCacheTest : public MaildirTest {
 protected:
  std::string Cache() const { return scratch.File("cache"); }
  std::vector<StoredItem> Listed() { return MaildirStore(Root(), Cache()).Summaries("Inbox"); }
  std::string Subject() { return Listed().at(0).subject; }
  // Another content of the same size, the file's time as it was.
  void Rewrite(const std::string& from, const std::string& to) {
    const std::string path = Root() + "new/m1";
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    std::string content = ScratchFolder::Read(path);
    ASSERT_EQ(from.size(), to.size());
    const auto at = content.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    content.replace(at, from.size(), to);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    const timespec times[2] = {info.st_atim, info.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  std::string CacheFile() {
    for (const auto& entry : fs::directory_iterator(Cache())) return entry.path();
    return "";
  }
};

TEST_F(SummaryCacheTest, AStartListsFromTheCacheOnlyWhatIsUnchangedAndNeverTrustsADamagedOne) {
  {
    MaildirStore store(Root(), Cache());
    auto mail = StoredMail("m1", "Cached subject");
    const auto inner = WriteMimeMessage(StoredMail("inner", "Inner"));
    mail.attachments = {{"Sonvera.mp3", {1, 2, 3}},
                        {"Fwd.eml", {inner.begin(), inner.end()}, true}};
    store.Add("Inbox", mail);
    EXPECT_EQ(store.Summaries("Inbox").size(), 1u);
  }
  EXPECT_EQ(Files(Root()),
            (Names{".Calendar", ".Contacts", ".Drafts", ".Sent", "cur", "new", "tmp"}))
      << "the cache must stay out of the Maildir, where mail tools read";
  ASSERT_EQ(Files(Cache()).size(), 1u) << "one folder listed, one cache file, no temporary one";

  // Same size and time: the cache is taken at its word, attachments and all.
  Rewrite("Cached subject", "Edited subject");
  auto listed = Listed();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].subject, "Cached subject") << "the file was read although it was cached";
  EXPECT_EQ(listed[0].id, "m1");
  ASSERT_EQ(listed[0].attachments.size(), 2u);
  EXPECT_EQ(listed[0].attachments[0].fileName, "Sonvera.mp3");
  EXPECT_TRUE(listed[0].attachments[1].message);
  EXPECT_EQ(MaildirStore(Root(), Cache()).Load("m1").subject, "Edited subject")
      << "a mail opened is read from its file";

  // Another time: the file is read, and the cache learns it.
  const std::string path = Root() + "new/m1";
  fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
  EXPECT_EQ(Subject(), "Edited subject");
  Rewrite("Edited subject", "Cached subject");
  EXPECT_EQ(Subject(), "Edited subject");

  // A damaged cache, or one cut short, is read as none.
  Rewrite("Cached subject", "Broken subject");
  std::string cache = ScratchFolder::Read(CacheFile());
  cache[cache.size() / 2] ^= 0x20;
  std::ofstream(CacheFile(), std::ios::binary | std::ios::trunc) << cache;
  EXPECT_EQ(Subject(), "Broken subject");
  Rewrite("Broken subject", "Cached subject");
  cache = ScratchFolder::Read(CacheFile());
  std::ofstream(CacheFile(), std::ios::binary | std::ios::trunc)
      << cache.substr(0, cache.size() - 3);
  EXPECT_EQ(Subject(), "Cached subject");
  std::ofstream(CacheFile(), std::ios::binary | std::ios::trunc) << "";
  EXPECT_EQ(Subject(), "Cached subject");
}

TEST_F(SummaryCacheTest, AMailGoneSinceTheCacheWasWrittenIsNotListed) {
  {
    MaildirStore store(Root(), Cache());
    store.Add("Inbox", StoredMail("m1", "One"));
    store.Add("Inbox", StoredMail("m2", "Two"));
    EXPECT_EQ(store.Summaries("Inbox").size(), 2u);
  }
  fs::remove(Root() + "new/m1");
  fs::rename(Root() + "new/m2", Root() + "cur/m2,U=4:2,S");
  const auto listed = Listed();
  ASSERT_EQ(Ids(listed), Names{"m2"});
  EXPECT_TRUE(listed[0].read);
  EXPECT_EQ(listed[0].subject, "Two");
}

}  // namespace
}  // namespace mailhost
