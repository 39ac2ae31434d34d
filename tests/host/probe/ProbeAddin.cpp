// A tiny add-in for testing the host: it reports each event it receives as a
// "probe ..." line on standard output, and the buttons of its bar make it
// call back into the host. It registers itself the way any add-in does.
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "hostmodel/AddinEntry.h"
#include "platform/Platform.h"

namespace probe {
namespace {

using hostmodel::Ref;

constexpr const char* kProgId = "Probe.Connect";
constexpr const char* kClsid = "{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}";

void Log(const std::string& line) {
  std::cout << "probe " << line << std::endl;
}

class Probe : public hostmodel::AddinConnection {
 public:
  void OnConnection(Ref<hostmodel::Application> application, int connectMode) override {
    m_app = std::move(application);
    Log("connect mode=" + std::to_string(connectMode));
  }

  void OnStartupComplete() override {
    Log("startup");
    auto explorer = m_app->ActiveExplorer();
    std::weak_ptr<hostmodel::Explorer> weakExplorer = explorer;
    m_subs.push_back(explorer->SelectionChange.Subscribe([weakExplorer] {
      auto explorer = weakExplorer.lock();
      auto selection = explorer->GetSelection();
      auto folder = explorer->CurrentFolder();
      std::string line = "selection " + folder->Name() +
                         " type=" + std::to_string(folder->DefaultItemType()) +
                         " count=" + std::to_string(selection->Count());
      if (selection->Count() > 0)
        line += " first=" + std::to_string(selection->GetItem(1)->Class());
      Log(line);
    }));
    m_subs.push_back(m_app->GetInspectors()->NewInspector.Subscribe(
        [this](Ref<hostmodel::Inspector> inspector) { Watch(inspector); }));

    auto bar = explorer->GetCommandBars()->Add("Probe", hostmodel::kMsoBarTop, false, true);
    AddButton(bar, "Box", [] {
      try {
        const auto answer = platform::GetBoxes().Show({.text = "Go on?\r\nSecond line",
                                                       .title = "Probe",
                                                       .buttons = platform::Buttons::YesNo,
                                                       .icon = platform::Icon::Question});
        Log(std::string("box-answer ") + (answer == platform::Answer::Yes ? "Yes" : "No"));
      } catch (const platform::Error& e) {
        Log("box-failed " + e.Description());
      }
    });
    AddButton(bar, "Quit", [this] {
      Log("quit-asked");
      m_app->GetApplication()->Quit();
    });
    AddButton(bar, "Fail", [] { throw platform::Error("probe failure"); });
    auto list = std::dynamic_pointer_cast<hostmodel::CommandBarComboBox>(
        bar->Controls()->Add(hostmodel::kMsoControlDropdown, 0, "", 0, true));
    list->AddItem("one");
    list->AddItem("two");
    bar->SetVisible(true);
    m_bar = bar;
  }

  void OnBeginShutdown() override {
    Log("shutdown");
    m_subs.clear();
    m_buttons.clear();
    m_bar.reset();
    m_app.reset();
  }

 private:
  void AddButton(const Ref<hostmodel::CommandBar>& bar, const std::string& caption,
                 std::function<void()> action) {
    auto button = std::dynamic_pointer_cast<hostmodel::CommandBarButton>(
        bar->Controls()->Add(hostmodel::kMsoControlButton, 0, "", 0, true));
    button->SetStyle(hostmodel::kMsoButtonIconAndCaption);
    button->SetCaption(caption);
    m_subs.push_back(
        button->Click.Subscribe([caption, action](Ref<hostmodel::CommandBarButton>, bool&) {
          Log("click " + caption);
          action();
        }));
    m_buttons.push_back(button);
  }

  void Watch(const Ref<hostmodel::Inspector>& inspector) {
    auto item = inspector->CurrentItem();
    Log("new-inspector class=" + std::to_string(item->Class()));
    m_subs.push_back(inspector->Activate.Subscribe([] { Log("activate"); }));
    m_subs.push_back(inspector->Deactivate.Subscribe([] { Log("deactivate"); }));
    m_subs.push_back(inspector->Close.Subscribe([] { Log("close"); }));
    auto mail = std::dynamic_pointer_cast<hostmodel::MailItem>(item);
    if (!mail) return;
    m_subs.push_back(mail->Send.Subscribe([](bool&) { Log("send"); }));
    m_subs.push_back(mail->AttachmentAdd.Subscribe([](Ref<hostmodel::Attachment> attachment) {
      Log("attachment-add " + attachment->FileName() + " at " +
          std::to_string(attachment->Index()));
    }));
  }

  Ref<hostmodel::Application> m_app;
  std::vector<hostmodel::Subscription> m_subs;
  std::vector<Ref<hostmodel::CommandBarButton>> m_buttons;
  Ref<hostmodel::CommandBar> m_bar;
};

bool Put(const std::string& path, const std::string& name, std::uint32_t type,
         const std::string& data) {
  auto& registry = platform::GetRegistry();
  platform::HKey key = 0;
  if (registry.CreateKey(platform::kHkeyCurrentUser, path, &key) != platform::kErrorSuccess) {
    return false;
  }
  const bool ok =
      registry.SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                        static_cast<std::uint32_t>(data.size())) == platform::kErrorSuccess;
  registry.CloseKey(key);
  return ok;
}

bool PutText(const std::string& path, const std::string& name, const std::string& text) {
  return Put(path, name, platform::kRegSz, text + '\0');
}

}  // namespace
}  // namespace probe

extern "C" __attribute__((visibility("default"))) int DllRegisterServer() {
  using namespace probe;
  const std::string classes = hostmodel::kClassesKey;
  const std::string addin = std::string(hostmodel::kAddinsKey) + "\\" + kProgId;
  bool ok = PutText(classes + "\\" + kProgId + "\\CLSID", "", kClsid);
  ok &=
      PutText(classes + "\\CLSID\\" + kClsid + "\\InprocServer32", "",
              platform::GetFiles().ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)));
  ok &= PutText(addin, "FriendlyName", "Probe");
  ok &= Put(addin, "LoadBehavior", platform::kRegDword, std::string("\3\0\0\0", 4));
  return ok ? hostmodel::kSOk : hostmodel::kSelfRegErrorClass;
}

extern "C" __attribute__((visibility("default"))) int DllGetClassObject(
    const char* progId, hostmodel::AddinConnection** object) {
  if (!object || !progId || std::strcmp(progId, probe::kProgId) != 0) {
    return hostmodel::kClassENotAvailable;
  }
  *object = new probe::Probe();
  return hostmodel::kSOk;
}
