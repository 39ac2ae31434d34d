#include "tests/support/ScriptedPage.h"

#include "platform/common/AudioFileReader.h"

namespace testsupport {

namespace {
constexpr auto kTick = std::chrono::milliseconds(10);
}

const std::vector<std::string>& ScriptedPage::InputLabels() {
  static const std::vector<std::string> labels = {"Built-in Microphone", "USB Headset"};
  return labels;
}

ScriptedPage::ScriptedPage(std::vector<short> signal, unsigned rate)
    : m_signal(std::move(signal)), m_rate(rate) {
  m_thread = std::thread([this] { Run(); });
}

ScriptedPage::~ScriptedPage() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

void ScriptedPage::SetListener(Listener* listener) {
  std::lock_guard lock(m_listenerMutex);
  m_listener = listener;
}

void ScriptedPage::Capture(bool on, int input) {
  std::lock_guard lock(m_mutex);
  m_input = input;
  if (on) {
    m_answer = true;
    if (!m_capture) {
      m_captureStart = Clock::now();
      m_sentAtStart = m_sent;
    }
  }
  m_capture = on;
  m_wake.notify_all();
}

void ScriptedPage::Play(unsigned long play, const std::string& path) {
  const auto format = platform::AudioFileReader::Probe(path);
  std::lock_guard lock(m_mutex);
  m_play = play;
  m_playLeft = std::chrono::milliseconds(format.DurationMs());
  m_playFrom = Clock::now();
  m_playPaused = false;
}

void ScriptedPage::PausePlay(bool paused) {
  std::lock_guard lock(m_mutex);
  if (!m_play || paused == m_playPaused) return;
  if (paused) m_playLeft -= Clock::now() - m_playFrom;
  m_playFrom = Clock::now();
  m_playPaused = paused;
}

void ScriptedPage::StopPlay() {
  std::lock_guard lock(m_mutex);
  m_play = 0;
}

void ScriptedPage::Close() {
  {
    std::lock_guard lock(m_mutex);
    m_connected = false;
    m_capture = false;
    m_play = 0;
  }
  std::lock_guard lock(m_listenerMutex);
  if (m_listener) m_listener->PageGone();
}

void ScriptedPage::StopFromPage() {
  unsigned long play = 0;
  {
    std::lock_guard lock(m_mutex);
    play = m_play;
    m_play = 0;
  }
  std::lock_guard lock(m_listenerMutex);
  if (m_listener && play) m_listener->PlayEnded(play, true, "");
}

int ScriptedPage::Input() {
  std::lock_guard lock(m_mutex);
  return m_input;
}

bool ScriptedPage::Capturing() {
  std::lock_guard lock(m_mutex);
  return m_capture;
}

void ScriptedPage::Run() {
  const std::size_t chunk = m_rate / 10;
  std::vector<std::int16_t> samples(chunk);
  std::uint64_t chunks = 0;
  std::unique_lock lock(m_mutex);
  while (!m_stop) {
    m_wake.wait_for(lock, kTick, [this] { return m_stop; });
    if (m_stop) break;
    // What the page says, in the order a page says it; the listener is
    // called without the page's own lock, as a server's thread would.
    const bool answer = m_answer;
    m_answer = false;
    std::uint64_t at = 0;
    std::size_t ready = 0;
    if (m_capture) {
      const auto elapsed = std::chrono::duration<double>(Clock::now() - m_captureStart).count();
      const auto due = static_cast<std::uint64_t>(elapsed * m_rate);
      if (due >= m_sent - m_sentAtStart + chunk) {
        at = m_sent;
        ready = chunk;
        for (std::size_t i = 0; i < chunk; ++i) samples[i] = m_signal[(at + i) % m_signal.size()];
        m_sent += chunk;
      }
    }
    unsigned long ended = 0;
    if (m_play && !m_playPaused && Clock::now() - m_playFrom >= m_playLeft) {
      ended = m_play;
      m_play = 0;
    }
    lock.unlock();
    {
      std::lock_guard tell(m_listenerMutex);
      if (m_listener) {
        if (answer) {
          m_listener->CaptureStarted();
          m_listener->Inputs(InputLabels());
        }
        const int lose = m_loseEvery;
        if (ready && !(lose && ++chunks % lose == 0))
          m_listener->Samples(at, samples.data(), ready, m_rate);
        if (ended) m_listener->PlayEnded(ended, false, "");
      }
    }
    lock.lock();
  }
}

}  // namespace testsupport
