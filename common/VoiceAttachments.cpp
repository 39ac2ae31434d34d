#include "common/VoiceAttachments.h"

#include <cctype>

namespace sonvera {

bool IsVoiceAttachment(const std::string& fileName) {
  if (fileName.size() < 3) return false;
  std::string last = fileName.substr(fileName.size() - 3);
  for (auto& c : last) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return last == "mp3";
}

}  // namespace sonvera
