#include "audio/Fx.h"

namespace sonvera {

Fx& Fx::Instance() {
  static Fx form;
  return form;
}

}  // namespace sonvera
