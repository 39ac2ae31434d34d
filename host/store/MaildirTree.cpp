#include "host/store/MaildirTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <set>
#include <string_view>

#include "host/store/ModifiedUtf7.h"
#include "hostmodel/HostModel.h"
#include "platform/Error.h"

namespace mailhost {
namespace {

constexpr const char* kInboxFolder = "Inbox";
constexpr char kDiskSeparator = '.';
constexpr char kSeparator = '/';
constexpr const char* kFolderMarker = "maildirfolder";  // Maildir++ marks its subfolders so

struct KnownFolder {
  const char* name;
  int defaultItemType;
  bool alwaysListed;  // the host's own: made when first written into
};
// In the order they are listed, after the Inbox.
constexpr KnownFolder kKnownFolders[] = {
    {"Sent", hostmodel::kOlMailItem, true},
    {"Drafts", hostmodel::kOlMailItem, true},
    {"Contacts", hostmodel::kOlContactItem, false},
    {"Calendar", hostmodel::kOlAppointmentItem, false},
};

// What the tree's directories are watched for: a directory made, removed or
// renamed in them. Files in them (Dovecot's indexes, mbsync's state) are not
// the tree's business.
constexpr uint32_t kDirEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
constexpr std::array<const char*, 2> kFileDirs{"new", "cur"};
constexpr uint32_t kFileEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB;

[[noreturn]] void RootFails(const std::string& root, const std::string& why) {
  throw platform::Error("The Maildir " + root + " " + why);
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A Maildir folder has cur/ and new/; a delivery agent may have made only new/.
bool IsMailFolder(const std::string& path) {
  return IsDirectory(path + "cur") || IsDirectory(path + "new");
}

using Dir = std::unique_ptr<DIR, int (*)(DIR*)>;

Dir OpenDir(const std::string& path) {
  return Dir(opendir(path.c_str()), closedir);
}

// Whether the directory holds nothing but these names.
bool HoldsOnly(const std::string& path, std::initializer_list<std::string_view> names) {
  Dir dir = OpenDir(path);
  if (!dir) return false;
  while (dirent* entry = readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != ".." && std::find(names.begin(), names.end(), name) == names.end())
      return false;
  }
  return true;
}

// True when the root is made now: a Maildir of this store's own.
bool MakeRoot(const std::string& root) {
  struct stat info {};
  if (stat(root.c_str(), &info) != 0) {
    if (errno != ENOENT)
      RootFails(root, std::string("cannot be opened: ") + std::strerror(errno) + ".");
    if (mkdir(root.c_str(), 0700) != 0)
      RootFails(root, std::string("could not be made: ") + std::strerror(errno) + ".");
    return true;
  }
  if (!S_ISDIR(info.st_mode)) RootFails(root, "is not a folder.");
  if (IsMailFolder(root)) return false;
  if (HoldsOnly(root, {})) return true;
  RootFails(root, "is not a Maildir: it has no cur or new folder, and it holds other files.");
}

bool IsControl(gunichar c) {
  return c < 0x20 || (c >= 0x7f && c < 0xa0);
}

// The text as it is, but a byte that is not UTF-8 and a control character as
// \xHH (and a backslash too, where the result must tell them apart).
std::string Escaped(std::string_view text, bool escapeBackslash) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const gunichar c =
        g_utf8_get_char_validated(text.data() + at, static_cast<gssize>(text.size() - at));
    const bool valid = c != static_cast<gunichar>(-1) && c != static_cast<gunichar>(-2);
    if (valid && !IsControl(c) && !(escapeBackslash && c == '\\')) {
      const auto length = static_cast<std::size_t>(g_utf8_skip[static_cast<guchar>(text[at])]);
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[at]));
    out += hex;
    ++at;
  }
  return out;
}

bool HasControl(const std::string& text) {
  for (const gchar* p = text.c_str(); *p; p = g_utf8_next_char(p)) {
    if (IsControl(g_utf8_get_char(p))) return true;
  }
  return false;
}

// One part of a folder's name as people wrote it.
std::string ShownPart(std::string_view onDisk) {
  if (auto decoded = DecodeModifiedUtf7(onDisk); decoded && !HasControl(*decoded)) return *decoded;
  return Escaped(onDisk, false);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (auto end = text.find(separator); end != std::string::npos;
       at = end + 1, end = text.find(separator, at))
    parts.push_back(text.substr(at, end - at));
  parts.push_back(text.substr(at));
  return parts;
}

// Where a top-level folder is listed: the Inbox, the known folders in their
// order, then every other.
std::size_t Rank(const std::string& top) {
  if (top == kInboxFolder) return 0;
  for (std::size_t i = 0; i < std::size(kKnownFolders); ++i) {
    if (top == kKnownFolders[i].name) return i + 1;
  }
  return std::size(kKnownFolders) + 1;
}

