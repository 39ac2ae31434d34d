#include "host/web/PageSession.h"

#include <future>
#include <memory>

#include "host/commands/CommandDispatcher.h"
#include "host/commands/CommandTable.h"
#include "host/commands/Printer.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "host/web/PageServer.h"
#include "host/web/PageSoundPort.h"
#include "host/web/PageUpload.h"
#include "host/web/PngPicture.h"
#include "host/web/WebBoxes.h"
#include "platform/Error.h"
#include "platform/EventLoop.h"
#include "platform/common/DesktopWindows.h"

namespace mailhost {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

constexpr auto kUiWait = 2s;  // a command that takes longer answers "pending"
constexpr std::size_t kLogLines = 200;
constexpr std::size_t kRowsAtOnce = 500;
constexpr const char* kBoxWaits = "A message box waits for an answer.";
constexpr const char* kNotAnAnswer = "An answer is Yes, No or OK.";
constexpr const char* kCommandTooLong = "A command is at most ";

std::string Text(const json& value) {
  // A mail's text that is no valid UTF-8 still shows, with U+FFFD where it is not.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A count from a query; `otherwise` for none or one that is no number.
std::size_t Count(const std::string& text, std::size_t otherwise) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return otherwise;
  return std::stoul(text);
}

json PageCommandsJson() {
  json list = json::array();
  for (const auto& spec : Commands()) {
    if (RunsAt(spec, Place::Page))
      list.push_back({{"name", spec.name}, {"usage", spec.usage}, {"help", spec.help}});
  }
  return list;
}

void Reply(httplib::Response& res, const std::pair<int, json>& answer) {
  res.status = answer.first;
  res.set_content(Text(answer.second), "application/json");
}

}  // namespace

std::vector<std::string> LogBuffer::Take() {
  std::vector<std::string> lines;
  std::string text = str();
  std::size_t from = 0;
  for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', from)) {
    lines.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  str(text.substr(from));
  for (const auto& line : lines) m_echo << line << std::endl;
  return lines;
}

void Published::Set(std::string state) {
  std::lock_guard lock(m_mutex);
  if (state == m_state) return;
  m_state = std::move(state);
  ++m_version;
  m_changed.notify_all();
}

std::string Published::Get() {
  std::lock_guard lock(m_mutex);
  return m_state;
}

std::string Published::Next(std::uint64_t& seen, std::chrono::milliseconds wait) {
  std::unique_lock lock(m_mutex);
  m_changed.wait_for(lock, wait, [&] { return m_version != seen || m_stopping; });
  if (m_version == seen || m_stopping) return {};
  seen = m_version;
  return m_state;
}

void Published::Stop() {
  std::lock_guard lock(m_mutex);
  m_stopping = true;
  m_changed.notify_all();
}

bool Published::Stopping() {
  std::lock_guard lock(m_mutex);
  return m_stopping;
}

PageSession::PageSession(platform::EventLoop& loop, const platform::DesktopWindows& desktop,
                         MailHost& host, CommandDispatcher& dispatcher, WebBoxes& boxes,
                         LogBuffer& log, Uploads& uploads)
    : m_loop(loop),
      m_desktop(desktop),
      m_host(host),
      m_dispatcher(dispatcher),
      m_boxes(boxes),
      m_log(log),
      m_uploads(uploads) {
  m_extras.uploadLimit = uploads.Cap();
}

void PageSession::SetSound(std::string note) {
  m_extras.soundNote = std::move(note);
  ++m_revision;
}

void PageSession::SetSending(std::string note) {
  m_extras.sending = std::move(note);
  ++m_revision;
}

void PageSession::SetSoundPort(PageSoundPort* port) {
  m_soundPort = port;
  if (!port) return;
  port->OnChange([this] {
    ++m_revision;
    Publish();
  });
}

void PageSession::StoreChanged() {
  ++m_storeVersion;
  ++m_revision;
  Publish();
}

void PageSession::BoxesChanged() {
  ++m_revision;
  Publish();
}

void PageSession::Publish() {
  auto lines = m_log.Take();
  if (!lines.empty()) ++m_revision;
  for (auto& line : lines) {
    m_extras.log.push_back(std::move(line));
    if (m_extras.log.size() > kLogLines) m_extras.log.erase(m_extras.log.begin());
  }
  const auto digest = ShownDigest(m_host, m_desktop);
  if (digest == m_builtDigest && m_revision == m_builtRevision) return;
  m_builtDigest = digest;
  m_builtRevision = m_revision;
  m_extras.boxes = m_boxes.Waiting();
  try {
    auto state = PageStateJson(m_host, m_desktop, m_extras, m_pictures);
    state["storeVersion"] = m_storeVersion;
    state["boot"] = m_boot;
    if (m_soundPort) state["soundDevice"] = m_soundPort->StateJson();
    m_published.Set(Text(state));
  } catch (const std::exception& e) {
    m_published.Set(Text(json{{"error", e.what()}}));
  }
}

