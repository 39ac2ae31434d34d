#include "host/send/SmtpSubmitter.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "host/store/MimeMessage.h"

namespace mailhost {
namespace {

constexpr const char* kNoRecipient = "The mail has no recipient.";
constexpr const char* kNoSender = "No sender address is set for sending mail.";

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// Strict enough that nothing can smuggle a second command into MAIL or RCPT.
bool IsAddress(const std::string& address) {
  const auto at = address.find('@');
  if (at == 0 || at == std::string::npos || at + 1 == address.size()) return false;
  return std::none_of(address.begin(), address.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' || u == 0x7f || c == '<' || c == '>' || c == '"';
  });
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string Seconds(long seconds) {
  return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

constexpr const char* kStopped = "Sending was stopped: mailhost is ending.";

// Tells curl to give up once the host asks it to stop.
int Progress(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* stop = static_cast<const std::atomic<bool>*>(userData);
  return stop && stop->load() ? 1 : 0;
}

// What the session said, kept from curl's protocol trace: the command in
// flight and the refusal that ended it. Credentials never reach it: only
// the verb of a command other than MAIL and RCPT is kept.
struct Transcript {
  std::string command;
  bool dataSent = false;
  std::string reply;
  bool replyComplete = true;
  std::string refusedCommand;
  bool refusedData = false;
  std::string refusal;
  long refusalCode = 0;

  void Sent(std::string_view line) {
    line = line.substr(0, line.find_first_of("\r\n"));
    const bool keepArgument = line.rfind("MAIL ", 0) == 0 || line.rfind("RCPT ", 0) == 0;
    command = std::string(keepArgument ? line : line.substr(0, line.find(' ')));
  }

  void Received(std::string_view line) {
    line = line.substr(0, line.find_first_of("\r\n"));
    // "250-first" continues a reply, "250 last" ends it.
    const bool continues = line.size() >= 4 && line[3] == '-';
    if (replyComplete) {
      reply = std::string(line.substr(0, 3));
      if (line.size() > 4) reply += " " + std::string(line.substr(4));
    } else if (line.size() > 4) {
      reply += " " + std::string(line.substr(4));
    }
    replyComplete = !continues;
    if (!replyComplete || command == "QUIT") return;
    // Only a refusal that no later reply followed ended the session: curl
    // goes on past some (EHLO falls back to HELO, a refused STARTTLS to the clear).
    if (reply.empty() || (reply[0] != '4' && reply[0] != '5')) {
      refusalCode = 0;
      return;
    }
    refusal = reply;
    refusalCode = std::atol(reply.c_str());
    refusedCommand = command;
    refusedData = dataSent;
  }
};

int Trace(CURL*, curl_infotype type, char* data, std::size_t size, void* userData) {
  auto* transcript = static_cast<Transcript*>(userData);
  const std::string_view text(data, size);
  if (type == CURLINFO_HEADER_OUT) transcript->Sent(text);
  if (type == CURLINFO_HEADER_IN) transcript->Received(text);
  if (type == CURLINFO_DATA_OUT) transcript->dataSent = true;
  return 0;
}

struct Reader {
  std::string_view message;
  std::size_t at = 0;
};

std::size_t Read(char* buffer, std::size_t size, std::size_t count, void* userData) {
  auto* reader = static_cast<Reader*>(userData);
  const std::size_t n = std::min(size * count, reader->message.size() - reader->at);
  std::copy_n(reader->message.data() + reader->at, n, buffer);
  reader->at += n;
  return n;
}

// What the server refused, named from the command it answered.
std::string RefusedWhat(const Transcript& t) {
  const std::string& command = t.refusedCommand;
  const auto argument = [&command] {
    const auto open = command.find('<');
    const auto close = command.find('>', open);
    return open == std::string::npos || close == std::string::npos
               ? std::string()
               : " " + command.substr(open + 1, close - open - 1);
  };
  if (t.refusedData) return "the message";
  if (command.rfind("RCPT", 0) == 0) return "the recipient" + argument();
  if (command.rfind("MAIL", 0) == 0) return "the sender" + argument();
  if (command == "DATA") return "the message";
  if (command == "AUTH") return "the login";
  if (command == "STARTTLS") return "to start TLS";
  if (command.empty()) return "the connection";
  return "the command " + command;
}

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// "host:port" of an smtp:// or smtps:// URL, never its credentials; "" for any
// other URL.
std::string ServerOf(const std::string& url) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return "";
  char* scheme = nullptr;
  char* host = nullptr;
  char* port = nullptr;
  std::string server;
  if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(parsed.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    std::string name = scheme;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "smtp" || name == "smtps") server = std::string(host) + ":" + port;
  }
  curl_free(scheme);
  curl_free(host);
  curl_free(port);
  return server;
}

SmtpResult Failed(std::string error, long code = 0) {
  return {false, std::move(error), code};
}

// Why the envelope cannot be sent, or "".
std::string EnvelopeProblem(const SmtpConfig& config, const std::string& server,
                            const std::vector<std::string>& recipients) {
  if (server.empty())
    return "The mail server address " + Quoted(WithoutPassword(config.url)) +
           " is not an smtp:// or smtps:// address.";
  if (config.from.empty()) return kNoSender;
  if (!IsAddress(config.from))
    return "The sender " + Quoted(config.from) + " is not a mail address.";
  if (recipients.empty()) return kNoRecipient;
  const auto bad = std::find_if(recipients.begin(), recipients.end(),
                                [](const std::string& to) { return !IsAddress(to); });
  if (bad != recipients.end()) return "The recipient " + Quoted(*bad) + " is not a mail address.";
  return "";
}

using Recipients = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// Null when curl could not make it.
Recipients RecipientList(const std::vector<std::string>& recipients) {
  Recipients list(nullptr, curl_slist_free_all);
  for (const std::string& to : recipients) {
    curl_slist* longer = curl_slist_append(list.get(), to.c_str());
    if (!longer) return Recipients(nullptr, curl_slist_free_all);
    list.release();
    list.reset(longer);
  }
  return list;
}

// What curl's callbacks of one transfer write to.
struct Session {
  Reader reader;
  Transcript transcript;
  char errorText[CURL_ERROR_SIZE] = {};
};

void SetUp(CURL* handle, const SmtpConfig& config, curl_slist* rcpt, Session& session,
           const std::atomic<bool>* stop) {
  curl_easy_setopt(handle, CURLOPT_URL, config.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  if (!config.caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, config.caFile.c_str());
  curl_easy_setopt(handle, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, config.connectTimeoutSeconds * 1000L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, config.timeoutSeconds * 1000L);
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, config.replySeconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, config.lowSpeedBytes);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, config.lowSpeedSeconds);
  curl_easy_setopt(handle, CURLOPT_MAIL_FROM, config.from.c_str());
  curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, rcpt);
  curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE,
                   static_cast<curl_off_t>(session.reader.message.size()));
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, &Read);
  curl_easy_setopt(handle, CURLOPT_READDATA, &session.reader);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, session.errorText);
  // The trace is curl's only account of the server's reply text; with a
  // debug function set, verbose output goes there and not to stderr.
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, &Trace);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &session.transcript);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &Progress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, stop);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
}

