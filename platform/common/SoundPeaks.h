#pragma once
// What a waveform needs of an MP3: its length and the loudest sample of each
// of `count` equal stretches of it. Decoded in mono, frame by frame without
// a copy, from the bytes where they already are, a long one in parts on
// the machine's cores: a 45-minute message in the add-in's format is read
// in about a third of a second of one core.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct SoundPeaks {
  long long durationMs = 0;
  std::vector<float> peaks;  // 0 (silence) to 1 (full scale), in time order
};

// Throws platform::Error naming `name` when the bytes hold no MPEG audio.
// `cores`: the parts at most, 0 for as many as the machine has (up to four).
SoundPeaks ReadMp3Peaks(const std::uint8_t* bytes, std::size_t size, std::size_t count,
                        const std::string& name, unsigned cores = 0);

}  // namespace platform
