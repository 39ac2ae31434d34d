#pragma once
// Geometry of windows and bars in screen pixels. Bars stack in rows under the
// window's caption and menu; controls sit side by side on their bar, hidden
// ones taking no room.
namespace mailhost {

constexpr int kBarsOffsetTop = 60;  // caption and menu bar above the first bar row
constexpr int kBarRowHeight = 26;
constexpr int kBarInsetLeft = 5;  // the bar's grip
constexpr int kButtonIconWidth = 24;
constexpr int kCaptionCharWidth = 7;
constexpr int kDropdownWidth = 100;

struct ScreenPoint {
  int left = 0;
  int top = 0;
};

}  // namespace mailhost
