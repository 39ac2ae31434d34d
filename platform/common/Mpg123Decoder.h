#pragma once
// libmpg123 decoders as the sound readers make them: 16-bit samples at any
// MPEG rate, the library started once, the handle closed and deleted with it.
#include <mpg123.h>

#include <memory>

namespace platform {

struct Mpg123Closer {
  void operator()(mpg123_handle* handle) const;
};
using Mpg123Handle = std::unique_ptr<mpg123_handle, Mpg123Closer>;

// A quiet decoder giving `channels` (MPG123_MONO, MPG123_STEREO or both),
// with `flags` added to its own. Throws platform::Error.
Mpg123Handle NewMpg123Decoder(int channels, long flags = 0);

}  // namespace platform
