#pragma once
// Where the listener stopped in each voice attachment, kept in one small
// JSON file of the data folder so that a reload or a new start of mailhost
// plays on from there. Each change is written durably (a crash leaves the
// old file or the new one); a file that is damaged or of another shape reads
// as no positions. At most `limit` attachments are remembered, the least
// recently played forgotten first.
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace mailhost {

class VoicePositions {
 public:
  static constexpr std::size_t kKept = 1000;

  explicit VoicePositions(std::string path, std::size_t limit = kKept);

  // Seconds from the start; 0 for one never played.
  double At(const std::string& key) const;
  // Remembers `seconds` (a negative or absurd one as 0). A failed write is
  // thrown as platform::Error; what was remembered before stays on disk.
  void Set(const std::string& key, double seconds);

 private:
  struct Kept {
    double seconds = 0;
    long long order = 0;  // larger: played more recently
  };
  void Save() const;

  std::string m_path;
  std::size_t m_limit;
  mutable std::mutex m_mutex;
  std::map<std::string, Kept> m_kept;
  long long m_next = 0;
};

}  // namespace mailhost
