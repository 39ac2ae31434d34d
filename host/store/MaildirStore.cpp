#include "host/store/MaildirStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include "host/store/FileIo.h"
#include "host/store/MaildirName.h"
#include "host/store/MimeMessage.h"
#include "hostmodel/HostModel.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/common/DurableFile.h"

namespace mailhost {
namespace {

constexpr char kFlagDraft = 'D';
constexpr char kFlagSeen = 'S';
constexpr char kFlagTrashed = 'T';
// mbsync's UID, which numbers a file in its folder only.
constexpr std::string_view kFolderAdditions = "U";
// Another program may rename a file again while it is looked for (mbsync
// toggling a flag): this many reads, then it counts as unreadable.
constexpr int kReadTries = 5;
// Maildir's rule: a file in tmp/ this old belongs to a writer that died.
constexpr time_t kStaleTmpSeconds = 36 * 60 * 60;
constexpr const char* kItemClassField = "Item-Class: ";
constexpr const char* kSubjectField = "Subject: ";

constexpr const char* kSentFolder = "Sent";
constexpr const char* kDraftsFolder = "Drafts";

// Errors that say the Maildir cannot be written at all, rather than now.
bool CannotWrite(int error) {
  return error == EROFS || error == EACCES || error == EPERM;
}

[[noreturn]] void NoSuchItem(const std::string& id) {
  throw platform::Error("The item " + id + " does not exist.");
}

using Dir = std::unique_ptr<DIR, int (*)(DIR*)>;

Dir OpenDir(const std::string& path) {
  return Dir(opendir(path.c_str()), closedir);
}

// Calls `take` with "new/NAME" or "cur/NAME" and the status of each message
// file of the folder. A link is none: it would show a file from anywhere as
// mail of this Maildir.
void ForEachFile(const std::string& folder,
                 const std::function<void(const std::string&, const struct stat&)>& take) {
  for (const char* sub : {"new", "cur"}) {
    Dir dir = OpenDir(folder + sub);
    if (!dir) continue;
    while (dirent* found = readdir(dir.get())) {
      struct stat info {};
      if (found->d_name[0] == '.' ||
          fstatat(dirfd(dir.get()), found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(info.st_mode))
        continue;
      take(sub + std::string("/") + found->d_name, info);
    }
  }
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  // Maildir spells the characters a unique name cannot hold this way.
  std::string safe;
  for (const char* c = name; *c; ++c) {
    if (*c == '/')
      safe += "\\057";
    else if (*c == ':')
      safe += "\\072";
    else if (*c == ',')
      safe += "\\054";
    else
      safe += *c;
  }
  return safe;
}

// A contact or an appointment: its class and subject, a blank line, its body.
std::string WriteItemText(const StoredItem& item) {
  std::string subject = item.subject;
  std::replace_if(
      subject.begin(), subject.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return kItemClassField + std::to_string(item.itemClass) + "\n" + kSubjectField + subject +
         "\n\n" + item.body;
}

bool IsItemText(const std::string& content) {
  return content.rfind(kItemClassField, 0) == 0;
}

StoredItem ReadItemText(const std::string& content) {
  StoredItem item;
  std::size_t at = 0;
  while (at < content.size()) {
    const auto end = content.find('\n', at);
    const std::string line = content.substr(at, end == std::string::npos ? end : end - at);
    at = end == std::string::npos ? content.size() : end + 1;
    if (line.empty()) {
      item.body = content.substr(at);
      break;
    }
    if (line.rfind(kItemClassField, 0) == 0) {
      item.itemClass = std::atoi(line.c_str() + std::strlen(kItemClassField));
    } else if (line.rfind(kSubjectField, 0) == 0) {
      item.subject = line.substr(std::strlen(kSubjectField));
    }
  }
  return item;
}

StoredItem ReadContent(const std::string& content, bool withAttachmentBytes) {
  if (IsItemText(content)) return ReadItemText(content);
  StoredItem item = ReadMimeMessage(content, withAttachmentBytes);
  item.itemClass = hostmodel::kOlMail;
  return item;
}

std::string FlagsOf(const StoredItem& item, const std::string& kept) {
  std::string flags;
  for (char flag : kept) {
    if (flag != kFlagDraft && flag != kFlagSeen) flags += flag;
  }
  if (!item.sent) flags += kFlagDraft;
  if (item.read) flags += kFlagSeen;
  return SortedFlags(flags);
}

std::string CurPath(const std::string& base, const std::string& flags) {
  return "cur/" + base + std::string(kInfoMark) + flags;
}

// Where a new file of this name and these flags goes: new/ holds only files
// that carry no info yet.
std::string EntryPath(const std::string& base, const std::string& flags) {
  return flags.empty() ? "new/" + base : CurPath(base, flags);
}

// The file's name, without "new/" or "cur/".
std::string NameOf(const std::string& relative) {
  return relative.substr(4);
}

// The folder's message file of this identity ("cur/NAME"), or "".
std::string FileOfIdentity(const std::string& folder, const std::string& identity) {
  std::string file;
  ForEachFile(folder, [&](const std::string& relative, const struct stat&) {
    if (IdentityOf(NameOf(relative)) == identity) file = relative;
  });
  return file;
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Newer(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

void SweepTmp(const std::string& tmp) {
  Dir dir = OpenDir(tmp);
  if (!dir) return;
  const time_t now = time(nullptr);
  while (dirent* entry = readdir(dir.get())) {
    if (entry->d_name[0] == '.') continue;
    struct stat info {};
    const std::string path = tmp + entry->d_name;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        now - info.st_mtime > kStaleTmpSeconds) {
      unlink(path.c_str());
    }
  }
}

}  // namespace

MaildirStore::MaildirStore(std::string root, std::string cacheFolder)
    : m_tree(std::move(root)), m_root(m_tree.Root()), m_cache(std::move(cacheFolder)) {
  if (char* absolute = realpath(m_root.c_str(), nullptr)) {
    m_absoluteRoot = std::string(absolute) + "/";
    free(absolute);
  } else {
    m_absoluteRoot = m_root;
  }
  for (const auto& folder : m_tree.Scan()) Open(folder.name, folder.path, folder.defaultItemType);
  if (m_tree.MadeNow()) {
    for (auto& folder : m_folders) Make(folder);
  }
  if (const auto reason = CannotWriteReason(); !reason.empty()) {
    Note(reason);
  } else {
    RemoveFiledDrafts();
  }
}

MaildirStore::~MaildirStore() = default;

void MaildirStore::Open(const std::string& name, const std::string& path,
                        int defaultItemType) const {
  SweepTmp(path + "tmp/");
  FolderData folder;
  folder.info = {name, defaultItemType};
  folder.path = path;
  m_folders.push_back(std::move(folder));
  Watch(m_folders.back());
}

void MaildirStore::FollowTree() const {
  ReadNotifications();
  // Without change notification every look is a fresh one.
  if (!m_treeChanged && m_tree.ChangeFd() >= 0) return;
  m_treeChanged = false;
  std::list<FolderData> listed;
  for (const auto& found : m_tree.Scan()) {
    const auto at = [&](const FolderData& folder) { return folder.path == found.path; };
    if (auto kept = std::find_if(m_folders.begin(), m_folders.end(), at); kept != m_folders.end()) {
      // Still at its path, but it may be another folder there now.
      const auto watch = m_tree.WatchFiles(kept->path);
      if (watch != MaildirTree::Watch::Watched) kept->stale = true;
      kept->watched = watch != MaildirTree::Watch::Not;
      listed.splice(listed.end(), m_folders, kept);
    } else if (auto back = std::find_if(m_goneFolders.begin(), m_goneFolders.end(), at);
               back != m_goneFolders.end()) {
      listed.splice(listed.end(), m_goneFolders, back);
    } else {
      Open(found.name, found.path, found.defaultItemType);
      listed.splice(listed.end(), m_folders, std::prev(m_folders.end()));
    }
    listed.back().info = {found.name, found.defaultItemType};
  }
  // What is left was renamed or removed by another program. It is kept, not
  // destroyed, so that a folder a caller holds stays good; its items are no
  // longer listed, and it is read afresh should it come back.
  for (auto& gone : m_folders) {
    m_tree.UnwatchFiles(gone.path);
    gone.watched = false;
    gone.stale = true;
    gone.entries.clear();
    gone.changed.clear();
  }
  m_goneFolders.splice(m_goneFolders.end(), m_folders);
  m_folders.splice(m_folders.end(), listed);
}

int MaildirStore::TryMake(FolderData& folder) {
  if (const int error = m_tree.Make(folder.path)) return error;
  Watch(folder);
  return 0;
}

void MaildirStore::Make(FolderData& folder) {
  if (const int error = TryMake(folder)) {
    errno = error;
    WriteFailed(folder, "make");
  }
}

void MaildirStore::Watch(FolderData& folder) const {
  if (!folder.watched) folder.watched = m_tree.WatchFiles(folder.path) != MaildirTree::Watch::Not;
}

std::string MaildirStore::CannotWriteReason() const {
  if (access(m_root.c_str(), W_OK) == 0 || !CannotWrite(errno)) return {};
  return std::strerror(errno);
}

std::string MaildirStore::WriteProblem() const {
  const auto reason = CannotWriteReason();
  return reason.empty() ? reason
                        : "mailhost cannot write to the Maildir " + m_root + ": " + reason + ".";
}

void MaildirStore::Note(const std::string& reason) const {
  if (m_noted) return;
  m_pendingNote = "mailhost cannot write to the Maildir " + m_root + " (" + reason +
                  "): its mail can be read, read marks last until mailhost ends, and no draft "
                  "can be saved and no mail sent there.";
  if (!m_noteSink) return;
  m_noted = true;
  m_noteSink(m_pendingNote);
}

void MaildirStore::SetNoteSink(std::function<void(const std::string&)> sink) {
  m_noteSink = std::move(sink);
  if (!m_noted && !m_pendingNote.empty() && m_noteSink) {
    m_noted = true;
    m_noteSink(m_pendingNote);
  }
}

void MaildirStore::WriteFailed(const FolderData& folder, const std::string& what) const {
  const int error = errno;
  if (CannotWrite(error)) Note(std::strerror(error));
  throw platform::Error("Could not " + what + " the folder " + folder.info.name + " (" +
                        folder.path + "): " + std::strerror(error) + ".");
}

void MaildirStore::RemoveFiledDrafts() {
  FolderData* drafts = nullptr;
  FolderData* sent = nullptr;
  for (auto& folder : m_folders) {
    if (folder.info.name == kDraftsFolder) drafts = &folder;
    if (folder.info.name == kSentFolder) sent = &folder;
  }
  if (!drafts || !sent) return;
  std::map<std::string, std::string> draftFiles;
  ForEachFile(drafts->path, [&](const std::string& relative, const struct stat&) {
    draftFiles[IdentityOf(NameOf(relative))] = relative;
  });
  if (draftFiles.empty()) return;
  std::map<std::string, std::string> sentFiles;
  ForEachFile(sent->path, [&](const std::string& relative, const struct stat&) {
    sentFiles[IdentityOf(NameOf(relative))] = relative;
  });
  const auto messageIdOf = [](const std::string& path) {
    std::string content;
    if (!ReadWholeFile(path, &content) || IsItemText(content)) return std::string();
    return ReadMimeMessage(content, false).messageId;
  };
  for (const auto& [id, relative] : draftFiles) {
    auto filed = sentFiles.find(id);
    if (filed == sentFiles.end()) continue;
    const std::string draft = drafts->path + relative;
    const std::string messageId = messageIdOf(draft);
    if (messageId.empty() || messageId != messageIdOf(sent->path + filed->second)) continue;
    platform::RemoveFile(draft);
  }
}

bool MaildirStore::IsSafeId(const std::string& id) {
  return !id.empty() && id.size() <= 200 && id[0] != '.' &&
         id.find_first_of(std::string("/:,\0", 4)) == std::string::npos;
}

void MaildirStore::ReadNotifications() const {
  const auto changes = m_tree.Read();
  if (!changes.any) return;
  m_changed = true;
  // Read here rather than by the event loop, maybe: the loop must hear of it
  // still, or the page goes on showing a mail another program removed.
  m_tree.KeepReady();
  if (changes.tree) m_treeChanged = true;
  if (changes.overflow) {
    for (auto& folder : m_folders) folder.stale = true;
  }
  for (const auto& file : changes.files) {
    for (auto& folder : m_folders) {
      if (folder.path != file.path) continue;
      if (file.unwatched) folder.watched = false;
      if (file.relative.empty()) {
        folder.stale = true;
      } else {
        folder.changed.insert(file.relative);
      }
    }
  }
}

bool MaildirStore::DrainChanges() {
  FollowTree();
  m_tree.Settled();
  return std::exchange(m_changed, false);
}

MaildirStore::FolderData& MaildirStore::Require(const std::string& folder) const {
  FollowTree();
  for (auto& data : m_folders) {
    if (data.info.name == folder) return data;
  }
  throw platform::Error("The folder " + folder + " does not exist.");
}

const MaildirStore::FolderData& MaildirStore::Fresh(FolderData& folder) const {
  ReadNotifications();
  // A folder not watched (missing, or no inotify) is looked at every time.
  Watch(folder);
  if (folder.stale || !folder.watched) {
    const bool first = !folder.cacheRead;
    std::map<std::string, Entry> before = first ? Cached(folder) : std::move(folder.entries);
    folder.cacheRead = true;
    std::map<std::string, Entry> entries;
    ForEachFile(folder.path, [&](const std::string& relative, const struct stat& info) {
      if (Take(folder, relative, info, entries, before)) folder.cacheDirty = true;
    });
    std::map<std::string, std::string> gone;
    std::set<std::string> arrived;
    // The cache holds what the files were at some earlier run: no file went now.
    if (!first) {
      for (const auto& [id, entry] : before) {
        if (!entries.count(id)) gone[id] = entry.summary.messageId;
      }
      for (const auto& [id, entry] : entries) {
        if (!before.count(id)) arrived.insert(id);
      }
    }
    folder.cacheDirty = folder.cacheDirty || entries.size() != before.size();
    folder.entries = std::move(entries);
    folder.stale = false;
    folder.changed.clear();
    Reconcile(folder, gone, arrived);
    KeepCache(folder);
    return folder;
  }
  std::map<std::string, std::string> gone;
  std::set<std::string> arrived;
  for (const auto& relative : folder.changed) {
    const std::string id = IdOf(NameOf(relative));
    auto known = folder.entries.find(id);
    struct stat info {};
    if (lstat((folder.path + relative).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      if (known == folder.entries.end()) arrived.insert(id);
      if (Take(folder, relative, info, folder.entries, folder.entries)) folder.cacheDirty = true;
      continue;
    }
    if (known != folder.entries.end() && known->second.path == relative) {
      gone[id] = known->second.summary.messageId;
      folder.entries.erase(known);
      folder.cacheDirty = true;
    }
  }
  folder.changed.clear();
  Reconcile(folder, gone, arrived);
  KeepCache(folder);
  return folder;
}

void MaildirStore::Reconcile(FolderData& folder, const std::map<std::string, std::string>& gone,
                             const std::set<std::string>& arrived) const {
  for (const auto& [id, messageId] : gone) {
    if (messageId.empty() || folder.entries.count(id)) continue;
    std::vector<std::string> matches;
    for (const auto& other : arrived) {
      auto found = folder.entries.find(other);
      // Only a file no mail of this run stands for yet.
      if (found != folder.entries.end() && found->second.summary.messageId == messageId &&
          IdentityOf(NameOf(found->second.path)) == other)
        matches.push_back(other);
    }
    if (matches.size() != 1) continue;
    auto moved = folder.entries.extract(matches.front());
    moved.key() = id;
    moved.mapped().summary.id = id;
    folder.entries.insert(std::move(moved));
    m_aliases[matches.front()] = id;
  }
}

std::map<std::string, MaildirStore::Entry> MaildirStore::Cached(const FolderData& folder) const {
  std::map<std::string, Entry> entries;
  for (auto& record : m_cache.Read(m_absoluteRoot + folder.path.substr(m_root.size()))) {
    Entry entry;
    entry.size = record.size;
    entry.mtime = record.mtime;
    entry.summary = std::move(record.summary);
    entries[record.identity] = std::move(entry);
  }
  return entries;
}

void MaildirStore::KeepCache(FolderData& folder) const {
  if (!folder.cacheDirty) return;
  folder.cacheDirty = false;
  std::vector<SummaryRecord> records;
  records.reserve(folder.entries.size());
  for (const auto& [id, entry] : folder.entries)
    records.push_back({IdentityOf(NameOf(entry.path)), entry.size, entry.mtime, entry.summary});
  m_cache.Write(m_absoluteRoot + folder.path.substr(m_root.size()), records);
}

std::string MaildirStore::IdOf(const std::string& name) const {
  const std::string identity = IdentityOf(name);
  auto alias = m_aliases.find(identity);
  return alias == m_aliases.end() ? identity : alias->second;
}

void MaildirStore::ApplyFlags(const FolderData& folder, const std::string& id,
                              const std::string& flags, StoredItem& item) const {
  item.id = id;
  item.read = IsRead(id, flags);
  item.sent = folder.info.name != kDraftsFolder;
  item.deleted = flags.find(kFlagTrashed) != std::string::npos;
}

bool MaildirStore::Take(const FolderData& folder, const std::string& relative,
                        const struct stat& info, std::map<std::string, Entry>& entries,
                        std::map<std::string, Entry>& cache) const {
  const std::string name = NameOf(relative);
  const std::string id = IdOf(name);
  Entry entry;
  entry.path = relative;
  entry.flags = SplitName(name).flags;
  entry.size = info.st_size;
  entry.mtime = info.st_mtim;
  // Two files of one id are what a crash between linking a replacement and
  // removing its old version leaves: the newer one is the item.
  auto twin = entries.find(id);
  struct stat twinInfo {};
  if (twin != entries.end() && twin->second.path != relative &&
      lstat((folder.path + twin->second.path).c_str(), &twinInfo) == 0 &&
      !Newer(entry.mtime, twin->second.mtime))
    return false;
  bool read = false;
  auto cached = cache.find(id);
  if (cached != cache.end() && cached->second.size == entry.size &&
      SameTime(cached->second.mtime, entry.mtime)) {
    entry.summary = std::move(cached->second.summary);
  } else {
    std::string content;
    // Gone since the listing: the look after the change notification finds
    // where, if anywhere. One that cannot be read lists as empty.
    if (!ReadFileOf(folder, &entry.path, &content) && entry.path.empty()) return false;
    entry.flags = SplitName(NameOf(entry.path)).flags;
    entry.summary = ReadContent(content, false);
    entry.summary.body.clear();  // a listing shows none, and 10,000 of them add up
    read = true;
  }
  ApplyFlags(folder, id, entry.flags, entry.summary);
  entries[id] = std::move(entry);
  return read;
}

bool MaildirStore::ReadFileOf(const FolderData& folder, std::string* relative,
                              std::string* content) const {
  const std::string identity = IdentityOf(NameOf(*relative));
  for (int tries = 1;; ++tries) {
    if (m_readHook) m_readHook(folder.path + *relative);
    content->clear();
    if (ReadWholeFile(folder.path + *relative, content)) return true;
    const int error = errno;
    *relative = FileOfIdentity(folder.path, identity);
    errno = error;
    if (relative->empty() || tries == kReadTries) return false;
  }
}

std::optional<StoredItem> MaildirStore::ReadEntry(const FolderData& folder, const std::string& id,
                                                  const Entry& entry,
                                                  bool withAttachmentBytes) const {
  std::string relative = entry.path;
  std::string content;
  if (!ReadFileOf(folder, &relative, &content)) {
    if (relative.empty()) return std::nullopt;
    // Read as empty, it would be written back over the mail at the next edit.
    throw platform::Error("Could not read the item " + id + " (" + folder.path + relative +
                          "): " + std::strerror(errno) + ".");
  }
  StoredItem item = ReadContent(content, withAttachmentBytes);
  ApplyFlags(folder, id, SplitName(NameOf(relative)).flags, item);
  return item;
}

std::pair<MaildirStore::FolderData*, const MaildirStore::Entry*> MaildirStore::Find(
    const std::string& id) const {
  FollowTree();
  for (auto& folder : m_folders) {
    const auto& fresh = Fresh(folder);
    auto found = fresh.entries.find(id);
    if (found != fresh.entries.end()) return {&folder, &found->second};
  }
  return {nullptr, nullptr};
}

const MaildirStore::Entry* MaildirStore::FindByMessageId(FolderData& folder,
                                                         const std::string& messageId) const {
  if (messageId.empty()) return nullptr;
  const Entry* found = nullptr;
  for (const auto& [id, entry] : Fresh(folder).entries) {
    if (entry.summary.messageId != messageId) continue;
    if (found) return nullptr;  // which of them, nobody can say
    found = &entry;
  }
  return found;
}

MaildirStore::FolderData* MaildirStore::Drafts() const {
  for (auto& folder : m_folders) {
    if (folder.info.name == kDraftsFolder) return &folder;
  }
  return nullptr;
}

std::vector<StoredFolder> MaildirStore::Folders() const {
  FollowTree();
  std::vector<StoredFolder> result;
  for (const auto& folder : m_folders) result.push_back(folder.info);
  return result;
}

std::vector<StoredItem> MaildirStore::Summaries(const std::string& folder) const {
  const auto& fresh = Fresh(Require(folder));
  std::vector<StoredItem> result;
  result.reserve(fresh.entries.size());
  for (const auto& [id, entry] : fresh.entries) {
    result.push_back(entry.summary);
    result.back().read = IsRead(id, entry.flags);
  }
  return result;
}

StoredItem MaildirStore::Summary(const std::string& id) const {
  auto [folder, entry] = Find(id);
  if (!entry) NoSuchItem(id);
  StoredItem summary = entry->summary;
  summary.read = IsRead(id, entry->flags);
  return summary;
}

std::vector<StoredItem> MaildirStore::Items(const std::string& folder) const {
  const auto& fresh = Fresh(Require(folder));
  std::vector<StoredItem> result;
  for (const auto& [id, entry] : fresh.entries) {
    if (auto item = ReadEntry(fresh, id, entry, true)) result.push_back(std::move(*item));
  }
  return result;
}

StoredItem MaildirStore::Load(const std::string& id) const {
  auto [folder, entry] = Find(id);
  if (!entry) NoSuchItem(id);
  auto item = ReadEntry(*folder, id, *entry, true);
  if (!item) NoSuchItem(id);
  return std::move(*item);
}

std::string MaildirStore::FolderOf(const std::string& id) const {
  auto [folder, entry] = Find(id);
  return folder ? folder->info.name : "";
}

bool MaildirStore::IsRead(const std::string& id, const std::string& flags) const {
  return flags.find(kFlagSeen) != std::string::npos || m_readInMemory.count(id) > 0;
}

std::string MaildirStore::NewId() {
  return UniqueName();
}

std::string MaildirStore::UniqueName() const {
  timeval now{};
  gettimeofday(&now, nullptr);
  return std::to_string(now.tv_sec) + ".M" + std::to_string(now.tv_usec) + "P" +
         std::to_string(getpid()) + "Q" + std::to_string(++m_deliveries) + "." + HostName();
}

std::string MaildirStore::Deliver(const FolderData& folder, const std::string& content) const {
  const std::string tmp = folder.path + "tmp/" + UniqueName();
  if (platform::WriteNewFile(tmp, content, 0600) != 0) WriteFailed(folder, "write to");
  return tmp;
}

std::string MaildirStore::Content(const StoredItem& item, const Entry* old) const {
  if (item.itemClass != hostmodel::kOlMail) return WriteItemText(item);
  StoredItem mail = item;
  // A new version of a mail is still the same message.
  if (mail.messageId.empty() && old) mail.messageId = old->summary.messageId;
  return WriteMimeMessage(mail);
}

// Puts a delivered tmp file at `relative` in the folder, beside whatever is
// there; the tmp file goes either way.
void MaildirStore::LinkIn(const FolderData& folder, const std::string& tmp,
                          const std::string& relative) const {
  const std::string path = folder.path + relative;
  if (link(tmp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(tmp.c_str());
    errno = error;
    WriteFailed(folder, "write to");
  }
  unlink(tmp.c_str());
  platform::SyncFolder(platform::FolderOf(path));
}

void MaildirStore::Add(const std::string& folder, const StoredItem& item) {
  auto& target = Require(folder);
  auto [holder, old] = Find(item.id);
  // A draft another program put in place of the one this mail was is still
  // this mail: the next version replaces it.
  if (!old && &target == Drafts() && (old = FindByMessageId(target, item.messageId)))
    holder = &target;
  if (holder && holder != &target) {
    throw platform::Error("The item " + item.id + " is already in the folder " + holder->info.name +
                          ".");
  }
  if (!old && !IsSafeId(item.id)) {
    throw platform::Error("The id " + item.id + " cannot name an item in the mail store.");
  }
  const std::string content = Content(item, old);
  const std::string flags = FlagsOf(item, old ? old->flags : "");
  const std::string oldRelative = old ? old->path : "";
  Make(target);
  const std::string tmp = Deliver(target, content);
  // A changed mail is a new file: other programs take a name they know for
  // the content they saw under it.
  const std::string unique = old ? tmp.substr(tmp.rfind('/') + 1) : item.id;
  const std::string relative = EntryPath(unique, flags);
  LinkIn(target, tmp, relative);
  if (unique != item.id) m_aliases[unique] = item.id;
  target.changed.insert(relative);
  if (!oldRelative.empty()) {
    const std::string oldPath = target.path + oldRelative;
    target.changed.insert(oldRelative);
    platform::RemoveFile(oldPath);
  }
}

void MaildirStore::File(const std::string& folder, const StoredItem& item) {
  auto& target = Require(folder);
  auto [holder, old] = Find(item.id);
  if (!old) {
    holder = Drafts();
    old = holder && holder != &target ? FindByMessageId(*holder, item.messageId) : nullptr;
  }
  if (!old || holder == &target) {
    Add(folder, item);
    return;
  }
  const std::string content = Content(item, old);
  // The filed copy keeps the draft's unique name (RemoveFiledDrafts), unless
  // the folder has that name already.
  std::string unique = IdentityOf(NameOf(old->path));
  const std::string flags = FlagsOf(item, old->flags);
  const std::string oldRelative = old->path;
  if (Fresh(target).entries.count(IdOf(unique))) unique.clear();
  Make(target);
  const std::string tmp = Deliver(target, content);
  if (unique.empty()) unique = tmp.substr(tmp.rfind('/') + 1);
  const std::string relative = EntryPath(unique, flags);
  Step(FileStep::CopyWritten);
  LinkIn(target, tmp, relative);
  if (unique != item.id) m_aliases[unique] = item.id;
  target.changed.insert(relative);
  Step(FileStep::CopyInPlace);
  // Filed: a copy left behind by a failure here goes at the next open.
  const std::string oldPath = holder->path + oldRelative;
  holder->changed.insert(oldRelative);
  platform::RemoveFile(oldPath);
  Step(FileStep::OldRemoved);
}

void MaildirStore::Move(const std::string& id, const std::string& toFolder) {
  auto& target = Require(toFolder);
  auto [from, entry] = Find(id);
  if (!entry) NoSuchItem(id);
  if (from == &target) return;
  const std::string source = from->path + entry->path;
  const auto name = SplitName(NameOf(entry->path));
  const std::string relative = CurPath(WithoutAdditions(name.base, kFolderAdditions), name.flags);
  Make(target);
  if (rename(source.c_str(), (target.path + relative).c_str()) != 0)
    WriteFailed(target, "move the item to");
  platform::SyncFolder(target.path + "cur");
  platform::SyncFolder(platform::FolderOf(source));
  from->changed.insert(entry->path);
  target.changed.insert(relative);
}

void MaildirStore::MarkRead(const std::string& id) {
  auto [folder, entry] = Find(id);
  if (!entry) NoSuchItem(id);
  if (IsRead(id, entry->flags)) return;
  const auto name = SplitName(NameOf(entry->path));
  const std::string source = folder->path + entry->path;
  const std::string relative = CurPath(name.base, SortedFlags(name.flags + kFlagSeen));
  int error = TryMake(*folder);
  if (error == 0 && rename(source.c_str(), (folder->path + relative).c_str()) != 0) error = errno;
  if (error != 0) {
    errno = error;
    if (!CannotWrite(error)) WriteFailed(*folder, "mark the item read in");
    // Reading must not depend on writing: the mark lasts for this run.
    Note(std::strerror(error));
    m_readInMemory.insert(id);
    return;
  }
  platform::SyncFolder(folder->path + "cur");
  folder->changed.insert(entry->path);
  folder->changed.insert(relative);
}

}  // namespace mailhost