std::pair<int, json> PageSession::OnUi(std::function<json()> work) {
  auto done = std::make_shared<std::promise<std::pair<int, json>>>();
  auto result = done->get_future();
  m_loop.Post([this, work, done] {
    std::pair<int, json> answer;
    try {
      answer = {200, work()};
    } catch (const std::exception& e) {
      answer = {400, json{{"error", e.what()}}};
    }
    done->set_value(answer);
    Publish();
  });
  if (result.wait_for(kUiWait) != std::future_status::ready) return {202, {{"pending", true}}};
  return result.get();
}

json PageSession::Run(const Command& command) {
  // quit ends mailhost even under a box: the host's exit unwinds it.
  if (!m_boxes.Waiting().empty() && command.name != "quit") throw platform::Error(kBoxWaits);
  m_extras.lastError.clear();
  ++m_revision;
  // A command may change any folder, and the page lists them again.
  ++m_storeVersion;
  try {
    m_dispatcher.Run(command);
    m_loop.RunPending();
  } catch (const std::exception& e) {
    m_extras.lastError = e.what();
    throw;
  }
  return {{"ok", true}};
}

json PageSession::RunLine(const std::string& line) {
  auto command = ScriptParser::ParseLine(line, ++m_lines, Place::Page);
  if (!command) return {{"ok", true}};
  return Run(*command);
}

void PageSession::Serve(PageServer& server) {
  ServeViews(server);
  ServeActions(server);
  if (m_soundPort) m_soundPort->Serve(server);
}

// What the page reads: the state, its changes as they come, and the parts
// the state leaves out (a folder's rows, a whole text, a picture).
void PageSession::ServeViews(PageServer& server) {
  auto& http = server.Http();
  http.Get("/state", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(m_published.Get(), "application/json");
  });
  http.Get("/commands", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(PageCommandsJson().dump(), "application/json");
  });
  server.Events(
      "/events",
      [this](std::uint64_t& seen, std::chrono::milliseconds wait) {
        return m_published.Next(seen, wait);
      },
      [this] { return m_published.Stopping(); },
      [this](const std::string& page, bool open) {
        if (m_soundPort) m_soundPort->Follows(page, open);
      });
  http.Get("/folder", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.get_param_value("name");
    const std::size_t offset = Count(req.get_param_value("offset"), 0);
    const std::size_t limit =
        std::min(Count(req.get_param_value("limit"), kRowsAtOnce), kRowsAtOnce);
    Reply(res,
          OnUi([this, name, offset, limit] { return FolderJson(m_host, name, offset, limit); }));
  });
  // A mail's whole text, which the state cuts: asked for when the person wants it.
  http.Get("/body", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string mail = req.get_param_value("mail");
    Reply(res, OnUi([this, mail] { return json{{"body", m_host.FindMail(mail)->Body()}}; }));
  });
  http.Get(R"(/picture/(\d{1,6})\.png)",
           [this](const httplib::Request& req, httplib::Response& res) {
             auto picture = m_pictures.Find(std::stoi(req.matches[1]));
             auto png = picture ? BitmapToPng(*picture) : std::nullopt;
             if (!png) {
               res.status = 404;
               return;
             }
             res.headers.erase("Cache-Control");  // a face, not mail: it may be kept
             res.set_header("Cache-Control", "max-age=3600");
             res.set_content(*png, "image/png");
           });
}

// What the page does: a command line, an answer to a box, an upload.
void PageSession::ServeActions(PageServer& server) {
  auto& http = server.Http();
  const auto commandLimit = server.Limits().commandBytes;
  const std::string tooLong = kCommandTooLong + SizeText(commandLimit) + ".";
  http.Post("/command",
            [this, commandLimit, tooLong](const httplib::Request& req, httplib::Response& res,
                                          const httplib::ContentReader& reader) {
              const auto line = PageServer::ReadBody(req, res, reader, commandLimit, tooLong);
              if (line) Reply(res, OnUi([this, line = *line] { return RunLine(line); }));
            });
  http.Post("/answer",
            [this, commandLimit, tooLong](const httplib::Request& req, httplib::Response& res,
                                          const httplib::ContentReader& reader) {
              const auto word = PageServer::ReadBody(req, res, reader, commandLimit, tooLong);
              if (!word) return;
              const auto answer = AnswerNamed(*word);
              if (!answer) {
                Reply(res, {400, {{"error", kNotAnAnswer}}});
                return;
              }
              Reply(res, OnUi([this, answer] {
                      m_boxes.Answer(*answer);
                      ++m_revision;
                      return json{{"ok", true}};
                    }));
            });
  // A file from the person's own disk, attached to a mail window's mail.
  http.Post("/upload", [this](const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader& reader) {
    const std::string window = req.get_param_value("window");
    auto upload =
        m_uploads.Receive(req.get_param_value("name"), PageServer::ContentLength(req),
                          [&reader](const Uploads::Receiver& receive) { return reader(receive); });
    if (!upload.file) {
      Reply(res, {upload.status, {{"error", upload.error}}});
      return;
    }
    // The task keeps the file until it has run: a reply that timed out
    // must not remove it before the attachment is read.
    Reply(res, OnUi([this, window, file = upload.file] {
            return Run(Command{0, "attach", {window, file->Path()}, Place::Page});
          }));
  });
}

}  // namespace mailhost
