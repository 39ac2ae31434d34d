// The mail window's tracking, its bar and the bar's state machine.
#include "inspector/Insp.h"

#include "audio/Fx.h"
#include "common/FacePaste.h"
#include "common/Routine.h"
#include "common/Trace.h"
#include "common/VoiceAttachments.h"

namespace sonvera {

using namespace hostmodel;

namespace {

constexpr const char* kInspAction = "!<Sonvera.Insp>";
constexpr const char* kRecordFace = "\\RecordButton.bmp";
constexpr const char* kStopFace = "\\StopButton.bmp";
constexpr const char* kPauseFace = "\\PauseButton.bmp";
constexpr const char* kPlayFace = "\\PlayButton.bmp";

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
  m_toolbarState = "Wait";
  // A window whose item is not a mail ends here without a word.
  try {
    auto mail = std::dynamic_pointer_cast<MailItem>(Need(oInsM.get()).CurrentItem());
    if (!mail) throw platform::Error("Type mismatch");
    BindMail(mail);
    if (mail->Class() != kOlMail) {
      m_messageState = "No_Message";
      return;
    }
  } catch (...) {
    return;
  }
  m_messageState = Need(oMail.get()).Sent() ? "Sent_Message" : "New_Message";

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
  if (m_messageState == "No_Message") return;
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
      {&CmdSonvera, kMsoButtonIconAndCaption, "voice mail servece", "Sonvera", 70, "\\Sonvera.bmp"},
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
  apply({&CmdDel, kMsoButtonIconAndCaption, "Delete file", "Delete", 70, "\\DeleteButton.bmp"});
  apply({&CmdProp, kMsoButtonIcon, "voice mail service", "Properties", 20,
         "\\PropertiesButton.bmp"});
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

void Insp::SetToolBarState(const std::string& CalledFrom) {
  Trace("Insp SetToolBarState State = " + m_messageState + ", " + m_toolbarState +
        " Called From " + CalledFrom);
  auto I = [](auto&& statement) { IgnoreErrors(statement); };
  auto show = [&](auto& control, bool visible) { I([&] { Need(control.get()).SetVisible(visible); }); };
  auto enable = [&](auto& control, bool enabled) { I([&] { Need(control.get()).SetEnabled(enabled); }); };
  auto caption = [&](auto& control, const char* text) { I([&] { Need(control.get()).SetCaption(text); }); };
  auto listShow = [&](bool visible) { I([&] { Need(CmdList).SetVisible(visible); }); };
  auto count = [&] {
    int n = 0;
    I([&] { n = Need(CmdList).ListCount(); });
    return n;
  };
  const std::string& state = m_toolbarState;

  if (m_messageState == "No_Message") {
    if (oInspBar) I([&] { oInspBar->SetVisible(false); });
    return;
  }
  if (m_messageState == "Sent_Message") {
    MailCheck();
    I([&] { Need(oInspBar).SetVisible(true); });
    show(CmdSonvera, true);
    show(CmdRec, false), enable(CmdRec, false);
    show(CmdDel, false), enable(CmdDel, false);
    show(CmdProp, false), enable(CmdProp, false);
    show(CmdPause, false), enable(CmdPause, false);
    enable(CmdPlay, true);
    I([&] { Need(CmdList).SetEnabled(true); });
    const int n = count();
    if (n > 0) {
      if (state == "Wait") {
        listShow(n > 1);
        show(CmdPlay, true);
        caption(CmdPlay, "Play");
      } else if (state == "Playing") {
        listShow(false);
        show(CmdPlay, true);
        caption(CmdPlay, "Stop");
      }
    } else {
      show(CmdPlay, false);
      listShow(false);
    }
    return;
  }
  if (m_messageState != "New_Message") return;

  MailCheck();
  I([&] { Need(oInspBar).SetVisible(true); });
  show(CmdSonvera, true);
  // Record waits while a recording is encoded.
  enable(CmdRec, !FrmProp::Instance().Encoding());
  enable(CmdDel, true);
  enable(CmdProp, true);
  enable(CmdPause, true);
  enable(CmdPlay, true);
  I([&] { Need(CmdList).SetEnabled(true); });
  if (state == "Wait") {
    const int n = count();
    listShow(n > 1);
    if (n > 0) {
      show(CmdPlay, true);
      caption(CmdPlay, "Play");
      PasteFaceIgnoring(CmdPlay, kPlayFace);
      show(CmdDel, true);
      show(CmdRec, false);
    } else {
      show(CmdPlay, false);
      show(CmdDel, false);
      PasteFaceIgnoring(CmdRec, kRecordFace);
      caption(CmdRec, "Record");
      show(CmdRec, true);
    }
    show(CmdProp, true);
    show(CmdPause, false);
  } else if (state == "Recording" || state == "Recording_Paused") {
    const bool paused = state == "Recording_Paused";
    PasteFaceIgnoring(CmdPause, paused ? kRecordFace : kPauseFace);
    caption(CmdPause, paused ? "Continue" : "Pause");
    show(CmdPause, true);
    caption(CmdRec, "Stop");
    PasteFaceIgnoring(CmdRec, kStopFace);
    enable(CmdRec, true);
    show(CmdDel, false);
    show(CmdProp, false);
    show(CmdPlay, false);
    listShow(false);
  } else if (state == "Playing") {
    show(CmdPlay, true);
    caption(CmdPlay, "Stop");
    PasteFaceIgnoring(CmdPlay, kStopFace);
    show(CmdRec, false);
    show(CmdDel, false);
    show(CmdPause, false);
    show(CmdProp, false);
    listShow(false);
  }
}

}  // namespace sonvera
