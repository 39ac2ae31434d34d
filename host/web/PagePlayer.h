#pragma once
// The routes of the page's player for voice attachments:
//   GET  /voice/sound?mail=M&n=K    the attachment's bytes as audio/mpeg, with
//                                   ranges, so that the browser seeks;
//   GET  /voice/wave?mail=M&n=K     its key, length, peaks and the position
//                                   the listener left it at;
//   GET  /voice/length?mail=ID&n=K  the length alone, for the message list;
//   POST /voice/position?key=KEY    the position now, in seconds.
// M is a mail's id or a window's name, as the page names mails; K counts the
// mail's attachments from 1. The bytes are served from the mail the host
// holds, never copied; hashing and decoding run on the server's thread, not
// the UI's.
#include <functional>
#include <nlohmann/json.hpp>
#include <utility>

namespace httplib {
class ContentReader;
struct Request;
struct Response;
}  // namespace httplib

namespace mailhost {

class MailHost;
class PageServer;
class VoicePositions;
class VoiceShelf;

class PagePlayer {
 public:
  // Runs work on the UI thread with a bounded wait (PageSession::OnUi).
  using OnUi = std::function<std::pair<int, nlohmann::json>(std::function<nlohmann::json()>)>;

  PagePlayer(MailHost& host, VoiceShelf& shelf, VoicePositions& positions, OnUi onUi);
  void Serve(PageServer& server);

 private:
  // The routes, one member each, in the order of the table above.
  void Sound(const httplib::Request& req, httplib::Response& res);
  void Wave(const httplib::Request& req, httplib::Response& res);
  void Length(const httplib::Request& req, httplib::Response& res);
  void Position(const httplib::Request& req, httplib::Response& res,
                const httplib::ContentReader& reader);

  MailHost& m_host;
  VoiceShelf& m_shelf;
  VoicePositions& m_positions;
  OnUi m_onUi;
};

}  // namespace mailhost
