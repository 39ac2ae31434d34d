#include "ui/frmSplash.h"

#include "common/FormControls.h"
#include "common/Trace.h"
#include "platform/Platform.h"

namespace sonvera {

frmSplash& frmSplash::Instance() {
  static frmSplash form;
  return form;
}

void frmSplash::Load() {
  if (m_window) return;
  m_window = platform::GetWindows().CreateForm("frmSplash", "", kWidth, kHeight);
  m_window->SetControl(MakeControl("lblMsg", platform::ControlKind::Label, "", 32, 60, 420, 24));
}

void frmSplash::SetMessage(const std::string& text) {
  Load();
  m_window->Find("lblMsg")->text = text;
}

void frmSplash::SplashShow() {
  Trace("frmSplash SplashShow");
  Load();
  const auto pointer = platform::GetWindows().CursorPos();
  const int x = pointer.x - 40;
  const int y = pointer.y + 100;
  m_window->Place(true, x, y, kWidth, kHeight);
  m_window->Place(false, x, y, kWidth, kHeight);
}

void frmSplash::Unload() {
  m_window.reset();
}

}  // namespace sonvera
