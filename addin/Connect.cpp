#include "addin/Connect.h"

#include <atomic>

#include "addin/Amp.h"
#include "common/Handlers.h"
#include "common/Trace.h"
#include "platform/Platform.h"

namespace sonvera {

using namespace hostmodel;

namespace {
std::atomic<int> g_liveObjects{0};
constexpr const char* kTracePath = "C:\\DEBUG.LOG";
}  // namespace

void Connect::OnConnection(const Ref<Application>& Application, int /*ConnectMode*/) {
  Routine r(TellAndLeave());
  r.Do([&] {
    TraceOpen(kTracePath, true);
    Trace(" AddinInstance_OnConnection ");
    Trace("AddinInstance_OnConnection");
    OutLookApp = Application;
  });
}

void Connect::OnStartupComplete() {
  Trace("AddinInstance_OnStartupComplete");
  auto self = shared_from_this();
  ApplicationObject = Amp::Create();
  // Held locally: the start-up may release the connection's reference.
  auto amp = ApplicationObject;
  amp->OnStartupComplete(OutLookApp, self);
}

void Connect::OnBeginShutdown() {
  Trace("AddinInstance_OnBeginShutdown");
  IgnoreErrors([&] { Need(ApplicationObject).OnBeginShutdown(); });
}

void Connect::CloseAddin() {
  Trace("CloseAddin");
  ApplicationObject.reset();
  OutLookApp.reset();
}

ConnectObject::ConnectObject() : m_connect(std::make_shared<Connect>()) {
  ++g_liveObjects;
}

ConnectObject::~ConnectObject() {
  --g_liveObjects;
}

void ConnectObject::OnConnection(Ref<Application> application, int connectMode) {
  m_connect->OnConnection(application, connectMode);
}

void ConnectObject::OnStartupComplete() {
  // No exception may cross into the host.
  IgnoreErrors([&] { m_connect->OnStartupComplete(); });
}

void ConnectObject::OnBeginShutdown() {
  m_connect->OnBeginShutdown();
}

int ConnectObject::LiveObjects() {
  return g_liveObjects;
}

}  // namespace sonvera
