// What only the store on disk can show: the files it leaves, other programs
// changing them, messages it did not write or wrote as MIME, and filing cut
// short by a kill. That every message written reads in mail tools, with its
// flags and headers, is tests/tools'; a full disk and a read-only Maildir are
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
#include <string>
#include <vector>

#include "host/store/MimeMessage.h"
#include "platform/Error.h"
#include "tests/host/store/MaildirKit.h"
#include "tests/support/ErrorText.h"
#include "tests/support/StoredMail.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using testsupport::ScratchFolder;
using testsupport::StoredMail;

Names AttachmentNames(const StoredItem& item) {
  Names names;
  for (const auto& attachment : item.attachments) names.push_back(attachment.fileName);
  return names;
}

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

  // A listing that takes a removal in before the event loop looks leaves it
  // for the loop all the same: the page is drawn again.
  fs::remove(Root() + ".Drafts/new/theirs");
  EXPECT_EQ(store.Summaries("Drafts").size(), 1u);
  EXPECT_TRUE(ChangeArrives(store)) << "the event loop never heard of the removal";
}

// A link among the mail files would show a file from anywhere as mail of
// this Maildir; a folder that is a link is how its owner keeps it, and counts.
TEST_F(MaildirStoreTest, MailFilesThatAreLinksAreNoMailButFoldersThatAreLinksAreFollowed) {
  ASSERT_GE(store.ChangeFd(), 0) << "inotify is not available";
  ScratchFolder elsewhere;
  elsewhere.Write("outside.eml", "Subject: Outside\n\nNot mail of this Maildir.\n");
  fs::create_symlink(elsewhere.File("outside.eml"), Root() + "cur/3007.mail.host:2,");
  store.Add("Inbox", StoredMail("m1", "Inside"));
  EXPECT_EQ(Ids(store.Summaries("Inbox")), Names{"m1"});
  EXPECT_THROW(store.Load("3007.mail.host"), platform::Error);
  // One made after the first look is seen through the change notification.
  store.DrainChanges();
  fs::create_symlink(elsewhere.File("outside.eml"), Root() + "new/3008.mail.host");
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_EQ(Ids(store.Summaries("Inbox")), Names{"m1"});
  EXPECT_EQ(store.FolderOf("3008.mail.host"), "");

  for (const char* sub : {"cur", "new", "tmp"})
    fs::create_directories(elsewhere.File("Archive/") + sub);
  elsewhere.Write("Archive/cur/a1:2,S", "Subject: Archived\n\nKept elsewhere.\n");
  fs::create_directory_symlink(elsewhere.File("Archive"), Root() + ".Archive");
  MaildirStore linked(Root());
  ASSERT_EQ(Ids(linked.Summaries("Archive")), Names{"a1"});
  EXPECT_EQ(linked.Load("a1").subject, "Archived");
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
  EXPECT_EQ(byId["empty"].subject, "");
  EXPECT_EQ(byId["broken-mime"].subject, "Broken parts");
  EXPECT_EQ(store.Load("broken-mime").body, "The text.");
  EXPECT_EQ(byId["missing-boundary"].subject, "No boundary");
  EXPECT_EQ(byId["missing-boundary"].from, "Anna Berg <anna@example.com>");
  const auto& garbage = byId["header-garbage"].subject;
  EXPECT_EQ(garbage.rfind("Caf", 0), 0u) << garbage;
  EXPECT_EQ(garbage.substr(garbage.size() - 5), " menu") << garbage;
  EXPECT_EQ(store.Load("header-garbage").body, "Body after garbage.\r\n");
  EXPECT_EQ(AttachmentNames(store.Load("zero-byte-attachment")), Names{"silence.wav"});
  EXPECT_TRUE(store.Load("zero-byte-attachment").attachments.at(0).bytes.empty());
  const auto cut = store.Load("truncated");
  EXPECT_EQ(cut.subject, "Cut short");
  ASSERT_EQ(cut.attachments.size(), 1u);
  EXPECT_GT(cut.attachments[0].bytes.size(), 0u) << "what arrived of the attachment";
  EXPECT_LT(cut.attachments[0].bytes.size(), 1024u);
  EXPECT_EQ(byId["rfc2047-name"].subject, "Grüße aus Wien");
  EXPECT_EQ(AttachmentNames(store.Load("rfc2047-name")), Names{"Grüße.mp3"});
  EXPECT_EQ(AttachmentNames(store.Load("rfc2231-name")), Names{"été note.wav"});
  EXPECT_EQ(AttachmentNames(store.Load("path-name")), (Names{"x.mp3", "y.wav"}));
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

// Voice messages as other mail programs send them: unnamed, inline, inside a
// forwarded mail.
std::string Text(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A forwarded voice mail, as mail clients attach one.
std::string Forwarded(const std::string& disposition, const std::string& subject) {
  return "Content-Type: message/rfc822\n" + disposition +
         "\nFrom: anna@example.com\nSubject: " + subject +
         "\nContent-Type: multipart/mixed; boundary=inner\n\n"
         "--inner\nContent-Type: text/plain\n\nListen.\n"
         "--inner\nContent-Type: audio/mpeg\nContent-Transfer-Encoding: base64\n\nAAECAw==\n"
         "--inner--\n";
}

TEST(MimeMessageTest, EveryVoiceMessageIsOfferedUnderANameMailClientsWouldGiveIt) {
  const std::string message =
      "From: bob@example.com\nSubject: Many parts\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=outer\n\n"
      "--outer\nContent-Type: text/plain\n\nThe text.\n"
      "--outer\nContent-Type: audio/mpeg\nContent-Transfer-Encoding: base64\n\nAAEC\n"
      "--outer\nContent-Type: application/octet-stream\nContent-Disposition: attachment\n"
      "Content-Transfer-Encoding: base64\n\nBAUG\n"
      "--outer\nContent-Type: audio/mp3; name=x.mp3\nContent-Transfer-Encoding: base64\n\nBwgJ\n"
      "--outer\n" +
      Forwarded("", "Voice from Anna / 2") + "--outer\n" +
      Forwarded("Content-Disposition: attachment; filename=fwd.eml\n", "Named") + "--outer\n" +
      Forwarded("", "") + "--outer--\n";

  const auto item = ReadMimeMessage(message);
  EXPECT_EQ(item.body, "The text.");
  EXPECT_EQ(AttachmentNames(item), (Names{"ATT00001.mp3", "ATT00002.dat", "x.mp3",
                                          "Voice from Anna _ 2.eml", "fwd.eml", "ATT00003.eml"}));
  EXPECT_EQ(item.attachments[0].bytes, (std::vector<std::uint8_t>{0, 1, 2}));
  EXPECT_FALSE(item.attachments[2].message);
  for (std::size_t i = 3; i < 6; ++i) {
    ASSERT_TRUE(item.attachments[i].message) << item.attachments[i].fileName;
    // The attached mail is a whole mail, whose voice message is offered again.
    const auto inner = ReadMimeMessage(Text(item.attachments[i].bytes));
    EXPECT_EQ(inner.from, "anna@example.com");
    EXPECT_EQ(AttachmentNames(inner), Names{"ATT00001.mp3"});
    EXPECT_EQ(inner.attachments.at(0).bytes, (std::vector<std::uint8_t>{0, 1, 2, 3}));
  }
  const auto listed = ReadMimeMessage(message, false);
  EXPECT_EQ(AttachmentNames(listed), AttachmentNames(item));
  EXPECT_TRUE(listed.attachments[3].bytes.empty());
}

TEST(MimeMessageTest, AnAttachedMailIsWrittenAsAMailAndOtherBytesAsAFile) {
  const auto inner = WriteMimeMessage(testsupport::StoredMail("inner", "Voice from Anna"));
  StoredItem item = testsupport::StoredMail("outer", "Fwd: Voice from Anna");
  item.attachments = {{"Voice from Anna.eml", {inner.begin(), inner.end()}, true},
                      {"not a mail.eml", {0xff, 0x00, 0xfe}},
                      {"R.WAV", {1, 2, 3}}};
  const auto message = WriteMimeMessage(item);
  for (const char* part : {"Content-Type: message/rfc822", "Content-Type: audio/wav",
                           "Content-Type: application/octet-stream; name=\"not a mail.eml\"",
                           "Content-Transfer-Encoding: base64\n\nAQID"})
    EXPECT_NE(message.find(part), std::string::npos) << part << " missing from\n" << message;
  EXPECT_EQ(AttachmentContentType("a.b.Mp3"), "audio/mpeg");
  EXPECT_EQ(AttachmentContentType("mp3"), "application/octet-stream");
  EXPECT_NE(message.find("\nSubject: Voice from Anna\n"), std::string::npos)
      << "an attached mail goes as text, readable by any mail program\n"
      << message;

  const auto read = ReadMimeMessage(message);
  ASSERT_EQ(read.attachments.size(), 3u);
  EXPECT_EQ(read.attachments[0].fileName, "Voice from Anna.eml");
  EXPECT_TRUE(read.attachments[0].message);
  EXPECT_EQ(ReadMimeMessage(Text(read.attachments[0].bytes)).messageId, "inner@example.com");
  EXPECT_EQ(read.attachments[1].fileName, "not a mail.eml");
  EXPECT_EQ(read.attachments[1].bytes, (std::vector<std::uint8_t>{0xff, 0x00, 0xfe}))
      << "bytes that are no mail must come back as they were";
}

}  // namespace
}  // namespace mailhost
