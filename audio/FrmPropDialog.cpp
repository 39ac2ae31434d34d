// The recorder form as the Properties dialog: version, web link, quality.
#include <string>

#include "audio/FrmProp.h"
#include "common/AddinFolder.h"
#include "common/FormControls.h"
#include "common/Handlers.h"
#include "common/Routine.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "settings/Reg.h"
#include "settings/Settings.h"

namespace sonvera {

namespace {

constexpr const char* kVersionCaption = "      Sonvera Outlook Addin Version ";
constexpr const char* kQualityNotSaved = "The recording quality could not be saved.";
const char* const kQualities[kQualityCount] = {"1 Kbs Low", "2 Kbs", "4 Kbs Default",
                                               "8 Kbs High"};

}  // namespace

void FrmProp::BuildDialog() {
  using platform::ControlKind;
  auto& w = *m_window;
  const std::string site = AmpRef ? ProductHost.Url("/") : "";
  // Twips of the design over 15; the quality row and Cancel are moved up
  // beside Ok so that they stand inside the 470 x 250 window.
  w.SetControl(MakeControl("lblVersion", ControlKind::Label, kVersionCaption + std::string(kDefaultVersion),
                    8, 64, 361, 25));
  auto link = MakeControl("Label1", ControlKind::Link, site, 8, 136, 393, 25);
  link.onClick = [this] { Label1_Click(); };
  w.SetControl(link);
  auto ok = MakeControl("Command1", ControlKind::Button, "Ok", 176, 184, 57, 29);
  ok.onClick = [this] { Command1_Click(); };
  w.SetControl(ok);
  auto cancel = MakeControl("Command2", ControlKind::Button, "Cancel", 250, 184, 57, 29);
  cancel.onClick = [this] { Command2_Click(); };
  w.SetControl(cancel);
  auto list = MakeControl("SetQ", ControlKind::List, "", 8, 188, 113, 21);
  list.items.assign(std::begin(kQualities), std::end(kQualities));
  list.listIndex = AudioQuality();
  w.SetControl(list);
  auto test = MakeControl("TestQ", ControlKind::Button, "Test", 125, 188, 33, 21);
  test.onClick = [this] { TestQ_Click(); };
  w.SetControl(test);
}

void FrmProp::PropShow() {
  Trace("FrmProp PropShow");
  EnsureLoaded();
  auto& windows = platform::GetWindows();
  const auto pointer = windows.CursorPos();
  const int x = pointer.x - 40;
  const int y = pointer.y + 100;
  m_window->Place(true, x, y, kDialogWidth, 150);
  m_window->Place(false, x, y, kDialogWidth, kDialogHeight);
}

void FrmProp::TestQ_Click() {
  Trace("FrmProp TestQ_Click");
  const auto* list = m_window ? m_window->Find("SetQ") : nullptr;
  const std::string position = Trim(list ? std::to_string(list->listIndex) : "");
  std::string sample;
  if (position == "0") sample = "Probe1.wav";
  if (position == "1") sample = "Probe2.wav";
  if (position == "2") sample = "Probe4.wav";
  if (position == "3") sample = "Probe8.wav";
  // A sample that cannot be played leaves the player silent, and says nothing.
  IgnoreErrors([&] { WPlay(AddinFolder() + platform::kPathSeparator + sample); });
}

void FrmProp::Label1_Click() {
  const auto* link = m_window ? m_window->Find("Label1") : nullptr;
  if (!link) return;
  const std::string address = link->text;
  IgnoreErrors([&] { platform::GetShell().Open(address, "/"); });
}

void FrmProp::Command1_Click() {
  // Ok keeps the choice, so that the next recording is encoded at it. A
  // choice that cannot be kept is said, and the dialog stays for Cancel or
  // another try.
  const auto* list = m_window ? m_window->Find("SetQ") : nullptr;
  if (list && list->listIndex >= 0 && list->listIndex < kQualityCount) {
    const std::string quality = std::to_string(list->listIndex);
    Routine r(WarnAndLeave(kQualityNotSaved));
    r.Do([&] {
      const auto status =
          SetRegValue(platform::kHkeyCurrentUser, kSettingsKey, kValueAQ, quality, true);
      if (status != platform::kErrorSuccess)
        throw platform::Error(platform::RegistryStatusText(status));
    });
    if (r.Left()) return;
  }
  Unload();
}

void FrmProp::Command2_Click() {
  Unload();
}

}  // namespace sonvera
