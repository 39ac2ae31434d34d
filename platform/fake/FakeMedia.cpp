#include "platform/fake/FakeMedia.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/Error.h"
#include "platform/common/AudioFileReader.h"
#include "platform/common/MediaDeviceBase.h"

namespace platform {

namespace {

constexpr Millis kChunk{1000};

class FakeMediaDevice : public MediaDeviceBase {
 public:
  FakeMediaDevice(VirtualEventLoop& loop, const FakeMicrophone& microphone)
      : MediaDeviceBase(loop), m_loop(loop), m_microphone(microphone) {}
  ~FakeMediaDevice() override { Shutdown(); }

 protected:
  void StartCapture(WavRecording& recording) override {
    m_recording = &recording;
    m_segmentStart = m_loop.Now();
    m_segmentFrames = 0;
    m_inSegment = true;
    m_flushTimer = m_loop.SetTimer(kChunk, true, [this] { Flush(); });
  }

  void PauseCapture() override { EndSegment(); }
  void StopCapture() override {
    EndSegment();
    m_recording = nullptr;
  }

  void StartPlay(const std::string& path, unsigned long play) override {
    // Throws when the file changed since Open and cannot be played now.
    const Millis length{AudioFileReader::Probe(path).DurationMs()};
    m_play = play;
    ArmPlay(length);
  }
  void PausePlay() override {
    m_remaining = std::max(Millis{0}, m_playDue - m_loop.Now());
    m_loop.KillTimer(m_playTimer);
    m_playTimer = 0;
  }
  void ResumePlay() override { ArmPlay(m_remaining); }
  void StopPlay() override {
    m_loop.KillTimer(m_playTimer);
    m_playTimer = 0;
    m_play = 0;
  }

 private:
  void ArmPlay(Millis length) {
    m_playDue = m_loop.Now() + length;
    const unsigned long play = m_play;
    m_playTimer = m_loop.SetTimer(length, false, [this, play] {
      m_playTimer = 0;
      PlayEnded(play);
    });
  }

  // Writes the microphone's samples up to the clock's present. The stream's
  // frame count is the clock's, so a pause skips what was said meanwhile.
  void Flush() {
    // Paused: the clock runs on, the recording does not.
    if (!m_recording || !m_inSegment) return;
    const WavSpec& spec = m_recording->Spec();
    const auto elapsed = static_cast<unsigned long long>((m_loop.Now() - m_segmentStart).count());
    const unsigned long long due = elapsed * spec.rate / 1000;
    const unsigned long long first =
        static_cast<unsigned long long>(m_segmentStart.count()) * spec.rate / 1000;
    std::vector<short> chunk;
    while (m_segmentFrames < due) {
      const unsigned long long count = std::min<unsigned long long>(due - m_segmentFrames, 8192);
      chunk.resize(count * spec.channels);
      for (unsigned long long i = 0; i < count; ++i) {
        const float sample = m_microphone.At(first + m_segmentFrames + i, spec.rate);
        // libsndfile's own scale, so a 16-bit microphone file comes back exact.
        const short value =
            static_cast<short>(std::lrint(std::clamp(sample * 32768.0f, -32768.0f, 32767.0f)));
        for (unsigned c = 0; c < spec.channels; ++c) chunk[i * spec.channels + c] = value;
      }
      m_recording->Append(chunk.data(), static_cast<long long>(count));
      m_segmentFrames += count;
    }
  }

  void EndSegment() {
    Flush();
    m_inSegment = false;
    m_loop.KillTimer(m_flushTimer);
    m_flushTimer = 0;
  }

  VirtualEventLoop& m_loop;
  const FakeMicrophone& m_microphone;
  WavRecording* m_recording = nullptr;
  Millis m_segmentStart{0};
  unsigned long long m_segmentFrames = 0;
  bool m_inSegment = false;
  TimerId m_flushTimer = 0;

  unsigned long m_play = 0;
  TimerId m_playTimer = 0;
  Millis m_playDue{0};
  Millis m_remaining{0};
};

}  // namespace

std::unique_ptr<MediaDevice> FakeMedia::CreateDevice() {
  return std::make_unique<FakeMediaDevice>(m_loop, m_microphone);
}

}  // namespace platform
