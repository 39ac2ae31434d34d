#pragma once
// An SMTP server for tests on 127.0.0.1 (smtp_sink.py beside this file, on
// Debian's aiosmtpd), plain, with STARTTLS or TLS throughout, that keeps every
// message it takes and can be told to refuse recipients or every message. It
// runs from construction to destruction; the destructor always stops it.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

namespace testsupport {

struct SmtpServerOptions {
  std::vector<std::string> refuseRecipients;  // answered 550 at RCPT
  bool refuseData = false;                    // every message answered 550
  enum class Tls { None, StartTls, Smtps } tls = Tls::None;
  std::optional<TlsIdentity> identity;  // needed for StartTls and Smtps
  // A server slow at its greeting or its answer to the end of the message:
  // one byte every `interval`, or never (0); it keeps nothing then.
  enum class Slow { No, Greeting, Reply } slow = Slow::No;
  std::chrono::milliseconds interval{0};
};

class LoopbackSmtpServer {
 public:
  // Why the server cannot run here, or "" when it can.
  static std::string Unavailable();

  explicit LoopbackSmtpServer(SmtpServerOptions options = {});
  ~LoopbackSmtpServer();
  LoopbackSmtpServer(const LoopbackSmtpServer&) = delete;
  LoopbackSmtpServer& operator=(const LoopbackSmtpServer&) = delete;

  // "smtp://127.0.0.1:PORT", or "smtps://..." for a server in TLS throughout.
  std::string Url() const;
  int Port() const { return m_port; }

  // The messages taken so far, as received, in order.
  std::vector<std::string> Messages() const;
  // Envelope of message `index`: "from ADDR" then one "to ADDR" a line.
  std::string Envelope(std::size_t index) const;
  // Every address a client named in RCPT TO, refused or not, in order.
  std::vector<std::string> RecipientsAsked() const;

 private:
  ScratchFolder m_folder;
  bool m_smtps = false;
  pid_t m_pid = -1;
  int m_port = 0;
};

}  // namespace testsupport
