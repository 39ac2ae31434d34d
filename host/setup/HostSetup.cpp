#include "host/setup/HostSetup.h"

#include <chrono>

#include "host/commands/LineWriter.h"
#include "host/model/MailHost.h"
#include "host/platforms/Integrations.h"
#include "host/platforms/PrintedActions.h"
#include "host/send/SmtpDelivery.h"
#include "host/setup/UserData.h"
#include "host/store/MaildirStore.h"
#include "host/store/MemoryMailStore.h"
#include "platform/Error.h"
#include "platform/linux/LinuxIntegration.h"
#include "platform/page/PageMedia.h"
#include "platform/page/PageSound.h"
#include "platform/page/PageWaveIn.h"

namespace mailhost {

// The page's sound devices in place of the platform's.
struct PageSoundDevices {
  PageSoundDevices(platform::EventLoop& loop, platform::PageSoundLink& link)
      : sound(loop, link), media(loop, sound), waveIn(loop, sound) {}
  platform::PageSound sound;
  platform::PageMedia media;
  platform::PageWaveIn waveIn;
};

namespace {

constexpr const char* kAlsaSound = "alsa";

// How long mailhost's exit waits for a mail on its way to the server before
// it stops the sending (the mail then stays in Drafts).
constexpr std::chrono::seconds kSendingGraceAtQuit{10};

// Without --from, mail is from the user's address as mail programs take it
// from the environment, else from the user on this machine.
std::string LocalSender() {
  if (const char* email = std::getenv("EMAIL"); email && *email) return email;
  const char* user = std::getenv("USER");
  return std::string(user && *user ? user : "mailhost") + "@localhost";
}

}  // namespace

std::vector<std::string> SoundNames() {
  return {kAlsaSound, platform::PageSound::kName};
}

HostSetup::HostSetup(const HostOptions& options, LineWriter& out, std::ostream& errors)
    : m_out(out), m_errors(errors), m_sound(options.sound) {
  if (!m_sound.empty() && m_sound != kAlsaSound && m_sound != platform::PageSound::kName)
    throw platform::Error("There is no sound named " + m_sound + " (" + kAlsaSound + ", " +
                          platform::PageSound::kName + ").");
  if (!options.smtpUrl.empty() && options.from.empty())
    throw platform::Error("--smtp needs --from ADDRESS, the sender of the mail");
  m_platform = CreateIntegration(options.platform, options.registryPath.empty()
                                                       ? RegistryFileIn(options.dataFolder)
                                                       : options.registryPath);
  m_platform->SetNoticeSink([this](const std::string& text) { m_out.Note(text); });
  if (options.memoryStore && options.maildir.empty()) {
    m_store = std::make_unique<MemoryMailStore>();
  } else {
    auto maildir = std::make_unique<MaildirStore>(MaildirFor(options.dataFolder, options.maildir),
                                                  DataFolderFor(options.dataFolder) + "/summaries");
    maildir->SetNoteSink([this](const std::string& note) { m_out.Note(note); });
    if (maildir->ChangeFd() >= 0) {
      m_watchedFd = maildir->ChangeFd();
      Loop().WatchReadable(m_watchedFd, [this, raw = maildir.get()] {
        if (!raw->DrainChanges()) return;
        m_host->StoreChanged();
        if (m_storeChanged) m_storeChanged();
      });
    }
    m_store = std::move(maildir);
  }
  m_host = std::make_unique<MailHost>(*m_store);
  // Only on the real clock does a mail go out beside the UI thread: runs on
  // virtual time stay deterministic.
  const auto thread = options.platform == platform::LinuxIntegration::kName
                          ? MailHost::DeliveryThread::Worker
                          : MailHost::DeliveryThread::Ui;
  m_host->SetDelivery(
      options.from.empty() ? LocalSender() : options.from,
      options.smtpUrl.empty() ? nullptr : SmtpDelivery({options.smtpUrl, options.from, {}}),
      thread);
  // quit ends every loop, however deeply the add-in's boxes and waits nest.
  m_host->SetQuitHook([this] { Loop().EndAll(); });
}

std::unique_ptr<HostSetup> HostSetup::Open(const HostOptions& options, LineWriter& out,
                                           std::ostream& errors) {
  try {
    return std::make_unique<HostSetup>(options, out, errors);
  } catch (const std::exception& e) {
    errors << "mailhost: " << e.what() << std::endl;
    return nullptr;
  }
}

HostSetup::~HostSetup() {
  if (m_watchedFd >= 0) Loop().Unwatch(m_watchedFd);
}

CommandDispatcher& HostSetup::Install(FrontEnd frontEnd) {
  if (m_dispatcher) throw platform::Error("The host is installed already.");
  auto& services = m_platform->GetServices();
  if (frontEnd.boxes) services.boxes = frontEnd.boxes;
  if (frontEnd.notice) m_platform->SetNoticeSink(frontEnd.notice);
  if (m_sound == platform::PageSound::kName) {
    if (!frontEnd.soundLink)
      throw platform::Error("The sound \"page\" needs the page: --web PORT.");
    m_pageSound = std::make_unique<PageSoundDevices>(Loop(), *frontEnd.soundLink);
    m_pageSound->sound.onNotice =
        frontEnd.notice ? frontEnd.notice : [this](const std::string& text) { m_out.Note(text); };
    services.media = &m_pageSound->media;
    services.waveIn = &m_pageSound->waveIn;
  }
  m_printed = std::make_unique<PrintedActions>(services, m_out);
  m_install = std::make_unique<platform::ScopedInstall>(*m_platform);
  m_dispatcher = std::make_unique<CommandDispatcher>(*m_host, m_loader, m_out, m_errors,
                                                     std::move(frontEnd.dispatch));
  return *m_dispatcher;
}

void HostSetup::Shutdown() {
  if (m_host->SendingAny()) {
    m_out.Note("waiting up to " + std::to_string(kSendingGraceAtQuit.count()) +
               " seconds for the mail being sent");
  }
  for (const auto& line : m_host->EndSending(kSendingGraceAtQuit)) m_out.Note(line);
  if (m_dispatcher) m_dispatcher->Shutdown();
  if (m_watchedFd >= 0) Loop().Unwatch(m_watchedFd);
  m_watchedFd = -1;
}

}  // namespace mailhost
