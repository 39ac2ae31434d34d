#include "host/store/MaildirStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "host/store/MimeMessage.h"
#include "hostmodel/HostModel.h"
#include "platform/Error.h"

namespace mailhost {
namespace {

constexpr const char* kInboxFolder = "Inbox";
constexpr const char* kInfoMark = ":2,";
constexpr char kFlagDraft = 'D';
constexpr char kFlagSeen = 'S';
// Maildir's rule: a file in tmp/ this old belongs to a writer that died.
constexpr time_t kStaleTmpSeconds = 36 * 60 * 60;
constexpr const char* kItemClassField = "Item-Class: ";
constexpr const char* kSubjectField = "Subject: ";

struct KnownFolder {
  const char* name;
  int defaultItemType;
};
constexpr KnownFolder kKnownFolders[] = {
    {"Sent", hostmodel::kOlMailItem},
    {"Drafts", hostmodel::kOlMailItem},
    {"Contacts", hostmodel::kOlContactItem},
    {"Calendar", hostmodel::kOlAppointmentItem},
};

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw platform::Error("The mail store could not " + what + " " + path + ": " +
                        std::strerror(errno) + ".");
}

[[noreturn]] void NoSuchItem(const std::string& id) {
  throw platform::Error("The item " + id + " does not exist.");
}

struct Fd {
  int fd = -1;
  explicit Fd(int value) : fd(value) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) Fail("create the folder", path);
}

void SyncFolder(const std::string& path) {
  Fd folder(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd >= 0) fsync(folder.fd);
}

bool ReadFile(const std::string& path, std::string* content) {
  Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) return false;
  struct stat info {};
  if (fstat(file.fd, &info) == 0 && info.st_size > 0) content->reserve(info.st_size);
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(file.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    content->append(buffer, static_cast<std::size_t>(got));
  }
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  // Maildir spells the two characters a file name cannot hold this way.
  std::string safe;
  for (const char* c = name; *c; ++c) {
    if (*c == '/')
      safe += "\\057";
    else if (*c == ':')
      safe += "\\072";
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
  std::sort(flags.begin(), flags.end());
  return flags;
}

// Where a file of this id and these flags lives: new/ holds only files that
// carry no info yet.
std::string EntryPath(const std::string& id, const std::string& flags) {
  return flags.empty() ? "new/" + id : "cur/" + id + kInfoMark + flags;
}

