#pragma once
// What a listing shows of each mail of a Maildir folder, kept between runs so
// that a large folder lists at once after a start: one file a folder, in a
// folder of mailhost's own that no mail tool reads.
//
// The cache is only ever a shortcut. A record counts only for a file of the
// same identity, size and modification time; a file that is damaged, cut
// short, of another format or of another folder reads as empty, and the
// files are read instead. Writing replaces the file in one rename; a failed
// write leaves the old cache or none, and is not an error.
#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

#include "host/store/MailStore.h"

namespace mailhost {

struct SummaryRecord {
  std::string identity;  // the file's unique name without additions or info
  off_t size = 0;
  timespec mtime{};
  StoredItem summary;  // without id, text, flags or attachment bytes
};

class SummaryCache {
 public:
  // `folder` "" keeps no cache.
  explicit SummaryCache(std::string folder);

  std::vector<SummaryRecord> Read(const std::string& mailFolder) const;
  void Write(const std::string& mailFolder, const std::vector<SummaryRecord>& records) const;

 private:
  std::string FileFor(const std::string& mailFolder) const;

  std::string m_folder;
};

}  // namespace mailhost
