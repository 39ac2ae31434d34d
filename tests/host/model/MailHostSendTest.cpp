// Sending as the person sees it: the add-in's event, the hand-over to the mail
// server off the UI thread, filing in Sent, and what a failure at each of them
// leaves; and the host on a Maildir that other programs change.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "host/model/Attachment.h"
#include "host/model/Attachments.h"
#include "host/model/Explorer.h"
#include "host/model/Inspector.h"
#include "host/model/MailHost.h"
#include "host/model/MailItem.h"
#include "host/store/MaildirStore.h"
#include "host/store/MemoryMailStore.h"
#include "host/store/MimeMessage.h"
#include "platform/Error.h"
#include "tests/host/store/MaildirKit.h"
#include "tests/support/ErrorText.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/StoredMail.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using Result = MailHost::SendResult;
using namespace std::chrono_literals;
using testsupport::Contains;
using testsupport::ErrorOf;
using testsupport::ScratchFolder;

// A mail server whose hand-overs wait until the test opens it, then take the
// mail or refuse it as the test said.
class HeldServer {
 public:
  static constexpr const char* kRefused = "nobody@example.org";

  Delivery AsDelivery() {
    return [this](StoredItem& mail) -> Handover {
      mail.messageId = "left-" + mail.id + "@test";
      const bool refuse = mail.to == kRefused;
      return [this, refuse](const std::atomic<bool>& stop) {
        std::unique_lock lock(m_mutex);
        m_workers.push_back(std::this_thread::get_id());
        while (!m_open && !stop) m_changed.wait_for(lock, 10ms);
        if (!m_open) return std::string("stopped");
        return refuse ? m_refusal : std::string();
      };
    };
  }
  // From now on hand-overs end; those to kRefused with `refusal`.
  void Open(std::string refusal = "550 refused") {
    std::lock_guard lock(m_mutex);
    m_open = true;
    m_refusal = std::move(refusal);
    m_changed.notify_all();
  }
  // The threads of the hand-overs, one each.
  std::vector<std::thread::id> Workers() {
    std::lock_guard lock(m_mutex);
    return m_workers;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_open = false;
  std::string m_refusal;
  std::vector<std::thread::id> m_workers;
};

// The last box says each of `parts`.
void ExpectBoxSays(const testsupport::FakePlatform& fake,
                   std::initializer_list<const char*> parts) {
  for (const char* part : parts)
    EXPECT_TRUE(Contains(fake.LastBoxText(), part)) << fake.LastBoxText();
}

// A store whose filing fails while it is full, as a disk would.
class FullableStore : public MemoryMailStore {
 public:
  bool full = false;
  void File(const std::string& folder, const StoredItem& item) override {
    if (full) throw platform::Error("Could not write to the folder Sent: No space left on device.");
    MemoryMailStore::File(folder, item);
  }
};

class MailHostSendTest : public testing::Test {
 protected:
  MailHostSendTest() { host->SetDelivery("me@example.org", server.AsDelivery()); }

  // A new mail in window `name`, written to bob; the add-in's Send events
  // are counted.
  std::shared_ptr<MailItem> Write(const std::string& name) {
    host->NewMail(name);
    auto mail = host->WrittenMail(name);
    mail->SetTo("bob@example.org");
    mail->SetBody("Hello from " + name);
    m_subs.push_back(mail->Send.Subscribe([this](bool&) { ++sendEvents; }));
    return mail;
  }
  bool Finished(const std::shared_ptr<MailItem>& mail) {
    return fake.RunUntil([&] { return !host->IsSending(mail->Id()); });
  }

  testsupport::FakePlatform fake;
  FullableStore store;
  HeldServer server;
  std::unique_ptr<MailHost> host = std::make_unique<MailHost>(store);
  int sendEvents = 0;

