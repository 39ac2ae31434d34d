// Sending from the host through a real SMTP server on loopback into a real
// Maildir: what the server receives and what Sent keeps are one message.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "host/send/SmtpDelivery.h"
#include "host/store/MaildirStore.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/LoopbackSmtpServer.h"
#include "tests/support/ScratchFolder.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using testsupport::LoopbackSmtpServer;
using Result = MailHost::SendResult;

class SmtpDeliveryTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = LoopbackSmtpServer::Unavailable(); !why.empty())
      GTEST_SKIP() << why;
  }
  // A mail written in window `name` to `to`.
  std::shared_ptr<MailItem> Write(MailHost& host, const std::string& name, const std::string& to) {
    host.NewMail(name);
    auto mail = host.WrittenMail(name);
    mail->SetTo(to);
    mail->SetSubject("Hello");
    mail->SetBody("A line.");
    return mail;
  }

  testsupport::FakePlatform fake;
  testsupport::ScratchFolder scratch;
};

TEST_F(SmtpDeliveryTest, TheServerGetsTheMailSentKeepsAndARefusalCanBeSentAgain) {
  testsupport::SmtpServerOptions options;
  options.refuseRecipients = {"gone@rcpt.test"};
  LoopbackSmtpServer server(options);
  MaildirStore store(scratch.File("Mail"));
  MailHost host(store);
  host.SetDelivery("Me <me@sender.test>", SmtpDelivery({server.Url(), "Me <me@sender.test>", {}}));

  auto mail = Write(host, "w1", "Gone <gone@rcpt.test>");
  fake.boxes.Queue(platform::Answer::Ok);
  ASSERT_EQ(host.Send("w1"), Result::Sending);
  ASSERT_TRUE(fake.RunUntil([&] { return !host.IsSending(mail->Id()); }));
  EXPECT_NE(fake.LastBoxText().find("it stays in Drafts.\r\n\r\nThe mail server 127.0.0.1:"),
            std::string::npos)
      << fake.LastBoxText();
  EXPECT_NE(fake.LastBoxText().find("refused the recipient gone@rcpt.test: 550"), std::string::npos)
      << fake.LastBoxText();
  EXPECT_EQ(store.FolderOf(mail->Id()), "Drafts");
  EXPECT_TRUE(server.Messages().empty());

  host.WrittenMail("w1")->SetTo("You <you@rcpt.test>");
  ASSERT_EQ(host.Send("w1"), Result::Sending);
  ASSERT_TRUE(fake.RunUntil([&] { return !host.IsSending(mail->Id()); }));
  ASSERT_EQ(server.Messages().size(), 1u) << fake.LastBoxText();
  EXPECT_EQ(server.Envelope(0), "from me@sender.test\nto you@rcpt.test\n");
  const auto sent = store.Load(mail->Id());
  EXPECT_EQ(store.FolderOf(mail->Id()), "Sent");
  ASSERT_FALSE(sent.messageId.empty());
  EXPECT_NE(server.Messages()[0].find("Message-Id: <" + sent.messageId + ">"), std::string::npos)
      << "the Sent copy is the message the server got:\n"
      << server.Messages()[0];
  // Filed read; under the name of the draft's last version, not the id.
  fs::directory_iterator sentFiles(scratch.File("Mail/.Sent/cur"));
  ASSERT_NE(sentFiles, fs::directory_iterator());
  const std::string filed = sentFiles->path().filename();
  EXPECT_EQ(filed.substr(filed.find(':')), ":2,S");
  EXPECT_TRUE(fs::is_empty(scratch.File("Mail/.Drafts/cur")));
}

}  // namespace
}  // namespace mailhost
