#include "common/ShortPath.h"

#include "common/ErrorPrompt.h"
#include "common/Routine.h"
#include "platform/Platform.h"

namespace sonvera {
namespace {

constexpr const char* kCouldNotFind = "Could not find path for ";

}  // namespace

std::string ShortPathOf(const std::string& path) {
  if (auto shortPath = platform::GetFiles().ShortPath(path)) return *shortPath;
  // The pending error was cleared before the lookup, so its description is empty.
  platform::BoxRequest box;
  box.text = std::string("Error ") + kCrLf + kCouldNotFind + path;
  IgnoreErrors([&] { platform::GetBoxes().Show(box); });
  return "";
}

}  // namespace sonvera
