#pragma once
// mailhost without --script: the same commands, typed by a person, on the
// real platform (real clock, the user's registry, xdg-open). The registered
// add-ins are started at once; end of input is `quit`.
#include <ostream>
#include <string>

namespace mailhost {

struct ConsoleOptions {
  std::string dataFolder;  // "" for the user's registry and Maildir
  std::string maildir;     // "" for the data folder's
};

class Console {
 public:
  static int Run(const ConsoleOptions& options, std::ostream& out, std::ostream& errors);
};

}  // namespace mailhost
