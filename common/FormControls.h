#pragma once
// A control of one of the add-in's windows, placed in client pixels.
#include <string>

#include "platform/Windows.h"

namespace sonvera {

inline platform::Control MakeControl(const char* name, platform::ControlKind kind,
                                     const std::string& text, int x, int y, int width,
                                     int height) {
  platform::Control control;
  control.name = name;
  control.kind = kind;
  control.text = text;
  control.x = x;
  control.y = y;
  control.width = width;
  control.height = height;
  return control;
}

}  // namespace sonvera
