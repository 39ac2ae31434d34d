#pragma once
// The scenario's one microphone: a WAV file played in a loop from the moment
// it is chosen, or a steady tone before any file, so that a recording always
// holds real samples. Shared by the fake media device and the fake capture
// device; time is the caller's (virtual) frame count.
#include <string>
#include <vector>

namespace platform {

class FakeMicrophone {
 public:
  FakeMicrophone();
  // Loads a WAV file (any rate and channel count; mixed to mono). Throws
  // platform::Error with the file's name when it cannot be read or is empty.
  void Play(const std::string& wavPath);
  // The sample, -1 to 1, at `frame` of a stream running at `rate` Hz,
  // counted from when the stream began.
  float At(unsigned long long frame, unsigned rate) const;
  const std::string& Source() const { return m_source; }

 private:
  std::vector<float> m_samples;  // one second of tone, or the file
  unsigned m_rate = 44100;
  std::string m_source;
};

}  // namespace platform
