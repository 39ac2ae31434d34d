#pragma once
// Wave capture on ALSA for the level meter: unsigned 8-bit mono, one thread
// per open handle reading one queued buffer at a time, paced to the wall
// clock, each filled buffer handed back on the UI loop.
//
// Device 0 is the media device's capture device (with its fallback to
// "null" on a machine without a sound card); the other capture PCMs that
// ALSA names follow it.
#include <alsa/asoundlib.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/WaveIn.h"
#include "platform/linux/AlsaMedia.h"

namespace platform {

class AlsaWaveIn : public WaveIn {
 public:
  AlsaWaveIn(EventLoop& loop, AlsaMedia& media);
  ~AlsaWaveIn() override;

  unsigned DeviceCount() override;
  bool Caps(unsigned id, WaveInCaps* caps) override;
  WaveInHandle Open(unsigned id, const WaveFormat& format) override;
  void Start(WaveInHandle handle) override;
  void Prepare(WaveInHandle, WaveHeader*) override {}
  void AddBuffer(WaveInHandle handle, WaveHeader* header, std::function<void()> onDone) override;
  void Unprepare(WaveInHandle, WaveHeader*) override {}
  void Reset(WaveInHandle handle) override;
  void Close(WaveInHandle handle) override;

 private:
  struct Capture;
  struct Device {
    std::string pcm;          // the name ALSA opens
    std::string description;  // what the user sees
    std::uint32_t formats = 0;
  };
  const std::vector<Device>& Devices();
  snd_pcm_t* OpenDevice(const Device& device, const WaveFormat& format);

  EventLoop& m_loop;
  AlsaMedia& m_media;
  std::vector<Device> m_devices;
  bool m_listed = false;
  std::map<WaveInHandle, std::shared_ptr<Capture>> m_captures;
  WaveInHandle m_next = 1;
};

}  // namespace platform
