#include "platform/fake/FakeWaveIn.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// One open handle: a buffer waits on a virtual timer, then holds the
// microphone's next samples.
class Capture : public CaptureWaveIn::Stream, public std::enable_shared_from_this<Capture> {
 public:
  Capture(VirtualEventLoop& loop, FakeMicrophone& microphone, unsigned rate)
      : m_loop(loop), m_microphone(microphone), m_rate(rate) {}

  void Start() override {}

  void AddBuffer(WaveHeader* header, std::function<void()> onDone) override {
    if (!header || !header->data) return;
    const auto length =
        Millis(std::max<long long>(1, 1000LL * header->bufferLength / std::max(1u, m_rate)));
    header->flags &= ~WaveHeader::kDone;
    m_header = header;
    // Reset kills only the latest timer: one of an earlier buffer may outlive
    // the capture.
    m_pending = m_loop.SetTimer(length, false, [weak = weak_from_this(), header, onDone] {
      if (const auto self = weak.lock()) self->Fill(header, onDone);
    });
  }

  void Reset() override {
    if (m_pending) m_loop.KillTimer(m_pending);
    m_pending = 0;
    if (m_header) {
      m_header->bytesRecorded = 0;
      m_header->flags |= WaveHeader::kDone;
      m_header = nullptr;
    }
  }

  void Close() override { Reset(); }

 private:
  void Fill(WaveHeader* header, const std::function<void()>& onDone) {
    m_pending = 0;
    m_header = nullptr;
    for (std::uint32_t i = 0; i < header->bufferLength; ++i) {
      const float x = m_microphone.At(m_frame + i, m_rate);
      header->data[i] = static_cast<std::uint8_t>(std::clamp(std::lround(128 + 128 * x), 0L, 255L));
    }
    m_frame += header->bufferLength;
    header->bytesRecorded = header->bufferLength;
    header->flags |= WaveHeader::kDone;
    if (onDone) onDone();
  }

  VirtualEventLoop& m_loop;
  FakeMicrophone& m_microphone;
  unsigned m_rate;
  unsigned long long m_frame = 0;  // where the microphone stands for this capture
  TimerId m_pending = 0;
  WaveHeader* m_header = nullptr;  // the buffer pending fills
};

}  // namespace

FakeWaveIn::FakeWaveIn(VirtualEventLoop& loop, FakeMicrophone& microphone)
    : m_loop(loop), m_microphone(microphone), m_devices{{"Scenario microphone", kFormat1M08}} {}

std::vector<CaptureWaveIn::Named> FakeWaveIn::Names() {
  return m_devices;
}

std::shared_ptr<CaptureWaveIn::Stream> FakeWaveIn::OpenStream(unsigned id,
                                                              const WaveFormat& format) {
  m_opened.push_back(id);
  if (m_openFails || id >= m_devices.size() || format.bitsPerSample != 8 || format.channels != 1)
    return nullptr;
  return std::make_shared<Capture>(m_loop, m_microphone, format.samplesPerSec);
}

}  // namespace platform
