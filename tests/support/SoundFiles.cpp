#include "tests/support/SoundFiles.h"

#include <ebur128.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace testsupport {

std::vector<short> Ramp(size_t count, short first, short last) {
  std::vector<short> samples(count);
  int value = first;
  for (auto& s : samples) {
    s = static_cast<short>(value);
    value = value == last ? first : value + 1;
  }
  return samples;
}

size_t RampBreaks(const std::vector<short>& samples, short first, short last) {
  size_t breaks = 0;
  for (size_t i = 1; i < samples.size(); ++i) {
    const int expected = samples[i - 1] == last ? first : samples[i - 1] + 1;
    if (samples[i] != expected) ++breaks;
  }
  return breaks;
}

void WriteWav(const std::string& path, const std::vector<short>& samples, int rate, int channels) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) throw std::runtime_error("cannot write " + path);
  sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);
}

Sound ReadWav(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  Sound sound;
  if (!file) return sound;
  sound.rate = info.samplerate;
  sound.channels = info.channels;
  sound.samples.resize(static_cast<size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_short(file, sound.samples.data(), info.frames);
  sound.samples.resize(static_cast<size_t>(got) * info.channels);
  sf_close(file);
  return sound;
}

std::vector<short> Signal(int rate, double seconds, const std::function<double(double)>& fn) {
  std::vector<short> samples(static_cast<size_t>(rate * seconds));
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] =
        static_cast<short>(std::lround(32767 * std::clamp(fn(double(i) / rate), -1.0, 1.0)));
  return samples;
}

std::vector<short> Tone(int rate, double seconds, double amplitude, double hertz) {
  return Signal(rate, seconds,
                [=](double t) { return amplitude * std::sin(2 * M_PI * hertz * t); });
}

Level MeasureLevel(const std::string& path) {
  SF_INFO info{};
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info),
                                                   sf_close);
  if (!file) throw std::runtime_error("cannot read " + path);
  ebur128_state* state = ebur128_init(static_cast<unsigned>(info.channels),
                                      static_cast<unsigned long>(info.samplerate),
                                      EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
  std::vector<float> frames(4096 * static_cast<size_t>(info.channels));
  sf_count_t got = 0;
  while ((got = sf_readf_float(file.get(), frames.data(), 4096)) > 0)
    ebur128_add_frames_float(state, frames.data(), static_cast<size_t>(got));
  Level level;
  ebur128_loudness_global(state, &level.lufs);
  double peak = 0;
  for (int c = 0; c < info.channels; ++c) {
    double channel = 0;
    ebur128_true_peak(state, static_cast<unsigned>(c), &channel);
    peak = std::max(peak, channel);
  }
  level.truePeakDbtp = 20 * std::log10(peak);
  ebur128_destroy(&state);
  return level;
}

bool MakeSpeech(const std::string& text, const std::string& wav) {
  const std::string command = "espeak-ng -w '" + wav + "' '" + text + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

bool MakeMp3(const std::string& wav, const std::string& mp3) {
  if (std::system("command -v lame >/dev/null 2>&1") != 0) return false;
  const std::string command = "lame --quiet '" + wav + "' '" + mp3 + "'";
  return std::system(command.c_str()) == 0;
}

}  // namespace testsupport
