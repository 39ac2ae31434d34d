#pragma once
// The media device on ALSA: capture and playback each on a thread of their
// own, samples streamed through libsndfile and libmpg123, so memory does not
// grow with the length of a recording. Notifications reach the UI loop with
// EventLoop::Post.
//
// Devices come from SONVERA_PLAYBACK_DEVICE and SONVERA_CAPTURE_DEVICE
// ("default" when unset). Where "default" cannot be opened because the
// machine has no sound card, ALSA's "null" device stands in and onNotice
// hears it once; any other device that cannot be opened is platform::Error
// naming it.
#include <alsa/asoundlib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/EventLoop.h"
#include "platform/Media.h"

namespace platform {

struct AlsaDevices {
  static constexpr const char* kPlaybackVariable = "SONVERA_PLAYBACK_DEVICE";
  static constexpr const char* kCaptureVariable = "SONVERA_CAPTURE_DEVICE";
  std::string playback = "default";
  std::string capture = "default";
  // ALSA configuration text read on top of the system's, e.g. a file-fed
  // microphone for tests; "" for the system's alone.
  std::string config;
  static AlsaDevices FromEnvironment();
};

class AlsaMedia : public Media {
 public:
  static constexpr const char* kNoSoundCardNotice =
      "There is no sound card here: sound goes to ALSA's null device.";

  explicit AlsaMedia(EventLoop& loop, AlsaDevices devices = AlsaDevices::FromEnvironment());
  ~AlsaMedia() override;
  std::unique_ptr<MediaDevice> CreateDevice() override;

  // Opens a PCM by the rules above; throws platform::Error naming the device.
  snd_pcm_t* OpenPcm(snd_pcm_stream_t stream);
  // `mode` as snd_pcm_open takes it (SND_PCM_NONBLOCK: a busy device fails
  // at once instead of waiting).
  snd_pcm_t* OpenPcm(snd_pcm_stream_t stream, const std::string& name, int mode = 0);
  const AlsaDevices& Devices() const { return m_devices; }

  // Called on the UI thread, at most once a run.
  std::function<void(const std::string&)> onNotice;

 private:
  EventLoop& m_loop;
  AlsaDevices m_devices;
  snd_config_t* m_config = nullptr;
  bool m_noticeGiven = false;
};

}  // namespace platform
