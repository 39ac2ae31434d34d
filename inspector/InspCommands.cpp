// The mail window's commands: record, pause, delete, properties, play, and
// the mail's send and attachment hooks.
#include "audio/Fx.h"
#include "common/AddinFolder.h"
#include "common/Handlers.h"
#include "common/Trace.h"
#include "common/VoiceAttachments.h"
#include "inspector/Insp.h"
#include "platform/Platform.h"

namespace sonvera {

using namespace hostmodel;

namespace {

constexpr const char* kSourceRecord = "Mail Message Record Command";
constexpr const char* kSourcePlay = "Insp CmdPlay_Click";
constexpr const char* kSourcePause = "Insp CmdPause_Click";
constexpr const char* kFooterRule = "______________________________________";
constexpr const char* kFooterLine2 = "Voice E-mail messages are created using Sonvera technology. ";
constexpr const char* kFooterLine3 = "Free Outlook Plug-in available at ";

}  // namespace

void Insp::CmdRec_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  Trace("Mail Message Record Command");
  auto self = shared_from_this();
  Routine r(AskToQuitOrWait(kSourceRecord));
  auto& recorder = FrmProp::Instance();
  r.step = "FrmProp";
  r.Do([&] {
    if (recorder.Visible()) recorder.Unload();
  });
  Trace("Insp CmdRec Toolbar State = " + toolbarState());
  int mode = 0;
  r.Do([&] { mode = recorder.WStatus(); });
  if (r.Left()) return;
  if (mode == platform::media_mode::kRecord || mode == platform::media_mode::kPause) {
    r.Do([&] { KillLimitTimer(); });
    const std::string saved = AddinFile(kSavedRecordingFile);
    r.detail = "Error Recording or Writing" + saved;
    r.step = "FrmProp.WSave";
    r.Do([&] { recorder.WSave(saved); });
    if (r.Left()) return;
    Redraw(ToolbarState::Wait, kSourceRecord);
    return;
  }
  // A second recording now would be saved over the one being encoded.
  if (recorder.Encoding()) {
    Trace("Insp CmdRec refused: a recording is being encoded");
    return;
  }
  r.detail.clear();
  r.step = "FrmProp.WClose";
  r.Do([&] { recorder.WClose(); });
  r.Do([&] { Need(CmdRec.get()).SetEnabled(false); });
  const std::string target = AddinFile(kRecordingFile);
  r.step = "FrmProp.WRecord" + target;
  r.Do([&] { recorder.WRecord(target); });
  if (r.Left()) return;
  Redraw(ToolbarState::Recording, kSourceRecord);
  r.Do([&] {
    Fx::Instance().Load();
    platform::GetLoop().RunPending();
  });
  if (platform::GetLoop().Ending()) return;  // the host is going: no meter to place
  r.Do([&] {
    auto& button = Need(CmdRec.get());
    if (auto* meter = Fx::Instance().Window())
      meter->Place(true, button.Left() + 200, button.Top(), Fx::kWidth, Fx::kHeight);
  });
}

void Insp::CmdPause_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  Trace(kSourcePause);
  auto self = shared_from_this();
  auto& recorder = FrmProp::Instance();
  if (recorder.WStatus() == platform::media_mode::kRecord) {
    Redraw(ToolbarState::Recording_Paused, kSourcePause);
    recorder.WPause();
  } else {
    Redraw(ToolbarState::Recording, kSourcePause);
    recorder.WResume();
  }
}

void Insp::CmdDel_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  Trace("Insp CmdDel_Click");
  auto self = shared_from_this();
  Need(CmdDel.get()).SetVisible(false);
  FrmProp::Instance().WClose();
  // The voice attachment of the chosen (or only) entry, never a document
  // the user attached before recording.
  int position = Need(CmdList).ListIndex();
  if (position < 1) position = 1;
  if (position < static_cast<int>(AttachmentIndex.size()) && AttachmentIndex[position] > 0)
    Need(Need(oMail.get()).GetAttachments()).Remove(AttachmentIndex[position]);
  SetToolBarState("Insp CmdDel_Click");
}

void Insp::CmdProp_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  Trace("Insp CmdProp_Click");
  FrmProp::Instance().PropShow();
}

void Insp::CmdPlay_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  auto self = shared_from_this();
  Routine r(AskToQuitOrWait(kSourcePlay));
  auto& recorder = FrmProp::Instance();
  r.step = "FrmProp.WStatus";
  int mode = 0;
  r.Do([&] { mode = recorder.WStatus(); });
  Trace("Insp.CmdPlay.Click Stat = " + std::to_string(mode) + " Toolbarstate = " + toolbarState());
  if (r.Left()) return;
  if (mode == platform::media_mode::kPlay) {
    r.step = "FrmProp.WClose";
    m_toolbarState = ToolbarState::Wait;
    r.Do([&] { recorder.WClose(); });
    if (r.Left()) return;
    Redraw(ToolbarState::Wait, kSourcePlay);
    return;
  }
  const std::string playFile =
      recorder.SaveChosenToPlay(r, CmdList, oMail.get(), AttachmentIndex, [&] { MailCheck(); });
  if (playFile.empty()) return;
  Redraw(ToolbarState::Playing, kSourcePlay);
  r.Do([&] {
    recorder.PlayCaller = self;
    auto& button = Need(CmdPlay.get());
    recorder.WPlay(playFile, true, button.Left() + 200, button.Top());
  });
}

void Insp::PlayIsFinished() {
  Trace("Insp PlayIsFinished Toolbar State = " + toolbarState());
  if (m_toolbarState == ToolbarState::Playing) Redraw(ToolbarState::Wait, "Insp PlayIsFinished");
}

void Insp::oMail_Send(bool& /*Cancel*/) {
  Trace("Insp Mail Send");
  SendingFlag = true;
  auto& mail = Need(oMail.get());
  auto attachments = mail.GetAttachments();
  bool voice = false;
  const int count = Need(attachments).Count();
  if (count > 0) {
    AttachmentIndex.assign(1, 0);
    for (int i = 1; i <= count; ++i)
      voice = IsVoiceAttachment(attachments->GetItem(i)->FileName()) || voice;
  }
  if (voice) {
    mail.SetBody(mail.Body() + "\n" + kFooterRule + "\n" + kFooterLine2 + "\n" + kFooterLine3 +
                 ProductHost.hostAndPort);
  }
}

void Insp::oMail_AttachmentAdd(const Ref<Attachment>& /*Attachment*/) {
  Trace("Insp oMail_AttachmentAdd");
  SetToolBarState("Insp oMail_AttachmentAdd");
}

}  // namespace sonvera
