// The version file comes from a server: no text may crash the parse, and what
// it accepts must print back to the same version.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Error.h"
#include "update/Version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string trimmed = sonvera::TrimmedVersionText(text);
  if (trimmed.size() > text.size()) __builtin_trap();
  try {
    const sonvera::Version version = sonvera::ParseVersion(text);
    if (sonvera::ParseVersion(sonvera::VersionText(version)) != version) __builtin_trap();
    if (sonvera::ParseVersion(trimmed) != version) __builtin_trap();
  } catch (const platform::Error&) {
    // Refused: the update warning's case.
  }
  return 0;
}
