#pragma once
// What the page's player keeps of voice attachments in the data folder's
// voice/ folder: each one's waveform, under the hash of its bytes (the same
// message in two mails is read once), and the length of the voice attachments
// of listed mails, under the mail's id and the attachment's number, so that
// the message list shows them without reading the mails again.
//
// Both are caches: a damaged file reads as none and is made again; writes
// replace files in one rename and a failed one is not an error.
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace mailhost {

// A voice attachment is an MP3, told by its name as the add-in tells it.
bool IsVoiceName(const std::string& fileName);

class VoiceShelf {
 public:
  static constexpr std::size_t kPeaks = 800;

  // `folder` is made when first written to.
  explicit VoiceShelf(std::string folder);
  // Writes the lengths not yet written.
  ~VoiceShelf();

  // The hash that names these bytes: 64 hex digits.
  static std::string KeyOf(const std::vector<std::uint8_t>& bytes);
  static bool IsKey(const std::string& text);

  // {"durationMs": N, "peaks": [0..1000, ...]} for the bytes named `key`,
  // from the cache or read now. Throws platform::Error when they hold no MP3.
  nlohmann::json Waveform(const std::string& key, const std::vector<std::uint8_t>& bytes,
                          const std::string& name);

  std::optional<long long> LengthMs(const std::string& mail, int number) const;
  void SetLengthMs(const std::string& mail, int number, long long ms);

 private:
  void WriteLengths();

  std::string m_folder;
  mutable std::mutex m_mutex;
  std::map<std::string, long long> m_lengths;  // "ID\nNUMBER" -> ms
  bool m_unwritten = false;
  std::chrono::steady_clock::time_point m_written{};
};

}  // namespace mailhost