// Names as a person looks them up: letters without regard to case first.
bool NameBefore(const std::string& a, const std::string& b) {
  const int folded = g_ascii_strcasecmp(a.c_str(), b.c_str());
  return folded != 0 ? folded < 0 : a < b;
}

// A folder before its subfolders, each level by name.
bool ListedBefore(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] == b[i]) continue;
    if (i == 0 && Rank(a[0]) != Rank(b[0])) return Rank(a[0]) < Rank(b[0]);
    return NameBefore(a[i], b[i]);
  }
  return a.size() < b.size();
}

}  // namespace

MaildirTree::MaildirTree(std::string root) : m_root(root.empty() ? "./" : std::move(root)) {
  if (m_root.back() != '/') m_root += '/';
  m_notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_notify >= 0) {
    m_signal = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_ready = epoll_create1(EPOLL_CLOEXEC);
    epoll_event readable{};
    readable.events = EPOLLIN;
    bool both = m_signal >= 0 && m_ready >= 0;
    for (const int fd : {m_notify, m_signal}) {
      readable.data.fd = fd;
      both = both && epoll_ctl(m_ready, EPOLL_CTL_ADD, fd, &readable) == 0;
    }
    if (!both) {
      // Told only by inotify: a change a listing read first waits for the next.
      for (int* fd : {&m_signal, &m_ready}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
      }
    }
  }
  m_madeNow = MakeRoot(m_root);
}

MaildirTree::~MaildirTree() {
  for (const int fd : {m_ready, m_signal, m_notify}) {
    if (fd >= 0) close(fd);
  }
}

void MaildirTree::KeepReady() const {
  const std::uint64_t one = 1;
  if (m_signal >= 0 && write(m_signal, &one, sizeof one) < 0) {
    // Full (it cannot be): readable all the same.
  }
}

void MaildirTree::Settled() const {
  std::uint64_t count = 0;
  if (m_signal >= 0 && read(m_signal, &count, sizeof count) < 0) {
    // Nothing was kept ready.
  }
}

std::string MaildirTree::NameOf(const std::string& diskName) {
  const auto parts = Split(diskName, kDiskSeparator);
  std::string name;
  for (const auto& part : parts) {
    if (part.empty()) return "";  // no Maildir++ hierarchy
    if (!name.empty()) name += kSeparator;
    name += ShownPart(part);
  }
  return name;
}

std::string MaildirTree::DiskNameOf(const std::string& name) {
  std::string disk;
  for (const auto& part : Split(name, kSeparator)) {
    const auto encoded = EncodeModifiedUtf7(part);
    if (part.empty() || !encoded || part.find(kDiskSeparator) != std::string::npos)
      throw platform::Error("A folder in a Maildir cannot be called " + name + ".");
    disk += kDiskSeparator + *encoded;
  }
  return disk;
}

std::vector<MaildirTree::Folder> MaildirTree::Scan() {
  return Listing(WatchTree());
}

std::set<std::string> MaildirTree::WatchTree() {
  // The root and each directory in it are watched before they are looked
  // at: what changes after the look is told. A directory renamed is the
  // same one to the system, and keeps its watch under its new name.
  std::set<std::string> dirs;
  std::map<int, std::string> watches;
  const auto watch = [&](const std::string& name) {
    if (m_notify < 0) return;
    const int wd = inotify_add_watch(m_notify, (m_root + name).c_str(), kDirEvents);
    if (wd >= 0) watches[wd] = name;
  };
  watch("");
  if (Dir dir = OpenDir(m_root)) {
    while (dirent* entry = readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name.size() < 2 || name[0] != kDiskSeparator || name == ".." ||
          !IsDirectory(m_root + name))
        continue;
      dirs.insert(name);
      watch(name);
    }
  }
  for (const auto& [wd, name] : m_dirWatches) {
    if (!watches.count(wd)) inotify_rm_watch(m_notify, wd);
  }
  m_dirWatches = std::move(watches);
  return dirs;
}

