#include "platform/linux/AlsaMedia.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/common/AudioFileReader.h"
#include "platform/common/MediaDeviceBase.h"
#include "platform/linux/AlsaPacer.h"
#include "platform/linux/AlsaTransfer.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
constexpr snd_pcm_uframes_t kChunkFrames = 1024;
constexpr unsigned kLatencyUs = 100000;

// ALSA writes its own complaints to standard error; ours say it better.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

std::string Text(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  return value && *value ? value : fallback;
}

bool MachineHasSoundCard() {
  int card = -1;
  return snd_card_next(&card) == 0 && card >= 0;
}

class AlsaMediaDevice : public MediaDeviceBase {
 public:
  AlsaMediaDevice(EventLoop& loop, AlsaMedia& media) : MediaDeviceBase(loop), m_media(media) {}
  ~AlsaMediaDevice() override { Shutdown(); }

 protected:
  void StartCapture(WavRecording& recording) override {
    if (m_captureThread.joinable()) {
      m_capturePaused = false;  // a resume: the thread was reading all along
      return;
    }
    const WavSpec& spec = recording.Spec();
    snd_pcm_t* pcm = Configure(SND_PCM_STREAM_CAPTURE, spec.rate, spec.channels);
    m_captureStop = false;
    m_capturePaused = false;
    m_captureThread = std::thread([this, pcm, &recording] { Capture(pcm, recording); });
  }
  void PauseCapture() override { m_capturePaused = true; }
  void StopCapture() override {
    {
      std::lock_guard lock(m_mutex);
      m_captureStop = true;
    }
    m_wake.notify_all();
    if (m_captureThread.joinable()) m_captureThread.join();
  }

  void StartPlay(const std::string& path, unsigned long play) override {
    // Throws when the file changed since Open and cannot be played now.
    auto reader = std::make_unique<AudioFileReader>(path);
    snd_pcm_t* pcm =
        Configure(SND_PCM_STREAM_PLAYBACK, reader->Format().rate, reader->Format().channels);
    m_playStop = false;
    m_playPaused = false;
    m_playThread = std::thread(
        [this, pcm, play, r = std::move(reader)]() mutable { Playback(pcm, *r, play); });
  }
  void PausePlay() override {
    std::lock_guard lock(m_mutex);
    m_playPaused = true;
  }
  void ResumePlay() override {
    {
      std::lock_guard lock(m_mutex);
      m_playPaused = false;
    }
    m_wake.notify_all();
  }
  void StopPlay() override {
    {
      std::lock_guard lock(m_mutex);
      m_playStop = true;
    }
    m_wake.notify_all();
    if (m_playThread.joinable()) m_playThread.join();
  }

