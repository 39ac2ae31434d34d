// A play whose chosen entry names no voice attachment of the mail is refused
// before anything is saved. The host's own list never gets there (it is
// rebuilt from the mail just before), so the list and mail are built here.
#include <gtest/gtest.h>

#include "common/VoiceAttachments.h"
#include "host/model/CommandBarComboBox.h"
#include "host/model/MailItem.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredMail.h"

namespace sonvera {
namespace {

TEST(SaveChosenVoiceAttachmentTest, AnEmptyEntryOrAMailWithoutAttachmentsIsRefusedUnsaved) {
  struct Case {
    const char* entry;
    bool attached;
  };
  for (const auto& [entry, attached] : {Case{"", true}, Case{"a.mp3", false}}) {
    SCOPED_TRACE(std::string("entry '") + entry + "', attached " + std::to_string(attached));
    auto stored = testsupport::StoredMail("m1", "Voice");
    if (attached) stored.attachments.push_back({"a.mp3", {'I', 'D', '3'}});
    auto mail = mailhost::MailItem::Attached("Inbox", stored);
    auto list = std::make_shared<mailhost::CommandBarComboBox>(
        hostmodel::kMsoControlDropdown, std::weak_ptr<mailhost::CommandBarControls>{});
    list->AddItem(entry);
    std::vector<std::string> failures;
    Routine r([&](Routine& routine, const std::string&) {
      failures.push_back(routine.step + "|" + routine.detail);
      return OnError::Leave;
    });
    testsupport::ScratchFolder folder;
    const std::string playFile = folder.File("Sonvera.mp3");
    EXPECT_FALSE(SaveChosenVoiceAttachment(
        r, list, mail, {0, 1}, [] {}, playFile));
    EXPECT_EQ(failures, std::vector<std::string>{"|No Sonvera attachments to play"});
    EXPECT_FALSE(testsupport::ScratchFolder::Exists(playFile));
  }
}

}  // namespace
}  // namespace sonvera
