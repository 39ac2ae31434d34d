#include "platform/linux/AlsaWaveIn.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/Error.h"
#include "platform/common/QueuedWave.h"
#include "platform/linux/AlsaPacer.h"
#include "platform/linux/AlsaTransfer.h"

namespace platform {

namespace {

constexpr unsigned kLatencyUs = 100000;
constexpr std::uint8_t kSilence = 128;  // unsigned 8-bit

std::string HintText(void* hint, const char* id) {
  char* text = snd_device_name_get_hint(hint, id);
  if (!text) return {};
  std::string value = text;
  std::free(text);
  return value;
}

// One open handle. The thread reads into its own buffer; the caller's header
// is touched only on the UI loop, so nothing is shared but the queue.
struct Capture : CaptureWaveIn::Stream, std::enable_shared_from_this<Capture> {
  Capture(EventLoop& loop, snd_pcm_t* pcm, unsigned rate, unsigned channels)
      : loop(loop), pcm(pcm), rate(rate), channels(channels) {}

  void Start() override {
    if (thread.joinable()) return;
    snd_pcm_prepare(pcm);
    thread = std::thread([self = shared_from_this()] { self->Run(self); });
  }

  void AddBuffer(WaveHeader* header, std::function<void()> onDone) override {
    {
      std::lock_guard lock(mutex);
      auto queued = QueuedWave::Accept(header, channels, std::move(onDone), generation);
      if (!queued) return;
      queue.push_back(std::move(*queued));
    }
    wake.notify_all();
  }

  void Reset() override { Halt(); }

  void Close() override {
    Halt();
    closed = true;
    snd_pcm_close(pcm);
  }

  EventLoop& loop;
  snd_pcm_t* pcm;
  unsigned rate;
  unsigned channels;
  std::uint64_t generation = 0;  // UI loop only; Reset makes queued work stale
  bool closed = false;           // UI loop only

  std::mutex mutex;
  std::condition_variable wake;
  std::deque<QueuedWave> queue;
  bool stop = false;
  std::thread thread;

  void Run(const std::shared_ptr<Capture>& self) {
    AlsaPacer pacer(rate, 0.0);
    long long read = 0;
    std::vector<std::uint8_t> buffer;
    for (;;) {
      QueuedWave item;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return stop || !queue.empty(); });
        if (stop) break;
        item = queue.front();
      }
      const long long frames = item.length / channels;
      if (const auto wait = pacer.Wait(read + frames); wait > AlsaPacer::Clock::duration::zero()) {
        std::unique_lock lock(mutex);
        if (wake.wait_for(lock, wait, [&] { return stop; })) break;
      }
      // The null device leaves the buffer as it was: silence unless it speaks.
      buffer.assign(item.length, kSilence);
      TransferFrames(pcm, snd_pcm_readi, buffer.data(), frames, channels);
      read += frames;
      {
        std::lock_guard lock(mutex);
        if (stop) break;
        queue.pop_front();
      }
      loop.Post([self, item, data = buffer] {
        if (!self->closed && item.generation == self->generation) item.Fill(data);
      });
    }
  }

  // Stops the thread; what is still queued comes back done and empty.
  void Halt() {
    {
      std::lock_guard lock(mutex);
      stop = true;
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
    for (const auto& item : queue) item.Return();
    queue.clear();
    stop = false;
    ++generation;
    snd_pcm_drop(pcm);
  }
};

}  // namespace

AlsaWaveIn::AlsaWaveIn(EventLoop& loop, AlsaMedia& media) : m_loop(loop), m_media(media) {}

const std::vector<AlsaWaveIn::Device>& AlsaWaveIn::Devices() {
  if (m_listed) return m_devices;
  m_listed = true;
  const std::string configured = m_media.Devices().capture;
  m_devices.push_back({configured, configured, 0});
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) == 0) {
    for (void** hint = hints; *hint; ++hint) {
      const std::string name = HintText(*hint, "NAME");
      const std::string io = HintText(*hint, "IOID");
      // hw: devices take only their own formats; their plughw: twins convert.
      if (name.empty() || name == "null" || name == configured || (!io.empty() && io != "Input") ||
          name.rfind("hw:", 0) == 0)
        continue;
      std::string description = HintText(*hint, "DESC");
      std::replace(description.begin(), description.end(), '\n', ' ');
      m_devices.push_back({name, description.empty() ? name : description, 0});
    }
    snd_device_name_free_hint(hints);
  }
  for (auto& device : m_devices) {
    if (snd_pcm_t* pcm = OpenDevice(device, WaveFormat{})) {
      device.formats = kFormat1M08;
      snd_pcm_close(pcm);
    }
  }
  return m_devices;
}

snd_pcm_t* AlsaWaveIn::OpenDevice(const Device& device, const WaveFormat& format) {
  if (format.formatTag != 1 || format.bitsPerSample != 8 || format.channels == 0 ||
      format.samplesPerSec == 0)
    return nullptr;
  snd_pcm_t* pcm = nullptr;
  try {
    pcm = m_media.OpenPcm(SND_PCM_STREAM_CAPTURE, device.pcm, SND_PCM_NONBLOCK);
  } catch (const Error&) {
    return nullptr;
  }
  if (snd_pcm_nonblock(pcm, 0) < 0 ||
      snd_pcm_set_params(pcm, SND_PCM_FORMAT_U8, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                         format.samplesPerSec, 1, kLatencyUs) < 0) {
    snd_pcm_close(pcm);
    return nullptr;
  }
  return pcm;
}

std::vector<CaptureWaveIn::Named> AlsaWaveIn::Names() {
  std::vector<Named> names;
  for (const auto& device : Devices()) names.push_back({device.description, device.formats});
  return names;
}

std::shared_ptr<CaptureWaveIn::Stream> AlsaWaveIn::OpenStream(unsigned id,
                                                              const WaveFormat& format) {
  const auto& devices = Devices();
  if (id >= devices.size()) return nullptr;
  snd_pcm_t* pcm = OpenDevice(devices[id], format);
  if (!pcm) return nullptr;
  return std::make_shared<Capture>(m_loop, pcm, format.samplesPerSec, format.channels);
}

}  // namespace platform
