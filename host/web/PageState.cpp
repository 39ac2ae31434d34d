#include "host/web/PageState.h"

#include <cstdint>
#include <string_view>

#include "host/commands/Printer.h"
#include "host/model/Attachments.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBarComboBox.h"
#include "host/model/CommandBarControls.h"
#include "host/model/CommandBars.h"
#include "host/model/Explorer.h"
#include "host/model/Inspector.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "platform/common/DesktopWindows.h"

namespace mailhost {
namespace {

using nlohmann::json;

const char* KindName(platform::ControlKind kind) {
  switch (kind) {
    case platform::ControlKind::Button:
      return "button";
    case platform::ControlKind::List:
      return "list";
    case platform::ControlKind::Link:
      return "link";
    case platform::ControlKind::Label:
      break;
  }
  return "label";
}

// An attached mail carries the id under which it opens.
json AttachmentsJson(const std::string& mailId,
                     const std::vector<Attachments::Listed>& attachments) {
  json list = json::array();
  for (std::size_t i = 0; i < attachments.size(); ++i) {
    const auto& a = attachments[i];
    json entry = {{"name", a.fileName}, {"size", a.size}};
    if (a.message) entry["opens"] = mailId + "/" + std::to_string(i + 1);
    list.push_back(entry);
  }
  return list;
}

json AttachmentNames(const std::vector<StoredAttachment>& attachments) {
  json list = json::array();
  for (const auto& a : attachments) list.push_back({{"name", a.fileName}});
  return list;
}

// The first kBodyShown bytes, cut where a character starts.
std::string ShownPart(const std::string& body) {
  if (body.size() <= kBodyShown) return body;
  std::size_t end = kBodyShown;
  while (end > 0 && (static_cast<unsigned char>(body[end]) & 0xC0) == 0x80) --end;
  return body.substr(0, end);
}

// FNV-1a over what is fed in; each piece ends with a byte of its own, so
// that "ab","c" and "a","bc" differ.
class Digest {
 public:
  Digest& operator<<(std::string_view text) {
    for (unsigned char c : text) Mix(c);
    Mix(0xFF);
    return *this;
  }
  Digest& operator<<(std::int64_t number) {
    for (int shift = 0; shift < 64; shift += 8) Mix(static_cast<unsigned char>(number >> shift));
    return *this;
  }
  Digest& operator<<(const void* object) {
    return *this << static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(object));
  }
  std::uint64_t Value() const { return m_value; }

 private:
  void Mix(unsigned char c) { m_value = (m_value ^ c) * 1099511628211ULL; }
  std::uint64_t m_value = 14695981039346656037ULL;
};

void AddBar(Digest& digest, const CommandBars& bars) {
  auto bar = bars.Newest();
  digest << bar.get();
  if (!bar) return;
  const auto origin = bars.OriginOf(bar.get());
  digest << bar->Visible() << bar->Enabled() << origin.left << origin.top;
  for (const auto& control : bar->ControlList()->All()) {
    digest << control.get() << control->Caption() << control->DescriptionText()
           << control->Visible() << control->Enabled();
    if (auto* button = dynamic_cast<CommandBarButton*>(control.get())) {
      digest << button->Face().get();
    } else if (auto* list = dynamic_cast<CommandBarComboBox*>(control.get())) {
      for (int i = 1; i <= list->ListCount(); ++i) digest << list->List(i);
      digest << list->ListIndex();
    }
  }
}

void AddForm(Digest& digest, const platform::DesktopForm& form) {
  digest << form.Name() << form.Caption() << form.X() << form.Y() << form.Width() << form.Height()
         << form.Topmost();
  for (const auto& c : form.Controls()) {
    digest << c.name << static_cast<int>(c.kind) << c.text << c.x << c.y << c.width << c.height
           << c.visible << c.enabled << c.listIndex;
    for (const auto& item : c.items) digest << item;
  }
  for (const auto& p : form.Painted()) digest << p.picture.get() << p.x << p.y;
}

json FormJson(const platform::DesktopForm& form, PictureIndex& pictures) {
  json controls = json::array();
  for (const auto& c : form.Controls()) {
    controls.push_back({{"name", c.name},
                        {"kind", KindName(c.kind)},
                        {"text", c.text},
                        {"x", c.x},
                        {"y", c.y},
                        {"width", c.width},
                        {"height", c.height},
                        {"visible", c.visible},
                        {"enabled", c.enabled},
                        {"items", c.items},
                        {"listIndex", c.listIndex}});
  }
  json painted = json::array();
  for (const auto& p : form.Painted()) {
    if (!p.picture) continue;
    painted.push_back({{"picture", pictures.Number(p.picture)},
                       {"face", FaceName(p.picture)},
                       {"x", p.x},
                       {"y", p.y},
                       {"width", p.picture->width},
                       {"height", p.picture->height}});
  }
  return {{"name", form.Name()},
          {"caption", form.Caption()},
          {"x", form.X()},
          {"y", form.Y()},
          {"width", form.Width()},
          {"height", form.Height()},
          {"topmost", form.Topmost()},
          {"controls", controls},
          {"painted", painted}};
}

}  // namespace

int PictureIndex::Number(const platform::PicturePtr& picture) {
  std::lock_guard lock(m_mutex);
  auto found = m_numbers.find(picture.get());
  if (found != m_numbers.end()) return found->second;
  const int number = static_cast<int>(m_pictures.size());
  m_pictures.push_back(picture);  // kept, so the address stays this picture's
  m_numbers[picture.get()] = number;
  return number;
}

platform::PicturePtr PictureIndex::Find(int number) const {
  std::lock_guard lock(m_mutex);
  if (number < 0 || number >= static_cast<int>(m_pictures.size())) return nullptr;
  return m_pictures[number];
}

