#pragma once
// The single recorder and player form. Who receives its callbacks is held
// here: the application object, the active mail window and whoever started
// the playback.
#include <memory>

#include "platform/EventLoop.h"

namespace sonvera {

class Amp;
class Insp;

// Told by the recorder when a playback it started has ended.
class PlaybackCaller {
 public:
  virtual ~PlaybackCaller() = default;
  virtual void PlayIsFinished() = 0;
};

class FrmProp {
 public:
  static FrmProp& Instance();

  void Load();
  void Unload();
  bool Loaded() const { return m_loaded; }

  // The recording-limit window timer; killing it when none runs is harmless.
  void KillLimitTimer();

  std::shared_ptr<Amp> AmpRef;
  std::shared_ptr<Insp> ActiveInsp;
  std::shared_ptr<PlaybackCaller> PlayCaller;

 private:
  bool m_loaded = false;
  platform::TimerId m_limitTimer = 0;
};

}  // namespace sonvera
