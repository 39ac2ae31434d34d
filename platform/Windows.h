#pragma once
// The add-in's own windows (the meter, the dialog, the notice) in the host's
// window system, with their controls and drawing surface, and what the
// desktop tells about the screen. On this system the host is the desktop,
// so one implementation serves the real host and the scenario runner.
//
// Contract:
// - CreateForm gives a hidden window of the given client size with a handle
//   that is never 0; the window goes away when the last reference is dropped.
// - Place shows the window at screen pixels without activating it
//   (SetWindowPos with SWP_SHOWWINDOW | SWP_NOACTIVATE).
// - Controls are found by name; a click or a choice of the user runs the
//   control's handler on the UI loop.
// - Clear empties the drawing surface; Paint draws a picture with its top
//   left corner at (x, y), clipped to the client area.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Pictures.h"

namespace platform {

using WindowHandle = std::uint32_t;

struct Point {
  int x = 0;
  int y = 0;
};

enum class ControlKind { Label, Link, Button, List };

struct Control {
  std::string name;
  ControlKind kind = ControlKind::Label;
  std::string text;
  int x = 0, y = 0, width = 0, height = 0;  // pixels in the client area
  bool visible = true;
  bool enabled = true;
  std::vector<std::string> items;  // a list's entries
  int listIndex = -1;              // -1: nothing chosen
  std::function<void()> onClick;   // a button or link clicked, a list choice made
};

struct PaintedPicture {
  PicturePtr picture;
  int x = 0;
  int y = 0;
};

class FormWindow {
 public:
  virtual ~FormWindow() = default;
  virtual WindowHandle Handle() const = 0;
  virtual void Place(bool topmost, int x, int y, int width, int height) = 0;
  virtual void Hide() = 0;
  // Shown by Place and not hidden since (the add-in asks whether its dialog is open).
  virtual bool Visible() const = 0;
  // Adds the control, or replaces the one of the same name.
  virtual Control& SetControl(Control control) = 0;
  // nullptr for a name the form has no control of.
  virtual Control* Find(const std::string& name) = 0;
  virtual void Clear() = 0;
  virtual void Paint(const PicturePtr& picture, int x, int y) = 0;
};

class Windows {
 public:
  virtual ~Windows() = default;
  virtual std::shared_ptr<FormWindow> CreateForm(const std::string& name,
                                                 const std::string& caption,
                                                 int clientWidth, int clientHeight) = 0;
  virtual Point CursorPos() = 0;
  virtual int TwipsPerPixelX() = 0;
  virtual int TwipsPerPixelY() = 0;
};

}  // namespace platform
