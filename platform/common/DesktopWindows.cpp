#include "platform/common/DesktopWindows.h"

#include <algorithm>

#include "platform/Error.h"

namespace platform {

void DesktopForm::Place(bool topmost, int x, int y, int width, int height) {
  m_topmost = topmost;
  m_x = x;
  m_y = y;
  m_width = width;
  m_height = height;
  m_visible = true;
}

Control& DesktopForm::SetControl(Control control) {
  if (auto* existing = Find(control.name)) return *existing = std::move(control);
  m_controls.push_back(std::move(control));
  return m_controls.back();
}

Control* DesktopForm::Find(const std::string& name) {
  auto found = std::find_if(m_controls.begin(), m_controls.end(),
                            [&](const Control& c) { return c.name == name; });
  return found == m_controls.end() ? nullptr : &*found;
}

void DesktopForm::Paint(const PicturePtr& picture, int x, int y) {
  // Outside the client area nothing shows.
  if (!picture || x >= m_width || y >= m_height || x + picture->width <= 0 ||
      y + picture->height <= 0)
    return;
  m_painted.push_back({picture, x, y});
}

std::shared_ptr<FormWindow> DesktopWindows::CreateForm(const std::string& name,
                                                       const std::string& caption,
                                                       int clientWidth, int clientHeight) {
  auto form = std::make_shared<DesktopForm>(m_next++, name, caption, clientWidth, clientHeight);
  m_forms.erase(std::remove_if(m_forms.begin(), m_forms.end(),
                               [](const auto& weak) { return weak.expired(); }),
                m_forms.end());
  m_forms.push_back(form);
  return form;
}

std::vector<std::shared_ptr<DesktopForm>> DesktopWindows::Shown() const {
  std::vector<std::shared_ptr<DesktopForm>> shown;
  for (const auto& weak : m_forms)
    if (auto form = weak.lock(); form && form->Visible()) shown.push_back(form);
  return shown;
}

std::shared_ptr<DesktopForm> DesktopWindows::Require(const std::string& name) const {
  for (const auto& form : Shown())
    if (form->Name() == name) return form;
  throw Error("The window " + name + " is not shown.");
}

Control& DesktopWindows::Usable(DesktopForm& form, const std::string& name) {
  Control* control = form.Find(name);
  if (!control) {
    for (const auto& candidate : form.Controls()) {
      if (candidate.text == name && candidate.visible) {
        control = form.Find(candidate.name);
        break;
      }
    }
  }
  if (!control) throw Error("The window " + form.Name() + " has no control " + name + ".");
  if (!control->visible) throw Error("The control " + name + " is hidden.");
  if (!control->enabled) throw Error("The control " + name + " is disabled.");
  return *control;
}

void DesktopWindows::Click(const std::string& formName, const std::string& name) {
  auto form = Require(formName);
  auto& control = Usable(*form, name);
  if (control.kind == ControlKind::Label || control.kind == ControlKind::List)
    throw Error("The control " + name + " cannot be clicked.");
  // The handler may unload the form and with it this control.
  auto handler = control.onClick;
  if (handler) handler();
}

void DesktopWindows::Choose(const std::string& formName, const std::string& name,
                            const std::string& entry) {
  auto form = Require(formName);
  auto& control = Usable(*form, name);
  if (control.kind != ControlKind::List) throw Error("The control " + name + " is not a list.");
  auto found = std::find(control.items.begin(), control.items.end(), entry);
  if (found == control.items.end())
    throw Error("The list " + name + " has no entry \"" + entry + "\".");
  control.listIndex = static_cast<int>(found - control.items.begin());
  auto handler = control.onClick;
  if (handler) handler();
}

}  // namespace platform
