#pragma once
// How loud a recording is, and the gain that brings a voice to where a
// listener hears it without reaching for the volume. Measured with
// libebur128 as the recording streams by, in memory that does not grow with
// its length.
#include <ebur128.h>

#include <cstddef>
#include <memory>
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
  // Throws platform::Error when the meter cannot be made.
  explicit LoudnessMeter(unsigned rate);
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

  // The gain in dB that brings the stream to `target`: the loudness gain,
  // capped at the target's maximum, lowered where the true peak would pass
  // the target's. 0 when the stream cannot be measured.
  double Gain(const LoudnessTarget& target);

  // How far libebur128's four-times interpolation can rise above the
  // samples it passes between: the largest sum of a phase's coefficients
  // (1.864 for its 49 taps).
  static constexpr double kInterpolationBound = 1.87;

 private:
  using State = std::unique_ptr<ebur128_state, void (*)(ebur128_state*)>;
  void Scan(bool ending);
  void MeasurePeaks(long long from, long long end);
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
};

}  // namespace sonvera
