#include "platform/common/AudioFileReader.h"

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Error.h"
#include "platform/common/Mpg123Decoder.h"

namespace platform {

class AudioFileReader::Source {
 public:
  virtual ~Source() = default;
  virtual long long Read(short* buffer, long long frames) = 0;
};

class AudioFileReader::SndSource : public Source {
 public:
  explicit SndSource(SNDFILE* file) : m_file(file) {}
  ~SndSource() override { sf_close(m_file); }
  long long Read(short* buffer, long long frames) override {
    return sf_readf_short(m_file, buffer, frames);
  }

 private:
  SNDFILE* m_file;
};

class AudioFileReader::Mp3Source : public Source {
 public:
  Mp3Source(Mpg123Handle handle, unsigned channels)
      : m_handle(std::move(handle)), m_channels(channels) {}
  long long Read(short* buffer, long long frames) override {
    const size_t frameBytes = sizeof(short) * m_channels;
    size_t done = 0;
    const size_t want = static_cast<size_t>(frames) * frameBytes;
    while (done < want) {
      size_t got = 0;
      const int rc =
          mpg123_read(m_handle.get(), reinterpret_cast<unsigned char*>(buffer) + done, want - done, &got);
      done += got;
      // A format change mid-stream is not followed: the rest plays as opened.
      if (rc == MPG123_NEW_FORMAT) continue;
      if (rc != MPG123_OK) break;  // MPG123_DONE, or a damaged tail: play what there was
      if (got == 0) break;
    }
    return static_cast<long long>(done / frameBytes);
  }

 private:
  Mpg123Handle m_handle;
  unsigned m_channels;
};

namespace {

bool LooksLikeMp3(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char head[3] = {0, 0, 0};
  const size_t n = std::fread(head, 1, 3, f);
  std::fclose(f);
  if (n < 2) return false;
  if (n == 3 && std::memcmp(head, "ID3", 3) == 0) return true;
  return head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;  // an MPEG frame sync
}

bool IsRiff(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char head[4] = {0, 0, 0, 0};
  const size_t n = std::fread(head, 1, 4, f);
  std::fclose(f);
  return n == 4 && std::memcmp(head, "RIFF", 4) == 0;
}

bool EndsWithMp3(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext == ".mp3";
}

}  // namespace

void AudioFileReader::OpenMp3(const std::string& path) {
  Mpg123Handle handle = NewMpg123Decoder(MPG123_MONO | MPG123_STEREO);
  if (mpg123_open(handle.get(), path.c_str()) != MPG123_OK)
    throw Error("Cannot open the sound file " + path + ".");
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
      channels <= 0)
    throw Error("The sound file " + path + " is not a sound file that can be played.");
  // Fix the format so that no later frame switches it under us.
  mpg123_format_none(handle.get());
  mpg123_format(handle.get(), rate, channels, MPG123_ENC_SIGNED_16);
  mpg123_scan(handle.get());  // an exact length even without an Info tag
  const off_t length = mpg123_length(handle.get());
  m_format = {static_cast<unsigned>(rate), static_cast<unsigned>(channels),
              length > 0 ? static_cast<long long>(length) : 0};
  m_source = std::make_unique<Mp3Source>(std::move(handle), m_format.channels);
}

void AudioFileReader::OpenSnd(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file)
    throw Error("The sound file " + path + " cannot be played: " + sf_strerror(nullptr) + ".");
  if (info.samplerate <= 0 || info.channels <= 0) {
    sf_close(file);
    throw Error("The sound file " + path + " is not a sound file that can be played.");
  }
  m_format = {static_cast<unsigned>(info.samplerate), static_cast<unsigned>(info.channels),
              static_cast<long long>(info.frames)};
  m_source = std::make_unique<SndSource>(file);
}

AudioFileReader::AudioFileReader(const std::string& path) {
  FILE* probe = std::fopen(path.c_str(), "rb");
  if (!probe) throw Error("Cannot open the sound file " + path + ": " + std::strerror(errno));
  const bool empty = std::fgetc(probe) == EOF;
  std::fclose(probe);
  // A voice file cut to nothing (a failed download, a full disk) says so.
  if (empty) throw Error("The sound file " + path + " is empty.");

  if (!IsRiff(path) && (LooksLikeMp3(path) || EndsWithMp3(path)))
    OpenMp3(path);
  else
    OpenSnd(path);
  if (m_format.frames <= 0) {
    m_source.reset();
    throw Error("The sound file " + path + " holds no sound.");
  }
}

AudioFileReader::~AudioFileReader() = default;

long long AudioFileReader::Read(short* buffer, long long frames) {
  return frames > 0 ? m_source->Read(buffer, frames) : 0;
}

AudioFormat AudioFileReader::Probe(const std::string& path) {
  return AudioFileReader(path).Format();
}

}  // namespace platform
