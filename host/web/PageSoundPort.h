#pragma once
// The page's end of mailhost's sound devices. What the page should do (capture,
// from which input; play which sound, paused or not) goes out in the state the
// page follows; what the page says comes in as requests of its session, under
// the page's guard: microphone samples as POSTs of 16-bit PCM numbered by
// their first sample, and reports. The page that holds the sound is the one
// whose event stream opened last; when it closes, or another takes over, the
// devices hear that it is gone.
#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/page/PageSoundLink.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace mailhost {

class PageServer;

class PageSoundPort : public platform::PageSoundLink {
 public:
  explicit PageSoundPort(platform::EventLoop& loop) : m_loop(loop) {}

  // Runs on the UI thread when what the page should do changed.
  void OnChange(std::function<void()> changed) { m_changed = std::move(changed); }
  // What the page should do, for the state it follows.
  nlohmann::json StateJson();
  void Serve(PageServer& server);
  // A page's event stream opened or closed; `page` is its own random name.
  void Follows(const std::string& page, bool open);

  void SetListener(Listener* listener) override;
  bool Connected() override;
  void Capture(bool on, int input) override;
  void Play(unsigned long play, const std::string& path) override;
  void PausePlay(bool paused) override;
  void StopPlay() override;

  // What a page reports (a JSON object), from the page named `page`; false
  // when it is no report this port knows.
  bool Report(const std::string& page, const nlohmann::json& report);
  // Samples from the page named `page`: `bytes` of 16-bit little-endian PCM.
  bool Samples(const std::string& page, std::uint64_t at, unsigned rate, const std::string& bytes);

 private:
  // The routes of Serve, each with its request's body read.
  void TakeSamples(const httplib::Request& req, httplib::Response& res, const std::string& body);
  void TakeReport(const httplib::Request& req, httplib::Response& res, const std::string& body);
  // The file of the sound the asking page may stream now, or "".
  std::string PlayingPath(const httplib::Request& req);

  // With m_mutex held.
  bool IsSoundPage(const std::string& page) const;
  void Changed(bool onUi);
  // Calls `tell` with the listener, if any, so that SetListener(nullptr)
  // waits for it.
  void Tell(const std::function<void(Listener&)>& tell);

  platform::EventLoop& m_loop;
  std::function<void()> m_changed;

  std::mutex m_listenerMutex;
  Listener* m_listener = nullptr;

  std::mutex m_mutex;
  std::vector<std::string> m_pages;  // open event streams, oldest first
  bool m_capture = false;
  int m_input = -1;
  std::uint64_t m_captureSerial = 0;  // a new start or input: the page starts afresh
  unsigned long m_play = 0;
  std::string m_playPath;
  bool m_paused = false;
};

}  // namespace mailhost
