#include "common/VoiceAttachments.h"

#include <cctype>

namespace sonvera {

bool IsVoiceAttachment(const std::string& fileName) {
  if (fileName.size() < 3) return false;
  std::string last = fileName.substr(fileName.size() - 3);
  for (auto& c : last) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return last == "mp3";
}

bool SaveChosenVoiceAttachment(Routine& r, const hostmodel::Ref<hostmodel::CommandBarComboBox>& list,
                               const hostmodel::Ref<hostmodel::MailItem>& mail,
                               const std::vector<std::int16_t>& index,
                               const std::function<void()>& relist, const std::string& playFile) {
  r.step = "CmdList.ListIndex";
  int k = 0;
  r.Do([&] { k = Need(list).ListIndex(); });
  if (k < 1) k = 1;
  if (r.Left()) return false;
  relist();
  r.Do([&] { list->SetListIndex(k); });
  std::string name;
  int count = 0;
  r.Do([&] {
    name = list->List(list->ListIndex());
    count = Need(Need(mail).GetAttachments()).Count();
  });
  if (r.Left()) return false;
  if (name.empty() || count < 1) {
    r.step.clear();
    r.detail = "No Sonvera attachments to play";
    r.Do([] { throw platform::Error(""); });
    return false;
  }
  r.step = "oMail.Attachments.Item.SaveAsFile";
  r.detail = "Error saving " + playFile;
  r.Do([&] {
    const int position = list->ListIndex();
    if (position < 0 || position >= static_cast<int>(index.size()))
      throw platform::Error("Subscript out of range");
    Need(mail->GetAttachments()->GetItem(index[position])).SaveAsFile(playFile);
  });
  return !r.Left();
}

}  // namespace sonvera
