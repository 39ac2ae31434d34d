#pragma once
// The running mail client: the main window, the item windows, the live items
// and what a user does with them. The scenario runner and the console drive it
// through these operations; the add-in sees only the object model.
//
// Failing user actions (a window that does not exist, a folder that does not
// exist) throw platform::Error with a message for the person driving the host.
//
// Sending. The add-in's Send event runs first, on the UI thread. Without a
// delivery (no mail server) the mail is then filed in Sent at once. With one,
// the hand-over to the server runs on a worker thread and its result comes
// back to the UI loop through Post; meanwhile the window says it is sending,
// everything else goes on, and the mail can be neither changed nor sent
// again. Runs on virtual time hand over on the UI thread, deterministically. A mail is filed in
// Sent only once the server took it; until then it stays in Drafts. A failure at any step is a
// message box, and the same Send works again once its cause is gone; a mail the server took whose
// filing failed is only filed by the next Send, never sent twice. Closing the window while its mail
// is being sent does not stop the sending: the mail is filed when the server takes it, and a
// refusal is still a box. At mailhost's exit EndSending gives the mail being sent a grace period,
// then stops the sending: a mail the server took by then is filed in Sent,
// any other stays in Drafts. Destroying the host stops it at once.
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/model/Delivery.h"
#include "host/model/MailItem.h"
#include "host/store/MailStore.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

class Application;
class CommandBars;
class Explorer;
class Inspector;
class Inspectors;
class MailItem;

constexpr const char* kExplorerWindow = "explorer";
constexpr const char* kStartFolder = "Inbox";
constexpr const char* kDraftsFolder = "Drafts";
constexpr const char* kSentFolder = "Sent";

class MailHost {
 public:
  explicit MailHost(MailStore& store);
  ~MailHost();
  MailHost(const MailHost&) = delete;
  MailHost& operator=(const MailHost&) = delete;

  std::shared_ptr<Application> App() const { return m_application; }
  std::shared_ptr<Explorer> MainExplorer() const { return m_explorer; }
  std::shared_ptr<Inspectors> AllInspectors() const { return m_inspectors; }
  MailStore& Store() { return m_store; }

  // Puts a new item into the store; its id must be new.
  void AddItem(const std::string& folder, const StoredItem& item);
  // The live item with this id, or null. "ID/N" is the mail attached to mail
  // ID as its Nth attachment, which opens as any mail does.
  hostmodel::Ref<hostmodel::Item> FindItem(const std::string& id);
  // Other programs changed the store: a mail they removed, or moved out of
  // the folder shown, leaves the selection; its live item is forgotten, and
  // a window that holds it says so and refuses to change or send it. Marks
  // they set (read, deleted) reach the live items.
  void StoreChanged();

  void ShowFolder(const std::string& name);
  void Select(const std::vector<std::string>& ids);
  // As the user named them; empty after a folder change.
  const std::vector<std::string>& SelectedIds() const { return m_selectedIds; }

  // A new unsent mail in Drafts, in a window named `window` (not activated).
  std::shared_ptr<Inspector> NewMail(const std::string& window);
  // Opens an item (an id, or the name of a window a mail was created in).
  std::shared_ptr<Inspector> Open(const std::string& item, const std::string& window);
  void Activate(const std::string& window);
  void Deactivate(const std::string& window);
  void Close(const std::string& window);
  enum class SendResult {
    Cancelled,  // by the add-in
    Failed,     // a box said why; the mail stays where it was
    Sent,       // filed in Sent, its window closed
    Sending,    // on its way to the mail server
  };
  SendResult Send(const std::string& window);
  enum class DeliveryThread { Worker, Ui };
  // Where sent mail goes besides the Sent folder (a mail server); unset:
  // nowhere. `from` is the sender of a mail that names none.
  void SetDelivery(std::string from, Delivery deliver,
                   DeliveryThread thread = DeliveryThread::Worker) {
    m_from = std::move(from);
    m_deliver = std::move(deliver);
    m_deliveryThread = thread;
  }
  // Whether the mail with this id is on its way to the mail server.
  bool IsSending(const std::string& mailId) const { return m_handing.count(mailId) > 0; }
  bool SendingAny() const { return !m_handing.empty(); }
  // The host is ending: waits up to `grace` for the mail being sent, stops
  // the rest and files what the server took. No box, no event: returns what
  // the person should hear, a line a mail that was not sent.
  std::vector<std::string> EndSending(std::chrono::milliseconds grace);
  void Attach(const std::string& window, const std::string& path);
  // The mail a window is writing, which the person may change now.
  std::shared_ptr<MailItem> WrittenMail(const std::string& window);

