#include "host/store/SummaryCache.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/store/FileIo.h"
#include "platform/common/DurableFile.h"

namespace mailhost {
namespace {

constexpr std::string_view kMagic = "mailhost summaries 1\n";
// In every temporary file's name (platform::kTempInfix); a cache file's name
// is hex digits alone.
constexpr const char* kTmpMark = ".tmp";
// A temporary file this old belongs to a writer that died.
constexpr time_t kStaleTmpSeconds = 60 * 60;

std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ULL;
  return hash;
}

class Writer {
 public:
  void Number(std::uint64_t value) {
    for (int i = 0; i < 8; ++i) m_out += static_cast<char>(value >> (8 * i));
  }
  void Text(const std::string& text) {
    Number(text.size());
    m_out += text;
  }
  std::string& Out() { return m_out; }

 private:
  std::string m_out;
};

// Reads what Writer wrote; any read past the end fails the whole file.
class Reader {
 public:
  explicit Reader(std::string_view in) : m_in(in) {}
  bool Number(std::uint64_t* value) {
    if (m_in.size() - m_at < 8) return false;
    *value = 0;
    for (int i = 0; i < 8; ++i)
      *value |= static_cast<std::uint64_t>(static_cast<unsigned char>(m_in[m_at + i])) << (8 * i);
    m_at += 8;
    return true;
  }
  template <typename T>
  bool Signed(T* value) {
    std::uint64_t raw = 0;
    if (!Number(&raw)) return false;
    *value = static_cast<T>(static_cast<std::int64_t>(raw));
    return true;
  }
  bool Text(std::string* text) {
    std::uint64_t size = 0;
    if (!Number(&size) || size > m_in.size() - m_at) return false;
    text->assign(m_in.substr(m_at, size));
    m_at += size;
    return true;
  }
  bool AtEnd() const { return m_at == m_in.size(); }

 private:
  std::string_view m_in;
  std::size_t m_at = 0;
};

void WriteRecord(Writer& out, const SummaryRecord& record) {
  out.Text(record.identity);
  out.Number(static_cast<std::uint64_t>(record.size));
  out.Number(static_cast<std::uint64_t>(record.mtime.tv_sec));
  out.Number(static_cast<std::uint64_t>(record.mtime.tv_nsec));
  const auto& item = record.summary;
  out.Number(static_cast<std::uint64_t>(item.itemClass));
  for (const auto* text : {&item.subject, &item.from, &item.to, &item.date, &item.messageId})
    out.Text(*text);
  out.Number(item.attachments.size());
  for (const auto& attachment : item.attachments) {
    out.Text(attachment.fileName);
    out.Number(attachment.message ? 1 : 0);
  }
}

bool ReadRecord(Reader& in, SummaryRecord* record) {
  auto& item = record->summary;
  std::uint64_t attachments = 0;
  if (!in.Text(&record->identity) || !in.Signed(&record->size) ||
      !in.Signed(&record->mtime.tv_sec) || !in.Signed(&record->mtime.tv_nsec) ||
      !in.Signed(&item.itemClass))
    return false;
  for (auto* text : {&item.subject, &item.from, &item.to, &item.date, &item.messageId}) {
    if (!in.Text(text)) return false;
  }
  if (!in.Number(&attachments)) return false;
  for (std::uint64_t i = 0; i < attachments; ++i) {
    StoredAttachment attachment;
    std::uint64_t message = 0;
    if (!in.Text(&attachment.fileName) || !in.Number(&message)) return false;
    attachment.message = message != 0;
    item.attachments.push_back(std::move(attachment));
  }
  return true;
}

void SweepStaleTmp(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const time_t now = time(nullptr);
  while (dirent* entry = readdir(dir)) {
    if (std::string_view(entry->d_name).find(kTmpMark) == std::string_view::npos) continue;
    struct stat info {};
    const std::string path = folder + "/" + entry->d_name;
    if (stat(path.c_str(), &info) == 0 && now - info.st_mtime > kStaleTmpSeconds)
      unlink(path.c_str());
  }
  closedir(dir);
}

}  // namespace

SummaryCache::SummaryCache(std::string folder) : m_folder(std::move(folder)) {
  if (!m_folder.empty()) SweepStaleTmp(m_folder);
}

std::string SummaryCache::FileFor(const std::string& mailFolder) const {
  char name[17];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(Fnv1a(mailFolder)));
  return m_folder + "/" + name;
}

std::vector<SummaryRecord> SummaryCache::Read(const std::string& mailFolder) const {
  if (m_folder.empty()) return {};
  std::string content;
  if (!ReadWholeFile(FileFor(mailFolder), &content) || content.size() < kMagic.size() + 8 ||
      content.compare(0, kMagic.size(), kMagic) != 0)
    return {};
  const std::string_view body(content.data(), content.size() - 8);
  Reader trailer(std::string_view(content).substr(body.size()));
  std::uint64_t sum = 0;
  if (!trailer.Number(&sum) || sum != Fnv1a(body)) return {};

  Reader in(body.substr(kMagic.size()));
  std::string folder;
  std::uint64_t count = 0;
  if (!in.Text(&folder) || folder != mailFolder || !in.Number(&count)) return {};
  std::vector<SummaryRecord> records;
  for (std::uint64_t i = 0; i < count; ++i) {
    SummaryRecord record;
    if (!ReadRecord(in, &record)) return {};
    records.push_back(std::move(record));
  }
  if (!in.AtEnd()) return {};
  return records;
}

void SummaryCache::Write(const std::string& mailFolder,
                         const std::vector<SummaryRecord>& records) const {
  if (m_folder.empty()) return;
  Writer out;
  out.Out() = kMagic;
  out.Text(mailFolder);
  out.Number(records.size());
  for (const auto& record : records) WriteRecord(out, record);
  const std::uint64_t sum = Fnv1a(out.Out());
  out.Number(sum);

  std::error_code ignored;
  std::filesystem::create_directories(m_folder, ignored);
  platform::ReplaceFile(FileFor(mailFolder), out.Out(), 0600, platform::Flush::RenameOnly);
}

}  // namespace mailhost
