#pragma once
// The mail client's object model as the add-in drives it: the members the
// add-in calls and the events it handles, nothing more. The host implements
// these classes; the add-in sees only them. Every failing call throws
// platform::Error with a description a user can read.
//
// Collections count from 1. Objects are shared: the add-in holds references
// for as long as it needs them and releases them to let go.
#include <memory>
#include <string>

#include "hostmodel/Event.h"
#include "platform/Error.h"

namespace hostmodel {

class Application;
class Attachment;
class Attachments;
class CommandBar;
class CommandBarControl;
class CommandBarControls;
class CommandBars;
class Explorer;
class Folder;
class Inspector;
class Inspectors;
class Item;
class MailItem;
class Selection;

template <typename T>
using Ref = std::shared_ptr<T>;

// Item classes as the host numbers them.
constexpr int kOlMail = 43;
constexpr int kOlContact = 40;
constexpr int kOlAppointment = 26;

// Folder default item types.
constexpr int kOlMailItem = 0;
constexpr int kOlAppointmentItem = 1;
constexpr int kOlContactItem = 2;

// Control types.
constexpr int kMsoControlButton = 1;
constexpr int kMsoControlDropdown = 3;

// Button styles.
constexpr int kMsoButtonIcon = 1;
constexpr int kMsoButtonIconAndCaption = 3;

// Bar protection: no customisation.
constexpr int kMsoBarNoCustomize = 1;
// Bar position: top.
constexpr int kMsoBarTop = 1;

class Application {
 public:
  virtual ~Application() = default;
  virtual Ref<Inspectors> GetInspectors() = 0;
  virtual Ref<Explorer> ActiveExplorer() = 0;
  virtual Ref<Application> GetApplication() = 0;
  // Closes the host; the host then delivers its shutdown event.
  virtual void Quit() = 0;
};

class Explorer {
 public:
  virtual ~Explorer() = default;
  virtual Ref<CommandBars> GetCommandBars() = 0;
  virtual Ref<Folder> CurrentFolder() = 0;
  virtual Ref<Selection> GetSelection() = 0;
  Event<> SelectionChange;
};

class Folder {
 public:
  virtual ~Folder() = default;
  virtual std::string Name() = 0;
  virtual int DefaultItemType() = 0;
};

class Item {
 public:
  virtual ~Item() = default;
  virtual int Class() = 0;
};

class Selection {
 public:
  virtual ~Selection() = default;
  virtual int Count() = 0;
  virtual Ref<Item> GetItem(int index) = 0;
};

class Inspectors {
 public:
  virtual ~Inspectors() = default;
  Event<Ref<Inspector>> NewInspector;
};

class Inspector {
 public:
  virtual ~Inspector() = default;
  virtual Ref<CommandBars> GetCommandBars() = 0;
  virtual Ref<Item> CurrentItem() = 0;
  virtual int Left() = 0;
  virtual int Top() = 0;
  Event<> Activate;
  Event<> Deactivate;
  Event<> Close;
};

class MailItem : public Item {
 public:
  virtual Ref<Attachments> GetAttachments() = 0;
  virtual std::string Body() = 0;
  virtual void SetBody(const std::string& body) = 0;
  virtual bool Sent() = 0;
  Event<bool&> Send;  // set the argument to cancel the send
  Event<Ref<Attachment>> AttachmentAdd;
};

class Attachments {
 public:
  virtual ~Attachments() = default;
  virtual int Count() = 0;
  virtual Ref<Attachment> GetItem(int index) = 0;
  // Adds a copy of the file at `position` (1-based; 0 or past the end appends).
  virtual Ref<Attachment> Add(const std::string& path, int position) = 0;
  virtual void Remove(int index) = 0;
};

class Attachment {
 public:
  virtual ~Attachment() = default;
  virtual std::string FileName() = 0;
  virtual int Index() = 0;
  // Writes the attachment to `path`, replacing an existing file.
  virtual void SaveAsFile(const std::string& path) = 0;
};

class CommandBars {
 public:
  virtual ~CommandBars() = default;
  virtual int Count() = 0;
  virtual Ref<CommandBar> GetItem(int index) = 0;  // enumeration, 1-based
  virtual Ref<CommandBar> Add(const std::string& name, int position, bool menuBar,
                              bool temporary) = 0;
  // Throws when no bar has that name.
  virtual Ref<CommandBar> Find(const std::string& name) = 0;
};

class CommandBar {
 public:
  virtual ~CommandBar() = default;
  virtual std::string Name() = 0;
  virtual Ref<CommandBarControls> Controls() = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Enabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual int Protection() = 0;
  virtual void SetProtection(int protection) = 0;
};

class CommandBarControls {
 public:
  virtual ~CommandBarControls() = default;
  virtual int Count() = 0;
  virtual Ref<CommandBarControl> GetItem(int index) = 0;
  // `before` 0 appends.
  virtual Ref<CommandBarControl> Add(int type, int id, const std::string& parameter, int before,
                                     bool temporary) = 0;
};

class CommandBarControl {
 public:
  virtual ~CommandBarControl() = default;
  virtual int Type() = 0;
  virtual std::string Caption() = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string DescriptionText() = 0;
  virtual void SetDescriptionText(const std::string& text) = 0;
  virtual bool Enabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual int Width() = 0;
  virtual void SetWidth(int width) = 0;
  virtual std::string OnAction() = 0;
  virtual void SetOnAction(const std::string& action) = 0;
  virtual int OLEUsage() = 0;
  virtual void SetOLEUsage(int usage) = 0;
  // Screen pixels.
  virtual int Left() = 0;
  virtual int Top() = 0;
};

class CommandBarButton : public CommandBarControl {
 public:
  virtual int Style() = 0;
  virtual void SetStyle(int style) = 0;
  // Takes the picture on the system clipboard; throws when there is none.
  virtual void PasteFace() = 0;
  Event<Ref<CommandBarButton>, bool&> Click;
};

class CommandBarComboBox : public CommandBarControl {
 public:
  virtual void AddItem(const std::string& text) = 0;
  virtual void Clear() = 0;
  virtual std::string List(int index) = 0;  // 1-based
  virtual int ListCount() = 0;
  virtual int ListIndex() = 0;  // 0: none chosen
  virtual void SetListIndex(int index) = 0;
  virtual int Style() = 0;
  virtual void SetStyle(int style) = 0;
};

}  // namespace hostmodel
