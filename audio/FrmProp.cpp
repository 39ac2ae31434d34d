#include "audio/FrmProp.h"

#include "audio/Fx.h"
#include "common/AddinFolder.h"
#include "common/Routine.h"
#include "common/Trace.h"
#include "common/VoiceAttachments.h"
#include "platform/Platform.h"
#include "ui/frmSplash.h"

namespace sonvera {

namespace {

platform::TimerId LimitTimerId = 0;

constexpr const char* kLimitMessage = "Messages on Sonvera cannot exceed 45 Minutes.  ";

const char* ModeName(int mode) {
  switch (mode) {
    case 524:
      return "mciModeNotOpen";
    case 525:
      return "mciModeStop";
    case 526:
      return "mciModePlay";
    case 527:
      return "mciModeRecord";
    case 528:
      return "mciModeSeek";
    case 529:
      return "mciModePause";
    case 530:
      return "mciModeReady";
    default:
      return "Unknown Status";
  }
}

}  // namespace

void StartLimitTimer() {
  LimitTimerId = platform::GetLoop().SetTimer(platform::Millis(kRecordingLimitMs), false,
                                              [] { LimitTimerProc(); });
}

void KillLimitTimer() {
  platform::GetLoop().KillTimer(LimitTimerId);
}

void LimitTimerProc() {
  platform::GetLoop().KillTimer(LimitTimerId);
  FrmProp::Instance().TimerLimitEvent();
}

FrmProp& FrmProp::Instance() {
  static FrmProp form;
  return form;
}

FrmProp::FrmProp()
    : tmPauseRecordDelay([this] { tmPauseRecordDelay_Timer(); }),
      tmEndRecordDelay([this] { tmEndRecordDelay_Timer(); }) {}

void FrmProp::Load() {
  EnsureLoaded();
}

void FrmProp::EnsureLoaded() {
  if (m_loaded) return;
  m_window = platform::GetWindows().CreateForm("FrmProp", "Sonvera", 442, 258);
  m_waveMe = platform::GetMedia().CreateDevice();
  m_waveMe->onDone = [this](int code) { WaveMe_Done(code); };
  m_waveMe->onPlayCompleted = [this](int code) { WaveMe_PlayCompleted(code); };
  m_loaded = true;
  Form_Load();
}

void FrmProp::Unload() {
  if (!m_loaded) return;
  m_loaded = false;
  tmPauseRecordDelay.SetEnabled(false);
  tmEndRecordDelay.SetEnabled(false);
  // A recording the unload throws away must not end in a limit message later.
  KillLimitTimer();
  m_waveMe.reset();
  m_window.reset();
}

bool FrmProp::Visible() const {
  return m_loaded && m_window && m_window->Visible();
}

platform::MediaDevice& FrmProp::WaveMe() {
  EnsureLoaded();
  return *m_waveMe;
}

void FrmProp::Form_Load() {
  tmPauseRecordDelay.SetEnabled(false);
  tmEndRecordDelay.SetEnabled(false);
  BuildDialog();
}

void FrmProp::WPlay(const std::string& WavFileName, bool ShowScope, int X, int Y) {
  Trace("FrmProp WPlay " + WavFileName);
  auto& device = WaveMe();
  device.Command("Close");
  // Closing throws a recording away: its limit has nothing left to end.
  KillLimitTimer();
  device.SetWait(true);
  device.SetShareable(false);
  device.SetFileName(WavFileName);
  device.Command("Open");
  try {
    device.Command("play");
  } catch (...) {
    // Nothing plays: no meter may stay behind from what was closed.
    Fx::Instance().Unload();
    throw;
  }
  if (ShowScope) {
    Fx::Instance().Load();
    auto& loop = platform::GetLoop();
    loop.RunPending();
    if (loop.Ending()) return;  // the host is going: nothing left to place
    if (auto* meter = Fx::Instance().Window()) meter->Place(true, X, Y, Fx::kWidth, Fx::kHeight);
  }
}

void FrmProp::WRecord(const std::string& WavFileName) {
  Trace("FrmProp WRecord " + WavFileName);
  auto& device = WaveMe();
  device.Command("Close");
  device.SetWait(true);
  device.SetShareable(false);
  device.SetDeviceType("WaveAudio");
  device.SetFileName(WavFileName);
  device.Command("Open");
  device.SetRecordMode(1);
  device.Command("Record");
  StartLimitTimer();
}

void FrmProp::TimerLimitEvent() {
  Trace("FrmProp TimerLimitEvent");
  auto& splash = frmSplash::Instance();
  splash.SetMessage(kLimitMessage);
  splash.SplashShow();
  WSave(AddinFile(kSavedRecordingFile));
  if (ActiveInsp) ActiveInsp->setToolbarState(ToolbarState::Wait);
}

void FrmProp::FarKillTimerLimit(const std::string& /*txt*/) {
  KillLimitTimer();
}

void FrmProp::WResume() {
  Trace("FrmProp WResume");
  // A pause still pending would otherwise land after this resume.
  tmPauseRecordDelay.SetEnabled(false);
  WaveMe().Command("Record");
}

void FrmProp::WClose() {
  Trace("FrmProp WClose");
  WaveMe().Command("Close");
  // A recording closed here is gone; its limit must not fire on it.
  KillLimitTimer();
  Fx::Instance().Unload();
}

void FrmProp::WPause() {
  Trace("FrmProp WPause");
  EnsureLoaded();
  tmPauseRecordDelay.SetInterval(50);
  tmPauseRecordDelay.SetEnabled(true);
}

void FrmProp::tmPauseRecordDelay_Timer() {
  WaveMe().Command("Pause");
  tmPauseRecordDelay.SetEnabled(false);
}

int FrmProp::WStatus(std::string* StatStr) {
  const int mode = WaveMe().Mode();
  if (StatStr) *StatStr = ModeName(mode);
  return mode;
}

void FrmProp::WSave(const std::string& theFile) {
  Trace("FrmProp WSave " + theFile);
  EnsureLoaded();
  SaveFileName = theFile;
  tmEndRecordDelay.SetInterval(500);
  tmEndRecordDelay.SetEnabled(true);
}

void FrmProp::tmEndRecordDelay_Timer() {
  Trace("FrmProp tmEndRecordDelay_Timer");
  tmEndRecordDelay.SetEnabled(false);
  // A device that fails here leaves no Temp.wav, which SaveWaveFile reports
  // with the device's words (a full disk, say).
  SaveFailure.clear();
  try {
    auto& device = WaveMe();
    device.Command("Stop");
    device.SetNotify(false);
    device.SetWait(true);
    device.SetFileName(SaveFileName);
    device.Command("Save");
  } catch (const std::exception& e) {
    SaveFailure = e.what();
  } catch (...) {
    SaveFailure = "Automation error";
  }
  // The owner may be cleared by what SaveWaveFile lets run.
  if (auto owner = ActiveInsp) owner->SaveWaveFile();
  frmSplash::Instance().Unload();
}

void FrmProp::WaveMe_Done(int code) {
  std::string caller = "nothing";
  if (PlayCaller && PlayCaller == AmpRef) caller = "AmpRef";
  if (PlayCaller && PlayCaller == ActiveInsp) caller = "ActiveInsp";
  std::string state = ActiveInsp ? ActiveInsp->toolbarState() : "";
  Trace("FrmProp WaveMe_Done " + std::to_string(code) + " PlayCaller = " + caller +
        " Toolbarstate = " + state);
  if (code == platform::media_notify::kSuccessful) Fx::Instance().Unload();
  // The caller's failures end with its notification, not in the host's loop.
  if (auto caller = PlayCaller) IgnoreErrors([&] { caller->PlayIsFinished(); });
}

void FrmProp::WaveMe_PlayCompleted(int /*code*/) {
  if (auto owner = ActiveInsp) IgnoreErrors([&] { owner->PlayIsFinished(); });
}

std::string FrmProp::SaveChosenToPlay(Routine& r,
                                      const hostmodel::Ref<hostmodel::CommandBarComboBox>& list,
                                      const hostmodel::Ref<hostmodel::MailItem>& mail,
                                      const std::vector<std::int16_t>& index,
                                      const std::function<void()>& relist) {
  if (Encoding()) return "";
  r.step = "FrmProp";
  r.Do([&] { Unload(); });
  std::string playFile = AddinFile(kVoiceFile);
  if (!SaveChosenVoiceAttachment(r, list, mail, index, relist, playFile)) return "";
  return playFile;
}

}  // namespace sonvera
