#include "platform/page/PageSound.h"

#include <algorithm>
#include <chrono>

#include "platform/Error.h"

namespace platform {

namespace {

// How long a start waits for the page to say whether it captures. A person
// still deciding on the browser's question takes longer: the recording then
// starts when the samples come, and a refusal is told as a notice.
constexpr auto kAnswerWait = std::chrono::milliseconds(1500);
// A gap the page reports is filled with silence up to this many seconds; a
// count beyond it is no gap a page makes.
constexpr std::uint64_t kLongestGapSeconds = 2;
constexpr unsigned kLowestRate = 8000;
constexpr unsigned kHighestRate = 192000;
constexpr const char* kPageClosed =
    "The page closed: what was recorded until then is kept, and nothing more.";

}  // namespace

Resampler::~Resampler() {
  if (m_soxr) soxr_delete(m_soxr);
}

void Resampler::Push(const std::int16_t* in, std::size_t count, unsigned from,
                     std::vector<std::int16_t>& out) {
  if (from != m_from) {
    Flush(out);
    m_from = from;
  }
  if (from == m_to) {
    out.insert(out.end(), in, in + count);
    return;
  }
  if (!m_soxr) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    m_soxr = soxr_create(from, m_to, 1, &error, &io, &quality, nullptr);
    if (error) {
      m_soxr = nullptr;
      return;
    }
  }
  const std::size_t room = count * m_to / from + 64;
  std::size_t used = 0;
  while (used < count) {
    const std::size_t start = out.size();
    out.resize(start + room);
    std::size_t took = 0;
    std::size_t made = 0;
    soxr_process(m_soxr, in + used, count - used, &took, out.data() + start, room, &made);
    out.resize(start + made);
    used += took;
    if (took == 0 && made == 0) break;
  }
}

void Resampler::Flush(std::vector<std::int16_t>& out) {
  if (!m_soxr) return;
  for (;;) {
    const std::size_t start = out.size();
    constexpr std::size_t kRoom = 4096;
    out.resize(start + kRoom);
    std::size_t made = 0;
    soxr_process(m_soxr, nullptr, 0, nullptr, out.data() + start, kRoom, &made);
    out.resize(start + made);
    if (made == 0) break;
  }
  soxr_delete(m_soxr);
  m_soxr = nullptr;
}

PageSound::PageSound(EventLoop& loop, PageSoundLink& link) : m_loop(loop), m_link(link) {
  m_link.SetListener(this);
}

PageSound::~PageSound() {
  m_link.SetListener(nullptr);
  bool capturing = false;
  {
    std::lock_guard lock(m_mutex);
    capturing = m_asked;
  }
  if (capturing) m_link.Capture(false, m_input);
  if (m_play) m_link.StopPlay();
  m_alive.reset();
}

void PageSound::Listen(Tap* tap) {
  if (!m_link.Connected()) throw Error(kNoPage);
  std::unique_lock lock(m_mutex);
  if (!m_capturing) {
    m_answer = Answer::None;
    m_next.reset();
    const int input = m_input;
    m_asked = true;
    lock.unlock();
    m_link.Capture(true, input);
    lock.lock();
    m_answered.wait_for(lock, kAnswerWait, [this] { return m_answer != Answer::None; });
    if (m_answer == Answer::Failed) {
      const std::string why = m_failure;
      m_asked = false;
      lock.unlock();
      m_link.Capture(false, input);
      throw Error(why);
    }
    m_capturing = true;
  }
  if (std::find(m_taps.begin(), m_taps.end(), tap) == m_taps.end()) m_taps.push_back(tap);
}

void PageSound::Unlisten(Tap* tap) {
  std::unique_lock lock(m_mutex);
  m_taps.erase(std::remove(m_taps.begin(), m_taps.end(), tap), m_taps.end());
  // The page is told even when its microphone was lost since: it may have
  // come back on its own.
  if (!m_taps.empty() || !m_asked) return;
  m_asked = false;
  m_capturing = false;
  const int input = m_input;
  lock.unlock();
  m_link.Capture(false, input);
}

