// The mail window's tracking, its bar and the bar's state machine.
#include "inspector/Insp.h"

#include "audio/Fx.h"
#include "common/FacePaste.h"
#include "common/Handlers.h"
#include "common/Routine.h"
#include "common/Trace.h"
#include "common/VoiceAttachments.h"

namespace sonvera {

using namespace hostmodel;

namespace {

constexpr const char* kInspAction = "!<Sonvera.Insp>";

// A face paste whose first failure is raised once the clipboard is back.
void PasteFaceOrThrow(CommandBarButton& button, const std::string& face) {
  std::exception_ptr failure;
  PasteFaceFrom(button, face, [&](auto&& statement) {
    if (failure) return;
    try {
      statement();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
}

void PasteFaceIgnoring(const WithEvents<CommandBarButton>& button, const std::string& face) {
  if (!button) return;
  PasteFaceFrom(*button.get(), face, [](auto&& statement) { IgnoreErrors(statement); });
}

// The bar's controls, bound (a button) or held (the list); each statement
// below skips a control that is not there or fails.
template <typename T>
T& Control(const WithEvents<T>& member) {
  return Need(member.get());
}
template <typename T>
T& Control(const Ref<T>& member) {
  return Need(member);
}
template <typename Member>
void Show(const Member& member, bool visible) {
  IgnoreErrors([&] { Control(member).SetVisible(visible); });
}
template <typename Member>
void Enable(const Member& member, bool enabled) {
  IgnoreErrors([&] { Control(member).SetEnabled(enabled); });
}
void Caption(const WithEvents<CommandBarButton>& button, const char* text) {
  IgnoreErrors([&] { Control(button).SetCaption(text); });
}
int ListCount(const Ref<CommandBarComboBox>& list) {
  int n = 0;
  IgnoreErrors([&] { n = Need(list).ListCount(); });
  return n;
}

}  // namespace

void Insp::Bind(WithEvents<CommandBarButton>& member, Ref<CommandBarButton> button,
                ClickHandler handler) {
  member.Set(std::move(button), [&](CommandBarButton& b, auto& subs) {
    if (handler) subs.push_back(b.Click.Subscribe(BindWeak(shared_from_this(), handler)));
  });
}

void Insp::BindMail(Ref<MailItem> mail) {
  oMail.Set(std::move(mail), [&](MailItem& m, auto& subs) {
    subs.push_back(m.Send.Subscribe(BindWeak(shared_from_this(), &Insp::oMail_Send)));
    subs.push_back(
        m.AttachmentAdd.Subscribe(BindWeak(shared_from_this(), &Insp::oMail_AttachmentAdd)));
  });
}

void Insp::GetInsp(const Ref<Inspector>& inpector) {
  Trace("Insp GetInsp");
  oInsM.Set(inpector, [&](Inspector& window, auto& subs) {
    auto self = shared_from_this();
    subs.push_back(window.Activate.Subscribe(BindWeak(self, &Insp::oInsM_Activate)));
    subs.push_back(window.Deactivate.Subscribe(BindWeak(self, &Insp::oInsM_Deactivate)));
    subs.push_back(window.Close.Subscribe(BindWeak(self, &Insp::oInsM_Close)));
  });
}

void Insp::oInsM_Activate() {
  Trace("Insp oInsM_Activate");
  auto self = shared_from_this();
  SendingFlag = false;
  FrmProp::Instance().ActiveInsp = self;
  m_toolbarState = ToolbarState::Wait;
  // A window whose item is not a mail ends here without a word.
  try {
    auto mail = std::dynamic_pointer_cast<MailItem>(Need(oInsM.get()).CurrentItem());
    if (!mail) throw platform::Error("Type mismatch");
    BindMail(mail);
    if (mail->Class() != kOlMail) {
      m_messageState = MessageState::No_Message;
      return;
    }
  } catch (...) {
    return;
  }
  m_messageState =
      Need(oMail.get()).Sent() ? MessageState::Sent_Message : MessageState::New_Message;

  auto bars = Need(oInsM.get()).GetCommandBars();
  bool found = false;
  const int count = Need(bars).Count();
  for (int i = 1; i <= count && !found; ++i) found = bars->GetItem(i)->Name() == kBarName;
  if (found) {
    FrmProp::Instance().WClose();
    oInspBar = bars->Find(kBarName);
    auto controlsRef = oInspBar->Controls();
    auto& controls = Need(controlsRef);
    auto button = [&](int index) { return As<CommandBarButton>(controls.GetItem(index)); };
    const int present = controls.Count();
    // Controls missing from a bar whose build failed are left unbound.
    if (present >= 1) Bind(CmdSonvera, button(1), nullptr);
    if (present >= 2) Bind(CmdRec, button(2), &Insp::CmdRec_Click);
    if (present >= 3) Bind(CmdPause, button(3), &Insp::CmdPause_Click);
    if (present >= 4) Bind(CmdPlay, button(4), &Insp::CmdPlay_Click);
    if (present >= 5) CmdList = As<CommandBarComboBox>(controls.GetItem(5));
    if (present >= 6) Bind(CmdDel, button(6), &Insp::CmdDel_Click);
    if (present >= 7) Bind(CmdProp, button(7), &Insp::CmdProp_Click);
  } else {
    CreateToolbar();
  }
  SetToolBarState("Insp oInsM_Activate");
}

void Insp::oInsM_Deactivate() {
  Trace("Insp oInsM_Deactivate");
  FrmProp::Instance().WClose();
}

void Insp::oInsM_Close() {
  Trace("Insp oInsM_Close");
  CleanShutdown();
}

void Insp::CleanShutdown() {
  Trace("Insp CleanShutdown");
  auto self = shared_from_this();
  auto& recorder = FrmProp::Instance();
  recorder.WClose();
  Fx::Instance().Unload();
  CmdDel.Reset();
  oInsM.Reset();
  CmdProp.Reset();
  CmdRec.Reset();
  CmdPlay.Reset();
  CmdPause.Reset();
  CmdList.reset();
  oInspBar.reset();
  oMail.Reset();
  CmdSonvera.Reset();
  if (recorder.PlayCaller.get() == static_cast<PlaybackCaller*>(this)) recorder.PlayCaller.reset();
  if (recorder.ActiveInsp.get() == static_cast<RecordingOwner*>(this)) recorder.ActiveInsp.reset();
}

void Insp::CreateToolbar() {
  Trace("Insp CreateToolbar");
  if (m_messageState == MessageState::No_Message) return;
  oInspBar = Need(Need(oInsM.get()).GetCommandBars()).Add(kBarName, kMsoBarTop, false, true);
  auto controlsRef = oInspBar->Controls();
  auto& controls = Need(controlsRef);
  auto addButton = [&] {
    return As<CommandBarButton>(controls.Add(kMsoControlButton, 0, "", 0, true));
  };
  Bind(CmdSonvera, addButton(), nullptr);
  Bind(CmdRec, addButton(), &Insp::CmdRec_Click);
  Bind(CmdPause, addButton(), &Insp::CmdPause_Click);
  Bind(CmdPlay, addButton(), &Insp::CmdPlay_Click);
  CmdList = As<CommandBarComboBox>(controls.Add(kMsoControlDropdown, 0, "", 0, true));
  Bind(CmdDel, addButton(), &Insp::CmdDel_Click);
  Bind(CmdProp, addButton(), &Insp::CmdProp_Click);

  struct ButtonSpec {
    WithEvents<CommandBarButton>* member;
    int style;
    const char* description;
    const char* caption;
    int width;
    const char* face;  // nullptr: none at creation
  };
  const ButtonSpec before[] = {
      {&CmdSonvera, kMsoButtonIconAndCaption, "voice mail servece", "Sonvera", 70, kProductFace},
      {&CmdRec, kMsoButtonIconAndCaption, "voice mail service", "Record", 70, nullptr},
      {&CmdPause, kMsoButtonIconAndCaption, "Stop recording and attach the file", "Pause", 70,
       kPauseFace},
      {&CmdPlay, kMsoButtonIconAndCaption, "Play file", "Play/Stop", 70, kPlayFace},
  };
  auto apply = [&](const ButtonSpec& spec) {
    auto& button = Need(spec.member->get());
    button.SetStyle(spec.style);
    button.SetOnAction(kInspAction);
    button.SetDescriptionText(spec.description);
    button.SetCaption(spec.caption);
    button.SetWidth(spec.width);
    if (spec.face) PasteFaceOrThrow(button, spec.face);
  };
  for (const auto& spec : before) apply(spec);
  CmdList->SetStyle(1);
  CmdList->SetDescriptionText("Choose file to play");
  CmdList->SetWidth(100);
  CmdList->SetOLEUsage(0);
  apply({&CmdDel, kMsoButtonIconAndCaption, "Delete file", "Delete", 70, kDeleteFace});
  apply({&CmdProp, kMsoButtonIcon, "voice mail service", "Properties", 20, kPropertiesFace});
  if (oInspBar) oInspBar->SetProtection(kMsoBarNoCustomize);
}

void Insp::MailCheck() {
  Trace("Insp Mail Check");
  IgnoreErrors([&] { Need(CmdList).Clear(); });
  int count = 0;
  IgnoreErrors([&] { count = Need(Need(oMail.get()).GetAttachments()).Count(); });
  if (count > 0 && CmdList && oMail)
    ListVoiceAttachments(*oMail.get(), *CmdList, AttachmentIndex,
                         [](auto&& statement) { IgnoreErrors(statement); });
}

void Insp::Redraw(ToolbarState state, const char* CalledFrom) {
  m_toolbarState = state;
  SetToolBarState(CalledFrom);
}

Routine::Handler Insp::AskToQuitOrWait(const char* source) {
  return QuietWhile(SendingFlag,
                    AskToQuit(source, [this, source] { Redraw(ToolbarState::Wait, source); }));
}

// From the trace on, every failing statement is skipped: a missing face costs
// only that face, a control that is not bound is not changed.
void Insp::SetToolBarState(const std::string& CalledFrom) {
  Trace(std::string("Insp SetToolBarState State = ") + StateText(m_messageState) + ", " +
        StateText(m_toolbarState) + " Called From " + CalledFrom);
  if (m_messageState == MessageState::No_Message) {
    if (oInspBar) IgnoreErrors([&] { oInspBar->SetVisible(false); });
  } else if (m_messageState == MessageState::Sent_Message) {
    DrawSentMessage();
  } else if (m_messageState == MessageState::New_Message) {
    DrawNewMessage();
  }
}

// The user may only listen.
void Insp::DrawSentMessage() {
  MailCheck();
  IgnoreErrors([&] { Need(oInspBar).SetVisible(true); });
  Show(CmdSonvera, true);
  Show(CmdRec, false), Enable(CmdRec, false);
  Show(CmdDel, false), Enable(CmdDel, false);
  Show(CmdProp, false), Enable(CmdProp, false);
  Show(CmdPause, false), Enable(CmdPause, false);
  Enable(CmdPlay, true);
  Enable(CmdList, true);
  const int n = ListCount(CmdList);
  if (n <= 0) {
    Show(CmdPlay, false);
    Show(CmdList, false);
  } else if (m_toolbarState == ToolbarState::Wait) {
    Show(CmdList, n > 1);
    Show(CmdPlay, true);
    Caption(CmdPlay, "Play");
  } else if (m_toolbarState == ToolbarState::Playing) {
    Show(CmdList, false);
    Show(CmdPlay, true);
    Caption(CmdPlay, "Stop");
  }
}

// The user may record, delete and listen.
void Insp::DrawNewMessage() {
  MailCheck();
  IgnoreErrors([&] { Need(oInspBar).SetVisible(true); });
  Show(CmdSonvera, true);
  // Record waits while a recording is encoded.
  Enable(CmdRec, !FrmProp::Instance().Encoding());
  Enable(CmdDel, true);
  Enable(CmdProp, true);
  Enable(CmdPause, true);
  Enable(CmdPlay, true);
  Enable(CmdList, true);
  switch (m_toolbarState) {
    case ToolbarState::Wait:
      DrawWait();
      break;
    case ToolbarState::Recording:
      DrawRecording(false);
      break;
    case ToolbarState::Recording_Paused:
      DrawRecording(true);
      break;
    case ToolbarState::Playing:
      DrawPlaying();
      break;
    case ToolbarState::Unset:
      break;
  }
}

// Play and Delete for the voice message the mail carries, else Record.
void Insp::DrawWait() {
  const int n = ListCount(CmdList);
  Show(CmdList, n > 1);
  if (n > 0) {
    Show(CmdPlay, true);
    Caption(CmdPlay, "Play");
    PasteFaceIgnoring(CmdPlay, kPlayFace);
    Show(CmdDel, true);
    Show(CmdRec, false);
  } else {
    Show(CmdPlay, false);
    Show(CmdDel, false);
    PasteFaceIgnoring(CmdRec, kRecordFace);
    Caption(CmdRec, "Record");
    Show(CmdRec, true);
  }
  Show(CmdProp, true);
  Show(CmdPause, false);
}

// Stop on Record, and Pause or Continue.
void Insp::DrawRecording(bool paused) {
  PasteFaceIgnoring(CmdPause, paused ? kRecordFace : kPauseFace);
  Caption(CmdPause, paused ? "Continue" : "Pause");
  Show(CmdPause, true);
  Caption(CmdRec, "Stop");
  PasteFaceIgnoring(CmdRec, kStopFace);
  Enable(CmdRec, true);
  Show(CmdDel, false);
  Show(CmdProp, false);
  Show(CmdPlay, false);
  Show(CmdList, false);
}

// Stop on Play, nothing else.
void Insp::DrawPlaying() {
  Show(CmdPlay, true);
  Caption(CmdPlay, "Stop");
  PasteFaceIgnoring(CmdPlay, kStopFace);
  Show(CmdRec, false);
  Show(CmdDel, false);
  Show(CmdPause, false);
  Show(CmdProp, false);
  Show(CmdList, false);
}

}  // namespace sonvera
