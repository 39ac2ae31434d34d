#include "host/commands/Printer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/model/Attachments.h"
#include "host/model/CommandBar.h"
#include "host/model/CommandBarButton.h"
#include "host/model/CommandBarComboBox.h"
#include "host/model/CommandBarControls.h"
#include "host/model/CommandBars.h"
#include "host/model/MailItem.h"

namespace mailhost {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

std::string ControlText(hostmodel::CommandBarControl& control, bool barEnabled) {
  std::string text;
  if (auto* button = dynamic_cast<CommandBarButton*>(&control)) {
    text = "[" + button->Caption() + ":" + FaceName(button->Face()) + "]";
  } else if (auto* list = dynamic_cast<CommandBarComboBox*>(&control)) {
    text = "list(";
    for (int i = 1; i <= list->ListCount(); ++i) {
      if (i > 1) text += ", ";
      text += list->List(i);
      if (i == list->ListIndex()) text += "*";
    }
    text += ")";
  } else {
    text = "[" + control.Caption() + "]";
  }
  if (!control.Enabled() || !barEnabled) text += "!";
  return text;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char buffer[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", bytes[i]);
    if (i > 0) text += ",";
    text += buffer;
  }
  return text;
}

}  // namespace

std::string Quote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '"':
        quoted += "\\\"";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + "\"";
}

std::string FaceName(const platform::PicturePtr& face) {
  if (!face) return "-";
  std::string name = face->sourceFile;
  const auto slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() ? "-" : name;
}

std::string FormatBar(const std::string& window, const CommandBars& bars) {
  const std::string head = "bar " + window + ":";
  auto bar = bars.Newest();
  if (!bar) return head + " none";
  if (!bar->Visible()) return head + " hidden";
  std::string line = head;
  for (const auto& control : bar->ControlList()->All()) {
    if (control->Visible()) line += " " + ControlText(*control, bar->Enabled());
  }
  return line;
}

std::string FormatMail(const std::string& label, MailItem& mail) {
  std::string line = "mail " + label + ": attachments(";
  const auto listed = mail.AttachmentList()->Listing();
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (i > 0) line += ", ";
    line += listed[i].fileName + " " + std::to_string(listed[i].size);
  }
  return line + ") body=" + Quote(mail.Body());
}

std::string AnswerName(platform::Answer answer) {
  switch (answer) {
    case platform::Answer::Ok:
      return "OK";
    case platform::Answer::Yes:
      return "Yes";
    case platform::Answer::No:
      return "No";
  }
  return "none";
}

std::optional<platform::Answer> AnswerNamed(const std::string& word) {
  for (const auto answer : {platform::Answer::Ok, platform::Answer::Yes, platform::Answer::No})
    if (AnswerName(answer) == word) return answer;
  return std::nullopt;
}

std::string IconName(platform::Icon icon) {
  switch (icon) {
    case platform::Icon::Question:
      return "Question";
    case platform::Icon::Critical:
      return "Critical";
    case platform::Icon::Exclamation:
      return "Exclamation";
    case platform::Icon::None:
      break;
  }
  return "";
}

std::vector<std::string> FormatBox(const platform::BoxRequest& request, const std::string& answer) {
  std::string head = "box ";
  head += request.title && !request.title->empty() ? Quote(*request.title) : "default";
  head += request.buttons == platform::Buttons::YesNo ? " YesNo" : " OK";
  if (request.icon != platform::Icon::None) head += "+" + IconName(request.icon);
  head += " -> " + answer;
  std::vector<std::string> lines{head};
  for (const auto& line : SplitLines(request.text))
    lines.push_back(line.empty() ? "|" : "| " + line);
  return lines;
}

std::string FormatRegistryValue(const std::string& key, const platform::RegValue& value) {
  std::string line = "registry " + key + " " + (value.name.empty() ? "@" : value.name) + "=";
  if (value.type == platform::kRegSz) {
    const auto* data = reinterpret_cast<const char*>(value.data.data());
    return line + "sz:" + std::string(data, strnlen(data, value.data.size()));
  }
  if (value.type == platform::kRegDword && value.data.size() == 4) {
    std::int32_t number;
    std::memcpy(&number, value.data.data(), 4);
    return line + "dword:" + std::to_string(number);
  }
  return line + "hex(" + std::to_string(value.type) + "):" + Hex(value.data);
}

std::vector<std::string> FormatClipboard(const platform::Clipboard& clipboard) {
  std::vector<std::string> lines;
  if (clipboard.HasFormat(platform::kCfText))
    lines.push_back("clipboard text " + Quote(clipboard.GetText()));
  if (clipboard.HasFormat(platform::kCfRtf)) {
    lines.push_back("clipboard rtf " + Quote(clipboard.GetRichPlainText()));
  }
  if (clipboard.HasFormat(platform::kCfBitmap) || clipboard.HasFormat(platform::kCfDib)) {
    lines.push_back("clipboard picture " + FaceName(clipboard.GetPicture()));
  }
  if (lines.empty()) lines.push_back("clipboard empty");
  return lines;
}

std::string FormatRun(const std::string& commandLine) {
  return "run " + Quote(commandLine);
}

std::string FormatOpen(const std::string& address) {
  return "open \"" + address + "\"";
}

std::string FormatForm(const platform::DesktopForm& form) {
  std::string line = "form " + form.Name() + " " + std::to_string(form.X()) + "," +
                     std::to_string(form.Y()) + " " + std::to_string(form.Width()) + "x" +
                     std::to_string(form.Height());
  for (const auto& control : form.Controls()) {
    if (!control.visible) continue;
    if (control.kind == platform::ControlKind::List) {
      const bool chosen =
          control.listIndex >= 0 && control.listIndex < static_cast<int>(control.items.size());
      line += " " + Quote(chosen ? control.items[control.listIndex] : "");
    } else if (!control.text.empty()) {
      line += " " + Quote(control.text);
    }
  }
  for (const auto& painted : form.Painted())
    line += " " + FaceName(painted.picture) + "@" + std::to_string(painted.x) + "," +
            std::to_string(painted.y);
  return line;
}

}  // namespace mailhost
