#include "host/model/MailHost.h"

#include <algorithm>
#include <iostream>
#include <thread>

#include "host/model/Application.h"
#include "host/model/Attachment.h"
#include "host/model/Attachments.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/Folder.h"
#include "host/model/GuardedFire.h"
#include "host/model/Inspector.h"
#include "host/model/MailItem.h"
#include "host/model/PersistentBars.h"
#include "host/store/MimeMessage.h"
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
// Why the folder shown is not listed any longer.
constexpr const char* kFolderGone = "another program removed or renamed it.";

constexpr const char* kBoxTitle = "mailhost";
constexpr const char* kNotSent = "The mail could not be sent; it stays in Drafts.";
constexpr const char* kNotFiled = "The mail could not be filed in Sent; it stays in Drafts.";
constexpr const char* kSentNotFiled =
    "The mail was sent, but it could not be filed in Sent; it stays in Drafts. Send files it in "
    "Sent without sending it again.";
constexpr const char* kCannotFile =
    "The mail was not sent, because it could not be filed in Sent afterwards.";

void ShowSendBox(const std::string& what, const std::string& reason) {
  platform::BoxRequest box;
  box.title = kBoxTitle;
  box.text = what + "\r\n\r\n" + reason;
  box.icon = platform::Icon::Critical;
  platform::GetBoxes().Show(box);
}

std::shared_ptr<CommandBars> BarsFor(const std::string& kind, ScreenPoint origin) {
  auto bars = std::make_shared<CommandBars>(
      origin, [kind](const std::string& name) { PersistentBars::Remember(kind, name); });
  for (const auto& name : PersistentBars::Names(kind)) bars->Restore(name);
  return bars;
}

}  // namespace

struct MailHost::Handing {
  std::shared_ptr<MailItem> mail;
  StoredItem sent;  // the copy that leaves, filed once the server took it
  std::atomic<bool> stop{false};
  std::atomic<bool> finished{false};
  std::string error;  // written by the worker, read after the join
  std::thread worker;
};

MailHost::MailHost(MailStore& store)
    : m_store(store), m_inspectors(std::make_shared<Inspectors>()) {
  m_explorer = std::make_shared<Explorer>(BarsFor(kExplorerKind, kExplorerOrigin),
                                          FolderObject(kStartFolder));
  m_application =
      std::make_shared<Application>(m_inspectors, m_explorer, [this] { RequestQuit(); });
}

MailHost::~MailHost() {
  EndSending(std::chrono::milliseconds(0));
}

