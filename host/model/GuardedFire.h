#pragma once
// Firing an add-in's event handlers from the host. A handler that lets a
// failure escape must not take the host down: the host reports it on
// standard error and carries on, as the mail client would.
#include <exception>
#include <string>
#include <utility>

#include "hostmodel/Event.h"

namespace mailhost {

void ReportHandlerFailure(const std::string& eventName, const std::string& description);

template <typename... Params, typename... Args>
void FireGuarded(const std::string& eventName, hostmodel::Event<Params...>& event, Args&&... args) {
  try {
    event.Fire(std::forward<Args>(args)...);
  } catch (const std::exception& e) {
    ReportHandlerFailure(eventName, e.what());
  } catch (...) {
    ReportHandlerFailure(eventName, "unknown failure");
  }
}

}  // namespace mailhost
