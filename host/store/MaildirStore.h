#pragma once
// The store on disk: a Maildir++ tree whose root is the Inbox and whose
// subfolders (.Sent, .Drafts, .Contacts, .Calendar, and any other found there)
// are the other folders. Mails are MIME messages; contacts and appointments a
// short text form of their own.
//
// What a reader may rely on:
// - An item's id is its file's unique name: the part before the ":2," info,
//   without the ",U=", ",S=" and ",W=" that mbsync and Dovecot add to it. An
//   id the host chooses must be a safe file name: no '/', no ':', no ',', no
//   leading '.'. Add rejects any other.
// - An id lasts through every rename by another program (flags, new/ to
//   cur/, the additions), and for this run through mailhost's own new
//   versions: a changed mail is a new file under a new unique name, as other
//   programs expect, and keeps its id. A file another program puts in place
//   of one it removes, with the same Message-Id, is the same mail too.
// - Folders are made only in a Maildir this store made: opening a missing
//   root makes it with all five folders. In an existing Maildir nothing is
//   made at open. Which folders are listed, in which order and under which
//   names is MaildirTree's. A folder that holds files but neither cur/ nor
//   new/ is no Maildir and is refused.
// - A delivered file never changes. Add, File, Move and MarkRead write only
//   by delivery (a file in tmp/ created exclusively, written, synced, then
//   linked into place, never over another) and by renames. A changed mail is
//   delivered before its old file goes, so that a crash leaves the old
//   version or the new one, never neither. File does the same across
//   folders; the filed copy keeps the draft's unique name, so that the next
//   open removes a draft that a kill between the two steps left behind (one
//   that Sent holds under the same name and Message-Id).
// - Names other programs gave files are kept: a read mark adds S to the
//   flags and changes nothing else; a move drops only mbsync's ",U=", which
//   numbers the file in its old folder.
// - Flags live in the ":2," info: S for read, D written on drafts, T read as
//   deleted. A mail in Drafts is a draft whatever its flags (mail clients
//   leave D off), and one elsewhere is sent whatever its flags.
// - A Maildir that cannot be written (read-only) is read as any other: a read
//   mark is then kept in memory for the run, and the note sink hears once that
//   the Maildir cannot be written. Every other write fails with an error that
//   carries the system's reason ("Read-only file system", "No space left on
//   device") and leaves what was stored as it was.
// - Other programs may change the tree at any time. Listings read only the
//   files whose name, size or time changed since the last look; folders
//   made, renamed or removed are listed, moved or gone at the next look (a
//   renamed one is read afresh under its new name); ChangeFd tells the event
//   loop when to look again. What a listing shows of each file is kept in a
//   summary cache between runs when a cache folder is given, and trusted only
//   for a file of the same name, size and time.
// - Only regular files in cur/ and new/ are mail: a link, a FIFO or a folder
//   there is none. A file renamed between the look and the read is read
//   under its new name; one gone by then is not found, never an empty item.
#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/store/MailStore.h"
#include "host/store/MaildirTree.h"
#include "host/store/SummaryCache.h"

namespace mailhost {

class MaildirStore : public MailStore {
 public:
  // Opens the tree at root, making it when it does not exist; keeps the
  // summary cache in cacheFolder ("" none). Throws platform::Error when the
  // tree can be neither opened nor made.
  explicit MaildirStore(std::string root, std::string cacheFolder = "");
  ~MaildirStore() override;
  MaildirStore(const MaildirStore&) = delete;
  MaildirStore& operator=(const MaildirStore&) = delete;

  std::vector<StoredFolder> Folders() const override;
  std::vector<StoredItem> Items(const std::string& folder) const override;
  void Add(const std::string& folder, const StoredItem& item) override;
  void Move(const std::string& id, const std::string& toFolder) override;
  std::vector<StoredItem> Summaries(const std::string& folder) const override;
  StoredItem Summary(const std::string& id) const override;
  StoredItem Load(const std::string& id) const override;
  std::string FolderOf(const std::string& id) const override;
  void MarkRead(const std::string& id) override;
  void File(const std::string& folder, const StoredItem& item) override;
  std::string WriteProblem() const override;
  // A Maildir unique name: time, microseconds, process, count, host.
  std::string NewId() override;

  // Hears what a person should know of the Maildir once (that it cannot be
  // written); a note found before the sink was set is told at once.
  void SetNoteSink(std::function<void(const std::string&)> sink);

  // For tests: called between the steps of File, so that a test can stop it
  // there as a kill would.
  enum class FileStep { CopyWritten, CopyInPlace, OldRemoved };
  void SetFileHook(std::function<void(FileStep)> hook) { m_fileHook = std::move(hook); }
  // For tests: called with a mail file's path after the look that found it,
  // before it is read, so that a test can rename or replace it there as
  // another program would.
  void SetReadHook(std::function<void(const std::string&)> hook) { m_readHook = std::move(hook); }

  // Readable when a folder may have changed; -1 when the system gives no
  // change notification, in which case every listing looks at the disk.
  int ChangeFd() const { return m_tree.ChangeFd(); }
  // Reads what ChangeFd has pending; true when something changed since the
  // last call, whether this store or another program changed it.
  bool DrainChanges();

