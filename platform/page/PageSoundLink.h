#pragma once
// The wire between mailhost's sound devices and the page that holds the
// person's microphone and speaker. The host implements it over the page's
// session; tests implement it as a scripted page.
//
// Commands go to the page from the UI thread and return at once. What the
// page tells comes to the listener on any thread (the server's), in the
// order the page said it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class PageSoundLink {
 public:
  class Listener {
   public:
    virtual ~Listener() = default;
    // Mono 16-bit samples of the microphone at `rate`; `at` counts the
    // samples the page captured before these, so a chunk lost on the way
    // shows as a gap.
    virtual void Samples(std::uint64_t at, const std::int16_t* samples, std::size_t count,
                         unsigned rate) = 0;
    virtual void CaptureStarted() = 0;
    // The page cannot capture (refused, no microphone), in words for the person.
    virtual void CaptureFailed(const std::string& why) = 0;
    // The browser's audio inputs, by their labels.
    virtual void Inputs(std::vector<std::string> labels) = 0;
    // Play `play` ended by itself, or was stopped on the page (another sound
    // started, the browser refused to play it).
    virtual void PlayEnded(unsigned long play, bool stopped, const std::string& why) = 0;
    // The page that held the sound closed.
    virtual void PageGone() = 0;
  };

  virtual ~PageSoundLink() = default;
  // Null stops the telling; returns when no call to the old one runs.
  virtual void SetListener(Listener* listener) = 0;
  virtual bool Connected() = 0;
  // Capture on or off; `input` indexes the inputs listed, -1 the browser's own choice.
  virtual void Capture(bool on, int input) = 0;
  // One sound at a time: a play replaces the one before.
  virtual void Play(unsigned long play, const std::string& path) = 0;
  virtual void PausePlay(bool paused) = 0;
  virtual void StopPlay() = 0;
};

}  // namespace platform
