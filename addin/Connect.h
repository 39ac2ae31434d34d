#pragma once
// The connection object the host creates and notifies.
#include <memory>

#include "hostmodel/AddinEntry.h"

namespace sonvera {

class Amp;

class Connect : public std::enable_shared_from_this<Connect> {
 public:
  void OnConnection(const hostmodel::Ref<hostmodel::Application>& Application, int ConnectMode);
  void OnStartupComplete();
  void OnBeginShutdown();
  // Releases the application object and the host's application; called when
  // the first-run check gives up.
  void CloseAddin();

  hostmodel::Ref<hostmodel::Application> OutLookApp;
  std::shared_ptr<Amp> ApplicationObject;
};

// What the host holds: forwards the connection events to a shared Connect.
class ConnectObject : public hostmodel::AddinConnection {
 public:
  ConnectObject();
  ~ConnectObject() override;
  void OnConnection(hostmodel::Ref<hostmodel::Application> application, int connectMode) override;
  void OnStartupComplete() override;
  void OnBeginShutdown() override;

  static int LiveObjects();

 private:
  std::shared_ptr<Connect> m_connect;
};

}  // namespace sonvera
