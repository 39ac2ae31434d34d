#include "host/web/WebFrontEnd.h"

#include <filesystem>
#include <thread>

#include "host/commands/CommandDispatcher.h"
#include "host/commands/LineWriter.h"
#include "host/model/MailHost.h"
#include "host/send/SmtpSubmitter.h"
#include "host/setup/UserData.h"
#include "host/web/PagePlayer.h"
#include "host/web/PageServer.h"
#include "host/web/PageSession.h"
#include "host/web/PageSoundPort.h"
#include "host/web/PageUpload.h"
#include "host/web/VoicePositions.h"
#include "host/web/VoiceShelf.h"
#include "host/web/WebBoxes.h"
#include "platform/Platform.h"
#include "platform/common/DesktopWindows.h"

namespace mailhost {

namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr auto kRefresh = std::chrono::milliseconds(100);  // the meter moves every 50 ms

// The page's `wait` command runs the loop meanwhile, as a person's
// would: the page and the add-ins go on.
void WaitInLoop(platform::EventLoop& loop, std::chrono::milliseconds duration) {
  bool done = false;
  auto timer = loop.SetTimer(duration, false, [&] {
    done = true;
    loop.Quit();
  });
  while (!done && !loop.Ending()) loop.Run();
  loop.KillTimer(timer);
}

// The page's boxes and notices, and commands run from the folder mailhost
// started in. `session` is the page once it exists.
FrontEnd PageFrontEnd(platform::EventLoop& loop, WebBoxes& boxes, LineWriter& writer,
                      PageSession*& session, PageSoundPort& sound) {
  FrontEnd frontEnd;
  frontEnd.boxes = &boxes;
  frontEnd.soundLink = &sound;
  frontEnd.notice = [&writer, &session](const std::string& text) {
    writer.Note(text);
    if (session) session->SetSound(text);
  };
  frontEnd.dispatch.baseFolder = std::filesystem::current_path().string();
  frontEnd.dispatch.wait = [&loop](std::chrono::milliseconds duration) {
    WaitInLoop(loop, duration);
  };
  frontEnd.dispatch.queueAnswer = [&boxes](platform::Answer answer) { boxes.Queue(answer); };
  return frontEnd;
}

}  // namespace

int WebFrontEnd::Run(const WebOptions& options, std::ostream& out, std::ostream& errors) {
  LogBuffer logBuffer(out);
  std::ostream logStream(&logBuffer);
  LineWriter writer(logStream);
  const HostOptions& hostOptions = options.host;
  const std::string dataFolder = DataFolderFor(hostOptions.dataFolder);
  std::unique_ptr<PageSoundPort> sound;
  auto setup = HostSetup::Open(hostOptions, writer, errors);
  if (!setup) return 1;
  auto& loop = setup->Loop();
  sound = std::make_unique<PageSoundPort>(loop);
  MailHost& host = setup->Host();
  PageSession* session = nullptr;
  setup->OnStoreChanged([&session] {
    if (session) session->StoreChanged();
  });
  WebBoxes boxes(loop, writer, [&session] {
    if (session) session->BoxesChanged();
  });
  auto& dispatcher = setup->Install(PageFrontEnd(loop, boxes, writer, session, *sound));
  auto* desktop = dynamic_cast<platform::DesktopWindows*>(setup->Platform().GetServices().windows);
  if (!desktop) {
    errors << "mailhost: the platform " << setup->Platform().Name() << " draws no windows"
           << std::endl;
    return 1;
  }

  Uploads uploads(dataFolder + "/uploads", options.limits.uploadBytes);
  uploads.Sweep();
  PageSession web(loop, *desktop, host, dispatcher, boxes, logBuffer, uploads);
  session = &web;
  web.SetSoundPort(sound.get());
  web.SetSending(hostOptions.smtpUrl.empty() ? "" : WithoutPassword(hostOptions.smtpUrl));

  PageServer server(options.limits);
  web.Serve(server);
  VoiceShelf shelf(dataFolder + "/voice");
  VoicePositions positions(dataFolder + "/voice-positions.json");
  PagePlayer player(host, shelf, positions, [&web](std::function<nlohmann::json()> work) {
    return web.OnUi(std::move(work));
  });
  player.Serve(server);
  const int port = server.Bind(options.port);
  if (port <= 0) {
    errors << "mailhost: cannot listen on " << kLoopback << ":" << options.port << std::endl;
    return 1;
  }
  std::thread serving([&server] { server.Listen(); });
  const std::string address = server.Address();
  out << "page " << address << std::endl;
  server.KeepTokenIn(dataFolder + "/page-token", errors);

  loop.Post([&] {
    try {
      dispatcher.Start();
    } catch (const std::exception& e) {
      errors << "mailhost: " << e.what() << std::endl;
    }
    web.Publish();
    if (options.openBrowser) platform::GetShell().Open(address, "");
  });
  auto refresh = loop.SetTimer(kRefresh, true, [&web] { web.Publish(); });
  while (!host.QuitRequested()) loop.Run();
  loop.KillTimer(refresh);
  boxes.Abandon();
  setup->Shutdown();
  web.Publish();
  web.Stop();
  server.Stop();
  serving.join();
  // The devices that outlive the page tell it nothing more.
  sound->OnChange(nullptr);
  return 0;
}

}  // namespace mailhost
