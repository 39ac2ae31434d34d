#include "platform/fake/FakeMicrophone.h"

#include <sndfile.h>

#include <cmath>
#include <memory>

#include "platform/Error.h"

namespace platform {

FakeMicrophone::FakeMicrophone() : m_source("tone") {
  // 440 Hz at a third of full scale: loud enough to see on the meter.
  m_samples.resize(m_rate);
  for (unsigned i = 0; i < m_rate; ++i)
    m_samples[i] = 0.33f * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / m_rate));
}

void FakeMicrophone::Play(const std::string& wavPath) {
  SF_INFO info{};
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(wavPath.c_str(), SFM_READ, &info),
                                                   sf_close);
  if (!file) throw Error("Cannot read the microphone file " + wavPath + ": " + sf_strerror(nullptr));
  if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0)
    throw Error("The microphone file " + wavPath + " holds no sound.");
  std::vector<float> frames(static_cast<size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(file.get(), frames.data(), info.frames);
  if (got <= 0) throw Error("The microphone file " + wavPath + " holds no sound.");
  std::vector<float> mono(static_cast<size_t>(got));
  for (sf_count_t i = 0; i < got; ++i) {
    float sum = 0;
    for (int c = 0; c < info.channels; ++c) sum += frames[i * info.channels + c];
    mono[i] = sum / info.channels;
  }
  m_samples = std::move(mono);
  m_rate = static_cast<unsigned>(info.samplerate);
  m_source = wavPath;
}

float FakeMicrophone::At(unsigned long long frame, unsigned rate) const {
  // Nearest sample: the fake needs real, repeatable sound, not fidelity.
  const unsigned long long index = rate == m_rate ? frame : frame * m_rate / (rate ? rate : 1);
  return m_samples[index % m_samples.size()];
}

}  // namespace platform
