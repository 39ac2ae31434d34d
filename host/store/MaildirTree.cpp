#include "host/store/MaildirTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "hostmodel/HostModel.h"
#include "platform/Error.h"

namespace mailhost {
namespace {

constexpr const char* kInboxFolder = "Inbox";

struct KnownFolder {
  const char* name;
  int defaultItemType;
  bool alwaysListed;  // the host's own: made when first written into
};
constexpr KnownFolder kKnownFolders[] = {
    {"Sent", hostmodel::kOlMailItem, true},
    {"Drafts", hostmodel::kOlMailItem, true},
    {"Contacts", hostmodel::kOlContactItem, false},
    {"Calendar", hostmodel::kOlAppointmentItem, false},
};

[[noreturn]] void RootFails(const std::string& root, const std::string& why) {
  throw platform::Error("The Maildir " + root + " " + why);
}

// A Maildir folder has cur/ and new/; a delivery agent may have made only new/.
bool IsMailFolder(const std::string& path) {
  struct stat info {};
  for (const char* sub : {"cur", "new"}) {
    if (stat((path + sub).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  }
  return false;
}

using Dir = std::unique_ptr<DIR, int (*)(DIR*)>;

Dir OpenDir(const std::string& path) {
  return Dir(opendir(path.c_str()), closedir);
}

bool IsEmptyFolder(const std::string& path) {
  Dir dir = OpenDir(path);
  if (!dir) return false;
  while (dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) return false;
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
  if (IsEmptyFolder(root)) return true;
  RootFails(root, "is not a Maildir: it has no cur or new folder, and it holds other files.");
}

}  // namespace

MaildirTree::MaildirTree(std::string root) : m_root(std::move(root)) {
  if (m_root.empty()) m_root = ".";
  if (m_root.back() != '/') m_root += '/';
  m_notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  m_madeNow = MakeRoot(m_root);
}

MaildirTree::~MaildirTree() {
  if (m_notify >= 0) close(m_notify);
}

std::vector<MaildirTree::Folder> MaildirTree::Scan() const {
  std::vector<Folder> folders{{kInboxFolder, m_root, hostmodel::kOlMailItem}};
  for (const auto& known : kKnownFolders) {
    const std::string path = m_root + "." + known.name + "/";
    if (m_madeNow || known.alwaysListed || IsMailFolder(path))
      folders.push_back({known.name, path, known.defaultItemType});
  }
  // Folders that another program made are mail folders too.
  std::vector<std::string> found;
  if (Dir dir = OpenDir(m_root)) {
    while (dirent* entry = readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name.size() < 2 || name[0] != '.' || name == "..") continue;
      const std::string folder = name.substr(1);
      const bool known = std::any_of(std::begin(kKnownFolders), std::end(kKnownFolders),
                                     [&](const KnownFolder& k) { return folder == k.name; });
      if (!known && IsMailFolder(m_root + name + "/")) found.push_back(folder);
    }
  }
  std::sort(found.begin(), found.end());
  for (const auto& folder : found)
    folders.push_back({folder, m_root + "." + folder + "/", hostmodel::kOlMailItem});
  return folders;
}

int MaildirTree::Make(const std::string& path) const {
  if (path != m_root) {
    if (mkdir(path.c_str(), 0700) == 0) {
      // Maildir++ marks its subfolders so.
      const int marker =
          open((path + "maildirfolder").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      if (marker >= 0) close(marker);
    } else if (errno != EEXIST) {
      return errno;
    }
  }
  for (const char* sub : {"tmp", "new", "cur"}) {
    if (mkdir((path + sub).c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

bool MaildirTree::WatchFiles(const std::string& path) {
  if (m_notify < 0) return false;
  bool both = true;
  for (const char* sub : {"new", "cur"}) {
    const int watch = inotify_add_watch(
        m_notify, (path + sub).c_str(),
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB);
    if (watch >= 0) {
      m_watches[watch] = {path, sub};
    } else {
      both = false;
    }
  }
  return both;
}

MaildirTree::Changes MaildirTree::Read() {
  Changes changes;
  if (m_notify < 0) return changes;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = read(m_notify, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return changes;
    changes.any = true;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        changes.overflow = true;
        continue;
      }
      auto watched = m_watches.find(event->wd);
      if (watched == m_watches.end()) continue;
      const auto& [path, sub] = watched->second;
      if (event->mask & IN_IGNORED) {
        // The watch is gone with its directory: watch again once it is back.
        changes.files.push_back({path, "", true});
        m_watches.erase(watched);
        continue;
      }
      if (event->len > 0 && event->name[0] != '\0') {
        changes.files.push_back({path, sub + "/" + event->name});
      } else {
        changes.files.push_back({path, ""});  // the folder itself went or was moved
      }
    }
  }
}

}  // namespace mailhost
