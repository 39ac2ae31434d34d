#include "audio/Encoding.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "common/AddinFolder.h"
#include "common/FileChecks.h"
#include "platform/Error.h"
#include "platform/Files.h"

namespace sonvera {

namespace {

constexpr const char* kRates[] = {"8000", "11025", "22050", "44100"};
constexpr std::int32_t kEncoderMinimumSeconds = 600;
// How many times slower than the recording the slowest encoding may be.
constexpr double kEncoderSlowness = 10;

long LocalSecondsSinceMidnight() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
}

using SndFile = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;

// Frames a read or a write takes at a time.
constexpr size_t kFrames = 8192;
// A change of level nobody hears is not worth rewriting a recording for.
constexpr double kUnheardDb = 0.05;
// The limiter aims this far under the true peak wanted (-0.3 dB)...
constexpr double kLimiterMargin = 0.966;
// ... and its result is made again when it passes, or falls this far short
// of the loudness (the limiter takes some), at most this many times.
constexpr double kLoudnessTolerance = 0.5;
constexpr int kLimiterAttempts = 3;
// What a dB more of gain brings to a voice that is being limited, at first.
constexpr double kFirstSlope = 0.5;

std::string SystemReason(int error) {
  return error ? std::strerror(error) : sf_strerror(nullptr);
}

// A 16-bit WAV file written beside its destination and moved over it only when
// complete, so that a failure leaves the destination as it was; it is
// removed when it goes out of scope unmoved.
class PendingWav {
 public:
  PendingWav(std::string path, int rate, int channels) : m_path(std::move(path)) {
    SF_INFO out{};
    out.samplerate = rate;
    out.channels = channels;
    out.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    errno = 0;
    m_file = sf_open(m_path.c_str(), SFM_WRITE, &out);
    if (!m_file) throw platform::Error("Cannot write " + m_path + ": " + SystemReason(errno));
    // Beyond full scale a 16-bit sample clips instead of wrapping round.
    sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  }
  ~PendingWav() {
    if (m_file) sf_close(m_file);
    if (!m_moved) std::remove(m_path.c_str());
  }
  PendingWav(const PendingWav&) = delete;
  PendingWav& operator=(const PendingWav&) = delete;

  void Write(const float* frames, size_t count) {
    errno = 0;
    if (sf_writef_float(m_file, frames, static_cast<sf_count_t>(count)) !=
        static_cast<sf_count_t>(count))
      Fail(errno);
  }
  // Completes the file and opens it for reading.
  SndFile Reopen() {
    Close();
    SF_INFO info{};
    SndFile file(sf_open(m_path.c_str(), SFM_READ, &info), sf_close);
    if (!file) throw platform::Error("Cannot read " + m_path + ": " + sf_strerror(nullptr));
    return file;
  }
  // Completes the file and puts it in the place of `destination`.
  void MoveTo(const std::string& destination) {
    Close();
    if (std::rename(m_path.c_str(), destination.c_str()) != 0) Fail(errno);
    m_moved = true;
  }

 private:
  void Close() {
    errno = 0;
    const int closed = sf_close(m_file);
    m_file = nullptr;
    if (closed != 0) Fail(errno);
  }
  [[noreturn]] void Fail(int error) {
    throw platform::Error("Cannot write " + m_path + ": " + std::strerror(error ? error : EIO));
  }

  std::string m_path;
  SNDFILE* m_file = nullptr;
  bool m_moved = false;
};

// The frames of a sound file at `rate`: as they are, or through libsoxr,
// streamed a block at a time, so a long recording costs no memory.
class RateStream {
 public:
  RateStream(SNDFILE* source, const SF_INFO& info, int rate)
      : m_source(source), m_channels(static_cast<size_t>(info.channels)) {
    if (info.samplerate == rate) return;
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    // Medium quality is transparent for speech and twice as fast as high.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_MQ, 0);
    m_resampler.reset(soxr_create(info.samplerate, rate, static_cast<unsigned>(info.channels),
                                  &error, &io, &quality, nullptr));
    if (error || !m_resampler)
      throw platform::Error(std::string("Cannot convert the rate: ") + (error ? error : ""));
    m_room = static_cast<size_t>(kFrames * (static_cast<double>(rate) / info.samplerate)) + 64;
    m_input.resize(kFrames * m_channels);
  }

