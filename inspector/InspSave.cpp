// A saved recording becomes the mail's voice attachment: the encoder is run
// on it and its MP3 attached at the front.
#include <chrono>
#include <thread>

#include "audio/Encoding.h"
#include "common/AddinFolder.h"
#include "common/ErrorPrompt.h"
#include "common/FileChecks.h"
#include "common/Handlers.h"
#include "common/ShortPath.h"
#include "common/Trace.h"
#include "inspector/Insp.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

namespace sonvera {

using namespace hostmodel;

namespace {

constexpr const char* kSourceSave = "Insp SaveWaveFile";
constexpr std::uintmax_t kMinimumWavBytes = 47;
constexpr long kSecondsPerDay = 86'400;

// A time-out read on the clock of the day, which wraps at midnight; none
// for 0 seconds.
class DayDeadline {
 public:
  DayDeadline(long start, std::int32_t seconds) : m_start(start), m_none(seconds == 0) {
    if (seconds <= 0) return;
    m_end = start + seconds;
    if (m_end >= kSecondsPerDay) {
      m_end = start - kSecondsPerDay + seconds;
      m_wrapped = true;
    }
  }
  bool Passed(long now) const { return !m_none && now > m_end && (!m_wrapped || now < m_start); }

 private:
  long m_start;
  bool m_none;
  long m_end = 0;
  bool m_wrapped = false;
};

}  // namespace

void Insp::SaveWaveFile() {
  Trace("Insp SaveWaveFile");
  auto self = shared_from_this();
  auto& recorder = FrmProp::Instance();
  const std::string folder = AddinFolder();
  const std::string mp3 = AddinFile(kVoiceFile);
  const std::string wav = AddinFile(kSavedRecordingFile);
  // ErrPlace is the routine's step, ErrMsg its detail.
  Routine r(AskToQuitOrWait(kSourceSave));
  auto fail = [&](const char* message, const std::string& description) {
    r.detail = message;
    r.Do([&] { throw platform::Error(description); });
  };

  r.step = "FrmProp";
  r.Do([&] { recorder.WClose(); });
  r.step = mp3;
  int quality = kFallbackQuality;
  bool normalise = true;
  r.Do([&] {
    if (FileExists(mp3)) KillFile(mp3);
    quality = AudioQuality();
    normalise = NormaliseVoice();
  });
  const std::string rate = RateText(quality);
  r.step = wav;
  // The recorder's own words say why, when its save wrote nothing.
  if (!r.Left() && !FileExists(wav)) return fail("Record Failure", recorder.SaveFailure);
  std::uintmax_t length = 0;
  r.Do([&] { length = FileLength(wav); });
  if (!r.Left() && length < kMinimumWavBytes)
    return fail("Record Failure - File too small", recorder.SaveFailure);
  r.detail.clear();
  // A level that cannot be had is no reason to bother anyone: the recording
  // goes as it was, and the file is then still as the recorder left it.
  r.Do([&] {
    const int hz = std::stoi(rate);
    if (!normalise || !IgnoreErrors([&] { NormaliseLoudness(wav, hz); })) ConvertRate(wav, hz);
  });
  std::string commandLine;
  std::string shortFolder;
  std::int32_t timeOut = 0;
  r.Do([&] {
    shortFolder = ShortPathOf(folder);
    commandLine = EncoderCommandLine(folder, rate, shortFolder);
    timeOut = EncoderTimeOut(wav);
  });
  r.step = "ShellAndWait";
  r.detail = "Copy " + WavArgument(shortFolder) + " to " + Mp3Argument(shortFolder);
  ProgramRun run;
  if (!r.Left()) {
    FrmProp::EncodingScope encoding(recorder);
    SetToolBarState(kSourceSave);
    r.Do([&] { ShellandWait(commandLine, timeOut, &run); });
  }
  if (r.Left()) return;
  r.detail.clear();
  // The host is exiting: the recording stays for another day, and nobody is
  // there to answer a box.
  if (run.end == ProgramRun::End::HostEnding || platform::GetLoop().Ending()) {
    IgnoreErrors([&] { KillFile(mp3); });
    return;
  }
  // The recording is kept until its MP3 exists, so a failed encoding loses
  // nothing; what a failed one wrote is never attached.
  std::string failure;
  r.Do([&] { failure = EncoderFailure(run, EncoderPath(folder), mp3); });
  if (failure.empty()) {
    r.Do([&] {
      if (FileExists(wav)) KillFile(wav);
    });
  } else {
    IgnoreErrors([&] {
      if (FileExists(mp3)) KillFile(mp3);
    });
  }
  r.step = mp3;
  r.detail = "Error adding attachment to message.";
  r.Do([&] {
    if (!failure.empty()) throw platform::Error(failure);
    auto& mail = Need(oMail.get());
    Need(mail.GetAttachments()).Add(mp3, 1);
    const std::string body = mail.Body();
    if (body.find_first_not_of(' ') == std::string::npos) mail.SetBody("\n" + body);
  });
}

bool Insp::ShellandWait(const std::string& ExeFullPath, std::int32_t TimeOutValue,
                        ProgramRun* run) {
  Trace("Insp ShellandWait");
  ProgramRun unused;
  ProgramRun& result = run ? *run : unused;
  result = ProgramRun{};
  result.timeOutSeconds = TimeOutValue;
  int pid = 0;
  bool ended = false;
  try {
    auto& processes = platform::GetProcesses();
    auto& loop = platform::GetLoop();
    const DayDeadline deadline(SecondsSinceMidnight(), TimeOutValue);
    pid = processes.Start(ExeFullPath, true);
    if (pid == 0) return false;
    for (;;) {
      // Finished reaps the child, so no zombie stays behind.
      ended = processes.Finished(pid, &result.exit);
      if (ended) result.end = ProgramRun::End::Exited;
      loop.RunPending();
      // The host's exit must neither wait for the program nor leave it running.
      if (!ended && loop.Ending()) {
        processes.Kill(pid);
        result.end = ProgramRun::End::HostEnding;
        return false;
      }
      if (deadline.Passed(SecondsSinceMidnight())) {
        if (!ended) {
          processes.Kill(pid);
          result.end = ProgramRun::End::TimedOut;
        }
        break;
      }
      if (ended) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  } catch (...) {
    // A program nobody waits for any more must not write on behind our back.
    if (pid != 0 && !ended) {
      IgnoreErrors([&] {
        auto& processes = platform::GetProcesses();
        processes.Kill(pid);
        processes.Finished(pid, &result.exit);
        result.end = ProgramRun::End::Exited;
      });
    }
    return false;
  }
}

}  // namespace sonvera
