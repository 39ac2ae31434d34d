// The host on a Maildir that other programs change meanwhile: drafts they
// rename, mail they remove or mark deleted, drafts they wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/model/Attachment.h"
#include "host/model/Attachments.h"
#include "host/model/Explorer.h"
#include "host/model/Inspector.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "host/store/MimeMessage.h"
#include "platform/Error.h"
#include "tests/host/store/MaildirKit.h"
#include "tests/support/ErrorText.h"
#include "tests/support/FakePlatform.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using testsupport::ErrorOf;
using testsupport::ScratchFolder;

class MailHostMaildirTest : public MaildirTest {
 protected:
  testsupport::FakePlatform fake;
  MaildirStore store{scratch.File("Mail")};
  MailHost host{store};
};

// A draft that mbsync and Dovecot rename stays one draft through edits and
// the send: MaildirSharedTest's on the store, tools/test_mbsync's for real.
// A postponed mail without D is a draft (MaildirSharedTest's), dated when it
// is sent (tools/test_dovecot's).
TEST_F(MailHostMaildirTest, AReceivedMailFlaggedDIsNoDraftToEdit) {
  std::ofstream(Root() + "cur/received:2,D") << "From: anna@example.com\nSubject: Hi\n\nHi\n";
  host.Open("received", "w1");
  EXPECT_TRUE(host.FindMail("received")->Sent());
  EXPECT_NE(ErrorOf([&] { host.WrittenMail("w1"); }), "") << "a received mail is not editable";
}

// A removed or deleted mail leaving the selection and the reading pane is
// tools/test_dovecot's and tests/web's; here, what a window and Play say.
TEST_F(MailHostMaildirTest, AMailAnotherProgramRemovesCannotBePlayedAndItsWindowSaysSo) {
  auto voice = testsupport::StoredMail("m1", "Voice");
  voice.attachments = {{"Sonvera.mp3", std::vector<std::uint8_t>(100, 0x55)}};
  host.AddItem("Inbox", voice);
  host.Select({"m1"});
  auto shown = host.FindMail("m1");
  host.NewMail("w1");
  host.WrittenMail("w1")->SetSubject("Draft");
  const auto draft = OnlyFile(Drafts());
  const auto draftContent = ScratchFolder::Read(Drafts() + draft);

  fs::remove(Root() + "cur/m1:2,S");
  fs::remove(Drafts() + draft);
  host.StoreChanged();
  const auto played =
      ErrorOf([&] { shown->AttachmentList()->At(1)->SaveAsFile(scratch.File("x")); });
  EXPECT_NE(played.find("removed"), std::string::npos) << "Play still plays a removed mail";

  auto mail = host.FindMail("w1");
  EXPECT_TRUE(mail->Removed());
  EXPECT_NE(ErrorOf([&] { host.Send("w1"); }).find("removed from the mail store by another"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { host.WrittenMail("w1"); }), "");
  EXPECT_TRUE(Files(Root() + ".Sent/cur").empty() && Files(Root() + ".Sent/new").empty());

  // Put back: the window's mail again.
  std::ofstream(Drafts() + draft) << draftContent;
  host.StoreChanged();
  EXPECT_FALSE(mail->Removed());
  host.WrittenMail("w1")->SetBody("Back");
}

// Opening and playing a forwarded voice mail is the voice_attached_mail
// scenario's; what is no attached mail does not open.
TEST_F(MailHostMaildirTest, OnlyAnAttachedMailOpensAsAMailOfItsOwn) {
  const auto inner = WriteMimeMessage(testsupport::StoredMail("inner", "Voice from Anna"));
  auto forward = testsupport::StoredMail("fwd", "Fwd: Voice from Anna");
  forward.attachments = {{"notes.txt", {'x'}}, {"Anna.eml", {inner.begin(), inner.end()}}};
  host.AddItem("Inbox", forward);
  host.Open("fwd/2", "w1");
  EXPECT_EQ(host.FindMail("w1")->Subject(), "Voice from Anna");
  for (const char* none : {"fwd/1", "fwd/3", "fwd/x"}) EXPECT_FALSE(host.FindItem(none)) << none;
  EXPECT_NE(ErrorOf([&] { host.Open("fwd/2", "w2"); }), "") << "one window a mail";
}

}  // namespace
}  // namespace mailhost
