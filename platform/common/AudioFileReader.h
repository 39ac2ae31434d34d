#pragma once
// Reads a sound file in chunks, whatever its kind: WAV (or anything else
// libsndfile knows) or MP3 through libmpg123. Only a small buffer is held, so
// a 45-minute file costs no more memory than a short one.
#include <memory>
#include <string>

namespace platform {

struct AudioFormat {
  unsigned rate = 0;
  unsigned channels = 0;
  // Frames the file holds; for an MP3 without a length tag, an estimate.
  long long frames = 0;
  long long DurationMs() const { return rate ? frames * 1000 / rate : 0; }
};

class AudioFileReader {
 public:
  // Throws platform::Error naming the file when it is missing, unreadable,
  // not sound, or holds no frames.
  explicit AudioFileReader(const std::string& path);
  ~AudioFileReader();
  AudioFileReader(const AudioFileReader&) = delete;
  AudioFileReader& operator=(const AudioFileReader&) = delete;

  const AudioFormat& Format() const { return m_format; }
  // Reads up to `frames` interleaved 16-bit frames; 0 at the end. A file cut
  // short ends where the cut is.
  long long Read(short* buffer, long long frames);

  // The format and length without keeping the file open.
  static AudioFormat Probe(const std::string& path);

 private:
  class Source;
  class SndSource;
  class Mp3Source;
  void OpenMp3(const std::string& path);
  void OpenSnd(const std::string& path);
  std::unique_ptr<Source> m_source;
  AudioFormat m_format;
};

}  // namespace platform