 private:
  std::vector<hostmodel::Subscription> m_subs;
};

TEST_F(MailHostSendTest, TheHandOverRunsOffTheUiThreadWhileTheWindowSaysItIsSending) {
  auto mail = Write("w1");
  ASSERT_EQ(host->Send("w1"), Result::Sending);
  EXPECT_EQ(sendEvents, 1) << "the add-in's Send event runs first, on the UI thread";
  EXPECT_TRUE(host->Window("w1")->Sending());
  EXPECT_EQ(store.FolderOf(mail->Id()), "Drafts") << "nothing is filed before the server took it";
  EXPECT_FALSE(mail->Sent());

  EXPECT_TRUE(Contains(ErrorOf([&] { host->Send("w1"); }), "is being sent"));
  EXPECT_THROW(host->WrittenMail("w1"), platform::Error) << "a mail being sent cannot change";
  EXPECT_EQ(sendEvents, 1);
  // The rest goes on meanwhile.
  auto other = Write("w2");
  host->Activate("w2");
  EXPECT_FALSE(host->Window("w2")->Sending());

  server.Open();
  ASSERT_TRUE(Finished(mail));
  ASSERT_EQ(server.Workers().size(), 1u);
  EXPECT_NE(server.Workers()[0], std::this_thread::get_id());
  EXPECT_FALSE(host->Window("w1")) << "a sent mail's window closes";
  EXPECT_EQ(store.FolderOf(mail->Id()), "Sent");
  const auto sent = store.Load(mail->Id());
  EXPECT_TRUE(sent.sent && sent.read);
  EXPECT_EQ(sent.messageId, "left-" + mail->Id() + "@test") << "the Sent copy is what left";
  EXPECT_EQ(sent.from, "me@example.org");
  EXPECT_TRUE(mail->Sent());
  EXPECT_EQ(store.FolderOf(other->Id()), "Drafts");
  EXPECT_TRUE(fake.boxes.Shown().empty()) << fake.LastBoxText();
}

TEST_F(MailHostSendTest, AMailTheServerTookIsFiledByTheNextSendNeverSentTwice) {
  auto mail = Write("w1");
  server.Open();
  store.full = true;
  fake.boxes.Queue(platform::Answer::Ok);
  ASSERT_EQ(host->Send("w1"), Result::Sending);
  ASSERT_TRUE(Finished(mail));
  ExpectBoxSays(
      fake, {"The mail was sent, but it could not be filed in Sent", "No space left on device"});
  EXPECT_EQ(store.FolderOf(mail->Id()), "Drafts");
  EXPECT_FALSE(mail->Sent());

  store.full = false;
  EXPECT_EQ(host->Send("w1"), Result::Sent);
  EXPECT_EQ(server.Workers().size(), 1u) << "the mail went to the server once";
  EXPECT_EQ(sendEvents, 1);
  EXPECT_EQ(store.Load(mail->Id()).messageId, "left-" + mail->Id() + "@test");
  EXPECT_FALSE(host->Window("w1"));
}

TEST_F(MailHostSendTest, ClosingTheWindowWhileItsMailIsSentDoesNotStopTheSending) {
  auto taken = Write("w1");
  auto refused = Write("w2");
  refused->SetTo(HeldServer::kRefused);
  ASSERT_EQ(host->Send("w1"), Result::Sending);
  ASSERT_EQ(host->Send("w2"), Result::Sending);
  host->Close("w1");
  host->Close("w2");
  // Opened again meanwhile, the window says it is sending.
  host->Open(taken->Id(), "again");
  EXPECT_TRUE(host->Window("again")->Sending());
  host->Close("again");

  fake.boxes.Queue(platform::Answer::Ok);
  server.Open();
  ASSERT_TRUE(Finished(taken));
  ASSERT_TRUE(Finished(refused));
  EXPECT_EQ(store.FolderOf(taken->Id()), "Sent");
  EXPECT_EQ(store.FolderOf(refused->Id()), "Drafts");
  ExpectBoxSays(fake, {"it stays in Drafts"});

  // A refused mail is sent again as it is written now.
  host->Open(refused->Id(), "w3");
  host->WrittenMail("w3")->SetTo("bob@example.org");
  ASSERT_EQ(host->Send("w3"), Result::Sending);
  ASSERT_TRUE(Finished(refused));
  EXPECT_EQ(store.FolderOf(refused->Id()), "Sent");
}

TEST_F(MailHostSendTest, QuittingWhileSendingStopsItAndLosesNothing) {
  auto held = Write("w1");
  held->SetSubject("Held");
  ASSERT_EQ(host->Send("w1"), Result::Sending);
  // mailhost quits while the server has not answered, even after the grace
  const auto said = host->EndSending(std::chrono::milliseconds(50));
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0], "The mail \"Held\" was not sent; it stays in Drafts: stopped");
  host.reset();
  EXPECT_EQ(store.FolderOf(held->Id()), "Drafts");
  EXPECT_FALSE(store.Load(held->Id()).sent);

  // Taken by the server, the result not yet back on the UI loop: filed.
  host = std::make_unique<MailHost>(store);
  host->SetDelivery("me@example.org", server.AsDelivery());
  auto taken = Write("w2");
  server.Open();
  ASSERT_EQ(host->Send("w2"), Result::Sending);
  host.reset();
  EXPECT_EQ(store.FolderOf(taken->Id()), "Sent");
  fake.loop.RunPending();  // the result comes back to no host
  EXPECT_TRUE(fake.boxes.Shown().empty()) << fake.LastBoxText();
}

// On virtual time the hand-over runs on the UI thread and Send answers at
// once: InspTest's AWindowWhoseMailIsBeingSentFailsWithoutAWord.

// On a real Maildir, with no mail server: Send files the mail at once.
class MaildirSendTest : public testing::Test {
 protected:
  testsupport::FakePlatform fake;
  testsupport::ScratchFolder scratch;
  std::string Root() const { return scratch.File("Mail"); }
};

