#include "platform/page/PageWaveIn.h"

#include <deque>
#include <mutex>
#include <vector>

#include "platform/Error.h"
#include "platform/common/QueuedWave.h"

namespace platform {

namespace {

// One open handle. The link's thread fills the capture's own bytes; the
// caller's header is touched only on the UI loop.
struct Capture : CaptureWaveIn::Stream, PageSound::Tap, std::enable_shared_from_this<Capture> {
  Capture(EventLoop& loop, PageSound& sound, unsigned rate, unsigned channels)
      : loop(loop), sound(sound), resampler(rate), channels(channels) {}

  void Start() override {
    if (listening) return;
    try {
      sound.Listen(this);
      listening = true;
    } catch (const Error&) {
      // No page, or it cannot capture: the meter hears nothing, as from a
      // silent device; the recorder says why.
    }
  }

  void AddBuffer(WaveHeader* header, std::function<void()> onDone) override {
    std::lock_guard lock(mutex);
    auto queued = QueuedWave::Accept(header, channels, std::move(onDone), generation);
    if (!queued) return;
    queue.push_back(std::move(*queued));
    Deliver();
  }

  void Reset() override {
    if (listening) sound.Unlisten(this);
    listening = false;
    Halt();
  }

  void Close() override {
    Reset();
    closed = true;
  }

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
      loop.Post([self = weak_from_this().lock(), item, data = std::move(data)] {
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
  PageSound& sound;
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

}  // namespace

std::vector<CaptureWaveIn::Named> PageWaveIn::Names() {
  const auto inputs = m_sound.Inputs();
  if (inputs.empty()) return {{kOwnChoice, kFormat1M08}};
  std::vector<Named> names;
  for (const auto& input : inputs) names.push_back({input, kFormat1M08});
  return names;
}

std::shared_ptr<CaptureWaveIn::Stream> PageWaveIn::OpenStream(unsigned id,
                                                              const WaveFormat& format) {
  if (format.formatTag != 1 || format.bitsPerSample != 8 || format.channels == 0 ||
      format.channels > 2 || format.samplesPerSec == 0 || id >= DeviceCount() ||
      !m_sound.Connected())
    return nullptr;
  if (!m_sound.Inputs().empty()) m_sound.ChooseInput(static_cast<int>(id));
  return std::make_shared<Capture>(m_loop, m_sound, format.samplesPerSec, format.channels);
}

}  // namespace platform
