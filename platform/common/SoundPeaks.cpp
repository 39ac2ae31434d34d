#include "platform/common/SoundPeaks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/Error.h"
#include "platform/common/Mpg123Decoder.h"

namespace platform {
namespace {

constexpr const char* kNoSound = " holds no MP3 sound.";
// A long message is decoded in parts, one a core: a 45-minute 128 kbit/s
// stereo file takes two seconds of one core. Half a minute is not worth a
// thread.
constexpr unsigned kMostParts = 4;
constexpr long long kFramesPerPart = 1000;

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

Mpg123Handle OpenMono(Bytes& bytes, const std::string& name) {
  Mpg123Handle handle = NewMpg123Decoder(MPG123_MONO, MPG123_MONO_MIX);
  if (mpg123_replace_reader_handle(handle.get(), ReadBytes, SeekBytes, nullptr) != MPG123_OK ||
      mpg123_open_handle(handle.get(), &bytes) != MPG123_OK)
    throw Error("Cannot read " + name + " as MP3 sound.");
  return handle;
}

// The loudest sample of each stretch, from one part of the frames.
struct Part {
  Bytes bytes;
  Mpg123Handle handle;
  long long endFrame;  // the first frame of the next part
  std::vector<int> loudest;
  long long samples = 0;  // decoded
};

void Decode(Part& part, long long expected) {
  const auto buckets = static_cast<long long>(part.loudest.size());
  // Where the part begins, in samples, as the whole is counted.
  long long position = std::max<long long>(0, mpg123_tell(part.handle.get()));
  long long at = std::min(buckets - 1, position * buckets / expected);
  long long atEnd = (at + 1) * expected / buckets;  // the first sample of stretch at + 1
  for (;;) {
    off_t frame = 0;
    unsigned char* audio = nullptr;
    size_t decoded = 0;
    const int rc = mpg123_decode_frame(part.handle.get(), &frame, &audio, &decoded);
    if (rc == MPG123_NEW_FORMAT) continue;
    // MPG123_DONE, or a damaged tail: the waveform shows what there was.
    if (rc != MPG123_OK || frame >= part.endFrame) break;
    const auto* samples = reinterpret_cast<const short*>(audio);
    const auto n = static_cast<long long>(decoded / sizeof(short));
    for (long long i = 0; i < n; ++i, ++position) {
      while (position >= atEnd && at < buckets - 1) atEnd = (++at + 1) * expected / buckets;
      part.loudest[at] = std::max(part.loudest[at], std::abs(static_cast<int>(samples[i])));
    }
    part.samples += n;
  }
}

// Cuts the frames into `share` parts after the first: each from a handle of
// its own, placed at its start by the first part's index, which spares it a
// scan. Fewer parts where a handle cannot be placed.
void AddParts(std::deque<Part>& parts, long long frames, long long share, const std::string& name) {
  Part& first = parts.front();
  off_t* offsets = nullptr;
  off_t step = 0;
  size_t fill = 0;
  if (share < 2 || mpg123_index(first.handle.get(), &offsets, &step, &fill) != MPG123_OK) return;
  for (long long p = 1; p < share; ++p) {
    const long long start = frames * p / share;
    parts.push_back({{first.bytes.data, first.bytes.size}, nullptr, 0, {}});
    Part& next = parts.back();
    next.handle = OpenMono(next.bytes, name);
    if (mpg123_set_index(next.handle.get(), offsets, step, fill) != MPG123_OK ||
        mpg123_seek_frame(next.handle.get(), start, SEEK_SET) < 0) {
      parts.pop_back();
      return;
    }
    parts[parts.size() - 2].endFrame = start;
  }
}

// Every part at once, the first on this thread.
void DecodeParts(std::deque<Part>& parts, long long expected) {
  std::vector<std::thread> others;
  for (std::size_t p = 1; p < parts.size(); ++p) {
    try {
      others.emplace_back([&parts, p, expected] { Decode(parts[p], expected); });
    } catch (const std::system_error&) {
      Decode(parts[p], expected);  // no thread to be had: this one does it
    }
  }
  Decode(parts.front(), expected);
  for (auto& thread : others) thread.join();
}

}  // namespace

SoundPeaks ReadMp3Peaks(const std::uint8_t* data, std::size_t size, std::size_t count,
                        const std::string& name, unsigned cores) {
  std::deque<Part> parts;  // in place: each handle reads through its part's Bytes
  parts.push_back({{data, size}, nullptr, 0, {}});
  Part& first = parts.front();
  first.handle = OpenMono(first.bytes, name);
  mpg123_handle* handle = first.handle.get();
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
    throw Error(name + kNoSound);
  // The frame headers alone: cheap, and exact without an Info tag.
  mpg123_scan(handle);
  const off_t expected = mpg123_length(handle);
  const off_t frames = mpg123_framelength(handle);
  if (expected <= 0 || frames <= 0) throw Error(name + kNoSound);

  if (cores == 0) cores = std::min(kMostParts, std::thread::hardware_concurrency());
  AddParts(parts, frames,
           std::clamp<long long>(frames / kFramesPerPart, 1, std::max(1U, cores)), name);
  parts.back().endFrame = frames + 1;
  for (Part& part : parts) part.loudest.assign(std::max<std::size_t>(count, 1), 0);
  DecodeParts(parts, expected);

  long long samples = 0;
  for (const Part& part : parts) samples += part.samples;
  if (samples == 0) throw Error(name + kNoSound);
  SoundPeaks result;
  result.durationMs = samples * 1000 / rate;
  for (std::size_t i = 0; i < first.loudest.size(); ++i) {
    int peak = 0;
    for (const Part& part : parts) peak = std::max(peak, part.loudest[i]);
    result.peaks.push_back(static_cast<float>(peak) / 32768.0f);
  }
  return result;
}

}  // namespace platform
