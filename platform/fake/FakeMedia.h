#pragma once
// The media device on virtual time. A recording of N virtual seconds holds N
// seconds of the microphone's samples, written to disk in one-second chunks
// as the clock moves (and on Pause, Stop and Save), so a 45-minute recording
// costs no more memory than a short one. A play lasts the file's duration on
// the virtual clock.
#include <memory>

#include "platform/Media.h"
#include "platform/fake/FakeMicrophone.h"
#include "platform/fake/VirtualEventLoop.h"

namespace platform {

class FakeMedia : public Media {
 public:
  FakeMedia(VirtualEventLoop& loop, const FakeMicrophone& microphone)
      : m_loop(loop), m_microphone(microphone) {}
  std::unique_ptr<MediaDevice> CreateDevice() override;

 private:
  VirtualEventLoop& m_loop;
  const FakeMicrophone& m_microphone;
};

}  // namespace platform
