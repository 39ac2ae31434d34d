// Voice messages as other mail programs send them: unnamed, inline, inside a
// forwarded mail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/store/MimeMessage.h"
#include "tests/support/StoredMail.h"

namespace mailhost {
namespace {

std::vector<std::string> Names(const StoredItem& item) {
  std::vector<std::string> names;
  for (const auto& attachment : item.attachments) names.push_back(attachment.fileName);
  return names;
}

std::string Text(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A forwarded voice mail, as mail clients attach one.
std::string Forwarded(const std::string& disposition, const std::string& subject) {
  return "Content-Type: message/rfc822\n" + disposition +
         "\nFrom: anna@example.com\nSubject: " + subject +
         "\nContent-Type: multipart/mixed; boundary=inner\n\n"
         "--inner\nContent-Type: text/plain\n\nListen.\n"
         "--inner\nContent-Type: audio/mpeg\nContent-Transfer-Encoding: base64\n\nAAECAw==\n"
         "--inner--\n";
}

TEST(MimeMessageTest, EveryVoiceMessageIsOfferedUnderANameMailClientsWouldGiveIt) {
  const std::string message =
      "From: bob@example.com\nSubject: Many parts\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=outer\n\n"
      "--outer\nContent-Type: text/plain\n\nThe text.\n"
      "--outer\nContent-Type: audio/mpeg\nContent-Transfer-Encoding: base64\n\nAAEC\n"
      "--outer\nContent-Type: application/octet-stream\nContent-Disposition: attachment\n"
      "Content-Transfer-Encoding: base64\n\nBAUG\n"
      "--outer\nContent-Type: audio/mp3; name=x.mp3\nContent-Transfer-Encoding: base64\n\nBwgJ\n"
      "--outer\n" +
      Forwarded("", "Voice from Anna / 2") + "--outer\n" +
      Forwarded("Content-Disposition: attachment; filename=fwd.eml\n", "Named") + "--outer\n" +
      Forwarded("", "") + "--outer--\n";

  const auto item = ReadMimeMessage(message);
  EXPECT_EQ(item.body, "The text.");
  EXPECT_EQ(Names(item),
            (std::vector<std::string>{"ATT00001.mp3", "ATT00002.dat", "x.mp3",
                                      "Voice from Anna _ 2.eml", "fwd.eml", "ATT00003.eml"}));
  EXPECT_EQ(item.attachments[0].bytes, (std::vector<std::uint8_t>{0, 1, 2}));
  EXPECT_FALSE(item.attachments[2].message);
  for (std::size_t i = 3; i < 6; ++i) {
    ASSERT_TRUE(item.attachments[i].message) << item.attachments[i].fileName;
    // The attached mail is a whole mail, whose voice message is offered again.
    const auto inner = ReadMimeMessage(Text(item.attachments[i].bytes));
    EXPECT_EQ(inner.from, "anna@example.com");
    EXPECT_EQ(Names(inner), std::vector<std::string>{"ATT00001.mp3"});
    EXPECT_EQ(inner.attachments.at(0).bytes, (std::vector<std::uint8_t>{0, 1, 2, 3}));
  }
  const auto listed = ReadMimeMessage(message, false);
  EXPECT_EQ(Names(listed), Names(item));
  EXPECT_TRUE(listed.attachments[3].bytes.empty());
}

TEST(MimeMessageTest, AnAttachedMailIsWrittenAsAMailAndOtherBytesAsAFile) {
  const auto inner = WriteMimeMessage(testsupport::StoredMail("inner", "Voice from Anna"));
  StoredItem item = testsupport::StoredMail("outer", "Fwd: Voice from Anna");
  item.attachments = {{"Voice from Anna.eml", {inner.begin(), inner.end()}, true},
                      {"not a mail.eml", {0xff, 0x00, 0xfe}},
                      {"R.WAV", {1, 2, 3}}};
  const auto message = WriteMimeMessage(item);
  for (const char* part : {"Content-Type: message/rfc822", "Content-Type: audio/wav",
                           "Content-Type: application/octet-stream; name=\"not a mail.eml\"",
                           "Content-Transfer-Encoding: base64\n\nAQID"})
    EXPECT_NE(message.find(part), std::string::npos) << part << " missing from\n" << message;
  EXPECT_EQ(AttachmentContentType("a.b.Mp3"), "audio/mpeg");
  EXPECT_EQ(AttachmentContentType("mp3"), "application/octet-stream");
  EXPECT_NE(message.find("\nSubject: Voice from Anna\n"), std::string::npos)
      << "an attached mail goes as text, readable by any mail program\n"
      << message;

  const auto read = ReadMimeMessage(message);
  ASSERT_EQ(read.attachments.size(), 3u);
  EXPECT_EQ(read.attachments[0].fileName, "Voice from Anna.eml");
  EXPECT_TRUE(read.attachments[0].message);
  EXPECT_EQ(ReadMimeMessage(Text(read.attachments[0].bytes)).messageId, "inner@example.com");
  EXPECT_EQ(read.attachments[1].fileName, "not a mail.eml");
  EXPECT_EQ(read.attachments[1].bytes, (std::vector<std::uint8_t>{0xff, 0x00, 0xfe}))
      << "bytes that are no mail must come back as they were";
}

}  // namespace
}  // namespace mailhost
