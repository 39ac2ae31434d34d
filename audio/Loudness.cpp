#include "audio/Loudness.h"

#include <algorithm>
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

double LoudnessMeter::Gain(const LoudnessTarget& target) {
  const double loudness = IntegratedLufs();
  if (!std::isfinite(loudness)) return 0;
  const double gain = std::min(target.integratedLufs - loudness, target.maxGainDb);
  const double peak = TruePeak();
  if (peak > 0 && 20 * std::log10(peak) + gain > target.truePeakDbtp)
    return target.truePeakDbtp - 20 * std::log10(peak);
  return gain;
}

}  // namespace sonvera
