#include "host/model/GuardedFire.h"

#include <iostream>

namespace mailhost {

void ReportHandlerFailure(const std::string& eventName, const std::string& description) {
  std::cerr << "mailhost: an add-in's " << eventName << " handler failed: " << description
            << std::endl;
}

}  // namespace mailhost
