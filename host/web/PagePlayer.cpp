#include "host/web/PagePlayer.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/model/Attachment.h"
#include "host/model/Attachments.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "host/web/PageServer.h"
#include "host/web/VoicePositions.h"
#include "host/web/VoiceShelf.h"
#include "platform/Error.h"

namespace mailhost {
namespace {

using nlohmann::json;
using Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

constexpr const char* kNotVoice = "That attachment is no voice message (an MP3).";
constexpr const char* kNoAttachment = "The mail has no attachment ";
constexpr const char* kBusy = "mailhost is busy: try again in a moment.";
constexpr const char* kBadKey = "A voice message is named by 64 hex digits.";
constexpr const char* kBadPosition = "A position is a number of seconds.";
constexpr std::size_t kPositionBytes = 64;

// The attachment number of a request: 1 to 9999, or 0.
int Number(const httplib::Request& req) {
  const std::string text = req.get_param_value("n");
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return std::stoi(text);
}

void Reply(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

void Refuse(httplib::Response& res, int status, const std::string& error) {
  Reply(res, status, {{"error", error}});
}

// The bytes of voice attachment `number`, taken on the UI thread: from the
// mail the host holds (a window's, the one read), or from the store for a
// listed mail the host need not hold.
struct Found {
  Bytes bytes;
  std::string name;
};

Found VoiceAttachment(MailHost& host, const std::string& mail, int number, bool stored) {
  if (stored && !host.Window(mail)) {
    auto item = std::make_shared<StoredItem>(host.Store().Load(mail));
    if (number < 1 || number > static_cast<int>(item->attachments.size()))
      throw platform::Error(kNoAttachment + std::to_string(number) + ".");
    const auto& attachment = item->attachments[number - 1];
    if (attachment.message || !IsVoiceName(attachment.fileName)) throw platform::Error(kNotVoice);
    return {Bytes(item, &attachment.bytes), attachment.fileName};
  }
  auto attachment = host.FindMail(mail)->AttachmentList()->At(number);
  if (!attachment) throw platform::Error(kNoAttachment + std::to_string(number) + ".");
  if (attachment->IsMessage() || !IsVoiceName(attachment->FileName()))
    throw platform::Error(kNotVoice);
  // The attachment keeps its bytes while the answer goes out, even if the
  // mail lets go of it meanwhile.
  return {Bytes(attachment, &attachment->Bytes()), attachment->FileName()};
}

// Takes the attachment on the UI thread, then comes back here: its bytes, or
// null with the reply set.
std::shared_ptr<Found> Find(MailHost& host, const PagePlayer::OnUi& onUi,
                            const httplib::Request& req, httplib::Response& res, bool stored) {
  const std::string mail = req.get_param_value("mail");
  const int number = Number(req);
  auto found = std::make_shared<Found>();
  const auto answer = onUi([&host, mail, number, stored, found] {
    *found = VoiceAttachment(host, mail, number, stored);
    return json{{"ok", true}};
  });
  if (answer.first == 202)
    Refuse(res, 503, kBusy);
  else if (answer.first != 200)
    Reply(res, answer.first, answer.second);
  return answer.first == 200 ? found : nullptr;
}

}  // namespace

PagePlayer::PagePlayer(MailHost& host, VoiceShelf& shelf, VoicePositions& positions, OnUi onUi)
    : m_host(host), m_shelf(shelf), m_positions(positions), m_onUi(std::move(onUi)) {}

void PagePlayer::Serve(PageServer& server) {
  auto& http = server.Http();
  http.Get("/voice/sound",
           [this](const httplib::Request& req, httplib::Response& res) { Sound(req, res); });
  http.Get("/voice/wave",
           [this](const httplib::Request& req, httplib::Response& res) { Wave(req, res); });
  http.Get("/voice/length",
           [this](const httplib::Request& req, httplib::Response& res) { Length(req, res); });
  http.Post("/voice/position",
            [this](const httplib::Request& req, httplib::Response& res,
                   const httplib::ContentReader& reader) { Position(req, res, reader); });
}

void PagePlayer::Sound(const httplib::Request& req, httplib::Response& res) {
  auto found = Find(m_host, m_onUi, req, res, false);
  if (!found) return;
  const Bytes bytes = found->bytes;
  PageServer::ServeSized(
      req, res, bytes->size(), "audio/mpeg",
      [bytes](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        const std::size_t n = std::min(length, bytes->size() - offset);
        return sink.write(reinterpret_cast<const char*>(bytes->data()) + offset, n);
      });
}

void PagePlayer::Wave(const httplib::Request& req, httplib::Response& res) {
  auto found = Find(m_host, m_onUi, req, res, false);
  if (!found) return;
  try {
    const std::string key = VoiceShelf::KeyOf(*found->bytes);
    json wave = m_shelf.Waveform(key, *found->bytes, found->name);
    wave["key"] = key;
    wave["position"] = m_positions.At(key);
    Reply(res, 200, wave);
  } catch (const std::exception& e) {
    Refuse(res, 422, e.what());
  }
}

void PagePlayer::Length(const httplib::Request& req, httplib::Response& res) {
  const std::string mail = req.get_param_value("mail");
  const int number = Number(req);
  if (auto known = m_shelf.LengthMs(mail, number)) {
    Reply(res, 200, {{"durationMs", *known}});
    return;
  }
  auto found = Find(m_host, m_onUi, req, res, true);
  if (!found) return;
  try {
    const auto wave =
        m_shelf.Waveform(VoiceShelf::KeyOf(*found->bytes), *found->bytes, found->name);
    const long long ms = wave["durationMs"].get<long long>();
    m_shelf.SetLengthMs(mail, number, ms);
    Reply(res, 200, {{"durationMs", ms}});
  } catch (const std::exception& e) {
    Refuse(res, 422, e.what());
  }
}

void PagePlayer::Position(const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader& reader) {
  const auto body = PageServer::ReadBody(req, res, reader, kPositionBytes, kBadPosition);
  if (!body) return;
  const std::string key = req.get_param_value("key");
  if (!VoiceShelf::IsKey(key)) return Refuse(res, 400, kBadKey);
  double seconds = 0;
  try {
    std::size_t used = 0;
    seconds = std::stod(*body, &used);
    if (used != body->size()) throw std::invalid_argument(*body);
  } catch (const std::exception&) {
    return Refuse(res, 400, kBadPosition);
  }
  try {
    m_positions.Set(key, seconds);
    Reply(res, 200, {{"ok", true}});
  } catch (const std::exception& e) {
    Refuse(res, 507, e.what());
  }
}

}  // namespace mailhost
