#pragma once
// The media device in virtual time: a recording of N virtual seconds holds
// N seconds of the scenario microphone's samples, written to disk as the
// clock moves; a play lasts as long as its file and then says Done.
#include <memory>

#include "platform/Media.h"
#include "platform/fake/FakeMicrophone.h"
#include "platform/fake/VirtualEventLoop.h"

namespace platform {

class FakeMedia : public Media {
 public:
  FakeMedia(VirtualEventLoop& loop, FakeMicrophone& microphone)
      : m_loop(loop), m_microphone(microphone) {}
  std::unique_ptr<MediaDevice> CreateDevice() override;

 private:
  VirtualEventLoop& m_loop;
  FakeMicrophone& m_microphone;
};

}  // namespace platform
