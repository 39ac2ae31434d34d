#pragma once
// Wave capture on ALSA for the level meter: unsigned 8-bit mono, one thread
// per open handle reading one queued buffer at a time, paced to the wall
// clock, each filled buffer handed back on the UI loop.
//
// Device 0 is the media device's capture device (with its fallback to
// "null" on a machine without a sound card); the other capture PCMs that
// ALSA names follow it.
#include <alsa/asoundlib.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/common/CaptureWaveIn.h"
#include "platform/linux/AlsaMedia.h"

namespace platform {

class AlsaWaveIn : public CaptureWaveIn {
 public:
  AlsaWaveIn(EventLoop& loop, AlsaMedia& media);

 private:
  struct Device {
    std::string pcm;          // the name ALSA opens
    std::string description;  // what the user sees
    std::uint32_t formats = 0;
  };
  const std::vector<Device>& Devices();
  snd_pcm_t* OpenDevice(const Device& device, const WaveFormat& format);
  std::vector<Named> Names() override;
  std::shared_ptr<Stream> OpenStream(unsigned id, const WaveFormat& format) override;

  EventLoop& m_loop;
  AlsaMedia& m_media;
  std::vector<Device> m_devices;
  bool m_listed = false;
};

}  // namespace platform
