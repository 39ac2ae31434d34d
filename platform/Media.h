#pragma once
// The multimedia device the recorder drives: one device per recorder form,
// commanded like the desktop's media control. Properties are set one at a
// time before the command they modify.
//
// Contract for every backend:
// - Commands: "Open", "Close", "play", "Record", "Pause", "Stop", "Save".
//   Wait, Notify and Shareable apply to the next command only, then reset.
// - "Open" opens FileName: with DeviceType "WaveAudio" (the type stays set
//   until changed) for recording, and for playback too when the file is
//   sound; otherwise for playback, the type picked from the file (WAV or
//   MP3). A file that cannot be played (missing, empty, not sound or not
//   decodable) leaves a playback device not open, and the "play" that
//   follows throws platform::Error saying why, at once: no play starts and
//   no Done follows. Open touches no sound device: the command that first
//   needs one ("Record", "play") throws platform::Error naming a device that
//   cannot be opened.
// - "Record" records from the capture device; the file opened is the
//   recording's format and is created (16-bit mono 44,100 Hz) when missing,
//   but is never written to. With RecordMode 1 the recording starts empty,
//   otherwise with what the file held. After "Pause" or "Stop", "Record"
//   goes on after what was recorded before. Memory does not grow with the
//   length of a recording: samples go to disk as they come.
// - "Save" (after "Stop", or stopping itself) writes a complete WAV file at
//   FileName and ends the recording; it returns when the file is on disk,
//   Wait or not. With nothing recorded, or when the file cannot be written,
//   there is no file at FileName afterwards (an older one is removed); when
//   it cannot be written, Save also throws platform::Error with the
//   system's reason ("No space left on device").
// - "play" starts playback and returns at once; a play that ends by itself
//   raises Done with code 1 (unless Notify was false for it). "Close" during
//   a play stops it and raises Done with code 2 (superseded), "Stop" with 4
//   (aborted). "Pause" pauses a play too, and "play" goes on from there.
//   Other commands raise no Done. PlayCompleted belongs to the buttons of a
//   media control, which these devices have none of: it is never raised.
// - Done and PlayCompleted are delivered on the UI loop, never on a device
//   thread, never inside the command, and never after the device is
//   destroyed; a play that was closed or stopped raises nothing later.
// - Shareable is accepted and has no effect: a process has one recorder.
// - Mode() is the device mode: 524 not open, 525 stopped, 526 playing,
//   527 recording, 529 paused.
#include <functional>
#include <memory>
#include <string>

namespace platform {

namespace media_mode {
constexpr int kNotOpen = 524;
constexpr int kStop = 525;
constexpr int kPlay = 526;
constexpr int kRecord = 527;
constexpr int kSeek = 528;
constexpr int kPause = 529;
constexpr int kReady = 530;
}  // namespace media_mode

namespace media_notify {
constexpr int kSuccessful = 1;
constexpr int kSuperseded = 2;
constexpr int kAborted = 4;
constexpr int kFailure = 8;
}  // namespace media_notify

class MediaDevice {
 public:
  virtual ~MediaDevice() = default;

  virtual void SetDeviceType(const std::string& type) = 0;
  virtual void SetFileName(const std::string& path) = 0;
  virtual void SetWait(bool wait) = 0;
  virtual void SetShareable(bool shareable) = 0;
  virtual void SetNotify(bool notify) = 0;
  virtual void SetRecordMode(int mode) = 0;
  virtual int Mode() const = 0;

  // Throws platform::Error for an unknown command or a sound device that
  // cannot be opened; other failures show in Mode and in the files.
  virtual void Command(const std::string& command) = 0;

  // Done(notify code) and PlayCompleted(error code), on the UI loop.
  std::function<void(int)> onDone;
  std::function<void(int)> onPlayCompleted;
};

class Media {
 public:
  virtual ~Media() = default;
  virtual std::unique_ptr<MediaDevice> CreateDevice() = 0;
};

}  // namespace platform