  // The next frames into `out`; 0 at the end.
  size_t Read(std::vector<float>& out) {
    if (!m_resampler) {
      out.resize(kFrames * m_channels);
      const sf_count_t got = sf_readf_float(m_source, out.data(), kFrames);
      return got > 0 ? static_cast<size_t>(got) : 0;
    }
    out.resize(m_room * m_channels);
    size_t produced = 0;
    while (!m_ended) {
      if (m_offset == m_got) {
        const sf_count_t got = sf_readf_float(m_source, m_input.data(), kFrames);
        m_got = got > 0 ? static_cast<size_t>(got) : 0;
        m_offset = 0;
        if (m_got == 0) {
          m_ended = true;
          break;
        }
      }
      // The resampler may take part of a block when its output is full.
      size_t done = 0;
      soxr_process(m_resampler.get(), m_input.data() + m_offset * m_channels, m_got - m_offset,
                   &done, out.data(), m_room, &produced);
      m_offset = done == 0 && produced == 0 ? m_got : m_offset + done;
      if (produced > 0) return produced;
    }
    // Then what the filter still holds.
    soxr_process(m_resampler.get(), nullptr, 0, nullptr, out.data(), m_room, &produced);
    return produced;
  }

 private:
  SNDFILE* m_source;
  size_t m_channels;
  std::unique_ptr<soxr, void (*)(soxr_t)> m_resampler{nullptr, soxr_delete};
  size_t m_room = 0;
  std::vector<float> m_input;
  size_t m_got = 0;
  size_t m_offset = 0;
  bool m_ended = false;
};

// A read that stopped short of the end for a reason of its own must not pass
// for the whole recording.
void CheckRead(SNDFILE* file, const std::string& path) {
  if (sf_error(file) != SF_ERR_NO_ERROR)
    throw platform::Error("Cannot read " + path + ": " + sf_strerror(file));
}

// The target's true peak as a share of full scale.
double PeakCap(const LoudnessTarget& target) {
  return std::pow(10.0, target.truePeakDbtp / 20);
}

// One read of the recording: its rate converted into `converted` and what
// the encoder will get measured by `meter`, each when given.
void ConvertAndMeasure(SNDFILE* source, const SF_INFO& in, int rate, const std::string& wavPath,
                       PendingWav* converted, LoudnessMeter* meter) {
  std::optional<BackgroundMeter> measuring;
  if (meter) measuring.emplace(*meter, static_cast<unsigned>(in.channels));
  RateStream stream(source, in, rate);
  std::vector<float> frames;
  while (const size_t count = stream.Read(frames)) {
    if (measuring) measuring->Add(frames.data(), count);
    if (converted) converted->Write(frames.data(), count);
  }
  CheckRead(source, wavPath);
  if (measuring) measuring->Finish();
}

// The next gain to try when a result missed the loudness. The more gain, the
// more the limiter takes: the step is judged from what the last one brought.
class GainSteps {
 public:
  double Next(const LoudnessTarget& target, double gainDb, double loudness) {
    if (m_tried && gainDb != m_lastGainDb)
      m_slope = std::clamp((loudness - m_lastLoudness) / (gainDb - m_lastGainDb), 0.2, 1.0);
    m_tried = true;
    m_lastGainDb = gainDb;
    m_lastLoudness = loudness;
    return std::min(target.maxGainDb, gainDb + (target.integratedLufs - loudness) / m_slope);
  }

 private:
  double m_slope = kFirstSlope;
  bool m_tried = false;
  double m_lastGainDb = 0;
  double m_lastLoudness = 0;
};

// A recording, at its rate and measured, brought to a target: the gain and
// the limiter. The limiter's estimate of the peaks between samples is not
// libebur128's, so the result is measured and made again with what it
// missed by.
class Leveller {
 public:
  Leveller(SndFile recording, std::string wavPath, int rate, int channels,
           const LoudnessTarget& target)
      : m_recording(std::move(recording)),
        m_path(std::move(wavPath)),
        m_rate(rate),
        m_channels(static_cast<unsigned>(channels)),
        m_target(target),
        m_buffer(kFrames * m_channels) {}

