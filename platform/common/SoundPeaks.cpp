#include "platform/common/SoundPeaks.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/Error.h"

namespace platform {
namespace {

constexpr const char* kNoSound = " holds no MP3 sound.";

// The bytes as libmpg123 reads a file.
struct Bytes {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
};

ssize_t ReadBytes(void* handle, void* into, size_t want) {
  auto& bytes = *static_cast<Bytes*>(handle);
  const std::size_t n = std::min(want, bytes.size - bytes.at);
  if (n > 0) std::memcpy(into, bytes.data + bytes.at, n);  // no bytes may come as a null pointer
  bytes.at += n;
  return static_cast<ssize_t>(n);
}

off_t SeekBytes(void* handle, off_t offset, int whence) {
  auto& bytes = *static_cast<Bytes*>(handle);
  const off_t base = whence == SEEK_SET   ? 0
                     : whence == SEEK_CUR ? static_cast<off_t>(bytes.at)
                                          : static_cast<off_t>(bytes.size);
  const off_t to = base + offset;
  if (to < 0 || to > static_cast<off_t>(bytes.size)) return -1;
  bytes.at = static_cast<std::size_t>(to);
  return to;
}

struct HandleCloser {
  void operator()(mpg123_handle* handle) const {
    mpg123_close(handle);
    mpg123_delete(handle);
  }
};
using Handle = std::unique_ptr<mpg123_handle, HandleCloser>;

Handle OpenMono(Bytes& bytes, const std::string& name) {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });  // needed before 1.27, harmless after
  int err = MPG123_OK;
  Handle handle(mpg123_new(nullptr, &err));
  if (!handle)
    throw Error("Cannot start the MP3 decoder: " + std::string(mpg123_plain_strerror(err)));
  mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_MONO_MIX, 0);
  mpg123_format_none(handle.get());
  for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
    mpg123_format(handle.get(), rate, MPG123_MONO, MPG123_ENC_SIGNED_16);
  if (mpg123_replace_reader_handle(handle.get(), ReadBytes, SeekBytes, nullptr) != MPG123_OK ||
      mpg123_open_handle(handle.get(), &bytes) != MPG123_OK)
    throw Error("Cannot read " + name + " as MP3 sound.");
  return handle;
}

}  // namespace

SoundPeaks ReadMp3Peaks(const std::uint8_t* data, std::size_t size, std::size_t count,
                        const std::string& name) {
  Bytes bytes{data, size};
  auto handle = OpenMono(bytes, name);
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
    throw Error(name + kNoSound);
  // The frame headers alone: cheap, and exact without an Info tag.
  mpg123_scan(handle.get());
  const off_t expected = mpg123_length(handle.get());
  if (expected <= 0) throw Error(name + kNoSound);

  std::vector<int> loudest(std::max<std::size_t>(count, 1), 0);
  const auto buckets = static_cast<long long>(loudest.size());
  long long sample = 0;
  long long at = 0;
  long long atEnd = expected / buckets;  // the first sample of stretch at + 1
  for (;;) {
    off_t frame = 0;
    unsigned char* audio = nullptr;
    size_t decoded = 0;
    const int rc = mpg123_decode_frame(handle.get(), &frame, &audio, &decoded);
    if (rc == MPG123_NEW_FORMAT) continue;
    // MPG123_DONE, or a damaged tail: the waveform shows what there was.
    if (rc != MPG123_OK) break;
    const auto* samples = reinterpret_cast<const short*>(audio);
    const std::size_t n = decoded / sizeof(short);
    for (std::size_t i = 0; i < n; ++i, ++sample) {
      while (sample >= atEnd && at < buckets - 1) atEnd = (++at + 1) * expected / buckets;
      loudest[at] = std::max(loudest[at], std::abs(static_cast<int>(samples[i])));
    }
  }
  if (sample == 0) throw Error(name + kNoSound);
  SoundPeaks result;
  result.durationMs = sample * 1000 / rate;
  for (int peak : loudest) result.peaks.push_back(static_cast<float>(peak) / 32768.0f);
  return result;
}

}  // namespace platform
