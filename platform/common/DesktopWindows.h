#pragma once
// The host's window system for the add-in's own windows. On this system the
// host is the desktop, so the real host and the scenario runner share it;
// what it holds is what the host prints and draws.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Windows.h"

namespace platform {

class DesktopForm : public FormWindow {
 public:
  DesktopForm(WindowHandle handle, std::string name, std::string caption, int width, int height)
      : m_handle(handle), m_name(std::move(name)), m_caption(std::move(caption)),
        m_width(width), m_height(height) {}

  WindowHandle Handle() const override { return m_handle; }
  void Place(bool topmost, int x, int y, int width, int height) override;
  void Hide() override { m_visible = false; }
  bool Visible() const override { return m_visible; }
  Control& SetControl(Control control) override;
  Control* Find(const std::string& name) override;
  void Clear() override { m_painted.clear(); }
  void Paint(const PicturePtr& picture, int x, int y) override;

  const std::string& Name() const { return m_name; }
  const std::string& Caption() const { return m_caption; }
  int X() const { return m_x; }
  int Y() const { return m_y; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  bool Topmost() const { return m_topmost; }
  const std::vector<Control>& Controls() const { return m_controls; }
  const std::vector<PaintedPicture>& Painted() const { return m_painted; }

 private:
  WindowHandle m_handle;
  std::string m_name, m_caption;
  int m_x = 0, m_y = 0, m_width, m_height;
  bool m_visible = false;
  bool m_topmost = false;
  std::vector<Control> m_controls;
  std::vector<PaintedPicture> m_painted;
};

class DesktopWindows : public Windows {
 public:
  std::shared_ptr<FormWindow> CreateForm(const std::string& name, const std::string& caption,
                                         int clientWidth, int clientHeight) override;
  Point CursorPos() override { return m_cursor; }
  int TwipsPerPixelX() override { return 15; }
  int TwipsPerPixelY() override { return 15; }

  void SetCursorPos(Point point) { m_cursor = point; }
  // The shown forms, in the order they were created.
  std::vector<std::shared_ptr<DesktopForm>> Shown() const;
  // A shown form by name; throws platform::Error when there is none.
  std::shared_ptr<DesktopForm> Require(const std::string& name) const;
  // What a user's click or choice does; each throws platform::Error, with a
  // message that says why, for a hidden form or a hidden or disabled control.
  void Click(const std::string& form, const std::string& control);
  void Choose(const std::string& form, const std::string& control, const std::string& entry);

 private:
  Control& Usable(DesktopForm& form, const std::string& control);

  Point m_cursor{500, 300};
  WindowHandle m_next = 0x100;
  std::vector<std::weak_ptr<DesktopForm>> m_forms;
};

}  // namespace platform
