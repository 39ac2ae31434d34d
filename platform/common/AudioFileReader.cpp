#include "platform/common/AudioFileReader.h"

#include <mpg123.h>
#include <sndfile.h>

#include <cctype>
#include <memory>

namespace platform {

namespace {

std::optional<AudioInfo> ReadPcm(const std::string& path) {
  SF_INFO info{};
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info),
                                                   sf_close);
  if (!file || info.frames <= 0 || info.samplerate <= 0) return std::nullopt;
  return AudioInfo{info.samplerate, info.channels, info.frames};
}

std::optional<AudioInfo> ReadMp3(const std::string& path) {
  std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(mpg123_new(nullptr, nullptr),
                                                                   mpg123_delete);
  if (!handle) return std::nullopt;
  mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  if (mpg123_open(handle.get(), path.c_str()) != MPG123_OK) return std::nullopt;
  long rate = 0;
  int channels = 0, encoding = 0;
  std::optional<AudioInfo> result;
  if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) == MPG123_OK &&
      mpg123_scan(handle.get()) == MPG123_OK) {
    const off_t frames = mpg123_length(handle.get());
    if (frames > 0) result = AudioInfo{rate, channels, static_cast<long long>(frames)};
  }
  mpg123_close(handle.get());
  return result;
}

}  // namespace

std::optional<AudioInfo> ReadAudioInfo(const std::string& path) {
  // libsndfile decodes MP3 too, but loudly on a bad one: voice files go to
  // libmpg123, which can be told to keep quiet.
  std::string tail = path.size() >= 4 ? path.substr(path.size() - 4) : "";
  for (auto& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (tail == ".mp3") return ReadMp3(path);
  if (auto pcm = ReadPcm(path)) return pcm;
  return ReadMp3(path);
}

}  // namespace platform
