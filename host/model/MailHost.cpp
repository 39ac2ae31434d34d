#include "host/model/MailHost.h"

#include <algorithm>

#include "host/model/Application.h"
#include "host/model/Attachments.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/Folder.h"
#include "host/model/GuardedFire.h"
#include "host/model/Inspector.h"
#include "host/model/MailItem.h"
#include "host/model/PersistentBars.h"
#include "platform/Error.h"
#include "platform/Platform.h"

namespace mailhost {
namespace {

constexpr const char* kExplorerKind = "Explorer";
constexpr const char* kInspectorKind = "Inspector";
constexpr ScreenPoint kExplorerOrigin{0, 0};
// Item windows cascade from here, so that no two recent ones overlap exactly.
constexpr ScreenPoint kFirstWindowOrigin{64, 80};
constexpr int kCascadeStep = 32;
constexpr int kCascadeLength = 8;

std::shared_ptr<CommandBars> BarsFor(const std::string& kind, ScreenPoint origin) {
  auto bars = std::make_shared<CommandBars>(
      origin, [kind](const std::string& name) { PersistentBars::Remember(kind, name); });
  for (const auto& name : PersistentBars::Names(kind)) bars->Restore(name);
  return bars;
}

}  // namespace

MailHost::MailHost(MailStore& store)
    : m_store(store), m_inspectors(std::make_shared<Inspectors>()) {
  m_explorer = std::make_shared<Explorer>(BarsFor(kExplorerKind, kExplorerOrigin),
                                          FolderObject(kStartFolder));
  m_application =
      std::make_shared<Application>(m_inspectors, m_explorer, [this] { RequestQuit(); });
}

MailHost::~MailHost() = default;

void MailHost::AddItem(const std::string& folder, const StoredItem& item) {
  if (FindItem(item.id))
    throw platform::Error("An item with the id " + item.id + " exists already.");
  m_store.Add(folder, item);
}

hostmodel::Ref<hostmodel::Item> MailHost::FindItem(const std::string& id) {
  auto cached = m_items.find(id);
  if (cached != m_items.end()) return cached->second;
  const auto folder = m_store.FolderOf(id);
  if (folder.empty()) return nullptr;
  const auto stored = m_store.Load(id);
  hostmodel::Ref<hostmodel::Item> item;
  if (stored.itemClass == hostmodel::kOlMail) {
    item = MailItem::Create(m_store, folder, stored);
  } else {
    item = std::make_shared<PlainItem>(stored.itemClass);
  }
  m_items[id] = item;
  return item;
}

void MailHost::ShowFolder(const std::string& name) {
  m_explorer->ShowFolder(FolderObject(name));
  m_selectedIds.clear();
}

void MailHost::Select(const std::vector<std::string>& ids) {
  const auto current = m_explorer->CurrentFolder()->Name();
  std::vector<hostmodel::Ref<hostmodel::Item>> items;
  for (const auto& name : ids) {
    // A sent mail is found by the name of the window it was written in, too.
    auto named = m_windowItems.find(name);
    const std::string id = named != m_windowItems.end() ? named->second : name;
    auto item = FindItem(id);
    if (!item) throw platform::Error("There is no item " + name + ".");
    if (FolderOf(id) != current) {
      throw platform::Error("The item " + name + " is not in the folder " + current + ".");
    }
    items.push_back(item);
  }
  // One mail selected is one shown in the reading pane: read.
  if (items.size() == 1) {
    if (auto mail = std::dynamic_pointer_cast<MailItem>(items.front())) mail->MarkRead();
  }
  m_explorer->Select(std::move(items));
  m_selectedIds = ids;
}

std::shared_ptr<Inspector> MailHost::NewMail(const std::string& window) {
  if (Window(window) || window == kExplorerWindow) {
    throw platform::Error("A window named " + window + " is open already.");
  }
  StoredItem stored;
  stored.id = NewItemId();
  stored.itemClass = hostmodel::kOlMail;
  m_store.Add(kDraftsFolder, stored);
  return OpenWindow(window, FindItem(stored.id));
}

std::shared_ptr<Inspector> MailHost::Open(const std::string& itemName, const std::string& window) {
  auto item = ItemNamed(itemName);
  if (!item) throw platform::Error("There is no item " + itemName + ".");
  for (const auto& open : m_windows) {
    if (open->Item() == item) {
      throw platform::Error("The item " + itemName + " is open already in " + open->Name() + ".");
    }
  }
  auto opened = OpenWindow(window, item);
  if (auto mail = std::dynamic_pointer_cast<MailItem>(item)) mail->MarkRead();
  return opened;
}

std::shared_ptr<Inspector> MailHost::OpenWindow(const std::string& window,
                                                hostmodel::Ref<hostmodel::Item> item) {
  if (window.empty() || window == kExplorerWindow || Window(window)) {
    throw platform::Error("A window named " + window + " is open already.");
  }
  const int step = kCascadeStep * (m_windowsOpened++ % kCascadeLength);
  const ScreenPoint origin{kFirstWindowOrigin.left + step, kFirstWindowOrigin.top + step};
  auto inspector =
      std::make_shared<Inspector>(window, item, origin, BarsFor(kInspectorKind, origin));
  m_windows.push_back(inspector);
  if (auto mail = std::dynamic_pointer_cast<MailItem>(item)) m_windowItems[window] = mail->Id();
  FireGuarded("NewInspector", m_inspectors->NewInspector,
              std::static_pointer_cast<hostmodel::Inspector>(inspector));
  return inspector;
}

void MailHost::Activate(const std::string& window) {
  if (window == kExplorerWindow) {
    auto previous = Window(m_activeWindow);
    m_activeWindow = kExplorerWindow;
    if (previous) FireGuarded("Deactivate", previous->Deactivate);
    return;
  }
  auto inspector = RequireWindow(window);
  auto previous = Window(m_activeWindow);
  m_activeWindow = window;
  if (previous && previous != inspector) FireGuarded("Deactivate", previous->Deactivate);
  FireGuarded("Activate", inspector->Activate);
}

void MailHost::Deactivate(const std::string& window) {
  auto inspector = RequireWindow(window);
  if (m_activeWindow == window) m_activeWindow.clear();
  FireGuarded("Deactivate", inspector->Deactivate);
}

void MailHost::Close(const std::string& window) {
  auto inspector = RequireWindow(window);
  if (m_activeWindow == window) m_activeWindow.clear();
  m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), inspector), m_windows.end());
  FireGuarded("Close", inspector->Close);
}

