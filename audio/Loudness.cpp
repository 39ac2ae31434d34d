#include "audio/Loudness.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/Error.h"

namespace sonvera {

namespace {

// libebur128 interpolates each point between samples from the 13 samples
// around it. The points a loud sample takes part in are measured from these
// frames before it to these after it...
constexpr long long kBefore = 8;
constexpr long long kAfter = 16;
// ... with the history of the interpolator filled first, when it has a gap.
constexpr long long kHistory = 16;
// Measured on past a loud sample, so that its loud neighbours need no
// measurement of their own.
constexpr long long kAhead = 64;
// The limiter sees a peak this long before it comes, and lets the gain come
// back up over about this long after it.
constexpr double kLookAheadSeconds = 0.005;
constexpr double kReleaseSeconds = 0.1;
// Its estimate of the points between samples: a four-times interpolation
// from the frames from kTapsBefore before to kTapsAfter after.
constexpr long long kTapsBefore = 5;
constexpr long long kTapsAfter = 6;
constexpr std::size_t kTaps = kTapsBefore + kTapsAfter + 1;
constexpr std::size_t kPhases = 3;

// A Hann-windowed sinc, each phase summing to one.
using Taps = std::array<std::array<float, kTaps>, kPhases>;
const Taps& InterpolationTaps() {
  static const Taps taps = [] {
    Taps made{};
    for (std::size_t p = 0; p < kPhases; ++p) {
      const double fraction = (p + 1) / 4.0;
      double sum = 0;
      for (std::size_t k = 0; k < kTaps; ++k) {
        const double t = static_cast<double>(k) - kTapsBefore - fraction;
        const double sinc = std::sin(M_PI * t) / (M_PI * t);
        const double window = 0.5 * (1 + std::cos(M_PI * t / (kTapsAfter + 0.5)));
        made[p][k] = static_cast<float>(sinc * window);
        sum += made[p][k];
      }
      for (float& tap : made[p]) tap = static_cast<float>(tap / sum);
    }
    return made;
  }();
  return taps;
}

// How far the interpolation can rise above the samples it is made of.
float InterpolationBound() {
  static const float bound = [] {
    float largest = 0;
    for (const auto& phase : InterpolationTaps()) {
      float sum = 0;
      for (const float tap : phase) sum += std::fabs(tap);
      largest = std::max(largest, sum);
    }
    return largest;
  }();
  return bound;
}

constexpr const char* kCannotMeasure = "The loudness of the recording cannot be measured.";

void Destroy(ebur128_state* state) {
  ebur128_destroy(&state);
}

ebur128_state* Make(unsigned rate, int mode) {
  ebur128_state* state = ebur128_init(1, rate, mode);
  if (!state) throw platform::Error(kCannotMeasure);
  return state;
}

void Feed(ebur128_state* state, const float* frames, long long count) {
  if (count > 0 &&
      ebur128_add_frames_float(state, frames, static_cast<std::size_t>(count)) != EBUR128_SUCCESS)
    throw platform::Error(kCannotMeasure);
}

}  // namespace

LoudnessMeter::LoudnessMeter(unsigned rate)
    // The histogram keeps the meter's memory flat however long the stream.
    : m_loudness(Make(rate, EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM), Destroy),
      m_peaks(Make(rate, EBUR128_MODE_TRUE_PEAK), Destroy) {}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Add(const float* frames, std::size_t count) {
  Feed(m_loudness.get(), frames, static_cast<long long>(count));
  m_pending.insert(m_pending.end(), frames, frames + count);
  Scan(false);
}

void LoudnessMeter::Scan(bool ending) {
  const long long end = m_pendingStart + static_cast<long long>(m_pending.size());
  const long long until = ending ? end : end - kAhead;
  for (long long p = m_scanned; p < until; ++p) {
    // A point between samples rises at most kInterpolationBound times above
    // the samples it is made of, so a sample under this bound cannot make
    // one that passes the highest so far.
    if (std::fabs(*At(p)) * kInterpolationBound <= m_truePeak) continue;
    if (p - kBefore >= m_fedFrom && p + kAfter <= m_fedEnd) continue;
    MeasurePeaks(std::max(0LL, p - kBefore), std::min(end, p + kAhead));
  }
  m_scanned = std::max(m_scanned, until);
  const long long keep = m_scanned - kBefore - kHistory;
  if (keep > m_pendingStart) {
    m_pending.erase(m_pending.begin(), m_pending.begin() + (keep - m_pendingStart));
    m_pendingStart = keep;
  }
}

void LoudnessMeter::MeasurePeaks(long long from, long long end) {
  if (from > m_fedEnd) {
    // The points of the history frames are not counted: the interpolator
    // made them partly from frames long gone.
    const long long history = std::max({0LL, from - kHistory, m_fedEnd});
    Feed(m_peaks.get(), At(history), from - history);
    m_fedFrom = from;
  } else {
    from = m_fedEnd;
  }
  Feed(m_peaks.get(), At(from), end - from);
  m_fedEnd = std::max(m_fedEnd, end);
  double peak = 0;
  if (ebur128_prev_true_peak(m_peaks.get(), 0, &peak) == EBUR128_SUCCESS)
    m_truePeak = std::max(m_truePeak, peak);
}

double LoudnessMeter::IntegratedLufs() {
  double loudness = -HUGE_VAL;
  if (ebur128_loudness_global(m_loudness.get(), &loudness) != EBUR128_SUCCESS) return -HUGE_VAL;
  return loudness;
}

double LoudnessMeter::TruePeak() {
  Scan(true);
  return m_truePeak;
}

double LoudnessMeter::LoudnessGain(const LoudnessTarget& target) {
  const double loudness = IntegratedLufs();
  if (!std::isfinite(loudness)) return 0;
  return std::min(target.integratedLufs - loudness, target.maxGainDb);
}

double LoudnessMeter::Gain(const LoudnessTarget& target) {
  const double gain = LoudnessGain(target);
  if (gain == 0) return 0;
  const double peak = TruePeak();
  if (peak > 0 && 20 * std::log10(peak) + gain > target.truePeakDbtp)
    return target.truePeakDbtp - 20 * std::log10(peak);
  return gain;
}

PeakLimiter::PeakLimiter(unsigned rate, unsigned channels, double gainDb, double ceiling)
    : m_channels(channels),
      m_gain(static_cast<float>(std::pow(10.0, gainDb / 20))),
      m_ceiling(ceiling),
      m_lookAhead(std::max<std::size_t>(1, static_cast<std::size_t>(rate * kLookAheadSeconds))),
      m_release(std::exp(-1 / (rate * kReleaseSeconds))),
      m_frames(std::max<std::size_t>(kTaps, m_lookAhead + kTapsAfter + 1)),
      m_history(2 * m_frames * channels),
      m_heldRing(m_lookAhead + 1, 1.0),
      m_heldSum(static_cast<double>(m_lookAhead + 1)) {}

void PeakLimiter::Add(const float* frames, std::size_t count, std::vector<float>& out) {
  for (std::size_t i = 0; i < count; ++i) Push(frames + i * m_channels, out);
}

void PeakLimiter::Finish(std::vector<float>& out) {
  if (m_end >= 0) return;
  m_end = m_in;
  // Silence after the end lets the last frames through.
  const std::vector<float> silence(m_channels);
  for (std::size_t i = 0; i < m_lookAhead + kTapsAfter; ++i) Push(silence.data(), out);
}

const float* PeakLimiter::Back(std::size_t age) const {
  return m_history.data() + (m_newest + m_frames - age) * m_channels;
}

// The largest of the three points between the frame kTapsAfter back and the
// one after it, on any channel.
float PeakLimiter::Between() const {
  const auto& taps = InterpolationTaps();
  const float* first = Back(kTaps - 1);
  // Most of a voice lies so far under the ceiling that no point between its
  // samples can reach it: those are not worth interpolating.
  float loudest = 0;
  for (std::size_t i = 0; i < kTaps * m_channels; ++i)
    loudest = std::max(loudest, std::fabs(first[i]));
  if (loudest * InterpolationBound() <= m_ceiling) return 0;
  float largest = 0;
  for (unsigned c = 0; c < m_channels; ++c) {
    for (std::size_t p = 0; p < kPhases; ++p) {
      float sum = 0;
      for (std::size_t k = 0; k < kTaps; ++k) sum += taps[p][k] * first[k * m_channels + c];
      largest = std::max(largest, std::fabs(sum));
    }
  }
  return largest;
}

void PeakLimiter::Push(const float* frame, std::vector<float>& out) {
  // Each frame is kept twice, a ring's length apart, so that the last
  // frames always lie in one piece.
  if (++m_newest == m_frames) m_newest = 0;
  float* slot = m_history.data() + m_newest * m_channels;
  for (unsigned c = 0; c < m_channels; ++c)
    slot[c] = slot[m_frames * m_channels + c] = frame[c] * m_gain;
  ++m_in;
  // The frame judged now, its neighbours on both sides known.
  const long long judged = m_in - 1 - kTapsAfter;
  if (judged < 0) return;
  const float between = Between();
  float peak = std::max(m_lastBetween, between);
  for (unsigned c = 0; c < m_channels; ++c) peak = std::max(peak, std::fabs(Back(kTapsAfter)[c]));
  m_lastBetween = between;
  const double wanted = peak > m_ceiling ? m_ceiling / peak : 1;

  // The lowest gain wanted over the look-ahead, let back up slowly, and
  // averaged over the look-ahead: each frame's gain is an average of gains
  // no higher than its own wanted gain, and changes smoothly.
  const auto window = static_cast<long long>(m_lookAhead);
  while (!m_lows.empty() && m_lows.back().second >= wanted) m_lows.pop_back();
  m_lows.emplace_back(judged, wanted);
  while (m_lows.front().first < judged - window) m_lows.pop_front();
  const double low = m_lows.front().second;
  m_held = low < m_held ? low : m_held + (low - m_held) * (1 - m_release);
  double& oldest = m_heldRing[m_heldAt];
  if (++m_heldAt == m_heldRing.size()) m_heldAt = 0;
  m_heldSum += m_held - oldest;
  oldest = m_held;

  const long long leaving = judged - window;
  if (leaving < 0 || (m_end >= 0 && leaving >= m_end)) return;
  const auto gain = static_cast<float>(m_heldSum / static_cast<double>(m_heldRing.size()));
  const float* source = Back(kTapsAfter + m_lookAhead);
  for (unsigned c = 0; c < m_channels; ++c) out.push_back(source[c] * gain);
}

}  // namespace sonvera