  // Writes the levelled recording in the place of the file at wavPath.
  void Level(LoudnessMeter& forecast) {
    const double cap = PeakCap(m_target);
    double ceiling = cap * kLimiterMargin;
    double gainDb = forecast.LimitedGain(m_target, ceiling);
    GainSteps steps;
    for (int attempt = 0;; ++attempt) {
      // Should the limiter never get there, the gain alone, held under the peak.
      const bool gainAlone = attempt == kLimiterAttempts;
      if (gainAlone) {
        gainDb = WholeGain();
        ceiling = HUGE_VAL;
      }
      PendingWav result(m_path + ".level", m_rate, static_cast<int>(m_channels));
      const auto [loudness, peak] = Limit(gainDb, ceiling, result);
      const bool low =
          loudness < m_target.integratedLufs - kLoudnessTolerance && gainDb < m_target.maxGainDb;
      // The forecast of what the limiter takes may also fall short.
      const bool high = loudness > m_target.integratedLufs + kLoudnessTolerance;
      if (gainAlone || (peak <= cap && !low && !high)) {
        m_recording.reset();
        result.MoveTo(m_path);
        return;
      }
      if (peak > cap) ceiling *= cap / peak * kLimiterMargin;
      if (low || high) gainDb = steps.Next(m_target, gainDb, loudness);
    }
  }

 private:
  // The recording with `gainDb` through a limiter at `ceiling`, written to
  // `result`; its loudness and true peak.
  std::pair<double, double> Limit(double gainDb, double ceiling, PendingWav& result) {
    PeakLimiter limiter(static_cast<unsigned>(m_rate), m_channels, gainDb, ceiling);
    LoudnessMeter check(static_cast<unsigned>(m_rate));
    BackgroundMeter checking(check, m_channels);
    auto put = [&] {
      const size_t count = m_limited.size() / m_channels;
      checking.Add(m_limited.data(), count);
      result.Write(m_limited.data(), count);
      m_limited.clear();
    };
    Rewind();
    while (const size_t count = Read()) {
      limiter.Add(m_buffer.data(), count, m_limited);
      put();
    }
    limiter.Finish(m_limited);
    put();
    checking.Finish();
    return {check.IntegratedLufs(), check.TruePeak()};
  }

  // The gain alone, held under the recording's true peak, which is measured
  // only now it is needed.
  double WholeGain() {
    LoudnessMeter whole(static_cast<unsigned>(m_rate));
    BackgroundMeter measuring(whole, m_channels);
    Rewind();
    while (const size_t count = Read()) measuring.Add(m_buffer.data(), count);
    measuring.Finish();
    return whole.Gain(m_target);
  }

  void Rewind() {
    if (sf_seek(m_recording.get(), 0, SEEK_SET) != 0)
      throw platform::Error("Cannot read " + m_path + ": " + sf_strerror(m_recording.get()));
  }
  // The next frames into the buffer; 0 at the end, where a failed read throws.
  size_t Read() {
    const sf_count_t got = sf_readf_float(m_recording.get(), m_buffer.data(), kFrames);
    if (got > 0) return static_cast<size_t>(got);
    CheckRead(m_recording.get(), m_path);
    return 0;
  }

  SndFile m_recording;
  std::string m_path;
  int m_rate;
  unsigned m_channels;
  const LoudnessTarget& m_target;
  std::vector<float> m_buffer;
  std::vector<float> m_limited;
};

// Brings the recording to `rate` and, given a target, its voice to that
// loudness: one pass converts the rate and measures what the encoder will
// get, one applies the gain and the limiter. The file is replaced only when
// all is written.
void Prepare(const std::string& wavPath, int rate, const LoudnessTarget* target) {
  SF_INFO in{};
  SndFile source(sf_open(wavPath.c_str(), SFM_READ, &in), sf_close);
  if (!source || in.channels < 1 || rate <= 0) return;
  if (in.samplerate == rate && !target) return;

  std::optional<LoudnessMeter> meter;
  if (target) meter.emplace(static_cast<unsigned>(rate), true);
  std::optional<PendingWav> converted;
  if (in.samplerate != rate) converted.emplace(wavPath + ".rate", rate, in.channels);
  ConvertAndMeasure(source.get(), in, rate, wavPath, converted ? &*converted : nullptr,
                    meter ? &*meter : nullptr);

  const bool heardAsIs =
      !meter || !std::isfinite(meter->IntegratedLufs()) ||
      (std::fabs(meter->LoudnessGain(*target)) < kUnheardDb &&
       meter->SamplePeak() * LoudnessMeter::kInterpolationBound <= PeakCap(*target));
  if (heardAsIs) {
    source.reset();
    if (converted) converted->MoveTo(wavPath);
    return;
  }
  Leveller leveller(converted ? converted->Reopen() : std::move(source), wavPath, rate, in.channels,
                    *target);
  leveller.Level(*meter);
}

}  // namespace

