#pragma once
// The folders of a Maildir++ tree: which directories are mail folders, what
// the host calls them, making a folder's directories, and the change
// notifications of the folders' files. The store keeps the items; this keeps
// the tree.
//
// - The root is the Inbox. Sent, Drafts, Contacts and Calendar are ".Sent",
//   ".Drafts", ".Contacts" and ".Calendar" in it; Inbox, Sent and Drafts are
//   always listed (made when first written into), Contacts and Calendar only
//   when they exist, and any other mail folder found there is listed too.
// - A folder has cur/ or new/ (a delivery agent may have made only new/).
// - A folder's directories are made only where a write needs them.
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace mailhost {

class MaildirTree {
 public:
  struct Folder {
    std::string name;  // as the host names it
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
  // The folders, in the order a person sees them.
  std::vector<Folder> Scan() const;
  // Makes the folder's directories where they are missing; 0, or the errno of
  // the failure.
  int Make(const std::string& path) const;

  // Readable when something may have changed; -1 when the system gives no
  // change notification.
  int ChangeFd() const { return m_notify; }
  // Watches the new/ and cur/ of the folder at path; true when both are.
  bool WatchFiles(const std::string& path);
  // Reads what ChangeFd has pending.
  Changes Read();

 private:
  std::string m_root;
  bool m_madeNow = false;
  int m_notify = -1;
  // Watch descriptor to the folder's path and "new" or "cur".
  std::map<int, std::pair<std::string, std::string>> m_watches;
};

}  // namespace mailhost
