#include "addin/Amp.h"

#include "addin/Connect.h"
#include "audio/Fx.h"
#include "common/Handlers.h"
#include "common/Trace.h"
#include "inspector/Insp.h"
#include "platform/Platform.h"
#include "settings/FirstRun.h"
#include "update/frmUpdateMon.h"

namespace sonvera {

using namespace hostmodel;

std::shared_ptr<Amp> oAmp;

namespace {

constexpr const char* kSourceStartupComplete = "Startup Complete";
constexpr const char* kSourceIsCommandBarSet = "Is Command Bar Set";
constexpr const char* kSourceNewInspector = "Create New Outlook Window";

}  // namespace

std::shared_ptr<Amp> Amp::Create() {
  std::shared_ptr<Amp> amp(new Amp());
  amp->Bar = std::make_shared<ExplorerBar>(amp);
  oAmp = amp;
  SetAddinTarget(amp);
  FrmProp::Instance().AmpRef = amp;
  return amp;
}

void Amp::ExitProgram() {
  IgnoreErrors([&] { Need(Need(oApp).GetApplication()).Quit(); });
  Trace("ExitProgram");
  CleanShutdown();
}

void Amp::PlayIsFinished() {
  Bar->PlayIsFinished();
}

void Amp::CleanShutdown() {
  Trace(" Amp CleanShutdown");
  // This object may hold the last references to itself (oAmp, AmpRef).
  auto self = shared_from_this();
  m_shutDown = true;
  auto& prop = FrmProp::Instance();
  IgnoreErrors([] { KillLimitTimer(); });
  oApp.reset();
  Bar->oCBar.reset();
  Bar->CmdPlay.Reset();
  Bar->CmdList.reset();
  Bar->oMail.reset();
  prop.AmpRef.reset();
  prop.ProductHost = {};
  prop.PlayCaller.reset();
  IgnoreErrors([&] { prop.Unload(); });
  oAmp.reset();
  SetAddinTarget({});
  auto& monitor = frmUpdateMon::Instance();
  monitor.AmpRef.reset();
  IgnoreErrors([&] { monitor.Unload(); });
  IgnoreErrors([&] { Fx::Instance().Unload(); });
  oConnect.reset();
  Bar->CmdAmp.Reset();
  prop.ActiveInsp.reset();
  oIns.Reset();
  Bar->oExp.Reset();
}

void Amp::OnBeginShutdown() {
  Trace(" Amp OnBeginShutdown");
  CleanShutdown();
}

void Amp::OnStartupComplete(const Ref<Application>& Outl, const std::shared_ptr<Connect>& Connect) {
  Trace(" Amp OnStartupComplete");
  auto self = shared_from_this();
  ProductHost = ResolveProductServer();
  FrmProp::Instance().ProductHost = ProductHost;
  Routine r(ShutDownAndLeave(kSourceStartupComplete));

  r.step = "oApp";
  r.Do([&] { oApp = Outl; });
  r.step = "oConnect";
  r.Do([&] { oConnect = Connect; });
  r.step = "oIns";
  r.Do([&] {
    oIns.Set(Need(oApp).GetInspectors(), [&](Inspectors& ins, auto& subs) {
      subs.push_back(ins.NewInspector.Subscribe(BindWeak(self, &Amp::oIns_NewInspector)));
    });
  });
  r.step = "oExp";
  r.Do([&] {
    Bar->oExp.Set(Need(oApp).ActiveExplorer(), [&](Explorer& exp, auto& subs) {
      subs.push_back(
          exp.SelectionChange.Subscribe(BindWeak(Bar, &ExplorerBar::oExp_SelectionChange)));
    });
  });
  r.step = "Command Bar";
  r.Do([&] {
    if (IsCommandBarSet(Bar->oExp.get(), Bar->oCBar)) {
      r.detail = kAnotherInstance;
      throw platform::Error("");
    }
  });
  // A Yes in the single-instance test's own prompt has shut this object
  // down; going on would start a released add-in and prompt again.
  if (m_shutDown) return;
  r.step = "Registry";
  bool goOn = true;
  r.Do([&] { goOn = CheckFirstRun(ProductHost); });
  if (r.Left()) return;
  if (!goOn) {
    IgnoreErrors([&] { Need(oConnect).CloseAddin(); });
    CleanShutdown();
    return;
  }

  // From here on each failing statement is skipped.
  IgnoreErrors([] { platform::GetLoop().RunPending(); });
  // The host was closed meanwhile: no update check, no bar.
  bool ending = false;
  IgnoreErrors([&] { ending = platform::GetLoop().Ending(); });
  if (ending) return;
  IgnoreErrors([&] {
    frmUpdateMon::Instance().AmpRef = self;
    frmUpdateMon::Instance().ProductHost = ProductHost;
    frmUpdateMon::Instance().Load();
  });
  // An update being installed has shut the add-in down and asked the host to
  // quit: building the bar now would only fail and ask the user about it.
  if (m_shutDown) return;
  IgnoreErrors([&] { Bar->AddButtons(); });
  IgnoreErrors([] { platform::GetClipboard().Clear(); });
}

bool Amp::IsCommandBarSet(const Ref<Explorer>& Window, Ref<CommandBar>& Bar) {
  Trace(" Amp IsCommandBarSet");
  Routine r(AskToQuit(kSourceIsCommandBarSet));
  r.step = "CommandBars";
  Ref<CommandBar> found;
  r.Do([&] {
    auto& bars = Need(Need(Window).GetCommandBars());
    int count = bars.Count();
    for (int i = 1; i <= count; ++i) {
      auto bar = bars.GetItem(i);
      if (bar && bar->Name() == ExplorerBar::kBarName) {
        found = bar;
        break;
      }
    }
  });
  if (r.Left()) return false;
  if (!Bar && found) Bar = found;
  return static_cast<bool>(Bar);
}

void Amp::oIns_NewInspector(const Ref<Inspector>& Inspector) {
  Trace(" Amp oIns_NewInspector");
  auto self = shared_from_this();
  Routine r(AskToQuit(kSourceNewInspector));
  r.step = "New Outlook Window";
  r.detail = "Error when opening new Outlook window";
  auto controller = std::make_shared<Insp>();
  controller->ProductHost = ProductHost;
  r.Do([&] { controller->GetInsp(Inspector); });
  if (r.Left()) return;
  InspList.push_back(controller);
}

}  // namespace sonvera
