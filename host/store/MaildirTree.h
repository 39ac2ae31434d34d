#pragma once
// The folders of a Maildir++ tree: which directories are mail folders, what
// people call them, making a folder's directories, and the change
// notifications of the tree and of the folders' files. The store keeps the
// items; this keeps the tree.
//
// - The root is the Inbox; every other folder is a directory ".NAME" in it.
//   Inbox, Sent and Drafts are always listed (Sent and Drafts made when first
//   written into); Contacts and Calendar only when they exist, and any other
//   mail folder found there too.
// - A mail folder has cur/ or new/ (a delivery agent may have made only
//   new/). A directory with neither, such as notmuch's .notmuch, is no mail
//   folder: it is not listed and nothing is ever written into it.
// - Names on disk are modified UTF-7, and '.' separates a folder from the
//   folder it is in: ".Archive.&AMQ-rger" is "Archive/Ärger", Ärger inside
//   Archive. A name that is not valid modified UTF-7 is shown as it is on
//   disk (bytes that are not UTF-8, and control characters, as \xHH). Two
//   folders never share a name: the later one, in the order of their names
//   on disk, is shown by its name on disk.
// - The list is in the order a person sees it: Inbox, Sent, Drafts,
//   Contacts, Calendar, then the others by name; a folder's subfolders right
//   after it, by name, also where the folder itself is missing.
// - Other programs make, rename and remove folders at any time: the root and
//   its directories are watched, and Read says when the list may have changed.
#include <array>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace mailhost {

class MaildirTree {
 public:
  struct Folder {
    std::string name;  // as the host names it: "Archive/Ärger"
    std::string path;  // ends in '/'
    int defaultItemType = 0;
  };

  // A look at the change notifications.
  struct Changes {
    // A file of a folder changed: "new/NAME" or "cur/NAME"; "" when the whole
    // folder must be read again.
    struct File {
      std::string path;  // the folder's
      std::string relative;
      bool unwatched = false;  // its new/ or cur/ is no longer watched
    };
    bool any = false;       // something changed, by mailhost or another program
    bool overflow = false;  // notifications were lost: read every folder again
    bool tree = false;      // folders may have been made, renamed or removed: Scan again
    std::vector<File> files;
  };

  // Opens the tree at root, making it when it does not exist. Throws
  // platform::Error when it can be neither opened nor made, and when it is a
  // folder of other files.
  explicit MaildirTree(std::string root);
  ~MaildirTree();
  MaildirTree(const MaildirTree&) = delete;
  MaildirTree& operator=(const MaildirTree&) = delete;

  const std::string& Root() const { return m_root; }
  // Whether the root was made now: a Maildir of mailhost's own, where all the
  // folders mailhost knows are made.
  bool MadeNow() const { return m_madeNow; }
  // Reads the root again and watches what it holds from now on.
  std::vector<Folder> Scan();
  // Makes the folder's directories where they are missing; 0, or the errno of
  // the failure: EEXIST when something that is no mail folder is in the way.
  int Make(const std::string& path) const;

  // The host's name of a folder name on disk (without its leading '.').
  static std::string NameOf(const std::string& diskName);
  // The folder a folder mailhost makes has on disk: "A/B" is ".A.B", encoded.
  // Throws platform::Error for a name Maildir++ cannot hold.
  static std::string DiskNameOf(const std::string& name);

  // Readable when something may have changed; -1 when the system gives no
  // change notification.
  int ChangeFd() const { return m_ready >= 0 ? m_ready : m_notify; }
  // Keeps ChangeFd readable until Settled: a change that a listing read
  // before the event loop asked is told to the loop all the same.
  void KeepReady() const;
  void Settled() const;
  // Watches the new/ and cur/ of the folder at path, which may have been
  // watched before.
  enum class Watch {
    Not,       // one is missing, or the system gives no change notification
    Watched,   // both
    Replaced,  // both, but one is another directory than before: another
               // program renamed the folder away and made one of its name
  };
  Watch WatchFiles(const std::string& path);
  // Stops watching them: the folder is gone.
  void UnwatchFiles(const std::string& path);
  // Reads what ChangeFd has pending.
  Changes Read();

 private:
  // Watches the root and the directories in it, and forgets the watches of
  // those gone; returns the names of the directories (".NAME").
  std::set<std::string> WatchTree();
  // The folders among the Inbox, the known folders and those directories, in
  // the order they are listed.
  std::vector<Folder> Listing(const std::set<std::string>& dirs) const;

  std::string m_root;
  bool m_madeNow = false;
  int m_notify = -1;  // inotify
  int m_signal = -1;  // an eventfd for KeepReady
  int m_ready = -1;   // epoll over both
  // Watch descriptor to the folder's path and "new" or "cur".
  std::map<int, std::pair<std::string, std::string>> m_watches;
  // A folder's path to the descriptors of its new/ and cur/ (-1: missing).
  std::map<std::string, std::array<int, 2>> m_folderWatches;
  // The root ("") and the directories in it, whose cur/ and new/ make them
  // mail folders: watch descriptor to the directory's name.
  std::map<int, std::string> m_dirWatches;
};

}  // namespace mailhost
