#include "audio/Encoding.h"

#include <sndfile.h>
#include <soxr.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "platform/Error.h"
#include "platform/Files.h"

namespace sonvera {

namespace {

constexpr const char* kRates[] = {"8000", "11025", "22050", "44100"};

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
  return shortFolder + platform::kPathSeparator + "Temp.wav ";
}

std::string Mp3Argument(const std::string& shortFolder) {
  return shortFolder + platform::kPathSeparator + "Sonvera.mp3 ";
}

std::string EncoderCommandLine(const std::string& folder, const std::string& rate,
                               const std::string& shortFolder) {
  std::string encoder = folder + platform::kPathSeparator + SONVERA_ENCODER_NAME;
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
  SndFile target(sf_open(converted.c_str(), SFM_WRITE, &out), sf_close);
  if (!target) throw platform::Error("Cannot write " + converted + ": " + sf_strerror(nullptr));

  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  // Medium quality is transparent for speech and twice as fast as high.
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_MQ, 0);
  std::unique_ptr<soxr, void (*)(soxr_t)> resampler(
      soxr_create(in.samplerate, rate, static_cast<unsigned>(in.channels), &error, &io, &quality,
                  nullptr),
      soxr_delete);
  if (error || !resampler) throw platform::Error(std::string("Cannot convert the rate: ") + (error ? error : ""));

  // Streamed a block at a time, so a long recording costs no memory.
  constexpr size_t kFrames = 8192;
  const size_t ratioRoom = static_cast<size_t>(kFrames * (static_cast<double>(rate) / in.samplerate)) + 64;
  std::vector<float> input(kFrames * in.channels);
  std::vector<float> output(ratioRoom * in.channels);
  bool failed = false;
  auto write = [&](size_t frames) {
    if (frames && sf_writef_float(target.get(), output.data(), static_cast<sf_count_t>(frames)) !=
                      static_cast<sf_count_t>(frames))
      failed = true;
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
  target.reset();
  source.reset();
  if (failed || std::rename(converted.c_str(), wavPath.c_str()) != 0) {
    std::remove(converted.c_str());
    throw platform::Error("Cannot write " + converted + ": the disk may be full");
  }
}

}  // namespace sonvera
