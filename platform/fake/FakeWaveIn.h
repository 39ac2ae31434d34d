#pragma once
// Wave capture in virtual time: a buffer fills 256 / 11,025 s (23 virtual
// ms) after it was added, with the scenario microphone's samples as
// unsigned 8-bit bytes.
#include <map>
#include <string>
#include <vector>

#include "platform/WaveIn.h"
#include "platform/fake/FakeMicrophone.h"
#include "platform/fake/VirtualEventLoop.h"

namespace platform {

class FakeWaveIn : public WaveIn {
 public:
  struct Device {
    std::string name;
    std::uint32_t formats = kFormat1M08;
  };

  FakeWaveIn(VirtualEventLoop& loop, FakeMicrophone& microphone);

  // The devices a test wants, in id order; none at all is allowed.
  void SetDevices(std::vector<Device> devices) { m_devices = std::move(devices); }
  void SetOpenFails(bool fails) { m_openFails = fails; }
  // The device id each Open asked for.
  const std::vector<unsigned>& Opened() const { return m_opened; }

  unsigned DeviceCount() override { return static_cast<unsigned>(m_devices.size()); }
  bool Caps(unsigned id, WaveInCaps* caps) override;
  WaveInHandle Open(unsigned id, const WaveFormat& format) override;
  void Start(WaveInHandle handle) override;
  void Prepare(WaveInHandle, WaveHeader*) override {}
  void AddBuffer(WaveInHandle handle, WaveHeader* header, std::function<void()> onDone) override;
  void Unprepare(WaveInHandle, WaveHeader*) override {}
  void Reset(WaveInHandle handle) override;
  void Close(WaveInHandle handle) override;

 private:
  struct Capture {
    unsigned rate = 11025;
    unsigned long long frame = 0;  // where the microphone stands for this capture
    TimerId pending = 0;
    WaveHeader* header = nullptr;  // the buffer pending fills
  };

  VirtualEventLoop& m_loop;
  FakeMicrophone& m_microphone;
  std::vector<Device> m_devices;
  bool m_openFails = false;
  std::vector<unsigned> m_opened;
  std::map<WaveInHandle, Capture> m_captures;
  WaveInHandle m_next = 1;
};

}  // namespace platform
