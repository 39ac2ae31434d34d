#pragma once
// Wave capture for the level meter from the page's microphone: the same
// stream the recorder hears, resampled to the format opened, unsigned 8-bit,
// one queued buffer at a time, each filled buffer handed back on the UI loop.
// The devices are the browser's audio inputs by label (one, the browser's
// own choice, until the page has listed them); opening one switches the
// page's microphone to it.
#include <memory>

#include "platform/EventLoop.h"
#include "platform/common/CaptureWaveIn.h"
#include "platform/page/PageSound.h"

namespace platform {

class PageWaveIn : public CaptureWaveIn {
 public:
  static constexpr const char* kOwnChoice = "The page's microphone";

  PageWaveIn(EventLoop& loop, PageSound& sound) : m_loop(loop), m_sound(sound) {}

 private:
  std::vector<Named> Names() override;
  std::shared_ptr<Stream> OpenStream(unsigned id, const WaveFormat& format) override;

  EventLoop& m_loop;
  PageSound& m_sound;
};

}  // namespace platform
