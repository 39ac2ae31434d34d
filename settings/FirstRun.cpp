#include "settings/FirstRun.h"

#include "common/Handlers.h"
#include "common/ProductServer.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "settings/Reg.h"
#include "settings/Settings.h"

namespace sonvera {

void WriteDefaults() {
  Trace(" WriteDefaults");
  CreateRegKey(platform::kHkeyCurrentUser, kSettingsKey);
  SetRegValue(platform::kHkeyCurrentUser, kSettingsKey, kValueVersion, std::string(kDefaultVersion),
              true);
  SetRegValue(platform::kHkeyCurrentUser, kSettingsKey, kValueAQ, std::string(kDefaultAQ), true);
}

bool CheckFirstRun(const ProductServer& server) {
  Trace(" CheckFirstRun");
  RegData aq;
  Routine r(LeaveSilently());
  r.Do([&] { aq = GetRegValue(platform::kHkeyCurrentUser, kSettingsKey, kValueAQ); });
  if (r.Left()) return false;
  if (!RegDataText(aq).empty()) return true;

  // Failures of the defaults or of the offer do not change the answer.
  IgnoreErrors([] { WriteDefaults(); });
  IgnoreErrors([&] {
    platform::BoxRequest box;
    box.text = kTutorialQuestion;
    box.title = kTutorialTitle;
    box.buttons = platform::Buttons::YesNo;
    box.icon = platform::Icon::Question;
    if (platform::GetBoxes().Show(box) == platform::Answer::Yes) {
      platform::GetShell().Open(server.Url(kTutorialPath), "c:\\");
    }
  });
  return true;
}

}  // namespace sonvera
