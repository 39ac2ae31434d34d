#include "platform/page/PageMedia.h"

#include <mutex>
#include <vector>

#include "platform/common/MediaDeviceBase.h"

namespace platform {

namespace {

class PageMediaDevice : public MediaDeviceBase, private PageSound::Tap {
 public:
  PageMediaDevice(EventLoop& loop, PageSound& sound) : MediaDeviceBase(loop), m_sound(sound) {}
  ~PageMediaDevice() override { Shutdown(); }

 protected:
  void StartCapture(WavRecording& recording) override {
    {
      std::lock_guard lock(m_mutex);
      m_paused = false;
      if (m_recording) return;  // a resume: the page went on capturing
      m_recording = &recording;
      m_resampler = std::make_unique<Resampler>(recording.Spec().rate);
      m_lost = false;
    }
    try {
      m_sound.Listen(this);
    } catch (...) {
      std::lock_guard lock(m_mutex);
      m_recording = nullptr;
      throw;
    }
  }
  // The page goes on capturing: what comes meanwhile is dropped.
  void PauseCapture() override {
    std::lock_guard lock(m_mutex);
    m_paused = true;
  }
  void StopCapture() override {
    m_sound.Unlisten(this);
    std::lock_guard lock(m_mutex);
    if (m_recording && m_resampler && !m_lost) {
      m_samples.clear();
      m_resampler->Flush(m_samples);
      Write();
    }
    m_recording = nullptr;
    m_resampler.reset();
  }

  void StartPlay(const std::string& path, unsigned long play) override {
    std::weak_ptr<void> alive = AliveToken();
    m_sound.Play(play, path, [this, alive, play](bool stopped) {
      if (alive.expired()) return;
      if (stopped)
        PlayAborted(play);
      else
        PlayEnded(play);
    });
  }
  void PausePlay() override { m_sound.PausePlay(true); }
  void ResumePlay() override { m_sound.PausePlay(false); }
  void StopPlay() override { m_sound.StopPlay(); }

 private:
  void Take(const std::int16_t* samples, std::size_t count, unsigned rate) override {
    std::lock_guard lock(m_mutex);
    if (!m_recording || m_lost || m_paused) return;
    m_samples.clear();
    m_resampler->Push(samples, count, rate, m_samples);
    Write();
  }
  void Lost() override {
    std::lock_guard lock(m_mutex);
    m_lost = true;
  }
  // With m_mutex held: m_samples, mono, into the recording's channels.
  void Write() {
    const unsigned channels = m_recording->Spec().channels;
    if (channels == 1) {
      m_recording->Append(m_samples.data(), static_cast<long long>(m_samples.size()));
      return;
    }
    m_frames.resize(m_samples.size() * channels);
    for (std::size_t i = 0; i < m_samples.size(); ++i)
      for (unsigned c = 0; c < channels; ++c) m_frames[i * channels + c] = m_samples[i];
    m_recording->Append(m_frames.data(), static_cast<long long>(m_samples.size()));
  }

  PageSound& m_sound;
  std::mutex m_mutex;
  WavRecording* m_recording = nullptr;
  std::unique_ptr<Resampler> m_resampler;
  std::vector<std::int16_t> m_samples;
  std::vector<short> m_frames;
  bool m_paused = false;
  bool m_lost = false;
};

}  // namespace

std::unique_ptr<MediaDevice> PageMedia::CreateDevice() {
  return std::make_unique<PageMediaDevice>(m_loop, m_sound);
}

}  // namespace platform
