// Writes a short WAV of silence: the recording target that the add-in opens,
// whose format (16-bit mono PCM at 44,100 Hz) every recording takes.
#include <sndfile.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_silence OUT.wav\n");
    return 2;
  }
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
  if (!file) {
    std::fprintf(stderr, "make_silence: %s: %s\n", argv[1], sf_strerror(nullptr));
    return 1;
  }
  const std::vector<short> tenth(4410, 0);
  const bool ok = sf_write_short(file, tenth.data(), static_cast<sf_count_t>(tenth.size())) ==
                  static_cast<sf_count_t>(tenth.size());
  return sf_close(file) == 0 && ok ? 0 : 1;
}
