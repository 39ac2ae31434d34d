#pragma once
// The single recorder and player form, which is also the Properties dialog.
// Its media device lives as long as the form is loaded: unloading the form
// closes whatever it had open. Who receives its callbacks is held here and
// survives an unload.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/FormTimer.h"
#include "common/ProductServer.h"
#include "common/Routine.h"
#include "common/ToolbarState.h"
#include "hostmodel/HostModel.h"
#include "platform/Media.h"
#include "platform/Windows.h"

namespace sonvera {

// Told by the recorder when a playback it started has ended.
class PlaybackCaller {
 public:
  virtual ~PlaybackCaller() = default;
  virtual void PlayIsFinished() = 0;
};

// The mail window the recorder hands a finished recording to. Its state is
// read by name, as text.
class RecordingOwner : public PlaybackCaller {
 public:
  virtual void SaveWaveFile() = 0;
  virtual std::string toolbarState() const = 0;
  virtual void setToolbarState(ToolbarState state) = 0;
};

class FrmProp {
 public:
  static FrmProp& Instance();

  void Load();
  void Unload();
  bool Loaded() const { return m_loaded; }
  // The dialog is showing.
  bool Visible() const;

  void WPlay(const std::string& WavFileName, bool ShowScope = false, int X = 0, int Y = 0);
  void WRecord(const std::string& WavFileName);
  void TimerLimitEvent();
  void FarKillTimerLimit(const std::string& txt);
  void WResume();
  void WClose();
  void WPause();
  int WStatus(std::string* StatStr = nullptr);
  void WSave(const std::string& theFile);
  void PropShow();

  // The application object while the add-in runs; the trace tells it apart
  // from a mail window as the caller of a play.
  std::shared_ptr<PlaybackCaller> AmpRef;
  std::shared_ptr<RecordingOwner> ActiveInsp;
  std::shared_ptr<PlaybackCaller> PlayCaller;
  std::string SaveFileName;
  // Why the last save wrote no file, in the device's words; "" when it did.
  std::string SaveFailure;
  // Set by the start-up sequence, cleared by the shutdown: the dialog's link
  // while AmpRef is set.
  ProductServer ProductHost;

  // True while a saved recording is being encoded: no second recording may
  // start then, in any window, since it would be saved over the one the
  // encoder reads; nor a play, whose file is the one the encoder writes.
  bool Encoding() const { return m_encoding > 0; }
  // The play commands' first steps: nothing while a recording is being
  // encoded (the play file is the encoder's output until the recording is
  // attached); else the form unloaded and the chosen voice attachment saved
  // as the play file (SaveChosenVoiceAttachment). The file, or "" when there
  // is nothing to play.
  std::string SaveChosenToPlay(Routine& r,
                               const hostmodel::Ref<hostmodel::CommandBarComboBox>& list,
                               const hostmodel::Ref<hostmodel::MailItem>& mail,
                               const std::vector<std::int16_t>& index,
                               const std::function<void()>& relist);
  class EncodingScope {
   public:
    explicit EncodingScope(FrmProp& form) : m_form(form) { ++m_form.m_encoding; }
    ~EncodingScope() { --m_form.m_encoding; }
    EncodingScope(const EncodingScope&) = delete;
    EncodingScope& operator=(const EncodingScope&) = delete;

   private:
    FrmProp& m_form;
  };

  // The dialog's window (null while unloaded), for its controls and tests.
  platform::FormWindow* Window() const { return m_window.get(); }

  static constexpr int kDialogWidth = 470;
  static constexpr int kDialogHeight = 250;

 private:
  FrmProp();
  void EnsureLoaded();
  platform::MediaDevice& WaveMe();
  void Form_Load();
  void BuildDialog();
  void tmPauseRecordDelay_Timer();
  void tmEndRecordDelay_Timer();
  void WaveMe_Done(int code);
  void WaveMe_PlayCompleted(int code);
  void TestQ_Click();
  void Label1_Click();
  void Command1_Click();
  void Command2_Click();

  bool m_loaded = false;
  int m_encoding = 0;
  std::unique_ptr<platform::MediaDevice> m_waveMe;
  std::shared_ptr<platform::FormWindow> m_window;
  FormTimer tmPauseRecordDelay;
  FormTimer tmEndRecordDelay;
};

// The recording-length limit, a window timer of its own (45 minutes).
constexpr int kRecordingLimitMs = 2'700'000;
void StartLimitTimer();
void KillLimitTimer();
void LimitTimerProc();

}  // namespace sonvera
