#pragma once
// mailhost without --script: the same commands, typed by a person, on the
// real platform (real clock, the user's registry, xdg-open). The registered
// add-ins are started at once; end of input is `quit`.
#include <ostream>

#include "host/setup/HostSetup.h"

namespace mailhost {

class Console {
 public:
  static int Run(const HostOptions& options, std::ostream& out, std::ostream& errors);
};

}  // namespace mailhost
