#pragma once
// The page's microphone and speaker, shared by mailhost's sound devices: the
// recorder and the meter listen to one microphone at once, each at its own
// rate, and the page plays one sound at a time.
//
// Every wait for the page is bounded: a page that does not answer leaves a
// device that hears nothing, never one that hangs.
#include <soxr.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/page/PageSoundLink.h"

namespace platform {

// Mono 16-bit samples from the rate they come at to one rate, chunk by chunk
// (libsoxr); at the same rate they pass untouched. A change of the incoming
// rate starts afresh.
class Resampler {
 public:
  explicit Resampler(unsigned to) : m_to(to) {}
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  unsigned Rate() const { return m_to; }
  // Appends to `out` what `count` samples at `from` make at the target rate.
  void Push(const std::int16_t* in, std::size_t count, unsigned from,
            std::vector<std::int16_t>& out);
  // Appends what the filter still holds, and starts afresh.
  void Flush(std::vector<std::int16_t>& out);

 private:
  unsigned m_to;
  unsigned m_from = 0;
  soxr_t m_soxr = nullptr;
};

class PageSound : private PageSoundLink::Listener {
 public:
  static constexpr const char* kName = "page";
  static constexpr const char* kNoPage =
      "No page is open to record from or to play on: open mailhost's page.";

  // One listener to the microphone. Take and Lost run on the link's threads,
  // one at a time, never after Unlisten returned.
  class Tap {
   public:
    virtual ~Tap() = default;
    virtual void Take(const std::int16_t* samples, std::size_t count, unsigned rate) = 0;
    // The microphone is gone (the page closed, the browser refused it):
    // nothing more comes.
    virtual void Lost() = 0;
  };

  PageSound(EventLoop& loop, PageSoundLink& link);
  ~PageSound() override;
  PageSound(const PageSound&) = delete;
  PageSound& operator=(const PageSound&) = delete;

  bool Connected() { return m_link.Connected(); }

  // On the UI loop. Throws platform::Error when no page is open or the page
  // says it cannot capture; waits for its answer a bounded while only.
  void Listen(Tap* tap);
  void Unlisten(Tap* tap);
  // The browser's inputs by label; empty until the page has listed them.
  std::vector<std::string> Inputs();
  // -1: the browser's own choice.
  void ChooseInput(int index);

  // On the UI loop. `ended(stopped)` runs on the loop when play `play` ends
  // on the page, unless StopPlay came first. Throws platform::Error when no
  // page is open.
  void Play(unsigned long play, const std::string& path, std::function<void(bool stopped)> ended);
  void PausePlay(bool paused);
  void StopPlay();

  // What the person should hear of, on the loop: a microphone lost, a sound
  // the browser would not play.
  std::function<void(const std::string&)> onNotice;

 private:
  enum class Answer { None, Started, Failed };

  void Samples(std::uint64_t at, const std::int16_t* samples, std::size_t count,
               unsigned rate) override;
  void CaptureStarted() override;
  void CaptureFailed(const std::string& why) override;
  void Inputs(std::vector<std::string> labels) override;
  void PlayEnded(unsigned long play, bool stopped, const std::string& why) override;
  void PageGone() override;
  // With m_mutex held: a start waiting hears `why`; a capture that ran is
  // lost for every tap, and the person hears `notice`.
  void FailCapture(const std::string& why, const std::string& notice);
  // On the UI loop: no play any more; gives whom its end is to be told.
  std::function<void(bool)> TakeEnded();
  void Notice(const std::string& text);

  EventLoop& m_loop;
  PageSoundLink& m_link;
  std::shared_ptr<int> m_alive = std::make_shared<int>(0);

  std::mutex m_mutex;
  std::condition_variable m_answered;
  Answer m_answer = Answer::None;
  std::string m_failure;
  bool m_capturing = false;  // the page captures for the taps
  bool m_asked = false;      // the page was asked to capture
  std::vector<Tap*> m_taps;
  std::optional<std::uint64_t> m_next;  // the page's count of the sample expected next
  std::vector<std::string> m_inputs;
  int m_input = -1;

  // UI loop only.
  unsigned long m_play = 0;
  std::function<void(bool)> m_ended;
};

}  // namespace platform