std::vector<std::string> PageSound::Inputs() {
  std::lock_guard lock(m_mutex);
  return m_inputs;
}

void PageSound::ChooseInput(int index) {
  std::unique_lock lock(m_mutex);
  if (index == m_input) return;
  m_input = index;
  const bool capturing = m_capturing;
  lock.unlock();
  if (capturing) m_link.Capture(true, index);
}

void PageSound::Play(unsigned long play, const std::string& path,
                     std::function<void(bool stopped)> ended) {
  if (!m_link.Connected()) throw Error(kNoPage);
  m_play = play;
  m_ended = std::move(ended);
  m_link.Play(play, path);
}

void PageSound::PausePlay(bool paused) {
  if (m_play) m_link.PausePlay(paused);
}

void PageSound::StopPlay() {
  if (!m_play) return;
  m_play = 0;
  m_ended = nullptr;
  m_link.StopPlay();
}

void PageSound::Samples(std::uint64_t at, const std::int16_t* samples, std::size_t count,
                        unsigned rate) {
  if (rate < kLowestRate || rate > kHighestRate) return;
  std::lock_guard lock(m_mutex);
  if (!m_capturing && m_answer != Answer::None) return;
  if (m_next && at < *m_next) {
    // Already heard: only what lies past it is new.
    const std::uint64_t seen = *m_next - at;
    if (seen >= count) return;
    samples += seen;
    count -= seen;
    at = *m_next;
  }
  if (m_next && at > *m_next) {
    const std::vector<std::int16_t> silence(
        static_cast<std::size_t>(std::min<std::uint64_t>(at - *m_next, kLongestGapSeconds * rate)),
        0);
    for (Tap* tap : m_taps) tap->Take(silence.data(), silence.size(), rate);
  }
  m_next = at + count;
  for (Tap* tap : m_taps) tap->Take(samples, count, rate);
}

void PageSound::CaptureStarted() {
  std::lock_guard lock(m_mutex);
  m_answer = Answer::Started;
  m_answered.notify_all();
}

void PageSound::CaptureFailed(const std::string& why) {
  std::lock_guard lock(m_mutex);
  FailCapture(why, why);
}

void PageSound::Inputs(std::vector<std::string> labels) {
  std::lock_guard lock(m_mutex);
  m_inputs = std::move(labels);
}

void PageSound::PlayEnded(unsigned long play, bool stopped, const std::string& why) {
  std::weak_ptr<void> alive = m_alive;
  m_loop.Post([this, alive, play, stopped, why] {
    if (alive.expired() || play != m_play) return;
    auto ended = TakeEnded();
    m_link.StopPlay();  // the page is done with it
    if (!why.empty() && onNotice) onNotice(why);
    if (ended) ended(stopped);
  });
}

void PageSound::PageGone() {
  {
    std::lock_guard lock(m_mutex);
    FailCapture(kNoPage, kPageClosed);
  }
  std::weak_ptr<void> alive = m_alive;
  m_loop.Post([this, alive] {
    if (alive.expired() || !m_play) return;
    if (auto ended = TakeEnded()) ended(true);
  });
}

void PageSound::FailCapture(const std::string& why, const std::string& notice) {
  m_answer = Answer::Failed;
  m_failure = why;
  m_answered.notify_all();
  // A capture that ran is lost: its taps and the person hear of it.
  if (m_capturing) {
    m_capturing = false;
    for (Tap* tap : m_taps) tap->Lost();
    Notice(notice);
  }
}

std::function<void(bool)> PageSound::TakeEnded() {
  auto ended = std::move(m_ended);
  m_play = 0;
  m_ended = nullptr;
  return ended;
}

void PageSound::Notice(const std::string& text) {
  std::weak_ptr<void> alive = m_alive;
  m_loop.Post([this, alive, text] {
    if (!alive.expired() && onNotice) onNotice(text);
  });
}

}  // namespace platform
