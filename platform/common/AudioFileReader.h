#pragma once
// What a sound file holds, read the way the players read it: WAV and other
// PCM files through libsndfile, MP3 through libmpg123 (quietly: a bad file
// is an answer here, not a message on standard error).
#include <optional>
#include <string>

namespace platform {

struct AudioInfo {
  long rate = 0;
  int channels = 0;
  long long frames = 0;
  double Seconds() const { return rate > 0 ? static_cast<double>(frames) / rate : 0; }
};

// Nothing for a file that is missing, empty, or not sound.
std::optional<AudioInfo> ReadAudioInfo(const std::string& path);

}  // namespace platform
