#pragma once
// What the host shows, as the one-line-per-thing text that scenarios compare.
// Every line starts with a word that says what it is.
#include <optional>
#include <string>
#include <vector>

#include "platform/Clipboard.h"
#include "platform/MessageBoxes.h"
#include "platform/Registry.h"
#include "platform/common/DesktopWindows.h"

namespace mailhost {

class CommandBars;
class MailItem;

// "TEXT" with \n, \r, \\ and \" escaped.
std::string Quote(const std::string& text);
// A face's file name without folder and extension; "-" for none.
std::string FaceName(const platform::PicturePtr& face);

// "bar WIN: ..." for the newest bar of a window: its visible controls from
// left to right, "hidden", or "none".
std::string FormatBar(const std::string& window, const CommandBars& bars);
// "mail WIN: attachments(NAME SIZE, ...) body="..."".
std::string FormatMail(const std::string& label, MailItem& mail);
// "box TITLE BUTTONS -> ANSWER" and one "| LINE" per line of the text.
std::vector<std::string> FormatBox(const platform::BoxRequest& request, const std::string& answer);
std::string AnswerName(platform::Answer answer);
// The answer AnswerName calls `word`, if any.
std::optional<platform::Answer> AnswerNamed(const std::string& word);
// "Question", "Critical", "Exclamation", or "" for no icon.
std::string IconName(platform::Icon icon);
// "registry KEY NAME=TYPE:VALUE".
std::string FormatRegistryValue(const std::string& key, const platform::RegValue& value);
// "clipboard empty", or one line per format held.
std::vector<std::string> FormatClipboard(const platform::Clipboard& clipboard);
// A line as the user's command line shows it: `run "..."`.
std::string FormatRun(const std::string& commandLine);
// `open "ADDRESS"`, the address as it is.
std::string FormatOpen(const std::string& address);

// `form NAME X,Y WxH`, the visible texts in double quotes (a list by its
// chosen entry), and what the drawing surface shows as `FACE@X,Y` words.
std::string FormatForm(const platform::DesktopForm& form);

}  // namespace mailhost