std::function<long()> SecondsSinceMidnight = LocalSecondsSinceMidnight;

std::string RateText(int quality) {
  return quality >= 0 && quality < 4 ? kRates[quality] : "";
}

std::string WavArgument(const std::string& shortFolder) {
  return FileIn(shortFolder, kSavedRecordingFile) + " ";
}

std::string Mp3Argument(const std::string& shortFolder) {
  return FileIn(shortFolder, kVoiceFile) + " ";
}

std::string EncoderPath(const std::string& folder) {
  return folder + platform::kPathSeparator + SONVERA_ENCODER_NAME;
}

std::string EncoderCommandLine(const std::string& folder, const std::string& rate,
                               const std::string& shortFolder) {
  std::string encoder = EncoderPath(folder);
  if (encoder.find(' ') != std::string::npos) encoder = "\"" + encoder + "\"";
  return encoder + " -s " + rate + " -m m -a --quiet -p -o " + " " + WavArgument(shortFolder) +
         " " + Mp3Argument(shortFolder);
}

void ConvertRate(const std::string& wavPath, int rate) {
  Prepare(wavPath, rate, nullptr);
}

void NormaliseLoudness(const std::string& wavPath, int rate, const LoudnessTarget& target) {
  Prepare(wavPath, rate, &target);
}

std::int32_t EncoderTimeOut(const std::string& wavPath) {
  SF_INFO info{};
  SndFile file(sf_open(wavPath.c_str(), SFM_READ, &info), sf_close);
  const double seconds =
      file && info.samplerate > 0 ? static_cast<double>(info.frames) / info.samplerate : 0;
  return std::max(kEncoderMinimumSeconds,
                  static_cast<std::int32_t>(std::ceil(seconds * kEncoderSlowness)));
}

std::string EncoderFailure(const ProgramRun& run, const std::string& encoder,
                           const std::string& mp3) {
  using End = ProgramRun::End;
  if (run.end == End::NotStarted) return "The encoder " + encoder + " could not be started.";
  if (run.end == End::TimedOut) {
    const auto minutes = (run.timeOutSeconds + 59) / 60;
    return "The encoder did not finish within " + std::to_string(minutes) +
           " minutes and was ended.";
  }
  if (run.end == End::HostEnding) return "The encoder was ended as the mail client closed.";
  std::string what;
  const auto& exit = run.exit;
  std::error_code ec;
  if (exit.signal != 0) {
    const char* name = strsignal(exit.signal);
    what = "the encoder was ended by signal " + std::to_string(exit.signal) +
           (name ? " (" + std::string(name) + ")" : "");
  } else if (exit.code != 0) {
    what = "the encoder ended with exit code " + std::to_string(exit.code);
  } else if (!std::filesystem::exists(mp3, ec)) {
    what = "the encoder wrote no MP3";
  } else if (std::filesystem::file_size(mp3, ec) == 0 || ec) {
    what = "the encoder wrote an empty MP3";
  } else {
    return "";
  }
  if (!exit.errorText.empty()) what += ": " + exit.errorText;
  // The encoder rarely says why it could not write; the folder tells.
  const std::string cause = WhyCannotWrite(platform::FolderOf(mp3));
  if (!cause.empty()) return cause + " (" + what + ")";
  what[0] = 'T';
  return what + (what.back() == '.' ? "" : ".");
}

}  // namespace sonvera