// The unique part of a file name in new/ or cur/.
std::string IdOf(const std::string& name) {
  return name.substr(0, name.find(':'));
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Newer(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

void SweepTmp(const std::string& tmp) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(tmp.c_str()), closedir);
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

MaildirStore::MaildirStore(std::string root) : m_root(std::move(root)) {
  if (m_root.empty()) m_root = ".";
  if (m_root.back() != '/') m_root += '/';
  m_notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  Open(kInboxFolder, m_root, hostmodel::kOlMailItem);
  for (const auto& known : kKnownFolders) {
    Open(known.name, m_root + "." + known.name + "/", known.defaultItemType);
  }
  // Folders that another program made are mail folders too.
  std::vector<std::string> found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(m_root.c_str()), closedir);
  if (dir) {
    while (dirent* entry = readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name.size() < 2 || name[0] != '.' || name == "..") continue;
      const std::string folder = name.substr(1);
      const bool known = std::any_of(std::begin(kKnownFolders), std::end(kKnownFolders),
                                     [&](const KnownFolder& k) { return folder == k.name; });
      struct stat info {};
      if (!known && stat((m_root + name + "/cur").c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        found.push_back(folder);
    }
  }
  std::sort(found.begin(), found.end());
  for (const auto& folder : found)
    Open(folder, m_root + "." + folder + "/", hostmodel::kOlMailItem);
}

MaildirStore::~MaildirStore() {
  if (m_notify >= 0) close(m_notify);
}

void MaildirStore::Open(const std::string& name, const std::string& path, int defaultItemType) {
  MakeFolder(path);
  for (const char* sub : {"tmp", "new", "cur"}) MakeFolder(path + sub);
  if (path != m_root) {
    // Maildir++ marks its subfolders so.
    Fd marker(open((path + "maildirfolder").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  }
  SweepTmp(path + "tmp/");
  const std::size_t index = m_folders.size();
  FolderData folder;
  folder.info = {name, defaultItemType};
  folder.path = path;
  m_folders.push_back(std::move(folder));
  if (m_notify < 0) return;
  for (const char* sub : {"new", "cur"}) {
    const int watch = inotify_add_watch(
        m_notify, (path + sub).c_str(),
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB);
    if (watch >= 0) m_watches[watch] = {index, sub};
  }
}

bool MaildirStore::IsSafeId(const std::string& id) {
  return !id.empty() && id.size() <= 200 && id[0] != '.' &&
         id.find_first_of(std::string("/:\0", 3)) == std::string::npos;
}

void MaildirStore::ReadNotifications() const {
  if (m_notify < 0) return;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = read(m_notify, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    m_changed = true;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        for (auto& folder : m_folders) folder.stale = true;
        continue;
      }
      auto watched = m_watches.find(event->wd);
      if (watched == m_watches.end()) continue;
      auto& folder = m_folders[watched->second.first];
      if (event->len > 0 && event->name[0] != '\0') {
        folder.changed.insert(watched->second.second + "/" + event->name);
      } else {
        folder.stale = true;  // the folder itself went or was moved
      }
    }
  }
}

bool MaildirStore::DrainChanges() {
  ReadNotifications();
  return std::exchange(m_changed, false);
}

MaildirStore::FolderData& MaildirStore::Require(const std::string& folder) const {
  for (auto& data : m_folders) {
    if (data.info.name == folder) return data;
  }
  throw platform::Error("The folder " + folder + " does not exist.");
}

const MaildirStore::FolderData& MaildirStore::Fresh(FolderData& folder) const {
  ReadNotifications();
  if (folder.stale || m_notify < 0) {
    std::map<std::string, Entry> entries;
    for (const char* sub : {"new", "cur"}) {
      std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir((folder.path + sub).c_str()), closedir);
      if (!dir) continue;
      while (dirent* found = readdir(dir.get())) {
        struct stat info {};
        if (found->d_name[0] == '.' || fstatat(dirfd(dir.get()), found->d_name, &info, 0) != 0 ||
            !S_ISREG(info.st_mode))
          continue;
        Take(folder, sub + std::string("/") + found->d_name, info, entries, folder.entries);
      }
    }
    folder.entries = std::move(entries);
    folder.stale = false;
    folder.changed.clear();
    return folder;
  }
  for (const auto& relative : folder.changed) {
    struct stat info {};
    if (stat((folder.path + relative).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      Take(folder, relative, info, folder.entries, folder.entries);
      continue;
    }
    auto gone = folder.entries.find(IdOf(relative.substr(4)));
    if (gone != folder.entries.end() && gone->second.path == relative) folder.entries.erase(gone);
  }
  folder.changed.clear();
  return folder;
}

void MaildirStore::Take(const FolderData& folder, const std::string& relative,
                        const struct stat& info, std::map<std::string, Entry>& entries,
                        std::map<std::string, Entry>& cache) const {
  const std::string name = relative.substr(4);
  const std::string id = IdOf(name);
  const auto mark = name.find(kInfoMark);
  Entry entry;
  entry.path = relative;
  entry.flags = mark == std::string::npos ? "" : name.substr(mark + std::strlen(kInfoMark));
  entry.size = info.st_size;
  entry.mtime = info.st_mtim;
  // Two files of one id are what a crash between linking a replacement and
  // removing its old version leaves: the newer one is the item.
  auto twin = entries.find(id);
  struct stat twinInfo {};
  if (twin != entries.end() && twin->second.path != relative &&
      stat((folder.path + twin->second.path).c_str(), &twinInfo) == 0 &&
      !Newer(entry.mtime, twin->second.mtime))
    return;
  auto cached = cache.find(id);
  if (cached != cache.end() && cached->second.size == entry.size &&
      SameTime(cached->second.mtime, entry.mtime)) {
    entry.summary = std::move(cached->second.summary);
  } else {
    entry.summary = ReadEntry(folder, id, entry, false);
  }
  entry.summary.read = entry.flags.find(kFlagSeen) != std::string::npos;
  entry.summary.sent = entry.flags.find(kFlagDraft) == std::string::npos;
  entries[id] = std::move(entry);
}

StoredItem MaildirStore::ReadEntry(const FolderData& folder, const std::string& id,
                                   const Entry& entry, bool withAttachmentBytes) const {
  std::string content;
  ReadFile(folder.path + entry.path, &content);  // a vanished file reads as empty
  StoredItem item = ReadContent(content, withAttachmentBytes);
  item.id = id;
  item.read = entry.flags.find(kFlagSeen) != std::string::npos;
  item.sent = entry.flags.find(kFlagDraft) == std::string::npos;
  return item;
}

std::pair<MaildirStore::FolderData*, const MaildirStore::Entry*> MaildirStore::Find(
    const std::string& id) const {
  for (auto& folder : m_folders) {
    const auto& fresh = Fresh(folder);
    auto found = fresh.entries.find(id);
    if (found != fresh.entries.end()) return {&folder, &found->second};
  }
  return {nullptr, nullptr};
}

std::vector<StoredFolder> MaildirStore::Folders() const {
  std::vector<StoredFolder> result;
  for (const auto& folder : m_folders) result.push_back(folder.info);
  return result;
}

std::vector<StoredItem> MaildirStore::Summaries(const std::string& folder) const {
  const auto& fresh = Fresh(Require(folder));
  std::vector<StoredItem> result;
  result.reserve(fresh.entries.size());
  for (const auto& [id, entry] : fresh.entries) result.push_back(entry.summary);
  return result;
}

std::vector<StoredItem> MaildirStore::Items(const std::string& folder) const {
  const auto& fresh = Fresh(Require(folder));
  std::vector<StoredItem> result;
  for (const auto& [id, entry] : fresh.entries) result.push_back(ReadEntry(fresh, id, entry, true));
  return result;
}

StoredItem MaildirStore::Load(const std::string& id) const {
  auto [folder, entry] = Find(id);
  if (!entry) NoSuchItem(id);
  return ReadEntry(*folder, id, *entry, true);
}

std::string MaildirStore::FolderOf(const std::string& id) const {
  auto [folder, entry] = Find(id);
  return folder ? folder->info.name : "";
}

std::string MaildirStore::Deliver(const FolderData& folder, const std::string& content) const {
  timeval now{};
  gettimeofday(&now, nullptr);
  const std::string tmp = folder.path + "tmp/" + std::to_string(now.tv_sec) + ".M" +
                          std::to_string(now.tv_usec) + "P" + std::to_string(getpid()) + "Q" +
                          std::to_string(++m_deliveries) + "." + HostName();
  Fd file(open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (file.fd < 0) Fail("create", tmp);
  for (std::size_t done = 0; done < content.size();) {
    const ssize_t wrote = write(file.fd, content.data() + done, content.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) {
      const int error = errno;
      unlink(tmp.c_str());
      errno = error;
      Fail("write", tmp);
    }
    done += static_cast<std::size_t>(wrote);
  }
  if (fsync(file.fd) != 0) {
    const int error = errno;
    unlink(tmp.c_str());
    errno = error;
    Fail("write", tmp);
  }
  return tmp;
}

void MaildirStore::Add(const std::string& folder, const StoredItem& item) {
  auto& target = Require(folder);
  auto [holder, old] = Find(item.id);
  if (holder && holder != &target) {
    throw platform::Error("The item " + item.id + " is already in the folder " + holder->info.name +
                          ".");
  }
  if (!old && !IsSafeId(item.id)) {
    throw platform::Error("The id " + item.id + " cannot name an item in the mail store.");
  }
  std::string content;
  if (item.itemClass == hostmodel::kOlMail) {
    StoredItem mail = item;
    // A new version of a mail is still the same message.
    if (mail.messageId.empty() && old) mail.messageId = old->summary.messageId;
    content = WriteMimeMessage(mail);
  } else {
    content = WriteItemText(item);
  }

  const std::string relative = EntryPath(item.id, FlagsOf(item, old ? old->flags : ""));
  const std::string path = target.path + relative;
  const std::string tmp = Deliver(target, content);
  if (old && old->path == relative) {
    if (rename(tmp.c_str(), path.c_str()) != 0) {
      unlink(tmp.c_str());
      Fail("store", path);
    }
  } else {
    if (link(tmp.c_str(), path.c_str()) != 0) {
      const int error = errno;
      unlink(tmp.c_str());
      errno = error;
      Fail("store", path);
    }
    unlink(tmp.c_str());
  }
  SyncFolder(path.substr(0, path.rfind('/')));
  target.changed.insert(relative);
  if (old && old->path != relative) {
    const std::string oldPath = target.path + old->path;
    target.changed.insert(old->path);
    if (unlink(oldPath.c_str()) == 0) SyncFolder(oldPath.substr(0, oldPath.rfind('/')));
  }
}

void MaildirStore::Move(const std::string& id, const std::string& toFolder) {
  auto& target = Require(toFolder);
  auto [from, entry] = Find(id);
  if (!entry) NoSuchItem(id);
  if (from == &target) return;
  const std::string source = from->path + entry->path;
  const std::string relative = "cur/" + id + kInfoMark + entry->flags;
  if (rename(source.c_str(), (target.path + relative).c_str()) != 0) Fail("move", source);
  SyncFolder(target.path + "cur");
  SyncFolder(source.substr(0, source.rfind('/')));
  from->changed.insert(entry->path);
  target.changed.insert(relative);
}

void MaildirStore::MarkRead(const std::string& id) {
  auto [folder, entry] = Find(id);
  if (!entry) NoSuchItem(id);
  if (entry->flags.find(kFlagSeen) != std::string::npos) return;
  std::string flags = entry->flags + kFlagSeen;
  std::sort(flags.begin(), flags.end());
  const std::string source = folder->path + entry->path;
  const std::string relative = "cur/" + id + kInfoMark + flags;
  if (rename(source.c_str(), (folder->path + relative).c_str()) != 0) Fail("mark as read", source);
  SyncFolder(folder->path + "cur");
  folder->changed.insert(entry->path);
  folder->changed.insert(relative);
}

}  // namespace mailhost
