#pragma once
// Frames moved through an ALSA device whole, past underruns and overruns.
#include <alsa/asoundlib.h>

namespace platform {

// Moves `frames` frames of `channels` interleaved samples at `data` through
// `io` (snd_pcm_writei or snd_pcm_readi), recovering from an underrun or an
// overrun; an error it cannot recover from ends the move.
template <typename Sample, typename Io>
void TransferFrames(snd_pcm_t* pcm, Io io, Sample* data, long long frames, unsigned channels) {
  long long done = 0;
  while (done < frames) {
    snd_pcm_sframes_t n =
        io(pcm, data + done * channels, static_cast<snd_pcm_uframes_t>(frames - done));
    if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
    if (n < 0) break;
    done += n;
  }
}

}  // namespace platform
