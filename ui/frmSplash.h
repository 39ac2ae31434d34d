#pragma once
// The notice window: a logo and one line, popped up near the pointer without
// taking the focus; only its caller closes it.
#include <memory>
#include <string>

#include "platform/Windows.h"

namespace sonvera {

class frmSplash {
 public:
  static frmSplash& Instance();

  // Setting the caption loads the window, as touching a control does.
  void SetMessage(const std::string& text);
  void SplashShow();
  void Unload();
  bool Loaded() const { return static_cast<bool>(m_window); }

  static constexpr int kWidth = 470;
  static constexpr int kHeight = 150;

 private:
  void Load();
  std::shared_ptr<platform::FormWindow> m_window;
};

}  // namespace sonvera
