#pragma once
// The application object: one per running host. It holds the host's
// application, main window and mail-window collection, builds the main
// window's bar, starts the update monitor, refuses to run twice and tears
// everything down on shutdown.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/FrmProp.h"
#include "common/ErrorPrompt.h"
#include "common/ProductServer.h"
#include "common/WithEvents.h"
#include "hostmodel/HostModel.h"

namespace sonvera {

class Connect;
class Insp;

class Amp : public ShutdownTarget, public PlaybackCaller, public std::enable_shared_from_this<Amp> {
 public:
  // Class initialisation: the new object becomes oAmp and the recorder's AmpRef.
  static std::shared_ptr<Amp> Create();

  void ExitProgram();
  void PlayIsFinished() override;
  void CleanShutdown() override;
  void OnBeginShutdown();
  void OnStartupComplete(const hostmodel::Ref<hostmodel::Application>& Outl,
                         const std::shared_ptr<Connect>& Connect);

  // The single-instance test: finds a bar named "Sonvera" in the window.
  bool IsCommandBarSet(const hostmodel::Ref<hostmodel::Explorer>& Window,
                       hostmodel::Ref<hostmodel::CommandBar>& Bar);

  // Main window bar (explorer/).
  void AddButtons();
  void oExp_SelectionChange();
  void CmdAmp_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);
  void CmdPlay_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);
  void oIns_NewInspector(const hostmodel::Ref<hostmodel::Inspector>& Inspector);

  hostmodel::Ref<hostmodel::Application> oApp;
  std::shared_ptr<Connect> oConnect;
  WithEvents<hostmodel::Inspectors> oIns;
  WithEvents<hostmodel::Explorer> oExp;
  hostmodel::Ref<hostmodel::CommandBar> oCBar;
  WithEvents<hostmodel::CommandBarButton> CmdAmp;
  WithEvents<hostmodel::CommandBarButton> CmdPlay;
  hostmodel::Ref<hostmodel::CommandBarComboBox> CmdList;
  hostmodel::Ref<hostmodel::MailItem> oMail;
  std::vector<std::int16_t> AttachmentIndex{0};
  std::vector<std::shared_ptr<Insp>> InspList;
  // Resolved once at start-up; whatever names the product server reads it here.
  ProductServer ProductHost;

  static constexpr const char* kBarName = "Sonvera";
  static constexpr const char* kAnotherInstance =
      "Another instance of Sonvera is running!\r\nShutting down this instance.";

 private:
  Amp() = default;
  // Binds a handler of this object so that a released Amp is never called.
  template <typename... Args>
  auto Bound(void (Amp::*handler)(Args...));

  bool m_shutDown = false;
};

// The shared reference to the one application object.
extern std::shared_ptr<Amp> oAmp;

template <typename... Args>
auto Amp::Bound(void (Amp::*handler)(Args...)) {
  std::weak_ptr<Amp> weak = weak_from_this();
  return [weak, handler](Args... args) {
    if (auto self = weak.lock()) ((*self).*handler)(std::forward<Args>(args)...);
  };
}

}  // namespace sonvera
