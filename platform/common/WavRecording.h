#pragma once
// A recording in progress: samples go straight to a temporary WAV file beside
// the target (or in the temporary folder when that folder is read-only), with
// the header kept right all along, so memory stays flat however long it runs
// and a crash leaves readable samples. SaveTo moves it into place.
#include <sndfile.h>

#include <string>

#include "platform/common/AudioFileReader.h"

namespace platform {

struct WavSpec {
  unsigned rate = 44100;
  unsigned channels = 1;
  int subtype = SF_FORMAT_PCM_16;  // libsndfile's subtype, inside a WAV container

  // The format of an existing WAV file, or 16-bit mono 44,100 Hz when the
  // file is missing or is not a WAV.
  static WavSpec Of(const std::string& path);
  // Creates `path` as an empty WAV of this format; false when it cannot.
  bool CreateEmpty(const std::string& path) const;
};

class WavRecording {
 public:
  // Throws platform::Error when no temporary file can be made.
  WavRecording(const std::string& nearPath, const WavSpec& spec);
  ~WavRecording();
  WavRecording(const WavRecording&) = delete;
  WavRecording& operator=(const WavRecording&) = delete;

  const WavSpec& Spec() const { return m_spec; }
  long long Frames() const { return m_frames; }
  // Interleaved 16-bit frames. A write that fails (disk full) marks the
  // recording failed, keeping the system's reason for SaveTo; it never
  // throws, as it runs on a capture thread.
  void Append(const short* frames, long long count);
  // Appends what a file holds (the insert record mode keeps the old samples).
  void AppendFrom(AudioFileReader& reader);
  bool Failed() const { return m_failed; }

  // Completes the file and moves it to `path`; throws platform::Error with
  // the system's reason ("No space left on device") when it cannot be
  // written. The recording is over afterwards.
  void SaveTo(const std::string& path);

 private:
  WavSpec m_spec;
  std::string m_tempPath;
  SNDFILE* m_file = nullptr;
  long long m_frames = 0;
  bool m_failed = false;
  int m_error = 0;  // errno of the first write that failed
};

}  // namespace platform
