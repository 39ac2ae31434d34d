#include "platform/page/PageWaveIn.h"

#include <deque>
#include <mutex>
#include <vector>

#include "platform/Error.h"
#include "platform/common/QueuedWave.h"

namespace platform {

// One open handle. The link's thread fills the capture's own bytes; the
// caller's header is touched only on the UI loop.
struct PageWaveIn::Capture : PageSound::Tap {
  Capture(EventLoop& loop, unsigned rate, unsigned channels)
      : loop(loop), resampler(rate), channels(channels) {}

  void Take(const std::int16_t* samples, std::size_t count, unsigned rate) override {
    std::lock_guard lock(mutex);
    resampled.clear();
    resampler.Push(samples, count, rate, resampled);
    for (const std::int16_t sample : resampled) {
      const auto byte = static_cast<std::uint8_t>((sample >> 8) + 128);
      for (unsigned c = 0; c < channels; ++c) pending.push_back(byte);
    }
    Deliver();
    // Between buffers the bytes wait, as in a sound card's buffer; a second
    // of them at most, the newest.
    const std::size_t most = static_cast<std::size_t>(resampler.Rate()) * channels;
    if (pending.size() > most) pending.erase(pending.begin(), pending.end() - most);
  }
  void Lost() override {}

  // With the mutex held: fills what is queued from what came.
  void Deliver() {
    while (!queue.empty() && pending.size() >= queue.front().length) {
      QueuedWave item = std::move(queue.front());
      queue.pop_front();
      std::vector<std::uint8_t> data(pending.begin(), pending.begin() + item.length);
      pending.erase(pending.begin(), pending.begin() + item.length);
      loop.Post([self = self.lock(), item, data = std::move(data)] {
        if (self && !self->closed && item.generation == self->generation) item.Fill(data);
      });
    }
  }

  // What is still queued comes back done and empty; nothing of before
  // reaches the caller any more.
  void Halt() {
    std::lock_guard lock(mutex);
    for (const auto& item : queue) item.Return();
    queue.clear();
    pending.clear();
    ++generation;
  }

  EventLoop& loop;
  std::weak_ptr<Capture> self;
  bool listening = false;  // UI loop only
  bool closed = false;     // UI loop only

  std::mutex mutex;
  Resampler resampler;
  unsigned channels;
  std::vector<std::int16_t> resampled;
  std::deque<std::uint8_t> pending;
  std::deque<QueuedWave> queue;
  std::uint64_t generation = 0;  // written on the UI loop under the mutex
};

PageWaveIn::~PageWaveIn() {
  while (!m_captures.empty()) Close(m_captures.begin()->first);
}

unsigned PageWaveIn::DeviceCount() {
  const auto inputs = m_sound.Inputs();
  return inputs.empty() ? 1u : static_cast<unsigned>(inputs.size());
}

bool PageWaveIn::Caps(unsigned id, WaveInCaps* caps) {
  const auto inputs = m_sound.Inputs();
  if (!caps || id >= (inputs.empty() ? 1u : inputs.size())) return false;
  *caps = MonoCaps(inputs.empty() ? kOwnChoice : inputs[id], kFormat1M08);
  return true;
}

WaveInHandle PageWaveIn::Open(unsigned id, const WaveFormat& format) {
  if (format.formatTag != 1 || format.bitsPerSample != 8 || format.channels == 0 ||
      format.channels > 2 || format.samplesPerSec == 0 || id >= DeviceCount() ||
      !m_sound.Connected())
    return 0;
  if (!m_sound.Inputs().empty()) m_sound.ChooseInput(static_cast<int>(id));
  auto capture = std::make_shared<Capture>(m_loop, format.samplesPerSec, format.channels);
  capture->self = capture;
  const WaveInHandle handle = m_next++;
  m_captures[handle] = std::move(capture);
  return handle;
}

void PageWaveIn::Start(WaveInHandle handle) {
  auto found = m_captures.find(handle);
  if (found == m_captures.end() || found->second->listening) return;
  try {
    m_sound.Listen(found->second.get());
    found->second->listening = true;
  } catch (const Error&) {
    // No page, or it cannot capture: the meter hears nothing, as from a
    // silent device; the recorder says why.
  }
}

void PageWaveIn::AddBuffer(WaveInHandle handle, WaveHeader* header, std::function<void()> onDone) {
  auto found = m_captures.find(handle);
  if (found == m_captures.end()) return;
  auto& capture = *found->second;
  std::lock_guard lock(capture.mutex);
  auto queued = QueuedWave::Accept(header, capture.channels, std::move(onDone), capture.generation);
  if (!queued) return;
  capture.queue.push_back(std::move(*queued));
  capture.Deliver();
}

void PageWaveIn::Reset(WaveInHandle handle) {
  auto found = m_captures.find(handle);
  if (found == m_captures.end()) return;
  auto& capture = *found->second;
  if (capture.listening) m_sound.Unlisten(&capture);
  capture.listening = false;
  capture.Halt();
}

void PageWaveIn::Close(WaveInHandle handle) {
  auto found = m_captures.find(handle);
  if (found == m_captures.end()) return;
  Reset(handle);
  found->second->closed = true;
  m_captures.erase(found);
}

}  // namespace platform
