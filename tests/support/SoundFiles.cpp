#include "tests/support/SoundFiles.h"

#include <sndfile.h>

#include <cstdlib>
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

bool MakeMp3(const std::string& wav, const std::string& mp3) {
  if (std::system("command -v lame >/dev/null 2>&1") != 0) return false;
  const std::string command = "lame --quiet '" + wav + "' '" + mp3 + "'";
  return std::system(command.c_str()) == 0;
}

}  // namespace testsupport
