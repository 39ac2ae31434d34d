#include "platform/common/MediaDeviceBase.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/Error.h"

namespace platform {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "" when the file can be played, else why not.
std::string WhyNotPlayable(const std::string& path) {
  try {
    AudioFileReader::Probe(path);
    return "";
  } catch (const Error& e) {
    return e.Description();
  }
}

constexpr const char* kNothingOpen = "No sound file is open to play.";

}  // namespace

MediaDeviceBase::MediaDeviceBase(EventLoop& loop) : m_loop(loop) {}

MediaDeviceBase::~MediaDeviceBase() {
  m_alive.reset();
}

void MediaDeviceBase::Shutdown() {
  if (m_play) StopPlay();
  m_play = 0;
  if (m_capturing) StopCapture();
  m_capturing = false;
  m_recording.reset();
  m_alive.reset();
  m_mode = media_mode::kNotOpen;
}

void MediaDeviceBase::Command(const std::string& command) {
  // Wait, Notify and Shareable hold for this one command, whatever it does.
  const bool notify = m_notify;
  struct Reset {
    MediaDeviceBase* self;
    ~Reset() {
      self->m_wait = false;
      self->m_shareable = true;
      self->m_notify = true;
    }
  } reset{this};
  const std::string name = Lower(command);
  if (name == "open")
    Open();
  else if (name == "close")
    Close();
  else if (name == "play")
    Play(notify);
  else if (name == "record")
    Record();
  else if (name == "pause")
    Pause();
  else if (name == "stop")
    Stop();
  else if (name == "save")
    Save();
  else
    throw Error("The sound device does not know the command \"" + command + "\".");
}

void MediaDeviceBase::Open() {
  if (m_mode != media_mode::kNotOpen) Close();
  m_openPath = m_fileName;
  m_forRecording = Lower(m_deviceType) == "waveaudio";
  m_notPlayable = WhyNotPlayable(m_openPath);
  m_playable = m_notPlayable.empty();
  // A recording target may be missing or junk: recording replaces it.
  if (m_forRecording || m_playable) {
    m_mode = media_mode::kStop;
    m_failedOpen = false;
  } else {
    m_failedOpen = true;
  }
}

void MediaDeviceBase::Close() {
  if (m_play) {
    StopPlay();
    EndPlay(media_notify::kSuperseded);
  }
  if (m_capturing) StopCapture();
  m_capturing = false;
  m_recording.reset();
  m_pausedPlay = false;
  m_failedOpen = false;
  m_mode = media_mode::kNotOpen;
}

void MediaDeviceBase::Play(bool notify) {
  if (m_play && m_pausedPlay) {
    ResumePlay();
    m_pausedPlay = false;
    m_playNotify = notify;
    m_mode = media_mode::kPlay;
    return;
  }
  if (m_play) return;
  // Said at once, so that the caller can say why nothing plays.
  if (m_mode == media_mode::kNotOpen) throw Error(m_failedOpen ? m_notPlayable : kNothingOpen);
  if (!m_playable) throw Error(m_notPlayable);
  if (m_capturing) {
    StopCapture();
    m_capturing = false;
  }
  static unsigned long plays = 0;
  const unsigned long play = ++plays;
  StartPlay(m_openPath, play);
  m_play = play;
  m_playNotify = notify;
  m_pausedPlay = false;
  m_mode = media_mode::kPlay;
}

void MediaDeviceBase::PlayEnded(unsigned long play) {
  PlayFinished(play, media_notify::kSuccessful);
}

void MediaDeviceBase::PlayAborted(unsigned long play) {
  PlayFinished(play, media_notify::kAborted);
}

void MediaDeviceBase::PlayFinished(unsigned long play, int code) {
  if (play == 0 || play != m_play) return;  // closed, stopped or replaced since
  StopPlay();
  m_play = 0;
  m_pausedPlay = false;
  m_mode = media_mode::kStop;
  if (!m_playNotify) return;
  // The handler may close or destroy this device: nothing of it is used after.
  auto done = onDone;
  if (done) done(code);
}

void MediaDeviceBase::EndPlay(int code) {
  m_play = 0;
  m_pausedPlay = false;
  if (m_playNotify) PostDone(code);
}

void MediaDeviceBase::PostDone(int code) {
  std::weak_ptr<void> alive = m_alive;
  m_loop.Post([this, alive, code] {
    if (alive.expired()) return;
    auto done = onDone;
    if (done) done(code);
  });
}

void MediaDeviceBase::Record() {
  if (m_mode == media_mode::kNotOpen || !m_forRecording) return;
  if (m_play) {
    StopPlay();
    EndPlay(media_notify::kAborted);
    m_mode = media_mode::kStop;
  }
  if (m_mode == media_mode::kRecord) return;
  if (!m_recording) {
    if (access(m_openPath.c_str(), F_OK) != 0) WavSpec{}.CreateEmpty(m_openPath);
    const WavSpec spec = WavSpec::Of(m_openPath);
    // A target that cannot be written is told at once, naming the file, so
    // the user does not speak into a recording that can never be saved.
    m_recording = std::make_unique<WavRecording>(m_openPath, spec);
    if (m_recordMode != 1) {
      try {
        AudioFileReader before(m_openPath);
        m_recording->AppendFrom(before);
      } catch (const Error&) {
        // An empty or unreadable target has nothing to keep.
      }
    }
  }
  StartCapture(*m_recording);
  m_capturing = true;
  m_pausedPlay = false;
  m_mode = media_mode::kRecord;
}

void MediaDeviceBase::Pause() {
  if (m_mode == media_mode::kRecord && m_capturing) {
    PauseCapture();
    m_mode = media_mode::kPause;
  } else if (m_mode == media_mode::kPlay && m_play) {
    PausePlay();
    m_pausedPlay = true;
    m_mode = media_mode::kPause;
  }
}

void MediaDeviceBase::Stop() {
  if (m_capturing) {
    StopCapture();
    m_capturing = false;
    m_mode = media_mode::kStop;
  }
  if (m_play) {
    StopPlay();
    EndPlay(media_notify::kAborted);
    m_mode = media_mode::kStop;
  }
}

void MediaDeviceBase::Save() {
  if (m_mode == media_mode::kNotOpen) return;
  Stop();
  const std::string target = m_fileName;
  if (!m_recording) {
    // Nothing recorded: an older file of that name must not pass for this one.
    if (target != m_openPath) std::remove(target.c_str());
    return;
  }
  // The recording ends here whether or not it could be kept.
  const std::unique_ptr<WavRecording> recording = std::move(m_recording);
  try {
    recording->SaveTo(target);
  } catch (const Error&) {
    // An older file of that name must not pass for this recording.
    std::remove(target.c_str());
    throw;
  }
}

}  // namespace platform
