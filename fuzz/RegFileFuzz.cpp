// Feeds arbitrary bytes to the registry file reader; whatever it keeps must
// write out and read back, with nothing skipped, to the same tree, and write
// out the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/RegistryTree.h"
#include "platform/linux/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  platform::RegistryTree tree;
  std::vector<platform::RegFileProblem> problems;
  const bool clean = platform::ParseRegFile(bytes, &tree, &problems);
  if (clean != problems.empty()) std::abort();  // a skipped line must be named
  for (const auto& problem : problems) {
    if (problem.problem.empty() || problem.text.size() > platform::kProblemTextLimit) std::abort();
  }
  const std::string written = platform::WriteRegFile(tree);
  platform::RegistryTree again;
  if (!platform::ParseRegFile(written, &again)) std::abort();
  if (!again.SameContent(tree)) std::abort();
  if (platform::WriteRegFile(again) != written) std::abort();
  return 0;
}
