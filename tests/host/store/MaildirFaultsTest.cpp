// The Maildir when filing a sent mail is cut short, and what the next start
// keeps. A full disk and a read-only Maildir are MailHostSendTest's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/store/MaildirStore.h"
#include "tests/support/ScratchFolder.h"
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

class MaildirFaultsTest : public testing::Test {
 protected:
  std::string Root() const { return m_folder.File("Mail") + "/"; }
  testsupport::ScratchFolder m_folder;
};

// A real SIGKILL at each step of filing (no destructor runs), and what the
// next start makes of it: the draft or the sent mail, never neither, never
// both for long.
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

}  // namespace
}  // namespace mailhost