std::vector<MaildirTree::Folder> MaildirTree::Listing(const std::set<std::string>& dirs) const {
  struct Listed {
    std::vector<std::string> parts;
    Folder folder;
  };
  std::vector<Listed> listed{{{kInboxFolder}, {kInboxFolder, m_root, hostmodel::kOlMailItem}}};
  std::set<std::string> taken{kInboxFolder};
  std::set<std::string> knownDirs;
  for (const auto& known : kKnownFolders) {
    const std::string disk = DiskNameOf(known.name);
    const std::string path = m_root + disk + "/";
    knownDirs.insert(disk);
    if (m_madeNow || known.alwaysListed || IsMailFolder(path)) {
      listed.push_back({{known.name}, {known.name, path, known.defaultItemType}});
      taken.insert(known.name);
    }
  }
  // Folders that another program made are mail folders too.
  for (const auto& disk : dirs) {
    const std::string path = m_root + disk + "/";
    if (knownDirs.count(disk) || !IsMailFolder(path)) continue;
    std::string name = NameOf(disk.substr(1));
    if (name.empty() || taken.count(name)) name = Escaped(disk, true);
    if (!taken.insert(name).second) continue;  // names on disk differ, and so do these
    const bool nested = name[0] != kDiskSeparator;
    listed.push_back({nested ? Split(name, kSeparator) : std::vector<std::string>{name},
                      {name, path, hostmodel::kOlMailItem}});
  }
  std::stable_sort(listed.begin(), listed.end(),
                   [](const Listed& a, const Listed& b) { return ListedBefore(a.parts, b.parts); });
  std::vector<Folder> folders;
  for (auto& entry : listed) folders.push_back(std::move(entry.folder));
  return folders;
}

int MaildirTree::Make(const std::string& path) const {
  if (path != m_root) {
    if (mkdir(path.c_str(), 0700) == 0) {
      const int marker = open((path + kFolderMarker).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      if (marker >= 0) close(marker);
    } else if (errno != EEXIST) {
      return errno;
    } else if (!IsMailFolder(path) && !HoldsOnly(path, {kFolderMarker, "tmp"})) {
      // Another program's directory (notmuch's), or a file: never written into.
      return EEXIST;
    }
  }
  for (const char* sub : {"tmp", "new", "cur"}) {
    if (mkdir((path + sub).c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

MaildirTree::Watch MaildirTree::WatchFiles(const std::string& path) {
  if (m_notify < 0) return Watch::Not;
  auto result = Watch::Watched;
  std::array<int, kFileDirs.size()> now{};
  for (std::size_t i = 0; i < now.size(); ++i) {
    // A directory watched already keeps its descriptor, whatever its name now.
    now[i] = inotify_add_watch(m_notify, (path + kFileDirs[i]).c_str(), kFileEvents);
    if (now[i] >= 0) {
      m_watches[now[i]] = {path, kFileDirs[i]};
    } else {
      result = Watch::Not;
    }
  }
  if (auto before = m_folderWatches.find(path); before != m_folderWatches.end()) {
    for (std::size_t i = 0; i < now.size(); ++i) {
      const int old = before->second[i];
      if (old < 0 || old == now[i]) continue;
      // What was watched under this name is elsewhere now: no longer this
      // folder's, and not watched unless it is another folder's.
      if (auto watched = m_watches.find(old);
          watched != m_watches.end() && watched->second.first == path) {
        inotify_rm_watch(m_notify, old);
        m_watches.erase(watched);
      }
      if (result == Watch::Watched) result = Watch::Replaced;
    }
  }
  m_folderWatches[path] = now;
  return result;
}

void MaildirTree::UnwatchFiles(const std::string& path) {
  auto mine = m_folderWatches.find(path);
  if (mine == m_folderWatches.end()) return;
  for (const int wd : mine->second) {
    // A renamed folder's directories may be another folder's by now.
    if (auto watched = m_watches.find(wd);
        watched != m_watches.end() && watched->second.first == path) {
      inotify_rm_watch(m_notify, wd);
      m_watches.erase(watched);
    }
  }
  m_folderWatches.erase(mine);
}

MaildirTree::Changes MaildirTree::Read() {
  Changes changes;
  if (m_notify < 0) return changes;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = read(m_notify, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return changes;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const std::string name = event->len > 0 ? event->name : "";
      if (event->mask & IN_Q_OVERFLOW) {
        changes.any = changes.overflow = changes.tree = true;
        continue;
      }
      if (auto dir = m_dirWatches.find(event->wd); dir != m_dirWatches.end()) {
        const bool root = dir->second.empty();
        if (event->mask & IN_IGNORED) {
          m_dirWatches.erase(dir);
          changes.any = changes.tree = true;
        } else if ((event->mask & IN_ISDIR) && (root ? name.size() > 1 && name[0] == kDiskSeparator
                                                     : name == "cur" || name == "new")) {
          changes.any = changes.tree = true;
        }
        continue;
      }
      auto watched = m_watches.find(event->wd);
      if (watched == m_watches.end()) continue;
      changes.any = true;
      const auto& [path, sub] = watched->second;
      if (event->mask & IN_IGNORED) {
        // The watch is gone with its directory: watch again once it is back.
        changes.files.push_back({path, "", true});
        m_watches.erase(watched);
      } else if (!name.empty()) {
        changes.files.push_back({path, sub + "/" + name});
      } else {
        changes.files.push_back({path, ""});  // the directory itself changed
      }
    }
  }
}

}  // namespace mailhost
