#include "audio/FrmProp.h"

#include "platform/Platform.h"

namespace sonvera {

FrmProp& FrmProp::Instance() {
  static FrmProp form;
  return form;
}

void FrmProp::Load() {
  m_loaded = true;
}

void FrmProp::Unload() {
  m_loaded = false;
}

void FrmProp::KillLimitTimer() {
  if (m_limitTimer != 0) platform::GetLoop().KillTimer(m_limitTimer);
  m_limitTimer = 0;
}

}  // namespace sonvera
