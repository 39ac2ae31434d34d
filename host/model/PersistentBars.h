#pragma once
// Names of the bars added with Temporary false, kept in the registry so that
// each kind of window shows them again at the next start. Without a registry
// service nothing is kept.
#include <string>
#include <vector>

namespace mailhost {

constexpr const char* kPersistentBarsKey = "Software\\mailhost\\CommandBars";

class PersistentBars {
 public:
  // `windowKind` names a key below kPersistentBarsKey ("Explorer", "Inspector").
  static std::vector<std::string> Names(const std::string& windowKind);
  static void Remember(const std::string& windowKind, const std::string& name);
};

}  // namespace mailhost
