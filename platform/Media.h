#pragma once
// The multimedia device the recorder drives: one device per recorder form,
// commanded like the desktop's media control. Properties are set one at a
// time before the command they modify.
//
// Contract for every backend:
// - Commands: "Open", "Close", "play", "Record", "Pause", "Stop", "Save".
//   Wait, Notify and Shareable apply to the next command only, then reset.
// - "Open" opens FileName: with DeviceType "WaveAudio" for recording (the
//   file is created as a WAV when missing), otherwise for playback, the type
//   picked from the file (WAV or MP3). A file that cannot be opened for
//   playback leaves the device not open (no error: the player stays silent);
//   a sound device that cannot be opened throws platform::Error with a
//   description that names it.
// - "Record" records from the capture device into the open file; with
//   RecordMode 1 it overwrites what the file held. After "Pause", "Record"
//   goes on after what was recorded before; a file that cannot be written
//   throws platform::Error naming it. Memory does not grow with the
//   length of a recording: samples go to disk as they come.
// - "Stop" then "Save" with FileName writes a complete WAV file there; with
//   Wait it returns only when the file is on disk.
// - "play" starts playback and returns at once; a play that ends by itself
//   raises Done with code 1 (unless Notify was false for it). "Close" during
//   a play stops it and raises Done with code 2 (superseded).
// - Done and PlayCompleted are delivered on the UI loop, never on a device
//   thread, and never after the device is destroyed.
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
  // cannot be opened.
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
