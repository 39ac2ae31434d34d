#pragma once
// Sound files for tests: known samples written as WAV or MP3, and read back.
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct Sound {
  int rate = 0;
  int channels = 0;
  std::vector<short> samples;  // interleaved
  long long Frames() const {
    return channels ? static_cast<long long>(samples.size()) / channels : 0;
  }
};

// A rising ramp that wraps: each sample is the one before plus one, so a
// recording shows at a glance whether samples were dropped or repeated.
std::vector<short> Ramp(size_t count, short first = -20000, short last = 20000);
// Positions where a sample is not its predecessor plus one (the wrap counts
// as a step).
size_t RampBreaks(const std::vector<short>& samples, short first = -20000, short last = 20000);

void WriteWav(const std::string& path, const std::vector<short>& samples, int rate = 44100,
              int channels = 1);
// Reads a sound file with libsndfile; rate 0 when it cannot be read.
Sound ReadWav(const std::string& path);
// `seconds` of fn(time in seconds), -1 to 1, as 16-bit samples.
std::vector<short> Signal(int rate, double seconds, const std::function<double(double)>& fn);
// A sine of `amplitude` (0 to 1).
std::vector<short> Tone(int rate, double seconds, double amplitude, double hertz = 440);

// Integrated loudness (LUFS) and true peak (dBTP) of a sound file (WAV or
// MP3), measured by libebur128 over all of it: the reference the add-in's
// figures are held to.
struct Level {
  double lufs = 0;
  double truePeakDbtp = 0;
};
Level MeasureLevel(const std::string& path);

// Speaks `text` into `wav` with espeak-ng (22050 Hz, mono); false when it
// cannot.
bool MakeSpeech(const std::string& text, const std::string& wav);

// Encodes `wav` with the system's MP3 encoder; false when there is none.
bool MakeMp3(const std::string& wav, const std::string& mp3);

}  // namespace testsupport
