// The Maildir when things go wrong: a kill in the middle of filing a sent
// mail, a full disk, a Maildir that cannot be written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/store/MaildirStore.h"
#include "platform/Error.h"
#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/StoredMail.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using FileStep = MaildirStore::FileStep;
using testsupport::StoredMail;

// Every message file under the tree, as "FOLDER/sub/NAME" ("" for the Inbox).
std::vector<std::string> MessageFiles(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().filename() == "maildirfolder") continue;
    files.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

StoredItem Draft() {
  auto draft = StoredMail("1700000000.M1P2Q1.host", "Voice note");
  draft.sent = false;
  draft.read = false;
  draft.attachments = {{"Sonvera.mp3", std::vector<std::uint8_t>(3000, 0xff)}};
  return draft;
}

StoredItem SentCopy(StoredItem draft) {
  draft.sent = true;
  draft.read = true;
  draft.body += "\r\nfooter";
  return draft;
}

struct Killed {};

class MaildirFaultsTest : public testing::Test {
 protected:
  std::string Root() const { return m_folder.File("Mail") + "/"; }
  testsupport::ScratchFolder m_folder;
};

// What a kill at each step of filing leaves, and what the next start makes
// of it: the draft or the sent mail, never neither, never both for long.
TEST_F(MaildirFaultsTest, AKillAtAnyStepOfFilingLeavesTheDraftOrTheSentMail) {
  const auto draft = Draft();
  const std::string id = draft.id;
  struct Case {
    FileStep killedAt;
    std::vector<std::string> leftOnDisk;  // besides a tmp file, before the next start
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
    {
      MaildirStore store(Root());
      store.Add("Drafts", draft);
      store.SetFileHook([&](FileStep step) {
        if (step == c.killedAt) throw Killed{};
      });
      EXPECT_THROW(store.File("Sent", SentCopy(draft)), Killed);
    }
    auto files = MessageFiles(Root());
    files.erase(
        std::remove_if(files.begin(), files.end(),
                       [](const std::string& f) { return f.find("/tmp/") != std::string::npos; }),
        files.end());
    EXPECT_EQ(files, c.leftOnDisk);

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

// A real SIGKILL of a process between the two steps of filing.
TEST_F(MaildirFaultsTest, AProcessKilledBetweenTheStepsLeavesBothAndTheNextStartOne) {
  const auto draft = Draft();
  {
    MaildirStore store(Root());
    store.Add("Drafts", draft);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MaildirStore store(Root());
    store.SetFileHook([](FileStep step) {
      if (step == FileStep::CopyInPlace) kill(getpid(), SIGKILL);
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
  EXPECT_EQ(MessageFiles(Root()), (std::vector<std::string>{".Drafts/cur/" + draft.id + ":2,D",
                                                            ".Sent/cur/" + draft.id + ":2,S"}));
  MaildirStore restarted(Root());
  EXPECT_EQ(MessageFiles(Root()), std::vector<std::string>{".Sent/cur/" + draft.id + ":2,S"});
  EXPECT_EQ(restarted.Load(draft.id).body, SentCopy(draft).body);
}

TEST_F(MaildirFaultsTest, AFullDiskIsNamedAndWhatWasStoredStays) {
  testsupport::SmallDisk disk(m_folder.Path(), 1024 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  MaildirStore store(Root());
  const auto draft = Draft();
  store.Add("Drafts", draft);
  disk.Fill();

  auto longer = draft;
  longer.attachments[0].bytes.assign(200000, 0x55);
  auto expectFull = [](const std::function<void()>& write, const std::string& folder) {
    try {
      write();
      ADD_FAILURE() << "a write to a full disk succeeded";
    } catch (const platform::Error& e) {
      const std::string text = e.what();
      EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
      EXPECT_NE(text.find("folder " + folder), std::string::npos) << text;
    }
  };
  expectFull([&] { store.Add("Drafts", longer); }, "Drafts");
  expectFull([&] { store.File("Sent", SentCopy(longer)); }, "Sent");

  const auto kept = store.Load(draft.id);
  EXPECT_EQ(store.FolderOf(draft.id), "Drafts");
  EXPECT_EQ(kept.attachments.at(0).bytes, draft.attachments[0].bytes) << "the stored draft changed";
  EXPECT_FALSE(kept.sent);
  EXPECT_TRUE(store.Summaries("Sent").empty());
  EXPECT_TRUE(fs::is_empty(Root() + ".Drafts/tmp") && fs::is_empty(Root() + ".Sent/tmp"))
      << "a failed write leaves no half file";

  disk.Free();
  store.File("Sent", SentCopy(longer));
  EXPECT_EQ(store.FolderOf(draft.id), "Sent");
  EXPECT_EQ(store.Load(draft.id).attachments.at(0).bytes, longer.attachments[0].bytes);
}

TEST_F(MaildirFaultsTest, AReadOnlyMaildirIsReadItsReadMarksKeptForTheRun) {
  {
    MaildirStore made(Root());
    made.Add("Inbox", StoredMail("voice", "A voice mail"));
  }
  fs::remove_all(Root() + ".Drafts");
  fs::remove_all(Root() + ".Contacts");
  testsupport::ReadOnlyFolder readOnly(m_folder.Path());
  if (!readOnly.Mounted()) GTEST_SKIP() << readOnly.Why();

  MaildirStore store(Root());
  std::vector<std::string> notes;
  store.SetNoteSink([&](const std::string& note) { notes.push_back(note); });
  ASSERT_EQ(notes.size(), 1u) << "mailhost says at start that it cannot write there";
  EXPECT_NE(notes[0].find("cannot write to the Maildir " + Root()), std::string::npos) << notes[0];
  EXPECT_NE(notes[0].find("Read-only file system"), std::string::npos) << notes[0];
  EXPECT_NE(store.WriteProblem().find("Read-only file system"), std::string::npos);
  EXPECT_EQ(store.Folders().size(), 4u) << "Inbox, Sent, Drafts and the Calendar that exists";

  EXPECT_FALSE(store.Summaries("Inbox").at(0).read);
  store.MarkRead("voice");
  store.MarkRead("voice");
  EXPECT_TRUE(store.Summaries("Inbox").at(0).read);
  EXPECT_TRUE(store.Load("voice").read);
  EXPECT_EQ(store.Load("voice").subject, "A voice mail");
  EXPECT_TRUE(fs::exists(Root() + "new/voice")) << "the file is as it was";
  EXPECT_EQ(notes.size(), 1u) << "said once";

  auto draft = Draft();
  try {
    store.Add("Drafts", draft);
    ADD_FAILURE() << "a draft was written into a read-only Maildir";
  } catch (const platform::Error& e) {
    EXPECT_NE(std::string(e.what()).find("Read-only file system"), std::string::npos) << e.what();
  }
  EXPECT_EQ(notes.size(), 1u);
}

}  // namespace
}  // namespace mailhost