  const std::vector<std::shared_ptr<Inspector>>& OpenWindows() const { return m_windows; }
  const std::string& ActiveWindow() const { return m_activeWindow; }
  // The open window with this name, or null.
  std::shared_ptr<Inspector> Window(const std::string& name) const;
  // The bars of an open window, or of the main window for "explorer".
  std::shared_ptr<CommandBars> BarsOf(const std::string& window) const;
  // The mail shown in a window, kept under a window's name, or with this id.
  std::shared_ptr<MailItem> FindMail(const std::string& windowOrId);

  // Application.Quit: the driver ends the host after the command in progress.
  void RequestQuit();
  bool QuitRequested() const { return m_quitRequested; }
  void SetQuitHook(std::function<void()> hook) { m_quitHook = std::move(hook); }

 private:
  struct Handing;  // a mail on its way to the mail server
  // Hands the mail over on a worker thread; Handed takes the result on the UI loop.
  void StartHanding(const std::shared_ptr<MailItem>& mail, StoredItem sent, Handover handover);
  void Handed(const std::shared_ptr<Handing>& handing);
  // Files the sent copy and closes the mail's window; a failure is a box.
  // `sent` is a copy: it may come from m_deliveredNotFiled, which this changes.
  SendResult FileSent(const std::shared_ptr<MailItem>& mail, StoredItem sent, bool delivered);
  void MarkSending(const std::shared_ptr<MailItem>& mail, bool sending);
  std::shared_ptr<Inspector> OpenWindow(const std::string& window,
                                        hostmodel::Ref<hostmodel::Item> item);
  std::shared_ptr<Inspector> RequireWindow(const std::string& name) const;
  // A mail kept under a window's name, else the item with that id.
  hostmodel::Ref<hostmodel::Item> ItemNamed(const std::string& name);
  std::string FolderOf(const std::string& id) const;
  // Whether the store still holds the item (an attached mail: its mail).
  bool Exists(const std::string& id) const;
  hostmodel::Ref<hostmodel::Item> AttachedMail(const std::string& id, const std::string& parent,
                                               const std::string& number);
  // Throws platform::Error, and marks the mail, when another program removed it.
  void RequirePresent(const std::shared_ptr<MailItem>& mail, const std::string& window,
                      const std::string& doing);
  hostmodel::Ref<hostmodel::Folder> FolderObject(const std::string& name);
  std::string NewItemId();

  MailStore& m_store;
  std::shared_ptr<Application> m_application;
  std::shared_ptr<Explorer> m_explorer;
  std::shared_ptr<Inspectors> m_inspectors;
  std::map<std::string, hostmodel::Ref<hostmodel::Item>> m_items;
  std::map<std::string, hostmodel::Ref<hostmodel::Folder>> m_folders;
  std::vector<std::shared_ptr<Inspector>> m_windows;  // open ones, in opening order
  std::map<std::string, std::string> m_windowItems;   // window name -> item id, kept after close
  std::string m_activeWindow;                         // "" none
  std::vector<std::string> m_selectedIds;
  int m_windowsOpened = 0;
  bool m_quitRequested = false;
  std::function<void()> m_quitHook;
  std::string m_from;
  Delivery m_deliver;
  DeliveryThread m_deliveryThread = DeliveryThread::Worker;
  std::map<std::string, std::shared_ptr<Handing>> m_handing;  // by mail id
  // Taken by the mail server, not yet filed in Sent: the copy that left.
  std::map<std::string, StoredItem> m_deliveredNotFiled;
};

}  // namespace mailhost
