#include "explorer/ExplorerBar.h"

#include "audio/FrmProp.h"
#include "common/FacePaste.h"
#include "common/Handlers.h"
#include "common/Trace.h"
#include "common/VoiceAttachments.h"
#include "platform/Platform.h"

namespace sonvera {

using namespace hostmodel;

namespace {

constexpr const char* kSourceAddButtons = "Add Buttons";
constexpr const char* kSourceChangeSelection = "Change Selection";
constexpr const char* kSourceCheckMail = "Check Mail";
constexpr const char* kSourcePlay = "OutLook Explorer Play Command";
constexpr const char* kStopCaption = "Stop";

constexpr const char* kAmpCaption = "Sonvera";
constexpr const char* kAmpDescription = "voice mail servece";
constexpr const char* kPlayCaption = "Play";
constexpr const char* kPlayDescription = "Play file";
constexpr const char* kAmpAction = "!<Sonvera.Amp>";
constexpr const char* kListDescription = "Choose file to play";
constexpr int kButtonWidth = 70;
constexpr int kListWidth = 100;

// A button of the bar as it is made: shown or not, then each property set
// as its own statement, the face last.
struct ButtonLook {
  bool visible;
  bool enable;         // enabled explicitly
  const char* action;  // nullptr: none
  const char* description;
  const char* caption;
  const char* face;
};

using Click = void (ExplorerBar::*)(const Ref<CommandBarButton>&, bool&);

void AddButton(Routine& r, ExplorerBar& bar, WithEvents<CommandBarButton>& member, Click click) {
  r.Do([&] {
    member.Set(As<CommandBarButton>(
                   Need(Need(bar.oCBar).Controls()).Add(kMsoControlButton, 0, "", 0, true)),
               [&](CommandBarButton& b, auto& subs) {
                 subs.push_back(b.Click.Subscribe(BindWeak(bar.shared_from_this(), click)));
               });
  });
}

void Dress(Routine& r, const WithEvents<CommandBarButton>& member, const ButtonLook& look) {
  r.Do([&] { Need(member.get()).SetVisible(look.visible); });
  r.Do([&] { Need(member.get()).SetStyle(kMsoButtonIconAndCaption); });
  if (look.enable) r.Do([&] { Need(member.get()).SetEnabled(true); });
  if (look.action) r.Do([&] { Need(member.get()).SetOnAction(look.action); });
  r.Do([&] { Need(member.get()).SetDescriptionText(look.description); });
  r.Do([&] { Need(member.get()).SetCaption(look.caption); });
  r.Do([&] { Need(member.get()).SetWidth(kButtonWidth); });
  r.Do([&] {
    PasteFaceFrom(Need(member.get()), look.face, [&](auto&& statement) { r.Do(statement); });
  });
}

}  // namespace

Explorer& ExplorerBar::Window() const {
  return Need(oExp.get());
}

void ExplorerBar::AddButtons() {
  Trace(" Amp AddButtons");
  Routine r(AskToQuit(kSourceAddButtons));

  r.step = "oExp.CommandBars";
  bool exists = false;
  r.Do([&] {
    auto& bars = Need(Window().GetCommandBars());
    int count = bars.Count();
    for (int i = 1; i <= count; ++i) {
      if (bars.GetItem(i)->Name() == kBarName) {
        exists = true;
        break;
      }
    }
  });
  if (!exists && !r.Left()) {
    r.step = "oCBar";
    r.Do([&] { oCBar = Need(Window().GetCommandBars()).Add(kBarName, kMsoBarTop, false, true); });

    r.step = "CmdAmp";
    AddButton(r, *this, CmdAmp, &ExplorerBar::CmdAmp_Click);
    Dress(r, CmdAmp, {true, false, nullptr, kAmpDescription, kAmpCaption, kProductFace});

    r.step = "CmdPlay";
    AddButton(r, *this, CmdPlay, &ExplorerBar::CmdPlay_Click);
    Dress(r, CmdPlay, {false, true, kAmpAction, kPlayDescription, kPlayCaption, kPlayFace});

    r.step = "CmdList";
    r.Do([&] {
      CmdList = As<CommandBarComboBox>(
          Need(Need(oCBar).Controls()).Add(kMsoControlDropdown, 0, "", 0, true));
    });
    r.Do([&] { Need(CmdList).SetVisible(false); });
    r.Do([&] { Need(CmdList).SetStyle(1); });
    r.Do([&] { Need(CmdList).SetEnabled(true); });
    r.Do([&] { Need(CmdList).SetDescriptionText(kListDescription); });
    r.Do([&] { Need(CmdList).SetWidth(kListWidth); });

    r.step = "oCBar.Protection";
    r.Do([&] { Need(oCBar).SetProtection(kMsoBarNoCustomize); });
  }
  r.Do([&] { Need(oCBar).SetVisible(true); });
  r.Do([&] { Need(oCBar).SetEnabled(true); });
}

void ExplorerBar::oExp_SelectionChange() {
  Trace(" Amp oExp_SelectionChange");
  Routine r(AskToQuit(kSourceChangeSelection));
  bool mailFolder = true;
  r.Do([&] { mailFolder = Need(Window().CurrentFolder()).DefaultItemType() == kOlMailItem; });
  if (r.Left()) return;
  if (!mailFolder) {
    r.Do([&] { Need(oCBar).SetVisible(false); });
    return;
  }
  r.Do([&] { Need(oCBar).SetVisible(true); });
  if (r.Left()) return;
  // From here on each failing statement is skipped.
  Ref<Selection> selection;
  Ref<Item> first;
  bool isMail = false;
  IgnoreErrors([&] { selection = Window().GetSelection(); });
  IgnoreErrors([&] { first = Need(selection).GetItem(1); });
  IgnoreErrors([&] { isMail = Need(first).Class() == kOlMail; });
  int count = 0;
  IgnoreErrors([&] { count = Need(selection).Count(); });
  if (count == 1 && isMail) {
    IgnoreErrors([&] {
      auto mail = std::dynamic_pointer_cast<MailItem>(first);
      if (!mail) throw platform::Error("Type mismatch");
      oMail = mail;
    });
    ListSoundFiles();
  }
}

void ExplorerBar::ListSoundFiles() {
  Routine r(AskToQuit(kSourceCheckMail, OnError::Leave));
  r.step = "List Box of sound files";
  r.Do([&] { Need(CmdList).Clear(); });
  int count = 0;
  r.Do([&] { count = Need(Need(oMail).GetAttachments()).Count(); });
  if (r.Left()) return;
  if (count < 1) {
    r.Do([&] { Need(CmdPlay.get()).SetVisible(false); });
    r.Do([&] { Need(CmdList).SetVisible(false); });
    return;
  }
  ListVoiceAttachments(*oMail, *CmdList, AttachmentIndex,
                       [&](auto&& statement) { r.Do(statement); });
  if (r.Left()) return;
  int entries = 0;
  r.Do([&] { entries = CmdList->ListCount(); });
  if (entries > 0) {
    r.Do([&] { CmdList->SetVisible(entries > 1); });
    r.Do([&] { Need(CmdPlay.get()).SetVisible(true); });
    r.Do([&] { Need(CmdPlay.get()).SetCaption(kPlayCaption); });
  } else {
    r.Do([&] { Need(CmdPlay.get()).SetVisible(false); });
    r.Do([&] { CmdList->SetVisible(false); });
  }
}

void ExplorerBar::CmdAmp_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  // The product button does nothing.
}

