#pragma once
// The controller of one mail window: binds the window's events, builds or
// re-finds its bar, redraws it from two state strings, and runs the
// recording, playing and send handlers of that window.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/Encoding.h"
#include "audio/FrmProp.h"
#include "common/ProductServer.h"
#include "common/Routine.h"
#include "common/ToolbarState.h"
#include "common/WithEvents.h"
#include "hostmodel/HostModel.h"

namespace sonvera {

class Insp : public RecordingOwner, public std::enable_shared_from_this<Insp> {
 public:
  std::string toolbarState() const override { return StateText(m_toolbarState); }
  void setToolbarState(ToolbarState state) override { m_toolbarState = state; }
  std::string messageState() const { return StateText(m_messageState); }

  void SaveWaveFile() override;
  void CleanShutdown();
  void GetInsp(const hostmodel::Ref<hostmodel::Inspector>& inpector);
  // Runs a command line and waits for it, pumping events. A program that
  // outlives `TimeOutValue` seconds (0: no limit), or the host's exit, is
  // ended. `run`, when given, says how the wait ended.
  bool ShellandWait(const std::string& ExeFullPath, std::int32_t TimeOutValue,
                    ProgramRun* run = nullptr);
  void PlayIsFinished() override;

  // Where the mail footer points; handed down by the application object.
  ProductServer ProductHost;

  static constexpr const char* kBarName = "Sonvera";

  // Read-only views for tests and the host's inspection.
  const std::vector<std::int16_t>& AttachmentIndexes() const { return AttachmentIndex; }
  bool Sending() const { return SendingFlag; }

 private:
  void MailCheck();
  void CreateToolbar();
  void SetToolBarState(const std::string& CalledFrom);
  // Sets the state, then redraws the bar saying who asked.
  void Redraw(ToolbarState state, const char* CalledFrom);
  // The commands' prompt: none while the mail is sent; No puts the bar back
  // to Wait.
  Routine::Handler AskToQuitOrWait(const char* source);
  // The steps of SetToolBarState, one a kind of mail, one a state of a new mail.
  void DrawSentMessage();
  void DrawNewMessage();
  void DrawWait();
  void DrawRecording(bool paused);
  void DrawPlaying();

  void oInsM_Activate();
  void oInsM_Deactivate();
  void oInsM_Close();
  void oMail_Send(bool& Cancel);
  void oMail_AttachmentAdd(const hostmodel::Ref<hostmodel::Attachment>& Attachment);
  void CmdRec_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);
  void CmdPause_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);
  void CmdDel_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);
  void CmdProp_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);
  void CmdPlay_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);

  // Binds a button to a click handler of this controller.
  using ClickHandler = void (Insp::*)(const hostmodel::Ref<hostmodel::CommandBarButton>&, bool&);
  void Bind(WithEvents<hostmodel::CommandBarButton>& member,
            hostmodel::Ref<hostmodel::CommandBarButton> button, ClickHandler handler);
  void BindMail(hostmodel::Ref<hostmodel::MailItem> mail);

  ToolbarState m_toolbarState = ToolbarState::Unset;
  MessageState m_messageState = MessageState::Unset;
  bool SendingFlag = false;
  hostmodel::Ref<hostmodel::CommandBar> oInspBar;
  std::vector<std::int16_t> AttachmentIndex{0};
  hostmodel::Ref<hostmodel::CommandBarComboBox> CmdList;
  WithEvents<hostmodel::CommandBarButton> CmdPlay;
  WithEvents<hostmodel::CommandBarButton> CmdProp;
  WithEvents<hostmodel::Inspector> oInsM;
  WithEvents<hostmodel::CommandBarButton> CmdRec;
  WithEvents<hostmodel::CommandBarButton> CmdSonvera;
  WithEvents<hostmodel::CommandBarButton> CmdPause;
  WithEvents<hostmodel::MailItem> oMail;
  WithEvents<hostmodel::CommandBarButton> CmdDel;
};

}  // namespace sonvera
