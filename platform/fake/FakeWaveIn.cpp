#include "platform/fake/FakeWaveIn.h"

#include <algorithm>
#include <cmath>

namespace platform {

FakeWaveIn::FakeWaveIn(VirtualEventLoop& loop, FakeMicrophone& microphone)
    : m_loop(loop), m_microphone(microphone), m_devices{{"Scenario microphone", kFormat1M08}} {}

bool FakeWaveIn::Caps(unsigned id, WaveInCaps* caps) {
  if (id >= m_devices.size() || !caps) return false;
  *caps = MonoCaps(m_devices[id].name, m_devices[id].formats);
  return true;
}

WaveInHandle FakeWaveIn::Open(unsigned id, const WaveFormat& format) {
  m_opened.push_back(id);
  if (m_openFails || id >= m_devices.size() || format.bitsPerSample != 8 || format.channels != 1)
    return 0;
  const WaveInHandle handle = m_next++;
  m_captures[handle].rate = format.samplesPerSec;
  return handle;
}

void FakeWaveIn::Start(WaveInHandle) {}

void FakeWaveIn::AddBuffer(WaveInHandle handle, WaveHeader* header, std::function<void()> onDone) {
  auto found = m_captures.find(handle);
  if (found == m_captures.end() || !header || !header->data) return;
  auto& capture = found->second;
  const auto length = Millis(
      std::max<long long>(1, 1000LL * header->bufferLength / std::max(1u, capture.rate)));
  header->flags &= ~WaveHeader::kDone;
  capture.header = header;
  capture.pending = m_loop.SetTimer(length, false, [this, handle, header, onDone] {
    auto found = m_captures.find(handle);
    if (found == m_captures.end()) return;
    auto& capture = found->second;
    capture.pending = 0;
    capture.header = nullptr;
    for (std::uint32_t i = 0; i < header->bufferLength; ++i) {
      const float x = m_microphone.At(capture.frame + i, capture.rate);
      header->data[i] = static_cast<std::uint8_t>(std::clamp(std::lround(128 + 128 * x), 0L, 255L));
    }
    capture.frame += header->bufferLength;
    header->bytesRecorded = header->bufferLength;
    header->flags |= WaveHeader::kDone;
    if (onDone) onDone();
  });
}

void FakeWaveIn::Reset(WaveInHandle handle) {
  auto found = m_captures.find(handle);
  if (found == m_captures.end()) return;
  auto& capture = found->second;
  if (capture.pending) m_loop.KillTimer(capture.pending);
  capture.pending = 0;
  if (capture.header) {
    capture.header->bytesRecorded = 0;
    capture.header->flags |= WaveHeader::kDone;
    capture.header = nullptr;
  }
}

void FakeWaveIn::Close(WaveInHandle handle) {
  Reset(handle);
  m_captures.erase(handle);
}

}  // namespace platform
