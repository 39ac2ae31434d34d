#pragma once
// How loud a recording is, and the gain that brings a voice to where a
// listener hears it without reaching for the volume. Measured with
// libebur128 as the recording streams by, in memory that does not grow with
// its length.
#include <ebur128.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace sonvera {

struct LoudnessTarget {
  double integratedLufs = -16;
  // Room for what the encoder adds to the peaks.
  double truePeakDbtp = -1;
  // A quiet room's noise must not come up with a quiet voice.
  double maxGainDb = 20;
};

class LoudnessMeter {
 public:
  // Throws platform::Error when the meter cannot be made. With `forecast`,
  // it keeps what LimitedGain needs and the sample peak instead of the true
  // peak, which costs as much again: TruePeak and Gain then know nothing.
  explicit LoudnessMeter(unsigned rate, bool forecast = false);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  // The next mono frames of the stream, -1 to 1.
  void Add(const float* frames, std::size_t count);

  // After the last Add: the integrated loudness in LUFS, -infinity when
  // nothing rises above the gate (silence, or a recording too quiet or too
  // short to measure); the true peak, as a share of full scale.
  double IntegratedLufs();
  double TruePeak();
  // The largest sample, as a share of full scale; needs `forecast`.
  double SamplePeak() const;

  // The gain in dB that brings the stream to `target`'s loudness, capped at
  // its maximum; 0 when the stream cannot be measured.
  double LoudnessGain(const LoudnessTarget& target);
  // That gain, lowered where the true peak would pass the target's.
  double Gain(const LoudnessTarget& target);
  // The gain that, by this meter's forecast, brings the stream to `target`'s
  // loudness once a PeakLimiter at `ceiling` has taken its share; capped at
  // the maximum. Needs a meter made with `forecast`.
  double LimitedGain(const LoudnessTarget& target, double ceiling);

  // How far libebur128's four-times interpolation can rise above the
  // samples it passes between: the largest sum of a phase's coefficients
  // (1.864 for its 49 taps).
  static constexpr double kInterpolationBound = 1.87;

 private:
  using State = std::unique_ptr<ebur128_state, void (*)(ebur128_state*)>;
  void Scan(bool ending);
  void MeasurePeaks(long long from, long long end);
  void Count(const float* frames, std::size_t count);
  double ForecastLufs(double gainDb, double ceilingDb, double share) const;
  const float* At(long long frame) const { return m_pending.data() + (frame - m_pendingStart); }

  State m_loudness;
  // Measuring the true peak everywhere costs as much as encoding a quarter
  // of the recording, so it is measured only around the samples that could,
  // between them, rise above the highest true peak so far.
  State m_peaks;
  std::vector<float> m_pending;  // the frames from m_pendingStart on
  long long m_pendingStart = 0;
  long long m_scanned = 0;  // the frames before this are judged
  long long m_fedFrom = 0;  // m_peaks has the frames from here to m_fedEnd, unbroken
  long long m_fedEnd = 0;
  double m_truePeak = 0;
  // For the forecast: the 400 ms blocks the loudness is made of, counted by
  // their loudness and by how far their peak rises above it.
  std::vector<unsigned> m_blocks;
  std::size_t m_hop = 0;  // frames in 100 ms
  std::size_t m_inHop = 0;
  unsigned m_hops = 0;
  std::array<float, 4> m_hopPeaks{};
  float m_samplePeak = 0;  // of the hops gone by
};

// A LoudnessMeter fed on a thread of its own: measuring costs about as much
// as limiting or converting the rate, and on a second core the person does
// not wait for both. Frames go in interleaved and are mixed to one channel,
// as the encoder mixes them; at most a few blocks wait, so memory stays small.
class BackgroundMeter {
 public:
  BackgroundMeter(LoudnessMeter& meter, unsigned channels);
  // Abandons what has not been measured.
  ~BackgroundMeter();
  BackgroundMeter(const BackgroundMeter&) = delete;
  BackgroundMeter& operator=(const BackgroundMeter&) = delete;

  void Add(const float* frames, std::size_t count);
  // Waits until every frame is measured; throws what the meter threw.
  void Finish();

 private:
  void Run();

  LoudnessMeter& m_meter;
  unsigned m_channels;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<std::vector<float>> m_waiting;
  std::vector<std::vector<float>> m_spare;  // measured blocks, for reuse
  bool m_ending = false;
  bool m_abandoned = false;
  bool m_finished = false;
  std::exception_ptr m_error;
  std::thread m_thread;  // last: it starts once the rest is made
};

// A gain followed by a look-ahead limiter: the rare peaks of a voice are
// brought under `ceiling` (a share of full scale, between samples too) while
// the rest keeps the gain, so that the peaks do not hold the whole voice down.
// Frames go in and come out interleaved, delayed by the look-ahead; memory
// does not grow with the length of the stream.
class PeakLimiter {
 public:
  PeakLimiter(unsigned rate, unsigned channels, double gainDb, double ceiling);

  // Appends to `out` the frames that have come through.
  void Add(const float* frames, std::size_t count, std::vector<float>& out);
  // After the last Add: the frames still held.
  void Finish(std::vector<float>& out);

 private:
  // Writes the frame that comes through, if one does, at `out`; returns
  // where the next goes.
  float* Push(const float* frame, float* out);
  // 0 when all of them are under the ceiling.
  float Between() const;
  const float* Back(std::size_t age) const {
    return m_history.data() + (m_newest + m_frames - age) * m_channels;
  }

  unsigned m_channels;
  float m_gain;
  double m_ceiling;
  std::size_t m_lookAhead;
  double m_release;
  std::size_t m_frames;          // the ring's length
  std::vector<float> m_history;  // the last frames, a ring, newest at m_newest
  std::size_t m_newest = 0;
  long long m_in = 0;    // frames pushed, the end's silence included
  long long m_end = -1;  // frames of the stream, once Finish knows it
  float m_lastBetween = 0;
  // The window's rising minima, m_lowsCount of them from m_lowsFirst on, in
  // a ring no longer than the window.
  std::vector<std::pair<long long, double>> m_lows;
  std::size_t m_lowsFirst = 0;
  std::size_t m_lowsCount = 0;
  std::pair<long long, double>& LowAt(std::size_t i) {
    const std::size_t at = m_lowsFirst + i;
    return m_lows[at < m_lows.size() ? at : at - m_lows.size()];
  }
  double m_held = 1;
  std::vector<double> m_heldRing;  // the held gains the applied one averages
  double m_heldSum = 0;
  std::size_t m_heldAt = 0;
  double m_heldShare;  // one over the ring's length: a division per frame shows
  float m_bound;       // how far a point between samples can rise above them
  // Frames left until the interpolation window holds no frame that could
  // make a point pass the ceiling.
  std::size_t m_nearCeiling = 0;
};

}  // namespace sonvera