std::vector<std::string> MailHost::EndSending(std::chrono::milliseconds grace) {
  const auto deadline = std::chrono::steady_clock::now() + grace;
  const auto allFinished = [this] {
    return std::all_of(m_handing.begin(), m_handing.end(),
                       [](const auto& entry) { return entry.second->finished.load(); });
  };
  while (!allFinished() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (auto& [id, handing] : m_handing) handing->stop = true;
  std::vector<std::string> said;
  for (auto& [id, handing] : m_handing) {
    handing->worker.join();
    const std::string mail = "The mail \"" + handing->sent.subject + "\"";
    if (!handing->error.empty()) {
      said.push_back(mail + " was not sent; it stays in Drafts: " + handing->error);
      continue;
    }
    try {
      m_store.File(kSentFolder, handing->sent);
      handing->mail->Filed(handing->sent, kSentFolder);
    } catch (const std::exception& e) {
      said.push_back(
          mail + " was sent, but it could not be filed in Sent; it stays in Drafts: " + e.what());
    }
  }
  // A result still on its way to the UI loop finds no Handing and does nothing.
  m_handing.clear();
  return said;
}

void MailHost::AddItem(const std::string& folder, const StoredItem& item) {
  if (FindItem(item.id))
    throw platform::Error("An item with the id " + item.id + " exists already.");
  // A saved mail among the attachments goes as the mail it is, as it does
  // when a person attaches it.
  StoredItem added = item;
  for (auto& attachment : added.attachments) {
    if (AttachmentContentType(attachment.fileName) == kMessageContentType)
      attachment.message = true;
  }
  m_store.Add(folder, added);
}

hostmodel::Ref<hostmodel::Item> MailHost::FindItem(const std::string& id) {
  auto cached = m_items.find(id);
  if (cached != m_items.end()) return cached->second;
  // No id of the store holds a '/'.
  if (const auto slash = id.rfind('/'); slash != std::string::npos)
    return AttachedMail(id, id.substr(0, slash), id.substr(slash + 1));
  const auto folder = m_store.FolderOf(id);
  if (folder.empty()) return nullptr;
  const auto stored = m_store.Load(id);
  hostmodel::Ref<hostmodel::Item> item;
  if (stored.itemClass == hostmodel::kOlMail) {
    item = MailItem::Create(m_store, folder, stored, m_from);
  } else {
    item = std::make_shared<PlainItem>(stored.itemClass);
  }
  m_items[id] = item;
  return item;
}

hostmodel::Ref<hostmodel::Item> MailHost::AttachedMail(const std::string& id,
                                                       const std::string& parent,
                                                       const std::string& number) {
  auto mail = std::dynamic_pointer_cast<MailItem>(FindItem(parent));
  if (!mail || number.empty() || number.size() > 4 ||
      number.find_first_not_of("0123456789") != std::string::npos)
    return nullptr;
  auto attachment = mail->AttachmentList()->At(std::stoi(number));
  if (!attachment || !attachment->IsMessage()) return nullptr;
  const auto& bytes = attachment->Bytes();
  StoredItem stored =
      ReadMimeMessage(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  stored.id = id;
  stored.read = true;
  auto item = MailItem::Attached(mail->Folder(), stored);
  m_items[id] = item;
  return item;
}

void MailHost::StoreChanged() {
  // A window's mail first: one that came back is the window's mail again.
  for (const auto& window : m_windows) {
    auto mail = std::dynamic_pointer_cast<MailItem>(window->Item());
    if (!mail || IsSending(mail->Id())) continue;
    const bool present = Exists(mail->Id());
    mail->SetRemoved(!present);
    if (present) m_items[mail->Id()] = mail;
  }
  for (auto it = m_items.begin(); it != m_items.end();) {
    auto mail = std::dynamic_pointer_cast<MailItem>(it->second);
    if (mail && IsSending(it->first)) {
      ++it;
      continue;
    }
    std::string folder;
    StoredItem summary;
    try {
      if (!Exists(it->first)) throw platform::Error("gone");
      if (mail && !mail->IsAttached()) {
        folder = m_store.FolderOf(it->first);
        summary = m_store.Summary(it->first);
      }
    } catch (const platform::Error&) {
      if (mail) mail->SetRemoved(true);
      it = m_items.erase(it);
      continue;
    }
    if (!folder.empty()) mail->Refresh(folder, summary);
    ++it;
  }
  const auto current = m_explorer->CurrentFolder()->Name();
  std::vector<std::string> kept;
  std::vector<hostmodel::Ref<hostmodel::Item>> items;
  for (const auto& name : m_selectedIds) {
    auto named = m_windowItems.find(name);
    const std::string id = named != m_windowItems.end() ? named->second : name;
    auto item = FindItem(id);
    if (!item || FolderOf(id) != current) continue;
    kept.push_back(name);
    items.push_back(std::move(item));
  }
  if (kept.size() == m_selectedIds.size()) return;
  m_selectedIds = std::move(kept);
  m_explorer->Select(std::move(items));
}

void MailHost::ShowFolder(const std::string& name) {
  m_explorer->ShowFolder(FolderObject(name));
  m_selectedIds.clear();
}

void MailHost::Select(const std::vector<std::string>& ids) {
  const auto current = m_explorer->CurrentFolder()->Name();
  if (!ids.empty()) {
    const auto folders = m_store.Folders();
    if (std::none_of(folders.begin(), folders.end(),
                     [&](const StoredFolder& folder) { return folder.name == current; }))
      throw platform::Error("The folder " + current + " is no longer there: " + kFolderGone);
  }
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
  // What every draft carries from its first save on: notmuch and others skip
  // a file without From, and a Message-Id says it is the same draft.
  stored.from = m_from;
  stored.messageId = NewMessageId();
  stored.date = DateNow();
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
  if (auto mail = std::dynamic_pointer_cast<MailItem>(item)) {
    m_windowItems[window] = mail->Id();
    inspector->SetSending(IsSending(mail->Id()));
  }
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

MailHost::SendResult MailHost::Send(const std::string& window) {
  auto inspector = RequireWindow(window);
  auto mail = std::dynamic_pointer_cast<MailItem>(inspector->Item());
  if (!mail) throw platform::Error("The window " + window + " shows no mail.");
  if (IsSending(mail->Id())) {
    throw platform::Error("The mail in " + window +
                          " is being sent; it cannot be sent again meanwhile.");
  }
  if (mail->Sent()) throw platform::Error("The mail in " + window + " has been sent already.");
  if (auto delivered = m_deliveredNotFiled.find(mail->Id());
      delivered != m_deliveredNotFiled.end()) {
    return FileSent(mail, delivered->second, true);
  }
  RequirePresent(mail, window, "sent");
  // A mail the server took must be filed; better not to send what cannot be.
  if (const auto problem = m_store.WriteProblem(); !problem.empty()) {
    ShowSendBox(kCannotFile, problem);
    return SendResult::Failed;
  }
  if (!mail->FireSend()) return SendResult::Cancelled;
  StoredItem outgoing = mail->Outgoing(m_from);
  if (!m_deliver) return FileSent(mail, outgoing, false);

  Handover handover;
  try {
    handover = m_deliver(outgoing);
  } catch (const platform::Error& e) {
    ShowSendBox(kNotSent, e.what());
    return SendResult::Failed;
  }
  if (m_deliveryThread == DeliveryThread::Ui) {
    const std::atomic<bool> never{false};
    const std::string error = handover(never);
    if (!error.empty()) {
      ShowSendBox(kNotSent, error);
      return SendResult::Failed;
    }
    return FileSent(mail, outgoing, true);
  }
  StartHanding(mail, std::move(outgoing), std::move(handover));
  return SendResult::Sending;
}

void MailHost::StartHanding(const std::shared_ptr<MailItem>& mail, StoredItem sent,
                            Handover handover) {
  auto handing = std::make_shared<Handing>();
  handing->mail = mail;
  handing->sent = std::move(sent);
  m_handing[mail->Id()] = handing;
  MarkSending(mail, true);
  // The worker owns nothing: the host keeps the Handing until it has joined
  // the worker, and the result goes back only while the host keeps it.
  std::weak_ptr<Handing> weak = handing;
  auto& loop = platform::GetLoop();
  Handing* raw = handing.get();
  handing->worker = std::thread([this, raw, weak, &loop, handover = std::move(handover)] {
    try {
      raw->error = handover(raw->stop);
    } catch (const std::exception& e) {
      raw->error = e.what();
    }
    raw->finished = true;
    loop.Post([this, weak] {
      auto done = weak.lock();
      if (!done) return;
      try {
        Handed(done);
      } catch (const std::exception& e) {
        // A box nobody could answer: the loop must go on all the same.
        std::cerr << "mailhost: " << e.what() << std::endl;
      }
    });
  });
}

void MailHost::Handed(const std::shared_ptr<Handing>& handing) {
  handing->worker.join();
  m_handing.erase(handing->mail->Id());
  MarkSending(handing->mail, false);
  if (!handing->error.empty()) {
    ShowSendBox(kNotSent, handing->error);
    return;
  }
  FileSent(handing->mail, handing->sent, true);
}

MailHost::SendResult MailHost::FileSent(const std::shared_ptr<MailItem>& mail, StoredItem sent,
                                        bool delivered) {
  try {
    m_store.File(kSentFolder, sent);
  } catch (const platform::Error& e) {
    if (delivered) m_deliveredNotFiled[mail->Id()] = sent;
    ShowSendBox(delivered ? kSentNotFiled : kNotFiled, e.what());
    return SendResult::Failed;
  }
  m_deliveredNotFiled.erase(mail->Id());
  mail->Filed(sent, kSentFolder);
  for (const auto& window : std::vector<std::shared_ptr<Inspector>>(m_windows)) {
    if (window->Item() == mail) Close(window->Name());
  }
  return SendResult::Sent;
}

void MailHost::MarkSending(const std::shared_ptr<MailItem>& mail, bool sending) {
  for (const auto& window : m_windows) {
    if (window->Item() == mail) window->SetSending(sending);
  }
}

void MailHost::Attach(const std::string& window, const std::string& path) {
  WrittenMail(window)->GetAttachments()->Add(path, 0);
}

std::shared_ptr<MailItem> MailHost::WrittenMail(const std::string& window) {
  auto inspector = RequireWindow(window);
  auto mail = std::dynamic_pointer_cast<MailItem>(inspector->Item());
  if (!mail) throw platform::Error("The window " + window + " shows no mail.");
  if (mail->Sent()) throw platform::Error("The mail in " + window + " is sent already.");
  if (IsSending(mail->Id())) {
    throw platform::Error("The mail in " + window + " is being sent; it cannot be changed now.");
  }
  RequirePresent(mail, window, "changed");
  return mail;
}

void MailHost::RequirePresent(const std::shared_ptr<MailItem>& mail, const std::string& window,
                              const std::string& doing) {
  if (!mail->Removed() && (mail->IsAttached() || Exists(mail->Id()))) return;
  mail->SetRemoved(true);
  throw platform::Error("The mail in " + window +
                        " was removed from the mail store by another program; it cannot be " +
                        doing + ".");
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
  // Asked of the store each time: another program may have made, renamed or
  // removed a folder since.
  for (const auto& folder : m_store.Folders()) {
    if (folder.name != name) continue;
    auto& object = m_folders[name];
    if (!object) object = std::make_shared<Folder>(folder.name, folder.defaultItemType);
    return object;
  }
  throw platform::Error("There is no folder " + name + ".");
}

bool MailHost::Exists(const std::string& id) const {
  if (const auto slash = id.rfind('/'); slash != std::string::npos)
    return Exists(id.substr(0, slash));
  return !m_store.FolderOf(id).empty();
}

std::string MailHost::NewItemId() {
  for (;;) {
    auto id = m_store.NewId();
    if (!FindItem(id)) return id;
  }
}

}  // namespace mailhost