// How a transfer ended, its connection closed.
struct Outcome {
  CURLcode rc = CURLE_OK;
  curl_off_t connectedUs = 0;
  long code = 0;
  long long waitedMs = 0;
};

Outcome Perform(std::unique_ptr<CURL, EasyDeleter> easy) {
  CURL* handle = easy.get();
  Outcome outcome;
  const auto started = std::chrono::steady_clock::now();
  outcome.rc = curl_easy_perform(handle);
  curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &outcome.connectedUs);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &outcome.code);
  if (outcome.rc != CURLE_OK) {
    // Closing says QUIT and waits for the answer, as long as for any other:
    // a server that failed us already gets no second wait.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(handle, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
        socket != CURL_SOCKET_BAD)
      shutdown(socket, SHUT_RDWR);
  }
  easy.reset();
  outcome.waitedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - started)
                         .count();
  return outcome;
}

// The result for the person: the server's own refusal where it spoke.
SmtpResult Explain(const Outcome& outcome, const Session& session, const std::string& server) {
  const CURLcode rc = outcome.rc;
  const Transcript& transcript = session.transcript;
  if (rc == CURLE_OK) return {true, "", 0};
  if (rc == CURLE_ABORTED_BY_CALLBACK) return Failed(kStopped);
  if (transcript.refusalCode != 0) {
    return Failed("The mail server " + server + " refused " + RefusedWhat(transcript) + ": " +
                      transcript.refusal,
                  transcript.refusalCode);
  }
  const std::string reason = session.errorText[0] ? session.errorText : curl_easy_strerror(rc);
  if (rc == CURLE_PEER_FAILED_VERIFICATION) {
    return Failed("The certificate of the mail server " + server + " is not trusted: " + reason);
  }
  if (rc == CURLE_OPERATION_TIMEDOUT) {
    // Said as it was waited: which of the limits ended it matters less than
    // how long the person's mail was on its way.
    const std::string gaveUp =
        "; mailhost gave up after " +
        Seconds(std::max<long>(1, static_cast<long>((outcome.waitedMs + 500) / 1000))) + ".";
    if (outcome.connectedUs == 0)
      return Failed("Could not reach the mail server " + server + gaveUp);
    return Failed("The mail server " + server + " answered too slowly" + gaveUp);
  }
  return Failed("Could not send the mail through " + server + ": " + reason,
                outcome.code >= 400 ? outcome.code : 0);
}

}  // namespace

