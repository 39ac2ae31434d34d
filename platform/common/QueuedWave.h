#pragma once
// A buffer the meter handed a capture device, and how it comes back: filled,
// on the UI loop, or done and empty when the device is reset.
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "platform/WaveIn.h"

namespace platform {

struct QueuedWave {
  WaveHeader* header = nullptr;
  std::uint32_t length = 0;
  std::function<void()> onDone;
  std::uint64_t generation = 0;  // the device's count of resets when it was queued

  // A buffer AddBuffer was handed, made ready to fill whole frames of
  // `channels`; none for a buffer that cannot hold any.
  static std::optional<QueuedWave> Accept(WaveHeader* header, unsigned channels,
                                          std::function<void()> onDone, std::uint64_t generation) {
    if (!header || !header->data || header->bufferLength == 0) return std::nullopt;
    header->flags &= ~WaveHeader::kDone;
    header->bytesRecorded = 0;
    return QueuedWave{header, header->bufferLength - header->bufferLength % channels,
                      std::move(onDone), generation};
  }

  // On the UI loop: the caller's header holds `data`, and the caller hears of it.
  void Fill(const std::vector<std::uint8_t>& data) const {
    std::memcpy(header->data, data.data(), data.size());
    header->bytesRecorded = static_cast<std::uint32_t>(data.size());
    header->flags |= WaveHeader::kDone;
    if (onDone) onDone();
  }
  // Back unheard: done and empty.
  void Return() const {
    header->bytesRecorded = 0;
    header->flags |= WaveHeader::kDone;
  }
};

}  // namespace platform
