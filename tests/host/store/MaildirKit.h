#pragma once
// What the tests of mail stores share: a Maildir of the test's own, the
// names found in it, and drafts.
#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <vector>

#include "host/store/MaildirStore.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredMail.h"

namespace mailhost {

using Names = std::vector<std::string>;

inline Names Files(const std::string& folder) {
  return testsupport::ScratchFolder::Names(folder);
}

inline Names FolderNames(const MailStore& store) {
  Names names;
  for (const auto& folder : store.Folders()) names.push_back(folder.name);
  return names;
}

// The one file of a folder.
inline std::string OnlyFile(const std::string& folder) {
  const auto files = Files(folder);
  EXPECT_EQ(files.size(), 1u) << folder;
  return files.empty() ? "" : files[0];
}

// The ids in the order the store gives them.
inline Names Ids(const std::vector<StoredItem>& items) {
  Names ids;
  for (const auto& item : items) ids.push_back(item.id);
  return ids;
}

// A draft, with a voice message of `voiceBytes` bytes when there are any.
inline StoredItem Draft(const std::string& id, std::size_t voiceBytes = 0,
                        const std::string& subject = "Voice note") {
  auto draft = testsupport::StoredMail(id, subject);
  draft.sent = false;
  if (voiceBytes > 0)
    draft.attachments = {{"Sonvera.mp3", std::vector<std::uint8_t>(voiceBytes, 0x55)}};
  return draft;
}

// Waits for the store's change notification (a hang guard, not a timing).
inline bool Readable(const MaildirStore& store) {
  pollfd watch{store.ChangeFd(), POLLIN, 0};
  return poll(&watch, 1, 5000) == 1;
}

// A change notification arrives and is taken in, as the host's loop would.
inline bool ChangeArrives(MaildirStore& store) {
  return Readable(store) && store.DrainChanges();
}

// A folder of the test's own whose Maildir is Root().
class MaildirTest : public testing::Test {
 protected:
  std::string Root() const { return scratch.File("Mail") + "/"; }
  std::string Drafts() const { return Root() + ".Drafts/cur/"; }

  testsupport::ScratchFolder scratch;
};

}  // namespace mailhost