void ExplorerBar::CmdPlay_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  Trace(" Amp CmdPlay_Click");
  auto self = shared_from_this();
  auto player = m_player.lock();
  Routine r(AskToQuit(kSourcePlay, OnError::Leave));
  auto& recorder = FrmProp::Instance();
  auto run = [&](auto&& statement) { r.Do(statement); };
  int mode = 0;
  r.Do([&] { mode = recorder.WStatus(); });
  if (r.Left()) return;
  if (mode == platform::media_mode::kPlay) {
    r.Do([&] { Need(CmdPlay.get()).SetCaption(kPlayCaption); });
    r.Do([&] { PasteFaceFrom(Need(CmdPlay.get()), kPlayFace, run); });
    r.Do([&] { recorder.WClose(); });
    return;
  }
  const std::string playFile =
      recorder.SaveChosenToPlay(r, CmdList, oMail, AttachmentIndex, [&] { ListSoundFiles(); });
  if (playFile.empty()) return;
  r.Do([&] { Need(CmdPlay.get()).SetCaption(kStopCaption); });
  r.Do([&] { PasteFaceFrom(Need(CmdPlay.get()), kStopFace, run); });
  r.step = "FrmProp.WPlay";
  r.Do([&] {
    Need(player);  // the run time's error once the application object is gone
    recorder.PlayCaller = player;
    r.detail = "Error Playing " + playFile;
    auto& button = Need(CmdPlay.get());
    recorder.WPlay(playFile, true, button.Left() + 200, button.Top());
  });
  // A file that cannot be played has ended its play at once (and said so):
  // the button is Play again, not a Stop for nothing.
  if (r.Left()) IgnoreErrors([&] { PlayIsFinished(); });
}

void ExplorerBar::PlayIsFinished() {
  Trace("Amp - Play is Finished");
  if (!CmdPlay) return;
  CmdPlay->SetCaption(kPlayCaption);
  PasteFaceFrom(*CmdPlay.get(), kPlayFace, [](auto&& statement) { statement(); });
}

}  // namespace sonvera