bool MailHost::Send(const std::string& window) {
  auto inspector = RequireWindow(window);
  auto mail = std::dynamic_pointer_cast<MailItem>(inspector->Item());
  if (!mail) throw platform::Error("The window " + window + " shows no mail.");
  if (mail->Sent()) throw platform::Error("The mail in " + window + " has been sent already.");
  try {
    if (!mail->DoSend(kSentFolder, m_from, m_deliver)) return false;
  } catch (const platform::Error& e) {
    platform::BoxRequest box;
    box.title = "mailhost";
    box.text = std::string("The mail could not be sent; it stays in ") + kDraftsFolder + ".\r\n\r\n" +
               e.what();
    box.icon = platform::Icon::Critical;
    platform::GetBoxes().Show(box);
    return false;
  }
  if (Window(window) == inspector) Close(window);
  return true;
}

void MailHost::Attach(const std::string& window, const std::string& path) {
  auto inspector = RequireWindow(window);
  auto mail = std::dynamic_pointer_cast<MailItem>(inspector->Item());
  if (!mail) throw platform::Error("The window " + window + " shows no mail.");
  mail->GetAttachments()->Add(path, 0);
}

std::shared_ptr<Inspector> MailHost::Window(const std::string& name) const {
  for (const auto& window : m_windows) {
    if (window->Name() == name) return window;
  }
  return nullptr;
}

std::shared_ptr<CommandBars> MailHost::BarsOf(const std::string& window) const {
  if (window == kExplorerWindow) return m_explorer->Bars();
  return RequireWindow(window)->Bars();
}

std::shared_ptr<MailItem> MailHost::FindMail(const std::string& windowOrId) {
  hostmodel::Ref<hostmodel::Item> item;
  if (auto window = Window(windowOrId)) {
    item = window->Item();
  } else {
    item = ItemNamed(windowOrId);
  }
  if (!item) throw platform::Error("There is no window or item " + windowOrId + ".");
  auto mail = std::dynamic_pointer_cast<MailItem>(item);
  if (!mail) throw platform::Error("The item " + windowOrId + " is not a mail.");
  return mail;
}

void MailHost::RequestQuit() {
  if (m_quitRequested) return;
  m_quitRequested = true;
  if (m_quitHook) m_quitHook();
}

std::shared_ptr<Inspector> MailHost::RequireWindow(const std::string& name) const {
  auto window = Window(name);
  if (!window) throw platform::Error("There is no open window " + name + ".");
  return window;
}

hostmodel::Ref<hostmodel::Item> MailHost::ItemNamed(const std::string& name) {
  auto named = m_windowItems.find(name);
  return FindItem(named != m_windowItems.end() ? named->second : name);
}

std::string MailHost::FolderOf(const std::string& id) const {
  if (auto cached = m_items.find(id); cached != m_items.end()) {
    if (auto mail = std::dynamic_pointer_cast<MailItem>(cached->second)) return mail->Folder();
  }
  return m_store.FolderOf(id);
}

hostmodel::Ref<hostmodel::Folder> MailHost::FolderObject(const std::string& name) {
  if (auto known = m_folders.find(name); known != m_folders.end()) return known->second;
  for (const auto& folder : m_store.Folders()) {
    if (folder.name != name) continue;
    auto object = std::make_shared<Folder>(folder.name, folder.defaultItemType);
    m_folders[name] = object;
    return object;
  }
  throw platform::Error("There is no folder " + name + ".");
}

std::string MailHost::NewItemId() {
  for (;;) {
    auto id = "new" + std::to_string(++m_newMails);
    if (!FindItem(id)) return id;
  }
}

}  // namespace mailhost
