#pragma once
// Voice attachments: MP3 files told by the last three letters of their name.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Routine.h"
#include "hostmodel/HostModel.h"

namespace sonvera {

// The last three characters, lower-cased, are "mp3"; no dot is needed.
bool IsVoiceAttachment(const std::string& fileName);

// Clears nothing: adds the mail's voice attachments to `list` in collection
// order and rebuilds `index` (element 0 stays 0; element k is the attachment
// index of list entry k). Each statement goes through `run`, so the caller
// chooses whether a failure ends the listing or is skipped.
template <typename Run>
void ListVoiceAttachments(hostmodel::MailItem& mail, hostmodel::CommandBarComboBox& list,
                          std::vector<std::int16_t>& index, Run&& run) {
  index.assign(1, 0);
  hostmodel::Ref<hostmodel::Attachments> attachments;
  int count = 0;
  run([&] {
    attachments = mail.GetAttachments();
    count = Need(attachments).Count();
  });
  for (int i = 1; i <= count; ++i) {
    run([&] {
      auto item = attachments->GetItem(i);
      auto& attachment = Need(item);
      if (!IsVoiceAttachment(attachment.FileName())) return;
      list.AddItem(attachment.FileName());
      index.push_back(static_cast<std::int16_t>(attachment.Index()));
    });
  }
}

// The play commands' steps from the chosen entry to the saved play file:
// the list position (0 raised to 1) survives a fresh listing by `relist`,
// and the attachment it names is saved to `playFile`. False once the
// routine has been left.
bool SaveChosenVoiceAttachment(Routine& r, const hostmodel::Ref<hostmodel::CommandBarComboBox>& list,
                               const hostmodel::Ref<hostmodel::MailItem>& mail,
                               const std::vector<std::int16_t>& index,
                               const std::function<void()>& relist, const std::string& playFile);

}  // namespace sonvera
