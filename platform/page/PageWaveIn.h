#pragma once
// Wave capture for the level meter from the page's microphone: the same
// stream the recorder hears, resampled to the format opened, unsigned 8-bit,
// one queued buffer at a time, each filled buffer handed back on the UI loop.
// The devices are the browser's audio inputs by label (one, the browser's
// own choice, until the page has listed them); opening one switches the
// page's microphone to it.
#include <map>
#include <memory>

#include "platform/EventLoop.h"
#include "platform/WaveIn.h"
#include "platform/page/PageSound.h"

namespace platform {

class PageWaveIn : public WaveIn {
 public:
  static constexpr const char* kOwnChoice = "The page's microphone";

  PageWaveIn(EventLoop& loop, PageSound& sound) : m_loop(loop), m_sound(sound) {}
  ~PageWaveIn() override;

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

  EventLoop& m_loop;
  PageSound& m_sound;
  std::map<WaveInHandle, std::shared_ptr<Capture>> m_captures;
  WaveInHandle m_next = 1;
};

}  // namespace platform