  // Whether the host may give a new item this id.
  static bool IsSafeId(const std::string& id);

 private:
  struct Entry {
    std::string path;  // of the file, from the folder: "cur/ID:2,S"
    std::string flags;
    off_t size = 0;
    timespec mtime{};
    StoredItem summary;
  };
  struct FolderData {
    StoredFolder info;
    std::string path;                      // ends in '/'
    bool watched = false;                  // inotify watches its new/ and cur/
    bool stale = true;                     // read the whole folder again
    bool cacheRead = false;                // the summary cache was looked at
    bool cacheDirty = false;               // entries the summary cache lacks
    std::set<std::string> changed;         // or only these files, "new/NAME"
    std::map<std::string, Entry> entries;  // by id
  };

  void Open(const std::string& name, const std::string& path, int defaultItemType) const;
  // Takes in the folders other programs made, renamed or removed since the
  // last look.
  void FollowTree() const;
  // Makes the folder's directories where they are missing, before a write;
  // TryMake returns the errno of a failure, Make throws it.
  void Make(FolderData& folder);
  int TryMake(FolderData& folder);
  void Watch(FolderData& folder) const;
  // Removes a draft that a kill between the two steps of File left behind.
  void RemoveFiledDrafts();
  // A write failed with errno: says once that the Maildir cannot be written
  // when that is why, and throws the error for a person.
  [[noreturn]] void WriteFailed(const FolderData& folder, const std::string& what) const;
  void Note(const std::string& reason) const;
  // The system's reason why the Maildir cannot be written, or "".
  std::string CannotWriteReason() const;
  void ReadNotifications() const;
  FolderData& Require(const std::string& folder) const;
  const FolderData& Fresh(FolderData& folder) const;
  // Takes the file into entries, with the summary from cache when the file's
  // size and time are those of the cached one; true when it read the file.
  bool Take(const FolderData& folder, const std::string& relative, const struct stat& info,
            std::map<std::string, Entry>& entries, std::map<std::string, Entry>& cache) const;
  // The entries of the folder's summary cache, by id.
  std::map<std::string, Entry> Cached(const FolderData& folder) const;
  void KeepCache(FolderData& folder) const;
  // Gives a file that arrived in place of one that went, with its Message-Id,
  // the id of the one that went.
  void Reconcile(FolderData& folder, const std::map<std::string, std::string>& gone,
                 const std::set<std::string>& arrived) const;
  // The id of a file's name ("NAME:2,FLAGS").
  std::string IdOf(const std::string& name) const;
  void ApplyFlags(const FolderData& folder, const std::string& id, const std::string& flags,
                  StoredItem& item) const;
  // The folder and the entry of an id, after a fresh look at every folder.
  std::pair<FolderData*, const Entry*> Find(const std::string& id) const;
  // The one entry of the folder with this Message-Id, or null.
  const Entry* FindByMessageId(FolderData& folder, const std::string& messageId) const;
  FolderData* Drafts() const;
  // Reads the folder's file at `relative` ("cur/NAME"), or under the name
  // another program renamed it to since the look, and sets `relative` to the
  // name read. False when it cannot be read: `relative` is then "" when no
  // file of it is left, and errno says why.
  bool ReadFileOf(const FolderData& folder, std::string* relative, std::string* content) const;
  // The entry's item; none when its file is gone. Throws when it is there
  // but cannot be read.
  std::optional<StoredItem> ReadEntry(const FolderData& folder, const std::string& id,
                                      const Entry& entry, bool withAttachmentBytes) const;
  std::string UniqueName() const;
  // Writes the content into a new file in tmp/ and returns its path; the
  // file's name is a new unique name.
  std::string Deliver(const FolderData& folder, const std::string& content) const;
  std::string Content(const StoredItem& item, const Entry* old) const;
  void LinkIn(const FolderData& folder, const std::string& tmp, const std::string& relative) const;
  bool IsRead(const std::string& id, const std::string& flags) const;
  void Step(FileStep step) const {
    if (m_fileHook) m_fileHook(step);
  }

  // Which folders there are, and what changed in them.
  mutable MaildirTree m_tree;
  std::string m_root;
  std::string m_absoluteRoot;  // names the folders' summary caches
  SummaryCache m_cache;
  // In the order they are listed. A list, so that a folder stays where it is
  // while others come and go.
  mutable std::list<FolderData> m_folders;
  mutable std::list<FolderData> m_goneFolders;  // kept for a caller that holds one
  mutable bool m_treeChanged = false;
  mutable bool m_changed = false;
  // Unique names of mailhost's new versions of a mail, and of other
  // programs' files that took a mail's place, to the mail's id.
  mutable std::map<std::string, std::string> m_aliases;
  mutable unsigned m_deliveries = 0;
  // Read this run where the file could not be renamed (a read-only Maildir).
  std::set<std::string> m_readInMemory;
  std::function<void(const std::string&)> m_noteSink;
  mutable std::string m_pendingNote;
  mutable bool m_noted = false;
  std::function<void(FileStep)> m_fileHook;
  std::function<void(const std::string&)> m_readHook;
};

}  // namespace mailhost
