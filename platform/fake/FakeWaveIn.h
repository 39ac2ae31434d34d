#pragma once
// Wave capture in virtual time: a buffer fills 256 / 11,025 s (23 virtual
// ms) after it was added, with the scenario microphone's samples as
// unsigned 8-bit bytes.
#include <memory>
#include <string>
#include <vector>

#include "platform/common/CaptureWaveIn.h"
#include "platform/fake/FakeMicrophone.h"
#include "platform/fake/VirtualEventLoop.h"

namespace platform {

class FakeWaveIn : public CaptureWaveIn {
 public:
  using Device = Named;

  FakeWaveIn(VirtualEventLoop& loop, FakeMicrophone& microphone);

  // The devices a test wants, in id order; none at all is allowed.
  void SetDevices(std::vector<Device> devices) { m_devices = std::move(devices); }
  void SetOpenFails(bool fails) { m_openFails = fails; }
  // The device id each Open asked for.
  const std::vector<unsigned>& Opened() const { return m_opened; }

 private:
  std::vector<Named> Names() override;
  std::shared_ptr<Stream> OpenStream(unsigned id, const WaveFormat& format) override;

  VirtualEventLoop& m_loop;
  FakeMicrophone& m_microphone;
  std::vector<Device> m_devices;
  bool m_openFails = false;
  std::vector<unsigned> m_opened;
};

}  // namespace platform