 private:
  snd_pcm_t* Configure(snd_pcm_stream_t stream, unsigned rate, unsigned channels) {
    snd_pcm_t* pcm = m_media.OpenPcm(stream);
    const int rc = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                                      channels, rate, 1, kLatencyUs);
    if (rc < 0) {
      const std::string name = snd_pcm_name(pcm);
      snd_pcm_close(pcm);
      throw Error("The sound device \"" + name + "\" cannot take " + std::to_string(rate) +
                  " Hz with " + std::to_string(channels) + " channel(s): " + snd_strerror(rc) +
                  ".");
    }
    return pcm;
  }

  // Sleeps up to `wait`, or until `stop` is set.
  bool SleepUnlessStopped(Clock::duration wait, const bool& stop) {
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, wait, [&] { return stop; });
  }

  void Capture(snd_pcm_t* pcm, WavRecording& recording) {
    const unsigned channels = recording.Spec().channels;
    std::vector<short> buffer(kChunkFrames * channels);
    AlsaPacer pacer(recording.Spec().rate, 0.0);
    long long read = 0;
    for (;;) {
      {
        std::lock_guard lock(m_mutex);
        if (m_captureStop) break;
      }
      if (const auto wait = pacer.Wait(read + kChunkFrames); wait > Clock::duration::zero()) {
        if (!SleepUnlessStopped(wait, m_captureStop)) break;
        continue;
      }
      // The null device leaves the buffer as it was: silence unless it speaks.
      std::fill(buffer.begin(), buffer.end(), 0);
      snd_pcm_sframes_t got = snd_pcm_readi(pcm, buffer.data(), kChunkFrames);
      if (got < 0) got = snd_pcm_recover(pcm, static_cast<int>(got), 1);
      if (got < 0) break;
      read += got;
      // A software pause: the device keeps running, the frames are dropped.
      if (!m_capturePaused) recording.Append(buffer.data(), got);
    }
    snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
  }

  void Playback(snd_pcm_t* pcm, AudioFileReader& reader, unsigned long play) {
    const unsigned channels = reader.Format().channels;
    std::vector<short> buffer(kChunkFrames * channels);
    AlsaPacer pacer(reader.Format().rate, 0.2);
    long long written = 0;
    bool stopped = false;
    for (;;) {
      {
        std::unique_lock lock(m_mutex);
        if (m_playPaused) {
          m_wake.wait(lock, [this] { return m_playStop || !m_playPaused; });
          pacer.Restart(written);
        }
        if (m_playStop) {
          stopped = true;
          break;
        }
      }
      if (const auto wait = pacer.Wait(written); wait > Clock::duration::zero()) {
        if (!SleepUnlessStopped(wait, m_playStop)) {
          stopped = true;
          break;
        }
        continue;
      }
      const long long got = reader.Read(buffer.data(), kChunkFrames);
      if (got <= 0) break;
      TransferFrames(pcm, snd_pcm_writei, buffer.data(), got, channels);
      written += got;
    }
    if (stopped) {
      snd_pcm_drop(pcm);
    } else {
      snd_pcm_drain(pcm);  // the last samples are heard before Done says so
    }
    snd_pcm_close(pcm);
    if (!stopped) PostEnd(play);
  }

  // Thread-safe: the check of the token runs on the loop, where the device
  // is destroyed, so it cannot race the destructor.
  void PostEnd(unsigned long play) {
    std::weak_ptr<void> alive = AliveToken();
    Loop().Post([this, alive, play] {
      if (!alive.expired()) PlayEnded(play);
    });
  }

  AlsaMedia& m_media;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::thread m_captureThread;
  bool m_captureStop = false;
  std::atomic<bool> m_capturePaused{false};
  std::thread m_playThread;
  bool m_playStop = false;
  bool m_playPaused = false;
};

}  // namespace

AlsaDevices AlsaDevices::FromEnvironment() {
  AlsaDevices devices;
  devices.playback = Text(kPlaybackVariable, "default");
  devices.capture = Text(kCaptureVariable, "default");
  return devices;
}

AlsaMedia::AlsaMedia(EventLoop& loop, AlsaDevices devices)
    : m_loop(loop), m_devices(std::move(devices)) {
  snd_lib_error_set_handler(QuietAlsa);
  if (m_devices.config.empty()) return;
  snd_input_t* input = nullptr;
  if (snd_config_update() < 0 || snd_config_copy(&m_config, snd_config) < 0 ||
      snd_input_buffer_open(&input, m_devices.config.data(),
                            static_cast<ssize_t>(m_devices.config.size())) < 0)
    throw Error("Cannot read the sound configuration.");
  const int rc = snd_config_load(m_config, input);
  snd_input_close(input);
  if (rc < 0)
    throw Error("Cannot read the sound configuration: " + std::string(snd_strerror(rc)) + ".");
}

AlsaMedia::~AlsaMedia() {
  if (m_config) snd_config_delete(m_config);
}

std::unique_ptr<MediaDevice> AlsaMedia::CreateDevice() {
  return std::make_unique<AlsaMediaDevice>(m_loop, *this);
}

snd_pcm_t* AlsaMedia::OpenPcm(snd_pcm_stream_t stream) {
  return OpenPcm(stream, stream == SND_PCM_STREAM_CAPTURE ? m_devices.capture : m_devices.playback);
}

snd_pcm_t* AlsaMedia::OpenPcm(snd_pcm_stream_t stream, const std::string& name, int mode) {
  auto open = [&](const std::string& device, snd_pcm_t** pcm) {
    return m_config ? snd_pcm_open_lconf(pcm, device.c_str(), stream, mode, m_config)
                    : snd_pcm_open(pcm, device.c_str(), stream, mode);
  };
  snd_pcm_t* pcm = nullptr;
  int rc = open(name, &pcm);
  if (rc >= 0) return pcm;
  if (name == "default" && !MachineHasSoundCard()) {
    if (open("null", &pcm) >= 0) {
      if (!m_noticeGiven) {
        m_noticeGiven = true;
        if (onNotice) onNotice(kNoSoundCardNotice);
      }
      return pcm;
    }
  }
  throw Error("Cannot open the sound device \"" + name + "\": " + snd_strerror(rc) + ".");
}

}  // namespace platform
