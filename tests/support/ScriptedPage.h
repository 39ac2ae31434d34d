#pragma once
// A page as the sound devices meet it, without a browser: it captures a known
// signal at the real rate once asked (from its own thread, as the server's
// threads would bring it), lists two inputs, and plays a file for as long as
// the file lasts. It can close.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/page/PageSoundLink.h"

namespace testsupport {

class ScriptedPage : public platform::PageSoundLink {
 public:
  static const std::vector<std::string>& InputLabels();

  // `signal` loops at `rate`; chunks of 100 ms.
  ScriptedPage(std::vector<short> signal, unsigned rate);
  ~ScriptedPage() override;

  void SetListener(Listener* listener) override;
  bool Connected() override { return m_connected; }
  void Capture(bool on, int input) override;
  void Play(unsigned long play, const std::string& path) override;
  void PausePlay(bool paused) override;
  void StopPlay() override;

  // Loses every `nth` chunk on the way (0: none).
  void LoseEvery(int nth) { m_loseEvery = nth; }
  // The page closes: the devices hear of it.
  void Close();
  // Another sound of the page stopped the one playing.
  void StopFromPage();

  int Input();
  bool Capturing();

 private:
  using Clock = std::chrono::steady_clock;
  void Run();

  std::vector<short> m_signal;
  unsigned m_rate;
  std::atomic<bool> m_connected{true};
  std::atomic<int> m_loseEvery{0};

  std::mutex m_listenerMutex;
  Listener* m_listener = nullptr;

  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  bool m_capture = false;
  bool m_answer = false;  // a start waits for its answer
  int m_input = -1;
  Clock::time_point m_captureStart;
  std::uint64_t m_sent = 0;  // samples sent since the page opened
  std::uint64_t m_sentAtStart = 0;
  unsigned long m_play = 0;
  Clock::duration m_playLeft{};
  Clock::time_point m_playFrom;
  bool m_playPaused = false;
  std::thread m_thread;
};

}  // namespace testsupport