json BarJson(const CommandBars& bars, PictureIndex& pictures) {
  auto bar = bars.Newest();
  if (!bar) return nullptr;
  json controls = json::array();
  int position = 0;
  for (const auto& control : bar->ControlList()->All()) {
    ++position;
    json c = {{"position", position},
              {"caption", control->Caption()},
              {"tip", control->DescriptionText()},
              {"visible", control->Visible()},
              {"enabled", control->Enabled() && bar->Enabled()}};
    if (auto* button = dynamic_cast<CommandBarButton*>(control.get())) {
      c["kind"] = "button";
      if (button->Face()) {
        c["picture"] = pictures.Number(button->Face());
        c["face"] = FaceName(button->Face());
      }
    } else if (auto* list = dynamic_cast<CommandBarComboBox*>(control.get())) {
      c["kind"] = "list";
      json entries = json::array();
      for (int i = 1; i <= list->ListCount(); ++i) entries.push_back(list->List(i));
      c["items"] = entries;
      c["listIndex"] = list->ListIndex();
    } else {
      c["kind"] = "control";
    }
    controls.push_back(c);
  }
  // Where the host's screen has the bar: the page lines the add-in's forms up with it.
  const auto origin = bars.OriginOf(bar.get());
  return {{"name", bar->Name()},
          {"visible", bar->Visible()},
          {"origin", {{"left", origin.left}, {"top", origin.top}}},
          {"controls", controls}};
}

std::uint64_t ShownDigest(MailHost& host, const platform::DesktopWindows& desktop) {
  Digest digest;
  auto explorer = host.MainExplorer();
  digest << explorer->CurrentFolder()->Name() << host.QuitRequested() << host.ActiveWindow();
  for (const auto& id : host.SelectedIds()) digest << id;
  AddBar(digest, *explorer->Bars());
  for (const auto& window : host.OpenWindows()) {
    digest << window->Name() << window->Item().get() << window->Sending();
    if (auto mail = std::dynamic_pointer_cast<MailItem>(window->Item())) digest << mail->Removed();
    AddBar(digest, *window->Bars());
  }
  for (const auto& form : desktop.Shown()) AddForm(digest, *form);
  return digest.Value();
}

json MailJson(MailItem& mail) {
  const std::string body = mail.Body();
  const std::string shown = ShownPart(body);
  return {{"id", mail.Id()},
          {"folder", mail.Folder()},
          {"subject", mail.Subject()},
          {"to", mail.To()},
          {"from", mail.From()},
          {"date", mail.Date()},
          {"body", shown},
          {"bodySize", body.size()},
          {"bodyCut", shown.size() < body.size()},
          {"sent", mail.Sent()},
          {"deleted", mail.Deleted()},
          {"removed", mail.Removed()},
          {"attachments", AttachmentsJson(mail.Id(), mail.AttachmentList()->Listing())}};
}

json PageStateJson(MailHost& host, const platform::DesktopWindows& desktop,
                   const PageExtras& extras, PictureIndex& pictures) {
  json folders = json::array();
  for (const auto& folder : host.Store().Folders()) folders.push_back(folder.name);
  auto explorer = host.MainExplorer();

  json reading = nullptr;
  const auto& selected = host.SelectedIds();
  if (selected.size() == 1) {
    try {
      reading = MailJson(*host.FindMail(selected.front()));
    } catch (const std::exception&) {
      // a contact or an appointment: nothing to read
    }
  }

  json windows = json::array();
  for (const auto& window : host.OpenWindows()) {
    json w = {{"name", window->Name()},
              {"active", window->Name() == host.ActiveWindow()},
              {"sending", window->Sending()},
              {"bar", BarJson(*window->Bars(), pictures)}};
    if (auto mail = std::dynamic_pointer_cast<MailItem>(window->Item())) {
      w["mail"] = MailJson(*mail);
    } else {
      w["item"] = window->Item() ? window->Item()->Class() : 0;
    }
    windows.push_back(w);
  }

  json forms = json::array();
  for (const auto& form : desktop.Shown()) forms.push_back(FormJson(*form, pictures));

  json boxes = json::array();
  for (const auto& box : extras.boxes) {
    boxes.push_back(
        {{"title", box.title ? *box.title : std::string("mailhost")},
         {"text", box.text},
         {"buttons", box.buttons == platform::Buttons::YesNo ? json{"Yes", "No"} : json{"OK"}},
         {"icon", IconName(box.icon)}});
  }

  return {{"folders", folders},
          {"folder", explorer->CurrentFolder()->Name()},
          {"selection", selected},
          {"reading", reading},
          {"explorerBar", BarJson(*explorer->Bars(), pictures)},
          {"windows", windows},
          {"forms", forms},
          {"boxes", boxes},
          {"log", extras.log},
          {"error", extras.lastError},
          {"sound", extras.soundNote},
          {"sending", extras.sending},
          {"uploadLimit", extras.uploadLimit},
          {"quit", host.QuitRequested()}};
}

json FolderJson(MailHost& host, const std::string& folder, std::size_t offset, std::size_t limit) {
  const auto summaries = host.Store().Summaries(folder);
  json items = json::array();
  for (std::size_t i = offset; i < summaries.size() && i - offset < limit; ++i) {
    const auto& item = summaries[i];
    items.push_back({{"id", item.id},
                     {"subject", item.subject},
                     {"from", item.from},
                     {"to", item.to},
                     {"date", item.date},
                     {"read", item.read},
                     {"deleted", item.deleted},
                     {"mail", item.itemClass == hostmodel::kOlMail},
                     {"attachments", AttachmentNames(item.attachments)}});
  }
  return {{"folder", folder}, {"total", summaries.size()}, {"offset", offset}, {"items", items}};
}

}  // namespace mailhost
