#include "platform/fake/FakeMedia.h"

#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/Error.h"
#include "platform/common/AudioFileReader.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr int kNewFileRate = 44100;
// How often a running recording catches up with the clock: the samples go
// to disk as time passes, so memory stays flat however long it runs.
constexpr Millis kFlushEvery{1000};

class FakeMediaDevice : public MediaDevice {
 public:
  FakeMediaDevice(VirtualEventLoop& loop, FakeMicrophone& microphone)
      : m_loop(loop), m_microphone(microphone), m_alive(std::make_shared<bool>(true)) {}
  ~FakeMediaDevice() override {
    *m_alive = false;
    StopTimers();
    CloseWriter();
  }

  void SetDeviceType(const std::string& type) override { m_type = type; }
  void SetFileName(const std::string& path) override { m_fileName = path; }
  void SetWait(bool) override {}  // every fake command completes at once
  void SetShareable(bool) override {}
  void SetNotify(bool notify) override { m_notify = notify; }
  void SetRecordMode(int mode) override { m_recordMode = mode; }
  int Mode() const override { return m_mode; }

  void Command(const std::string& command) override {
    const std::optional<bool> notify = m_notify;
    m_notify.reset();
    if (command == "Open") return Open();
    if (command == "Close") return Close();
    if (command == "play") return Play(notify.value_or(true));
    if (command == "Record") return Record();
    if (command == "Pause") return Pause();
    if (command == "Stop") return Stop();
    if (command == "Save") return Save();
    throw Error("The media device does not know the command \"" + command + "\".");
  }

 private:
  void Open() {
    Close();
    std::error_code error;
    if (m_type == "WaveAudio") {
      m_path = m_fileName;
      m_mode = media_mode::kStop;
      return;
    }
    if (!fs::exists(m_fileName, error)) return;
    m_path = m_fileName;
    m_playable = ReadAudioInfo(m_path);
    m_mode = media_mode::kStop;
  }

  void Close() {
    if (m_mode == media_mode::kPlay) {
      StopTimers();
      Post(media_notify::kSuperseded);
    }
    if (m_mode == media_mode::kRecord) CatchUp();
    StopTimers();
    CloseWriter();
    m_mode = media_mode::kNotOpen;
    m_path.clear();
    m_playable.reset();
  }

  void Play(bool notify) {
    if (m_mode == media_mode::kNotOpen) return;
    if (!m_playable) {
      // Not sound: the play ends at once, as a failure.
      if (notify) Post(media_notify::kFailure);
      return;
    }
    m_mode = media_mode::kPlay;
    const auto length = Millis(static_cast<long long>(m_playable->Seconds() * 1000));
    auto alive = m_alive;
    m_playTimer = m_loop.SetTimer(length, false, [this, alive, notify] {
      if (!*alive) return;
      m_playTimer = 0;
      m_mode = media_mode::kStop;
      if (notify && onDone) onDone(media_notify::kSuccessful);
    });
  }

  void Record() {
    if (m_mode == media_mode::kNotOpen || m_path.empty()) return;
    if (m_mode == media_mode::kRecord) return;
    if (!m_writer && !OpenWriter())
      throw Error("Cannot record into " + m_path + ": " + sf_strerror(nullptr));
    m_segmentStart = m_loop.Now();
    m_segmentFrames = 0;
    m_mode = media_mode::kRecord;
    auto alive = m_alive;
    m_flushTimer = m_loop.SetTimer(kFlushEvery, true, [this, alive] {
      if (*alive) CatchUp();
    });
  }

  void Pause() {
    if (m_mode != media_mode::kRecord) return;
    CatchUp();
    StopTimers();
    m_mode = media_mode::kPause;
  }

  void Stop() {
    if (m_mode == media_mode::kRecord) CatchUp();
    if (m_mode == media_mode::kPlay) {
      // A stopped play is over; nothing is told.
      StopTimers();
    }
    StopTimers();
    if (m_mode != media_mode::kNotOpen) m_mode = media_mode::kStop;
  }

  void Save() {
    if (!m_writer && m_recordedFrames == 0) return;
    CloseWriter();
    if (m_fileName.empty() || m_fileName == m_path) return;
    std::error_code error;
    fs::copy_file(m_path, m_fileName, fs::copy_options::overwrite_existing, error);
    if (error) {
      // Half a file would pass for a recording.
      fs::remove(m_fileName, error);
    }
  }

  bool OpenWriter() {
    SF_INFO format{};
    if (m_recordMode != 1) {
      if (auto existing = ReadAudioInfo(m_path)) format.samplerate = static_cast<int>(existing->rate);
    } else {
      SF_INFO probe{};
      if (SNDFILE* old = sf_open(m_path.c_str(), SFM_READ, &probe)) {
        format.samplerate = probe.samplerate;
        sf_close(old);
      }
    }
    m_rate = format.samplerate > 0 ? format.samplerate : kNewFileRate;
    SF_INFO info{};
    info.samplerate = m_rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    m_writer = sf_open(m_path.c_str(), SFM_WRITE, &info);
    if (!m_writer) return false;
    // The header stays right all along, so a file cut short still reads.
    sf_command(m_writer, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    m_recordedFrames = 0;
    return true;
  }

  void CloseWriter() {
    if (m_writer) sf_close(m_writer);
    m_writer = nullptr;
  }

  // Writes the frames the clock has moved past since the last catch-up.
  void CatchUp() {
    if (!m_writer || m_mode != media_mode::kRecord) return;
    const auto elapsed = (m_loop.Now() - m_segmentStart).count();
    const long long due = elapsed * m_rate / 1000;
    std::vector<short> block(4096);
    while (m_segmentFrames < due && m_writer) {
      const auto n = static_cast<size_t>(std::min<long long>(due - m_segmentFrames, block.size()));
      for (size_t i = 0; i < n; ++i)
        block[i] = static_cast<short>(32767 * m_microphone.At(m_recordedFrames + i, m_rate));
      const auto written = sf_write_short(m_writer, block.data(), static_cast<sf_count_t>(n));
      m_segmentFrames += n;
      m_recordedFrames += static_cast<unsigned long long>(std::max<sf_count_t>(written, 0));
      // A full disk ends the recording where it stands; the save finds out.
      if (written < static_cast<sf_count_t>(n)) CloseWriter();
    }
  }

  void StopTimers() {
    if (m_flushTimer) m_loop.KillTimer(m_flushTimer);
    if (m_playTimer) m_loop.KillTimer(m_playTimer);
    m_flushTimer = m_playTimer = 0;
  }

  void Post(int code) {
    auto alive = m_alive;
    m_loop.Post([this, alive, code] {
      if (*alive && onDone) onDone(code);
    });
  }

  VirtualEventLoop& m_loop;
  FakeMicrophone& m_microphone;
  std::shared_ptr<bool> m_alive;
  std::string m_type, m_fileName, m_path;
  std::optional<bool> m_notify;
  int m_recordMode = 0;
  int m_mode = media_mode::kNotOpen;
  std::optional<AudioInfo> m_playable;
  SNDFILE* m_writer = nullptr;
  int m_rate = kNewFileRate;
  Millis m_segmentStart{0};
  long long m_segmentFrames = 0;
  unsigned long long m_recordedFrames = 0;
  TimerId m_flushTimer = 0;
  TimerId m_playTimer = 0;
};

}  // namespace

std::unique_ptr<MediaDevice> FakeMedia::CreateDevice() {
  return std::make_unique<FakeMediaDevice>(m_loop, m_microphone);
}

}  // namespace platform
