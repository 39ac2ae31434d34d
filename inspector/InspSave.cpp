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
constexpr int kStillActive = 259;

}  // namespace

void Insp::SaveWaveFile() {
  Trace("Insp SaveWaveFile");
  auto self = shared_from_this();
  const std::string folder = AddinFolder();
  const std::string mp3 = AddinFile("\\Sonvera.mp3");
  const std::string wav = AddinFile("\\Temp.wav");
  // ErrPlace is the routine's step, ErrMsg its detail.
  Routine r(QuietWhile(SendingFlag, AskToQuit(kSourceSave, [this] {
                         m_toolbarState = "Wait";
                         SetToolBarState(kSourceSave);
                       })));
  auto fail = [&](const char* message) {
    r.detail = message;
    r.Do([] { throw platform::Error(""); });
  };

  r.step = "FrmProp";
  r.Do([] { FrmProp::Instance().WClose(); });
  r.step = mp3;
  int quality = kFallbackQuality;
  r.Do([&] {
    if (FileExists(mp3)) KillFile(mp3);
    quality = AudioQuality();
  });
  const std::string rate = RateText(quality);
  r.step = wav;
  if (!r.Left() && !FileExists(wav)) return fail("Record Failure");
  std::uintmax_t length = 0;
  r.Do([&] { length = FileLength(wav); });
  if (!r.Left() && length < kMinimumWavBytes) return fail("Record Failure - File too small");
  r.detail.clear();
  r.Do([&] { ConvertRate(wav, std::stoi(rate)); });
  std::string commandLine;
  std::string shortFolder;
  r.Do([&] {
    shortFolder = ShortPathOf(folder);
    commandLine = EncoderCommandLine(folder, rate, shortFolder);
  });
  r.step = "ShellAndWait";
  r.detail = "Copy " + WavArgument(shortFolder) + " to " + Mp3Argument(shortFolder);
  r.Do([&] { ShellandWait(commandLine, 0); });
  if (r.Left()) return;
  r.detail.clear();
  // The recording is kept until its MP3 exists, so a failed encoding loses nothing.
  bool encoded = false;
  r.Do([&] { encoded = FileExists(mp3) && FileLength(mp3) > 0; });
  if (encoded) r.Do([&] {
      if (FileExists(wav)) KillFile(wav);
    });
  r.step = mp3;
  r.detail = "Error adding attachment to message.";
  r.Do([&] {
    if (!encoded) throw platform::Error("File not found: " + mp3);
    auto& mail = Need(oMail.get());
    Need(mail.GetAttachments()).Add(mp3, 1);
    const std::string body = mail.Body();
    if (body.find_first_not_of(' ') == std::string::npos) mail.SetBody("\n" + body);
  });
}

bool Insp::ShellandWait(const std::string& ExeFullPath, std::int32_t TimeOutValue) {
  Trace("Insp ShellandWait");
  try {
    auto& processes = platform::GetProcesses();
    const long start = SecondsSinceMidnight();
    long end = 0;
    bool wrapped = false;
    if (TimeOutValue > 0) {
      end = start + TimeOutValue;
      if (end >= kSecondsPerDay) {
        end = start - kSecondsPerDay + TimeOutValue;
        wrapped = true;
      }
    }
    const int pid = processes.Start(ExeFullPath, true);
    if (pid == 0) return false;
    int exitCode = kStillActive;
    for (;;) {
      // Finished reaps the child, so no zombie stays behind.
      if (!processes.Finished(pid, &exitCode)) exitCode = kStillActive;
      platform::GetLoop().RunPending();
      if (TimeOutValue != 0) {
        // One reading of the clock per round, so the two tests agree.
        const long now = SecondsSinceMidnight();
        if (now > end && (!wrapped || now < start)) break;
      }
      if (exitCode != kStillActive) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace sonvera
