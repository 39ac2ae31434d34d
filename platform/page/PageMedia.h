#pragma once
// The media device on the page: the recording comes from the page's
// microphone, resampled to the format the device was opened with, and a play
// is the page's. What was captured before the page went is kept.
#include <memory>

#include "platform/EventLoop.h"
#include "platform/Media.h"
#include "platform/page/PageSound.h"

namespace platform {

class PageMedia : public Media {
 public:
  PageMedia(EventLoop& loop, PageSound& sound) : m_loop(loop), m_sound(sound) {}
  std::unique_ptr<MediaDevice> CreateDevice() override;

 private:
  EventLoop& m_loop;
  PageSound& m_sound;
};

}  // namespace platform
