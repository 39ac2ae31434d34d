#pragma once
// mailhost --web: the page for a person, served on 127.0.0.1 only, on the
// real platform. Every action of the page is a command of the command table,
// run by the same dispatcher as scenarios and the console.
#include <ostream>

#include "host/setup/HostSetup.h"
#include "host/web/PageLimits.h"

namespace mailhost {

struct WebOptions {
  HostOptions host;
  int port = 0;  // 0: a free one
  bool openBrowser = false;
  PageLimits limits;
};

class WebFrontEnd {
 public:
  static int Run(const WebOptions& options, std::ostream& out, std::ostream& errors);
};

}  // namespace mailhost
