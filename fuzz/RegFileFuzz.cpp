// Feeds arbitrary bytes to the registry file reader; whatever it accepts must
// write out and read back to the same tree, and write out the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/common/RegistryTree.h"
#include "platform/linux/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  platform::RegistryTree tree;
  std::string error;
  if (!platform::ParseRegFile(bytes, &tree, &error)) {
    if (error.empty()) std::abort();  // a refusal must say why
    return 0;
  }
  const std::string written = platform::WriteRegFile(tree);
  platform::RegistryTree again;
  if (!platform::ParseRegFile(written, &again, &error)) std::abort();
  if (!again.SameContent(tree)) std::abort();
  if (platform::WriteRegFile(again) != written) std::abort();
  return 0;
}
