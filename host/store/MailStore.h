#pragma once
// Where the host keeps its mail. The interface is narrow on purpose so that a
// store on disk can replace the in-memory one: folders, the items of a folder,
// adding, moving. The host's live item objects write their changes back
// through Add.
//
// A store on disk lists large folders through Summaries and reads one whole
// item through Load; the defaults here serve a store that keeps everything in
// memory anyway.
#include <cstdint>
#include <string>
#include <vector>

namespace mailhost {

struct StoredAttachment {
  std::string fileName;  // base name only
  std::vector<std::uint8_t> bytes;
  bool message = false;  // an attached mail (message/rfc822), its bytes the whole message
};

struct StoredItem {
  std::string id;  // unique in the whole store
  int itemClass = 43;
  std::string subject;
  std::string body;
  // A store on disk knows a mail's state as mail clients agree on it: a mail
  // in Drafts is a draft whatever its flags, any other is sent.
  bool sent = false;
  bool read = false;
  bool deleted = false;  // marked deleted by a mail client, not yet expunged
  std::string from;      // address lists as text: "Anna Berg <anna@example.com>"
  std::string to;
  std::string date;       // RFC 5322 date text; a store on disk fills in the time of writing
  std::string messageId;  // without the angle brackets; a store on disk makes one up
  std::vector<StoredAttachment> attachments;
};

struct StoredFolder {
  std::string name;
  int defaultItemType = 0;  // 0 mail, 1 appointments, 2 contacts
};

class MailStore {
 public:
  virtual ~MailStore() = default;
  virtual std::vector<StoredFolder> Folders() const = 0;
  // Throws platform::Error for a folder that does not exist.
  virtual std::vector<StoredItem> Items(const std::string& folder) const = 0;
  // Adds the item to the folder, or replaces the copy with the same id there.
  // Throws platform::Error when the folder does not exist or another folder
  // already holds the id.
  virtual void Add(const std::string& folder, const StoredItem& item) = 0;
  // Throws platform::Error when the item or the folder does not exist.
  virtual void Move(const std::string& id, const std::string& toFolder) = 0;

  // The items of a folder with their attachments' names but neither their
  // bytes nor the text. Throws platform::Error for a folder that does not
  // exist.
  virtual std::vector<StoredItem> Summaries(const std::string& folder) const;
  // One item as Summaries gives it. Throws platform::Error when no folder
  // holds it.
  virtual StoredItem Summary(const std::string& id) const;
  // The whole item. Throws platform::Error when no folder holds it.
  virtual StoredItem Load(const std::string& id) const;
  // The folder that holds the item, or "" when none does.
  virtual std::string FolderOf(const std::string& id) const;
  // Marks the item read. Throws platform::Error when no folder holds it.
  virtual void MarkRead(const std::string& id);
  // Puts this version of the item into the folder and takes it out of the
  // folder that held it, if another did: a sent mail filed away from Drafts.
  // A store on disk has the new copy complete and in place before the old one
  // goes, so that a crash between leaves both, never neither. Throws
  // platform::Error and changes nothing when the new copy cannot be written.
  virtual void File(const std::string& folder, const StoredItem& item);
  // An id that no item has yet, for a mail the host makes.
  virtual std::string NewId();
  // Why nothing can be written now (a read-only Maildir), for a person; ""
  // when writing may work.
  virtual std::string WriteProblem() const { return {}; }

 private:
  unsigned m_newIds = 0;
};

}  // namespace mailhost
