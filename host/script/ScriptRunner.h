#pragma once
// `mailhost --script FILE`: plays a scenario against the add-ins on the
// deterministic platform (virtual time, boxes answered from a queue) with the
// real registry file, file system, encoder, HTTP and ICMP.
#include <ostream>
#include <string>

namespace mailhost {

struct ScriptOptions {
  std::string script;
  std::string dataFolder;  // "" for a fresh temporary one, removed at exit
  std::string maildir;     // "" for the memory store
  bool registerAddin = true;
  std::string addin;  // "" for the library built with the host
};

// Exit status of a run.
constexpr int kScriptOk = 0;
constexpr int kScriptLineFailed = 1;
constexpr int kScriptUnreadable = 2;

class ScriptRunner {
 public:
  static int Run(const ScriptOptions& options, std::ostream& out, std::ostream& errors);
  // The add-in library built with the host: the build tree's, else the
  // installed one; "" when neither exists.
  static std::string DefaultAddin();
};

}  // namespace mailhost
