#pragma once
// A host with the add-in started on the deterministic platform, in an
// add-in folder of the test's own (links to the built faces, samples and
// encoder), so that tests never share working sound files.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "addin/Connect.h"
#include "host/model/CommandBarButton.h"
#include "host/model/MailHost.h"
#include "host/store/MemoryMailStore.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredMail.h"

namespace testsupport {

class VoiceFixture : public ::testing::Test {
 protected:
  VoiceFixture();
  ~VoiceFixture() override;

  void Start();
  // The visible button of the window's bar with this caption, or null.
  std::shared_ptr<mailhost::CommandBarButton> Button(const std::string& window,
                                                     const std::string& caption);
  // Presses that button, which must be enabled.
  void Click(const std::string& window, const std::string& caption);
  void Wait(int milliseconds);
  // Links the built add-in folder's files but the working sound files.
  void LinkAddinFiles();
  std::string AddinFile(const std::string& name) const { return addin.File(name); }

  FakePlatform fake;
  ScratchFolder addin;
  mailhost::MemoryMailStore store;
  std::unique_ptr<mailhost::MailHost> host;
  std::unique_ptr<sonvera::ConnectObject> connection;
};

}  // namespace testsupport