std::string WithoutPassword(const std::string& url) {
  const auto scheme = url.find("://");
  const auto at = url.rfind('@');
  if (scheme == std::string::npos || at == std::string::npos || at < scheme) return url;
  const auto colon = url.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return url;
  return url.substr(0, colon) + url.substr(at);
}

std::vector<std::string> ParseRecipients(std::string_view toText) {
  std::vector<std::string> addresses;
  std::string plain;
  std::string angle;
  bool sawAngle = false;
  bool inQuote = false;
  bool inAngle = false;
  int commentDepth = 0;
  const auto finish = [&] {
    std::string address = Trim(sawAngle ? angle : plain);
    if (!address.empty()) addresses.push_back(std::move(address));
    plain.clear();
    angle.clear();
    sawAngle = false;
  };
  for (std::size_t i = 0; i < toText.size(); ++i) {
    const char c = toText[i];
    if (inQuote) {
      if (c == '\\' && i + 1 < toText.size())
        ++i;
      else if (c == '"')
        inQuote = false;
    } else if (commentDepth > 0) {
      commentDepth += c == '(' ? 1 : c == ')' ? -1 : 0;
    } else if (inAngle) {
      if (c == '>')
        inAngle = false;
      else
        angle += c;
    } else if (c == '"') {
      inQuote = true;
    } else if (c == '(') {
      commentDepth = 1;
    } else if (c == '<') {
      // The last angle address of an entry is the one that counts.
      inAngle = sawAngle = true;
      angle.clear();
    } else if (c == ',' || c == ';') {
      finish();
    } else {
      plain += c;
    }
  }
  finish();
  return addresses;
}

SmtpSubmitter::SmtpSubmitter(SmtpConfig config) : m_config(std::move(config)) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SmtpResult SmtpSubmitter::Submit(const std::vector<std::string>& recipients,
                                 std::string_view message, const std::atomic<bool>* stop) const {
  const std::string server = ServerOf(m_config.url);
  if (const std::string problem = EnvelopeProblem(m_config, server, recipients); !problem.empty())
    return Failed(problem);
  const Recipients rcpt = RecipientList(recipients);
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy || !rcpt) return Failed("Sending mail could not be set up.");
  // A message written with bare LF would be one line too long for the server.
  const std::string wire = CrlfLineEnds(message);
  Session session{Reader{wire}, {}, {}};
  SetUp(easy.get(), m_config, rcpt.get(), session, stop);
  return Explain(Perform(std::move(easy)), session, server);
}

}  // namespace mailhost
