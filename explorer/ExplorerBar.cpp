#include "explorer/ExplorerBar.h"

#include "addin/Amp.h"
#include "common/FacePaste.h"
#include "common/Handlers.h"
#include "common/Trace.h"

namespace sonvera {

using namespace hostmodel;

namespace {

constexpr const char* kSourceAddButtons = "Add Buttons";
constexpr const char* kSourceChangeSelection = "Change Selection";

constexpr const char* kAmpCaption = "Sonvera";
constexpr const char* kAmpDescription = "voice mail servece";
constexpr const char* kAmpFace = "\\Sonvera.bmp";
constexpr const char* kPlayCaption = "Play";
constexpr const char* kPlayDescription = "Play file";
constexpr const char* kPlayFace = "\\PlayButton.bmp";
constexpr const char* kAmpAction = "!<Sonvera.Amp>";
constexpr const char* kListDescription = "Choose file to play";
constexpr int kButtonWidth = 70;
constexpr int kListWidth = 100;

template <typename T>
Ref<T> As(const Ref<CommandBarControl>& control) {
  auto typed = std::dynamic_pointer_cast<T>(control);
  if (!typed) throw platform::Error("Type mismatch");
  return typed;
}

}  // namespace

Explorer& ExplorerBar::Window() const {
  auto amp = m_amp.lock();
  return Need(Need(amp).oExp.get());
}

void ExplorerBar::AddButtons() {
  Trace(" Amp AddButtons");
  Routine r(AskToQuit(kSourceAddButtons));
  auto run = [&](auto&& statement) { r.Do(statement); };

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
    r.Do([&] {
      CmdAmp.Set(
          As<CommandBarButton>(Need(Need(oCBar).Controls()).Add(kMsoControlButton, 0, "", 0, true)),
          [&](CommandBarButton& b, auto& subs) {
            subs.push_back(
                b.Click.Subscribe(BindWeak(shared_from_this(), &ExplorerBar::CmdAmp_Click)));
          });
    });
    r.Do([&] { Need(CmdAmp.get()).SetVisible(true); });
    r.Do([&] { Need(CmdAmp.get()).SetStyle(kMsoButtonIconAndCaption); });
    r.Do([&] { Need(CmdAmp.get()).SetDescriptionText(kAmpDescription); });
    r.Do([&] { Need(CmdAmp.get()).SetCaption(kAmpCaption); });
    r.Do([&] { Need(CmdAmp.get()).SetWidth(kButtonWidth); });
    r.Do([&] { PasteFaceFrom(Need(CmdAmp.get()), kAmpFace, run); });

    r.step = "CmdPlay";
    r.Do([&] {
      CmdPlay.Set(
          As<CommandBarButton>(Need(Need(oCBar).Controls()).Add(kMsoControlButton, 0, "", 0, true)),
          [&](CommandBarButton& b, auto& subs) {
            subs.push_back(
                b.Click.Subscribe(BindWeak(shared_from_this(), &ExplorerBar::CmdPlay_Click)));
          });
    });
    r.Do([&] { Need(CmdPlay.get()).SetVisible(false); });
    r.Do([&] { Need(CmdPlay.get()).SetStyle(kMsoButtonIconAndCaption); });
    r.Do([&] { Need(CmdPlay.get()).SetEnabled(true); });
    r.Do([&] { Need(CmdPlay.get()).SetOnAction(kAmpAction); });
    r.Do([&] { Need(CmdPlay.get()).SetDescriptionText(kPlayDescription); });
    r.Do([&] { Need(CmdPlay.get()).SetCaption(kPlayCaption); });
    r.Do([&] { Need(CmdPlay.get()).SetWidth(kButtonWidth); });
    r.Do([&] { PasteFaceFrom(Need(CmdPlay.get()), kPlayFace, run); });

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
}

void ExplorerBar::CmdAmp_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  // The product button does nothing.
}

void ExplorerBar::CmdPlay_Click(const Ref<CommandBarButton>& /*Ctrl*/, bool& /*CancelDefault*/) {
  Trace(" Amp CmdPlay_Click");
}

}  // namespace sonvera
