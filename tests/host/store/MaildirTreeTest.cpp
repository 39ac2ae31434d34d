// The folders of a Maildir shared with other programs: names as IMAP writes
// them, folders inside folders, directories that are not mail folders, and
// folders made, renamed and removed while the store is open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "host/model/MailHost.h"
#include "host/store/MaildirTree.h"
#include "host/store/ModifiedUtf7.h"
#include "platform/Error.h"
#include "tests/host/store/MaildirKit.h"
#include "tests/support/ErrorText.h"
#include "tests/support/FakePlatform.h"

namespace mailhost {
namespace {

namespace fs = std::filesystem;
using testsupport::Contains;
using testsupport::ErrorOf;
using testsupport::StoredMail;

// Names as Dovecot writes them are the maildir_folders scenario's and
// tools/test_folder_names'; these are the edge cases.
TEST(ModifiedUtf7, NamesReadAndWriteAsImapWritesThem) {
  const struct {
    const char* encoded;
    const char* text;
  } kNames[] = {
      {"Inbox", "Inbox"},
      {"~peter/mail/&U,BTFw-/&ZeVnLIqe-", "~peter/mail/台北/日本語"},  // RFC 3501's example
      {"&A6kgrNg03R4-", "Ω€𝄞"},  // a character beyond 16 bits: a surrogate pair
      {"&AMQ-&-", "Ä&"},
      {"&Jjo-!", "☺!"},
      {"", ""},
  };
  for (const auto& name : kNames) {
    EXPECT_EQ(DecodeModifiedUtf7(name.encoded), std::optional<std::string>(name.text))
        << name.encoded;
    EXPECT_EQ(EncodeModifiedUtf7(name.text), std::optional<std::string>(name.encoded)) << name.text;
  }
}

TEST(ModifiedUtf7, WhatIsNotModifiedUtf7IsRefusedNotGuessed) {
  for (const char* malformed : {
           "&AMQ",          // no end to the shift
           "Bad&",          // the same, at the end
           "&AM-",          // twelve bits: no whole character
           "&AMR-",         // padding bits that are not zero
           "&AEE-",         // 'A', which must stand for itself
           "&2DQ-",         // half a surrogate pair
           "&3R4-",         // the other half alone
           "&AMQ-&AMQ-",    // two shifts where one would do
           "&AM!-",         // not base64
           "&AMQ=-",        // base64's padding has no place here
           "&AAA-",         // NUL
           "\xc3\x84rger",  // 8-bit, as mutt writes a name in UTF-8
           "tab\there",     // a control character that was not encoded
       }) {
    EXPECT_EQ(DecodeModifiedUtf7(malformed), std::nullopt) << malformed;
  }
  EXPECT_EQ(EncodeModifiedUtf7("\xff broken"), std::nullopt);
  EXPECT_EQ(EncodeModifiedUtf7(std::string("nul\0", 4)), std::nullopt);
  EXPECT_EQ(EncodeModifiedUtf7("new\nline"), std::optional<std::string>("new&AAo-line"));
}

// What is on disk in a Maildir other programs share.
enum class Kind {
  Mail,     // cur/, new/, tmp/
  CurOnly,  // a mail folder all the same
  NewOnly,  // likewise, as a delivery agent leaves one
  TmpOnly,  // no mail folder
  Notmuch,  // notmuch's index: no mail folder
  Empty,    // no mail folder
  File,     // a file where a folder would be
};

void Make(const std::string& path, Kind kind) {
  // The folders of each kind, in the order of Kind.
  const Names folders[] = {
      {"/cur", "/new", "/tmp"}, {"/cur"}, {"/new"}, {"/tmp"}, {"/xapian"}, {""}, {}};
  for (const auto& folder : folders[static_cast<int>(kind)]) fs::create_directories(path + folder);
  if (kind == Kind::Mail) std::ofstream(path + "/maildirfolder");
  if (kind == Kind::Notmuch) {
    std::ofstream(path + "/xapian/postlist.glass") << "index";
    std::ofstream(path + "/xapian/flintlock");
  }
  if (kind == Kind::File) std::ofstream(path) << "not a folder";
}

// Every file and directory under path, with the size of each file.
std::map<std::string, std::uintmax_t> Snapshot(const std::string& path) {
  std::map<std::string, std::uintmax_t> found;
  if (fs::is_regular_file(path)) return {{"", fs::file_size(path)}};
  for (const auto& entry : fs::recursive_directory_iterator(path)) {
    found[fs::relative(entry.path(), path).string()] =
        entry.is_regular_file() ? entry.file_size() : 0;
  }
  return found;
}

class MaildirTreeTest : public MaildirTest {
 protected:
  // An existing Maildir, as another program made it: mailhost makes nothing
  // in it at open.
  MaildirTreeTest() {
    for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(Root() + sub);
  }
};

// How a corpus of names lists, in which order, is the maildir_folders
// scenario's; here, that writing into every folder and marking mail read
// leaves what is no mail folder as it was.
TEST_F(MaildirTreeTest, WritingIntoEveryFolderLeavesWhatIsNoFolderAlone) {
  const struct {
    std::string disk;
    Kind kind;
  } kCorpus[] = {
      {".Sent.2023", Kind::Mail},
      {".Archive.&ZeVnLIqe-", Kind::Mail},
      {".Projects.&U,BTFw-", Kind::Mail},  // its parent is no folder
      {".Tom &- Jerry", Kind::Mail},
      {".Latin\xe9", Kind::Mail},  // not UTF-8: as on disk
      {".OnlyCur", Kind::CurOnly},
      {".OnlyNew", Kind::NewOnly},
      {".OnlyTmp", Kind::TmpOnly},
      {".notmuch", Kind::Notmuch},
      {".Empty", Kind::Empty},
      {".NotAFolder", Kind::File},
      {".Contacts", Kind::Notmuch},  // a known name, but no mail folder
  };
  std::map<std::string, std::map<std::string, std::uintmax_t>> untouched;
  for (const auto& entry : kCorpus) {
    Make(Root() + entry.disk, entry.kind);
    if (entry.kind >= Kind::TmpOnly) untouched[entry.disk] = Snapshot(Root() + entry.disk);
  }
  MaildirStore store(Root());
  const auto listed = FolderNames(store);
  ASSERT_EQ(listed.size(), 10u) << testing::PrintToString(listed);
  int n = 0;
  for (const auto& name : listed) {
    const auto id = "m" + std::to_string(++n);
    auto mail = StoredMail(id, name);
    mail.sent = name != "Drafts";
    store.Add(name, mail);
    store.MarkRead(id);
    EXPECT_EQ(store.FolderOf(id), name);
    ASSERT_EQ(store.Summaries(name).size(), 1u) << name;
    EXPECT_EQ(store.Summaries(name)[0].subject, name);
  }
  for (const auto& [disk, before] : untouched)
    EXPECT_EQ(Snapshot(Root() + disk), before) << disk << " was written into";
  EXPECT_FALSE(fs::exists(Root() + ".notmuch/maildirfolder"));
  EXPECT_EQ(FolderNames(store), listed) << "writing made or renamed a folder";

  // A nested name is the way back to its folder on disk.
  for (const auto& name : {"Archive/日本語", "Tom & Jerry", "Projects/台北", "Sent/2023"}) {
    EXPECT_TRUE(fs::is_directory(Root() + MaildirTree::DiskNameOf(name) + "/cur")) << name;
    EXPECT_EQ(MaildirTree::NameOf(MaildirTree::DiskNameOf(name).substr(1)), name);
  }
  for (const auto& name : {"A.B", "", "A//B", "/A"})
    EXPECT_THROW(MaildirTree::DiskNameOf(name), platform::Error) << name;
}

TEST_F(MaildirTreeTest, AFolderOfMailhostsOwnInTheWayOfAnotherProgramsDirectoryIsNotWrittenInto) {
  Make(Root() + ".Drafts", Kind::Notmuch);
  const auto before = Snapshot(Root() + ".Drafts");
  MaildirStore store(Root());
  const auto refused = ErrorOf([&] { store.Add("Drafts", Draft("d1")); });
  EXPECT_TRUE(Contains(refused, "Could not make the folder Drafts") &&
              Contains(refused, "File exists"))
      << refused;
  EXPECT_EQ(Snapshot(Root() + ".Drafts"), before);

  // What mailhost itself left when it was stopped while making the folder
  // is made whole.
  fs::remove_all(Root() + ".Sent");
  fs::create_directories(Root() + ".Sent/tmp");
  std::ofstream(Root() + ".Sent/maildirfolder");
  store.Add("Sent", StoredMail("s1", "Sent"));
  EXPECT_EQ(store.Summaries("Sent").size(), 1u);
}

// The store with its change descriptor, as the host's loop runs it.
class MaildirFollowTest : public MaildirTreeTest {
 protected:
  void Deliver(const std::string& folder, const std::string& name, const std::string& subject) {
    std::ofstream(Root() + folder + "/tmp/" + name) << "Subject: " << subject << "\n\nHello.\n";
    fs::rename(Root() + folder + "/tmp/" + name, Root() + folder + "/new/" + name);
  }

