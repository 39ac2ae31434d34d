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
  SF_INFO in{};
  SndFile source(sf_open(wavPath.c_str(), SFM_READ, &in), sf_close);
  if (!source || in.samplerate == rate || in.channels < 1 || rate <= 0) return;

  const std::string converted = wavPath + ".rate";
  SF_INFO out{};
  out.samplerate = rate;
  out.channels = in.channels;
  out.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  errno = 0;
  SndFile target(sf_open(converted.c_str(), SFM_WRITE, &out), sf_close);
  if (!target)
    throw platform::Error("Cannot write " + converted + ": " +
                          (errno ? std::strerror(errno) : sf_strerror(nullptr)));

  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  // Medium quality is transparent for speech and twice as fast as high.
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_MQ, 0);
  std::unique_ptr<soxr, void (*)(soxr_t)> resampler(
      soxr_create(in.samplerate, rate, static_cast<unsigned>(in.channels), &error, &io, &quality,
                  nullptr),
      soxr_delete);
  if (error || !resampler)
    throw platform::Error(std::string("Cannot convert the rate: ") + (error ? error : ""));

  // Streamed a block at a time, so a long recording costs no memory.
  constexpr size_t kFrames = 8192;
  const size_t ratioRoom =
      static_cast<size_t>(kFrames * (static_cast<double>(rate) / in.samplerate)) + 64;
  std::vector<float> input(kFrames * in.channels);
  std::vector<float> output(ratioRoom * in.channels);
  bool failed = false;
  int writeError = 0;
  auto write = [&](size_t frames) {
    errno = 0;
    if (frames && sf_writef_float(target.get(), output.data(), static_cast<sf_count_t>(frames)) !=
                      static_cast<sf_count_t>(frames)) {
      failed = true;
      writeError = errno;
    }
  };
  sf_count_t got = 0;
  while (!failed && (got = sf_readf_float(source.get(), input.data(), kFrames)) > 0) {
    // The resampler may take part of a block when its output is full.
    size_t offset = 0;
    while (!failed && offset < static_cast<size_t>(got)) {
      size_t done = 0;
      size_t produced = 0;
      soxr_process(resampler.get(), input.data() + offset * in.channels,
                   static_cast<size_t>(got) - offset, &done, output.data(), ratioRoom, &produced);
      write(produced);
      offset += done;
      if (done == 0 && produced == 0) break;
    }
  }
  // Drain what the filter still holds.
  for (size_t produced = 1; !failed && produced > 0;) {
    soxr_process(resampler.get(), nullptr, 0, nullptr, output.data(), ratioRoom, &produced);
    write(produced);
  }
  errno = 0;
  if (sf_close(target.release()) != 0 && !failed) {
    failed = true;
    writeError = errno;
  }
  source.reset();
  if (!failed && std::rename(converted.c_str(), wavPath.c_str()) != 0) writeError = errno;
  if (failed || writeError) {
    std::remove(converted.c_str());
    throw platform::Error("Cannot write " + converted + ": " +
                          std::strerror(writeError ? writeError : EIO));
  }
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
