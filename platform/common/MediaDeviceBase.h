#pragma once
// What every media backend shares: the properties that apply to one command,
// the modes, the recording file, and the delivery of Done on the UI loop. A
// backend supplies only the moving of samples: capture into the recording,
// and playing a file until it ends.
//
// Ownership of a notification: every play gets a number; a backend reports
// the end of play N with PlayEnded(N) on the loop, and a report for a play
// that was closed, stopped or replaced since is dropped, so a Close is never
// followed by a late Done(1). Posted notifications hold only a weak token,
// so none runs after the device is destroyed.
#include <memory>
#include <string>

#include "platform/EventLoop.h"
#include "platform/Media.h"
#include "platform/common/WavRecording.h"

namespace platform {

class MediaDeviceBase : public MediaDevice {
 public:
  explicit MediaDeviceBase(EventLoop& loop);
  ~MediaDeviceBase() override;

  void SetDeviceType(const std::string& type) override { m_deviceType = type; }
  void SetFileName(const std::string& path) override { m_fileName = path; }
  void SetWait(bool wait) override { m_wait = wait; }
  void SetShareable(bool shareable) override { m_shareable = shareable; }
  void SetNotify(bool notify) override { m_notify = notify; }
  void SetRecordMode(int mode) override { m_recordMode = mode; }
  int Mode() const override { return m_mode; }
  void Command(const std::string& command) override;

 protected:
  // Called from the derived destructor: the base cannot call the backend's
  // overrides once the backend is gone.
  void Shutdown();

  // Starts moving samples from the capture device into `recording`, or goes
  // on after a pause. Throws platform::Error naming a device that cannot be
  // opened. Until StopCapture returns, only the backend touches `recording`.
  virtual void StartCapture(WavRecording& recording) = 0;
  virtual void PauseCapture() = 0;
  virtual void StopCapture() = 0;

  // Starts playing `path` (known to be readable) as play number `play`; the
  // backend calls PlayEnded(play) on the loop when it ends by itself.
  // Throws platform::Error naming a device that cannot be opened, or saying
  // why the file cannot be played after all (changed since Open).
  virtual void StartPlay(const std::string& path, unsigned long play) = 0;
  virtual void PausePlay() = 0;
  virtual void ResumePlay() = 0;
  // Stops at once; returns when nothing of the play runs any more.
  virtual void StopPlay() = 0;

  // On the loop only.
  void PlayEnded(unsigned long play);
  // Play N was stopped from outside the device (the page played another
  // sound): Done says aborted, as for Stop.
  void PlayAborted(unsigned long play);
  EventLoop& Loop() { return m_loop; }
  // A token that dies with the device: what posted tasks check.
  std::weak_ptr<void> AliveToken() const { return m_alive; }

 private:
  void Open();
  void Close();
  void Play(bool notify);
  void Record();
  void Pause();
  void Stop();
  void Save();
  void EndPlay(int code);
  void PlayFinished(unsigned long play, int code);
  void PostDone(int code);

  EventLoop& m_loop;
  std::shared_ptr<int> m_alive = std::make_shared<int>(0);

  std::string m_deviceType;
  std::string m_fileName;
  int m_recordMode = 0;
  bool m_wait = false;
  bool m_shareable = true;
  bool m_notify = true;

  int m_mode = media_mode::kNotOpen;
  std::string m_openPath;
  bool m_forRecording = false;  // opened with DeviceType "WaveAudio"
  bool m_playable = false;
  std::string m_notPlayable;  // why the file opened cannot be played, or ""
  bool m_failedOpen = false;  // the last Open named a file that cannot be played
  bool m_pausedPlay = false;  // the pause is of a play, not of a recording
  bool m_capturing = false;   // between StartCapture and StopCapture
  unsigned long m_play = 0;   // number of the play that runs, 0 for none
  bool m_playNotify = false;
  std::unique_ptr<WavRecording> m_recording;
};

}  // namespace platform