TEST_F(MaildirSendTest, AFullDiskIsNamedAndTheSendWorksOnceThereIsRoom) {
  testsupport::SmallDisk disk(scratch.Path(), 1024 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  MaildirStore store(Root());
  MailHost host(store);
  host.NewMail("w1");
  auto mail = host.WrittenMail("w1");
  mail->SetBody("Short");
  disk.Fill();

  const auto full = ErrorOf([&] { mail->SetBody(std::string(300000, 'y')); });
  EXPECT_TRUE(Contains(full, "folder Drafts") && Contains(full, "No space left on device")) << full;
  EXPECT_EQ(store.Load(mail->Id()).body.rfind("Short", 0), 0u) << "the saved draft is kept";

  fake.boxes.Queue(platform::Answer::Ok);
  EXPECT_EQ(host.Send("w1"), Result::Failed);
  ExpectBoxSays(fake, {"could not be filed in Sent; it stays in Drafts", "folder Sent",
                       "No space left on device"});
  EXPECT_FALSE(mail->Sent()) << "a mail that was not filed is not sent";
  EXPECT_EQ(store.FolderOf(mail->Id()), "Drafts");
  EXPECT_TRUE(fs::is_empty(Root() + "/.Drafts/tmp") && fs::is_empty(Root() + "/.Sent/tmp"))
      << "a failed write leaves no half file";
  ASSERT_TRUE(host.Window("w1"));

  disk.Free();
  EXPECT_EQ(host.Send("w1"), Result::Sent);
  EXPECT_EQ(store.FolderOf(mail->Id()), "Sent");
  EXPECT_EQ(store.Load(mail->Id()).body.rfind(std::string(300000, 'y'), 0), 0u)
      << "what the person wrote is what is filed";
  EXPECT_TRUE(fs::is_empty(Root() + "/.Drafts/cur"));
}

TEST_F(MaildirSendTest, AReadOnlyMaildirIsReadAndPlayedButNothingIsWrittenThere) {
  auto voice = testsupport::StoredMail("voice", "A voice mail");
  voice.attachments = {{"Sonvera.mp3", std::vector<std::uint8_t>(4000, 0xfb)}};
  auto draft = testsupport::StoredMail("draft", "Unsent");
  draft.sent = false;
  {
    MaildirStore made(Root());
    made.Add("Inbox", voice);
    made.Add("Drafts", draft);
  }
  fs::remove_all(Root() + "/.Contacts");
  testsupport::ReadOnlyFolder readOnly(scratch.Path());
  if (!readOnly.Mounted()) GTEST_SKIP() << readOnly.Why();
  MaildirStore store(Root());
  std::vector<std::string> notes;
  store.SetNoteSink([&](const std::string& note) { notes.push_back(note); });
  ASSERT_EQ(notes.size(), 1u) << "mailhost says at start that it cannot write there";
  EXPECT_TRUE(Contains(notes[0], "cannot write to the Maildir " + Root())) << notes[0];
  EXPECT_TRUE(Contains(notes[0], "Read-only file system")) << notes[0];
  EXPECT_EQ(store.Folders().size(), 4u) << "Inbox, Sent, Drafts and the Calendar that exists";
  MailHost host(store);

  host.Select({"voice"});
  auto mail = host.FindMail("voice");
  EXPECT_TRUE(store.Summaries("Inbox").at(0).read) << "the read mark holds for the run";
  EXPECT_TRUE(fs::exists(Root() + "/new/voice")) << "the file is as it was";
  const auto attachments = mail->AttachmentList()->ToStored();
  ASSERT_EQ(attachments.size(), 1u);
  EXPECT_EQ(attachments[0].bytes, voice.attachments[0].bytes);
  mail->AttachmentList()->GetItem(1)->SaveAsFile("/dev/null");  // what Play does with it

  EXPECT_TRUE(Contains(ErrorOf([&] { host.NewMail("w1"); }), "Read-only file system"));
  host.Open("draft", "w2");
  int sendEvents = 0;
  auto sub = host.FindMail("draft")->Send.Subscribe([&](bool&) { ++sendEvents; });
  fake.boxes.Queue(platform::Answer::Ok);
  EXPECT_EQ(host.Send("w2"), Result::Failed);
  ExpectBoxSays(fake, {"The mail was not sent", "Read-only file system"});
  EXPECT_EQ(sendEvents, 0) << "nothing is sent that could not be filed";
  EXPECT_EQ(store.FolderOf("draft"), "Drafts");
  EXPECT_EQ(notes.size(), 1u) << "said once";
}

// The host on a Maildir that other programs change meanwhile: drafts they
// rename, mail they remove or mark deleted, drafts they wrote.
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
