#include "host/model/Attachments.h"

#include <filesystem>
#include <fstream>

#include "host/model/Attachment.h"
#include "host/model/HostErrors.h"
#include "host/store/MimeMessage.h"

namespace mailhost {
namespace {

constexpr const char* kCannotFindFile =
    "Cannot find this file. Verify the path and file name are correct: ";

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) throw platform::Error(kCannotFindFile + path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw platform::Error(kCannotFindFile + path);
  // One allocation of the file's size: a long voice file is read once.
  std::vector<std::uint8_t> bytes(std::filesystem::file_size(path, ec));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace

Attachments::Attachments(AddedFn added, ChangedFn changed)
    : m_added(std::move(added)), m_changed(std::move(changed)) {}

hostmodel::Ref<hostmodel::Attachment> Attachments::GetItem(int index) {
  if (index < 1 || index > Count()) throw platform::Error(kIndexOutOfBounds);
  return m_items[index - 1];
}

hostmodel::Ref<hostmodel::Attachment> Attachments::Add(const std::string& path, int position) {
  auto bytes = ReadFile(path);
  auto fileName = std::filesystem::path(path).filename().string();
  // A saved mail attached from disk goes as the mail it is.
  const bool message = AttachmentContentType(fileName) == kMessageContentType;
  auto attachment =
      std::make_shared<Attachment>(fileName, std::move(bytes), weak_from_this(), message);
  if (position >= 1 && position <= Count()) {
    m_items.insert(m_items.begin() + (position - 1), attachment);
  } else {
    m_items.push_back(attachment);
  }
  if (m_changed) m_changed();
  if (m_added) m_added(attachment);
  return attachment;
}

void Attachments::Remove(int index) {
  if (index < 1 || index > Count()) throw platform::Error(kIndexOutOfBounds);
  m_items.erase(m_items.begin() + (index - 1));
  if (m_changed) m_changed();
}

void Attachments::Load(const std::vector<StoredAttachment>& stored) {
  m_items.clear();
  for (const auto& item : stored) {
    m_items.push_back(
        std::make_shared<Attachment>(item.fileName, item.bytes, weak_from_this(), item.message));
  }
}

std::vector<StoredAttachment> Attachments::ToStored() const {
  std::vector<StoredAttachment> result;
  for (const auto& item : m_items)
    result.push_back({item->FileName(), item->Bytes(), item->IsMessage()});
  return result;
}

std::vector<Attachments::Listed> Attachments::Listing() const {
  std::vector<Listed> result;
  for (const auto& item : m_items)
    result.push_back({item->FileName(), item->Bytes().size(), item->IsMessage()});
  return result;
}

std::shared_ptr<Attachment> Attachments::At(int index) const {
  if (index < 1 || index > static_cast<int>(m_items.size())) return nullptr;
  return m_items[index - 1];
}

int Attachments::IndexOf(const Attachment* attachment) const {
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i].get() == attachment) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace mailhost
