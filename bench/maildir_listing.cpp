// Lists a large Maildir Inbox and prints how long that took and the peak
// resident memory of the process that holds the store open:
//   maildir_listing fill FOLDER COUNT   writes COUNT voice mails as another program would
//   maildir_listing list FOLDER         opens the store and lists the Inbox
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/store/MaildirStore.h"
#include "host/store/MimeMessage.h"
#include "hostmodel/HostModel.h"

namespace {

constexpr std::size_t kAttachmentBytes = 16 * 1024;

long StatusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  }
  return -1;
}

double MillisSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

void Fill(const std::string& root, int count) {
  mailhost::MaildirStore store(root);  // makes the tree
  mailhost::StoredItem mail;
  mail.itemClass = hostmodel::kOlMail;
  mail.from = "Anna Berg <anna@example.com>";
  mail.to = "Bob Lind <bob@example.com>";
  mail.body = "A spoken message is attached.\r\n";
  mail.attachments = {{"Sonvera.mp3", std::vector<std::uint8_t>(kAttachmentBytes, 0x55)}};
  for (int i = 0; i < count; ++i) {
    mail.subject = "Voice message " + std::to_string(i);
    std::ofstream(root + "/cur/bench" + std::to_string(i) + ":2,S", std::ios::binary)
        << mailhost::WriteMimeMessage(mail);
  }
}

void List(const std::string& root) {
  const long before = StatusKib("VmHWM:");
  mailhost::MaildirStore store(root);
  auto start = std::chrono::steady_clock::now();
  const auto first = store.Summaries("Inbox");
  const double firstMs = MillisSince(start);
  start = std::chrono::steady_clock::now();
  const auto cached = store.Summaries("Inbox");
  const double cachedMs = MillisSince(start);
  // One mail changed by someone else: the next listing reads that one again.
  std::ofstream(root + "/cur/bench0:2,S", std::ios::app) << "\n";
  store.DrainChanges();
  start = std::chrono::steady_clock::now();
  const auto changed = store.Summaries("Inbox");
  const double changedMs = MillisSince(start);
  std::printf(
      "maildir_listing: %zu mails, first listing %.0f ms, cached %.1f ms (%zu), after one "
      "change %.1f ms (%zu); VmHWM %ld KiB (%ld KiB before opening), VmRSS %ld KiB\n",
      first.size(), firstMs, cachedMs, cached.size(), changedMs, changed.size(),
      StatusKib("VmHWM:"), before, StatusKib("VmRSS:"));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "fill" && argc == 4) {
    Fill(argv[2], std::atoi(argv[3]));
  } else if (mode == "list" && argc == 3) {
    List(argv[2]);
  } else {
    std::fprintf(stderr, "usage: maildir_listing fill FOLDER COUNT | list FOLDER\n");
    return 2;
  }
  return 0;
}
