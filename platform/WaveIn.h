#pragma once
// Wave capture for the level meter, shaped like the desktop's waveIn
// functions: devices with their capabilities, open with a format, one
// 256-byte buffer at a time.
//
// Contract for every backend:
// - DeviceCount() devices, ids 0 to count - 1; Caps(id) names each one and
//   says which formats it takes (kFormat1M08: 11,025 Hz mono 8-bit).
// - Open(id, format) returns a handle, 0 when the device cannot be opened.
//   Start begins capture; AddBuffer hands one buffer to fill.
// - A filled buffer has WaveHeader::kDone set in its flags and the handle's
//   onDone runs on the UI loop, never on a device thread. A buffer is filled
//   at the format's real rate: 256 bytes at 11,025 bytes a second take about
//   23 ms (virtual ms for a virtual backend).
// - Reset returns a buffer still queued (done, with what it holds); Close
//   releases the device; after either, no onDone of that handle runs.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace platform {

struct WaveFormat {
  std::uint16_t formatTag = 1;  // PCM
  std::uint16_t channels = 1;
  std::uint32_t samplesPerSec = 11025;
  std::uint32_t avgBytesPerSec = 11025;
  std::uint16_t blockAlign = 1;
  std::uint16_t bitsPerSample = 8;
  std::uint16_t extraSize = 0;
};

struct WaveInCaps {
  std::uint16_t manufacturerId = 0;
  std::uint16_t productId = 0;
  std::uint32_t driverVersion = 0;
  char name[32] = {};
  std::uint32_t formats = 0;
  std::uint16_t channels = 0;
  std::uint16_t reserved = 0;
};

constexpr std::uint32_t kFormat1M08 = 2;

// Caps of a mono device as backends report them; the name is cut to fit.
inline WaveInCaps MonoCaps(const std::string& name, std::uint32_t formats) {
  WaveInCaps caps;
  std::strncpy(caps.name, name.c_str(), sizeof caps.name - 1);
  caps.formats = formats;
  caps.channels = 1;
  return caps;
}

struct WaveHeader {
  static constexpr std::uint32_t kDone = 1;
  std::uint8_t* data = nullptr;
  std::uint32_t bufferLength = 0;
  std::uint32_t bytesRecorded = 0;
  std::uint32_t flags = 0;
};

using WaveInHandle = std::uint32_t;  // 0: none

class WaveIn {
 public:
  virtual ~WaveIn() = default;
  virtual unsigned DeviceCount() = 0;
  virtual bool Caps(unsigned id, WaveInCaps* caps) = 0;
  virtual WaveInHandle Open(unsigned id, const WaveFormat& format) = 0;
  virtual void Start(WaveInHandle handle) = 0;
  virtual void Prepare(WaveInHandle handle, WaveHeader* header) = 0;
  virtual void AddBuffer(WaveInHandle handle, WaveHeader* header,
                         std::function<void()> onDone) = 0;
  virtual void Unprepare(WaveInHandle handle, WaveHeader* header) = 0;
  virtual void Reset(WaveInHandle handle) = 0;
  virtual void Close(WaveInHandle handle) = 0;
};

}  // namespace platform
