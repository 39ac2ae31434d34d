#include "host/web/VoiceShelf.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>

#include "platform/Error.h"
#include "platform/common/DurableFile.h"
#include "platform/common/SoundPeaks.h"

namespace mailhost {
namespace {

using nlohmann::json;

// A listing that finds many lengths at once writes them once in a while,
// not once a mail.
constexpr auto kLengthsEvery = std::chrono::seconds(2);
constexpr const char* kLengthsFile = "/lengths.json";

json ReadJson(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::stringstream text;
  text << in.rdbuf();
  return json::parse(text.str(), nullptr, false);
}

std::string LengthKey(const std::string& mail, int number) {
  return mail + "\n" + std::to_string(number);
}

}  // namespace

bool IsVoiceName(const std::string& fileName) {
  if (fileName.size() < 3) return false;
  std::string last = fileName.substr(fileName.size() - 3);
  for (auto& c : last) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return last == "mp3";
}

VoiceShelf::VoiceShelf(std::string folder) : m_folder(std::move(folder)) {
  const json lengths = ReadJson(m_folder + kLengthsFile);
  if (!lengths.is_object()) return;
  for (const auto& [key, ms] : lengths.items()) {
    if (ms.is_number_integer() && ms.get<long long>() >= 0) m_lengths[key] = ms.get<long long>();
  }
}

VoiceShelf::~VoiceShelf() {
  std::lock_guard lock(m_mutex);
  if (m_unwritten) WriteLengths();
}

std::string VoiceShelf::KeyOf(const std::vector<std::uint8_t>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  static const char* const kHex = "0123456789abcdef";
  std::string key;
  for (unsigned int i = 0; i < size; ++i) {
    key += kHex[digest[i] >> 4];
    key += kHex[digest[i] & 15];
  }
  return key;
}

bool VoiceShelf::IsKey(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

json VoiceShelf::Waveform(const std::string& key, const std::vector<std::uint8_t>& bytes,
                          const std::string& name) {
  const std::string path = m_folder + "/" + key + ".json";
  json cached = ReadJson(path);
  if (cached.is_object() && cached.value("durationMs", json()).is_number_integer() &&
      cached.value("peaks", json()).is_array())
    return cached;
  const auto read = platform::ReadMp3Peaks(bytes.data(), bytes.size(), kPeaks, name);
  json peaks = json::array();
  for (float peak : read.peaks) peaks.push_back(std::lround(std::min(peak, 1.0f) * 1000));
  json waveform = {{"durationMs", read.durationMs}, {"peaks", peaks}};
  ::mkdir(m_folder.c_str(), 0700);
  platform::ReplaceFile(path, waveform.dump(), 0600, platform::Flush::RenameOnly);
  return waveform;
}

std::optional<long long> VoiceShelf::LengthMs(const std::string& mail, int number) const {
  std::lock_guard lock(m_mutex);
  const auto found = m_lengths.find(LengthKey(mail, number));
  if (found == m_lengths.end()) return std::nullopt;
  return found->second;
}

void VoiceShelf::SetLengthMs(const std::string& mail, int number, long long ms) {
  std::lock_guard lock(m_mutex);
  m_lengths[LengthKey(mail, number)] = ms;
  m_unwritten = true;
  if (std::chrono::steady_clock::now() - m_written >= kLengthsEvery) WriteLengths();
}

void VoiceShelf::WriteLengths() {
  ::mkdir(m_folder.c_str(), 0700);
  platform::ReplaceFile(m_folder + kLengthsFile, json(m_lengths).dump(), 0600,
                        platform::Flush::RenameOnly);
  m_unwritten = false;
  m_written = std::chrono::steady_clock::now();
}

}  // namespace mailhost
