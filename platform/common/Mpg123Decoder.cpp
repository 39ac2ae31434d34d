#include "platform/common/Mpg123Decoder.h"

#include <mutex>
#include <string>

#include "platform/Error.h"

namespace platform {

void Mpg123Closer::operator()(mpg123_handle* handle) const {
  mpg123_close(handle);
  mpg123_delete(handle);
}

Mpg123Handle NewMpg123Decoder(int channels, long flags) {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });  // needed before 1.27, harmless after
  int err = MPG123_OK;
  Mpg123Handle handle(mpg123_new(nullptr, &err));
  if (!handle)
    throw Error("Cannot start the MP3 decoder: " + std::string(mpg123_plain_strerror(err)));
  mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | flags, 0);
  mpg123_format_none(handle.get());
  for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
    mpg123_format(handle.get(), rate, channels, MPG123_ENC_SIGNED_16);
  return handle;
}

}  // namespace platform