  MaildirStore store{Root()};
};

// What Dovecot's CREATE, RENAME and DELETE do is tools/test_dovecot's, seen
// on the page; here are the orders of steps and the noise a page must not
// be drawn again for.
TEST_F(MaildirFollowTest, FoldersAnotherProgramMakesRenamesAndRemovesAreFollowed) {
  ASSERT_GE(store.ChangeFd(), 0) << "inotify is not available";
  // Made as Dovecot's CREATE makes it: the directory, then its cur/ new/ tmp/.
  fs::create_directory(Root() + ".&AMQ-rger");
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_EQ(FolderNames(store), (Names{"Inbox", "Sent", "Drafts"})) << "no mail folder yet";
  Make(Root() + ".&AMQ-rger", Kind::Mail);
  Deliver(".&AMQ-rger", "1700000000.M1P1.elsewhere", "First");
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_EQ(FolderNames(store), (Names{"Inbox", "Sent", "Drafts", "Ärger"}));
  ASSERT_EQ(store.Summaries("Ärger").size(), 1u);

  // Renamed into another folder, with a folder of the old name made at once:
  // the mail goes along, and each folder is followed on its own.
  fs::rename(Root() + ".&AMQ-rger", Root() + ".Archive.&AMQ-rger");
  Make(Root() + ".&AMQ-rger", Kind::Mail);
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_EQ(FolderNames(store), (Names{"Inbox", "Sent", "Drafts", "Archive/Ärger", "Ärger"}));
  EXPECT_EQ(store.FolderOf("1700000000.M1P1.elsewhere"), "Archive/Ärger");
  EXPECT_TRUE(store.Summaries("Ärger").empty()) << "the new folder lists the old one's mail";
  Deliver(".Archive.&AMQ-rger", "1700000001.M2P1.elsewhere", "Second");
  EXPECT_TRUE(ChangeArrives(store));
  Deliver(".&AMQ-rger", "1700000002.M3P1.elsewhere", "Third");
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_EQ(store.Summaries("Archive/Ärger").size(), 2u);
  ASSERT_EQ(store.Summaries("Ärger").size(), 1u);
  EXPECT_EQ(store.Summaries("Ärger")[0].subject, "Third");

  // Removed: gone from the list, its mail with it.
  fs::remove_all(Root() + ".Archive.&AMQ-rger");
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_EQ(FolderNames(store), (Names{"Inbox", "Sent", "Drafts", "Ärger"}));
  EXPECT_EQ(store.FolderOf("1700000000.M1P1.elsewhere"), "");
  EXPECT_THROW(store.Load("1700000000.M1P1.elsewhere"), platform::Error);

  // A listing that takes a change in before the event loop looks leaves it
  // for the loop all the same: the page is drawn again.
  Make(Root() + ".Meanwhile", Kind::Mail);
  ASSERT_TRUE(Readable(store));
  EXPECT_EQ(FolderNames(store), (Names{"Inbox", "Sent", "Drafts", "Meanwhile", "Ärger"}));
  EXPECT_TRUE(ChangeArrives(store)) << "the event loop never heard of the new folder";

  // What other programs keep beside the mail (mbsync's state, notmuch's
  // index) is no change of the tree: a page would be drawn again for nothing.
  fs::create_directories(Root() + ".notmuch");
  EXPECT_TRUE(ChangeArrives(store));
  std::ofstream(Root() + ".mbsyncstate") << "state";
  std::ofstream(Root() + ".Meanwhile/.mbsyncstate") << "state";
  fs::create_directories(Root() + ".notmuch/xapian");
  EXPECT_TRUE(Readable(store));
  EXPECT_FALSE(store.DrainChanges());
}

// The main window and its selection when the folder shown goes.
TEST_F(MaildirFollowTest, AFolderThatWentCannotBeShownAndItsMailCannotBeSelected) {
  testsupport::FakePlatform fake;
  MailHost host(store);
  Make(Root() + ".Archive", Kind::Mail);
  Deliver(".Archive", "1700000000.M1P1.elsewhere", "Kept");
  host.ShowFolder("Archive");
  fs::rename(Root() + ".Archive", Root() + ".Old");
  EXPECT_TRUE(ChangeArrives(store));
  EXPECT_EQ(ErrorOf([&] { host.Select({"1700000000.M1P1.elsewhere"}); }),
            "The folder Archive is no longer there: another program removed or renamed it.");
  host.Select({});  // nothing selected is always possible
  EXPECT_EQ(ErrorOf([&] { host.ShowFolder("Archive"); }), "There is no folder Archive.");
  host.ShowFolder("Old");
  host.Select({"1700000000.M1P1.elsewhere"});
  EXPECT_EQ(host.SelectedIds(), std::vector<std::string>{"1700000000.M1P1.elsewhere"});
}

}  // namespace
}  // namespace mailhost
