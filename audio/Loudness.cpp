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
// Blocks a BackgroundMeter lets wait before Add waits in turn.
constexpr std::size_t kWaitingBlocks = 8;

// The frames as one channel, as the encoder mixes them down.
const float* MixToMono(const float* frames, std::size_t count, unsigned channels,
                       std::vector<float>& mono) {
  if (channels == 1) return frames;
  mono.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    float sum = 0;
    for (unsigned c = 0; c < channels; ++c) sum += frames[i * channels + c];
    mono[i] = sum / static_cast<float>(channels);
  }
  return mono.data();
}

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

// The forecast's blocks: their loudness from the absolute gate up, and how
// far their peak rises above it, in steps of these many dB.
constexpr double kGateLufs = -70;
constexpr double kLevelStep = 0.25;
constexpr std::size_t kLevels = 320;
constexpr double kRiseStep = 0.5;
constexpr std::size_t kRises = 80;
// How much of what a block's peak passes the ceiling by the limiter takes
// from the block's loudness: it holds the gain down from the first peak of a
// syllable to a while after its last, but the quieter frames between matter
// less.
constexpr double kLimitedShare = 0.7;

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

LoudnessMeter::LoudnessMeter(unsigned rate, bool forecast)
    // The histogram keeps the meter's memory flat however long the stream.
    : m_loudness(Make(rate, EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM), Destroy),
      m_peaks(Make(rate, EBUR128_MODE_TRUE_PEAK), Destroy) {
  if (!forecast) return;
  m_blocks.assign(kLevels * kRises, 0);
  m_hop = std::max<std::size_t>(1, rate / 10);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Add(const float* frames, std::size_t count) {
  if (!m_blocks.empty()) return Count(frames, count);
  Feed(m_loudness.get(), frames, static_cast<long long>(count));
  m_pending.insert(m_pending.end(), frames, frames + count);
  Scan(false);
}

double LoudnessMeter::SamplePeak() const {
  return std::max(m_samplePeak, *std::max_element(m_hopPeaks.begin(), m_hopPeaks.end()));
}

// Feeds the loudness 100 ms at a time, counting each 400 ms block as it ends.
void LoudnessMeter::Count(const float* frames, std::size_t count) {
  while (count > 0) {
    const std::size_t take = std::min(count, m_hop - m_inHop);
    Feed(m_loudness.get(), frames, static_cast<long long>(take));
    float& peak = m_hopPeaks[m_hops % m_hopPeaks.size()];
    for (std::size_t i = 0; i < take; ++i) peak = std::max(peak, std::fabs(frames[i]));
    frames += take;
    count -= take;
    m_inHop += take;
    if (m_inHop < m_hop) break;
    m_inHop = 0;
    double lufs = -HUGE_VAL;
    if (++m_hops >= m_hopPeaks.size() &&
        ebur128_loudness_momentary(m_loudness.get(), &lufs) == EBUR128_SUCCESS &&
        lufs > kGateLufs) {
      const float loudest = *std::max_element(m_hopPeaks.begin(), m_hopPeaks.end());
      const double rise = std::max(0.0, 20 * std::log10(loudest) - lufs);
      const auto level =
          std::min(kLevels - 1, static_cast<std::size_t>((lufs - kGateLufs) / kLevelStep));
      const auto above = std::min(kRises - 1, static_cast<std::size_t>(rise / kRiseStep));
      ++m_blocks[level * kRises + above];
    }
    m_samplePeak = std::max(m_samplePeak, m_hopPeaks[m_hops % m_hopPeaks.size()]);
    m_hopPeaks[m_hops % m_hopPeaks.size()] = 0;
  }
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

// The integrated loudness of the counted blocks after `gainDb` and a limiter
// at `ceilingDb` that takes `share` of what each block's peak passes it by.
double LoudnessMeter::ForecastLufs(double gainDb, double ceilingDb, double share) const {
  std::vector<std::pair<double, unsigned>> levels;
  for (std::size_t i = 0; i < m_blocks.size(); ++i) {
    if (m_blocks[i] == 0) continue;
    const double lufs = kGateLufs + (static_cast<double>(i / kRises) + 0.5) * kLevelStep;
    const double peak = lufs + (static_cast<double>(i % kRises) + 0.5) * kRiseStep;
    const double limited = lufs + gainDb - share * std::max(0.0, peak + gainDb - ceilingDb);
    levels.emplace_back(limited, m_blocks[i]);
  }
  // The gates of the integrated loudness: absolute, then 10 LU under the
  // loudness of what passes it.
  auto mean = [&](double gate) {
    double energy = 0;
    double blocks = 0;
    for (const auto& [lufs, count] : levels) {
      if (lufs <= gate) continue;
      energy += count * std::pow(10.0, lufs / 10);
      blocks += count;
    }
    return blocks > 0 ? 10 * std::log10(energy / blocks) : -HUGE_VAL;
  };
  return mean(std::max(kGateLufs, mean(kGateLufs) - 10));
}

double LoudnessMeter::LimitedGain(const LoudnessTarget& target, double ceiling) {
  double low = LoudnessGain(target);
  double high = target.maxGainDb;
  if (m_blocks.empty() || low == 0 || low >= high) return low;
  // The measured loudness and the forecast's loss, so that the coarseness of
  // the counting cancels out.
  const double ceilingDb = 20 * std::log10(ceiling);
  const double unlimited = ForecastLufs(0, ceilingDb, 0);
  auto forecast = [&](double gainDb) {
    return IntegratedLufs() + ForecastLufs(gainDb, ceilingDb, kLimitedShare) - unlimited;
  };
  if (!std::isfinite(unlimited) || forecast(high) < target.integratedLufs) return high;
  // The loudness rises with the gain, the limiter's share being under one.
  while (high - low > 0.01) {
    const double middle = (low + high) / 2;
    (forecast(middle) < target.integratedLufs ? low : high) = middle;
  }
  return high;
}

PeakLimiter::PeakLimiter(unsigned rate, unsigned channels, double gainDb, double ceiling)
    : m_channels(channels),
      m_gain(static_cast<float>(std::pow(10.0, gainDb / 20))),
      m_ceiling(ceiling),
      m_lookAhead(std::max<std::size_t>(1, static_cast<std::size_t>(rate * kLookAheadSeconds))),
      m_release(std::exp(-1 / (rate * kReleaseSeconds))),
      m_frames(std::max<std::size_t>(kTaps, m_lookAhead + kTapsAfter + 1)),
      m_history(2 * m_frames * channels),
      m_lows(m_lookAhead + 2),
      m_heldRing(m_lookAhead + 1, 1.0),
      m_heldSum(static_cast<double>(m_lookAhead + 1)),
      m_heldShare(1.0 / static_cast<double>(m_lookAhead + 1)),
      m_bound(InterpolationBound()) {}

void PeakLimiter::Add(const float* frames, std::size_t count, std::vector<float>& out) {
  // Room for every frame that can come out, written in place.
  const std::size_t start = out.size();
  out.resize(start + count * m_channels);
  float* next = out.data() + start;
  for (std::size_t i = 0; i < count; ++i) next = Push(frames + i * m_channels, next);
  out.resize(static_cast<std::size_t>(next - out.data()));
}

void PeakLimiter::Finish(std::vector<float>& out) {
  if (m_end >= 0) return;
  m_end = m_in;
  // Silence after the end lets the last frames through.
  const std::vector<float> silence((m_lookAhead + kTapsAfter) * m_channels);
  Add(silence.data(), m_lookAhead + kTapsAfter, out);
}

// The largest of the three points between the frame kTapsAfter back and the
// one after it, on any channel.
float PeakLimiter::Between() const {
  const auto& taps = InterpolationTaps();
  // Most of a voice lies so far under the ceiling that no point between its
  // samples can reach it: those are not worth interpolating.
  if (m_nearCeiling == 0) return 0;
  const float* first = Back(kTaps - 1);
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

float* PeakLimiter::Push(const float* frame, float* out) {
  // Each frame is kept twice, a ring's length apart, so that the last
  // frames always lie in one piece.
  if (++m_newest == m_frames) m_newest = 0;
  float* slot = m_history.data() + m_newest * m_channels;
  if (m_nearCeiling > 0) --m_nearCeiling;
  for (unsigned c = 0; c < m_channels; ++c) {
    slot[c] = slot[m_frames * m_channels + c] = frame[c] * m_gain;
    if (std::fabs(slot[c]) * m_bound > m_ceiling) m_nearCeiling = kTaps;
  }
  ++m_in;
  // The frame judged now, its neighbours on both sides known.
  const long long judged = m_in - 1 - kTapsAfter;
  if (judged < 0) return out;
  const float between = Between();
  float peak = std::max(m_lastBetween, between);
  for (unsigned c = 0; c < m_channels; ++c) peak = std::max(peak, std::fabs(Back(kTapsAfter)[c]));
  m_lastBetween = between;
  const double wanted = peak > m_ceiling ? m_ceiling / peak : 1;

  // The lowest gain wanted over the look-ahead, let back up slowly, and
  // averaged over the look-ahead: each frame's gain is an average of gains
  // no higher than its own wanted gain, and changes smoothly.
  const auto window = static_cast<long long>(m_lookAhead);
  while (m_lowsCount > 0 && LowAt(m_lowsCount - 1).second >= wanted) --m_lowsCount;
  LowAt(m_lowsCount++) = {judged, wanted};
  while (LowAt(0).first < judged - window) {
    if (++m_lowsFirst == m_lows.size()) m_lowsFirst = 0;
    --m_lowsCount;
  }
  const double low = LowAt(0).second;
  m_held = low < m_held ? low : m_held + (low - m_held) * (1 - m_release);
  double& oldest = m_heldRing[m_heldAt];
  if (++m_heldAt == m_heldRing.size()) m_heldAt = 0;
  m_heldSum += m_held - oldest;
  oldest = m_held;

  const long long leaving = judged - window;
  if (leaving < 0 || (m_end >= 0 && leaving >= m_end)) return out;
  const auto gain = static_cast<float>(m_heldSum * m_heldShare);
  const float* source = Back(kTapsAfter + m_lookAhead);
  for (unsigned c = 0; c < m_channels; ++c) *out++ = source[c] * gain;
  return out;
}

BackgroundMeter::BackgroundMeter(LoudnessMeter& meter, unsigned channels)
    : m_meter(meter), m_channels(channels), m_thread([this] { Run(); }) {}

BackgroundMeter::~BackgroundMeter() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_abandoned = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void BackgroundMeter::Add(const float* frames, std::size_t count) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_waiting.size() < kWaitingBlocks || m_finished; });
  if (m_finished) return;  // the meter failed: Finish says so
  std::vector<float> block;
  if (!m_spare.empty()) {
    block = std::move(m_spare.back());
    m_spare.pop_back();
  }
  block.assign(frames, frames + count * m_channels);
  m_waiting.push_back(std::move(block));
  lock.unlock();
  m_changed.notify_all();
}

void BackgroundMeter::Finish() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_ending = true;
  m_changed.notify_all();
  m_changed.wait(lock, [this] { return m_finished; });
  if (m_error) std::rethrow_exception(m_error);
}

void BackgroundMeter::Run() {
  std::vector<float> mono;
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_error) {
    m_changed.wait(lock, [this] { return !m_waiting.empty() || m_ending || m_abandoned; });
    if (m_abandoned || m_waiting.empty()) break;
    std::vector<float> block = std::move(m_waiting.front());
    m_waiting.pop_front();
    lock.unlock();
    m_changed.notify_all();
    try {
      const std::size_t count = block.size() / m_channels;
      m_meter.Add(MixToMono(block.data(), count, m_channels, mono), count);
    } catch (...) {
      lock.lock();
      m_error = std::current_exception();
      break;
    }
    lock.lock();
    m_spare.push_back(std::move(block));
  }
  m_finished = true;
  m_changed.notify_all();
}

}  // namespace sonvera
