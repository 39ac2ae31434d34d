// The file behind the Linux registry: its format, what it does with damaged
// files and paths that are not files, and what killed and concurrent writers
// leave behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/common/RegistryTree.h"
#include "platform/linux/RegFile.h"
#include "platform/linux/RegistryLinux.h"
#include "tests/support/ErrorText.h"
#include "tests/support/RegistryCalls.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchFolder.h"

namespace platform {
namespace {

using namespace std::string_view_literals;
using testsupport::B;
using testsupport::Contains;
using testsupport::GetValue;
using testsupport::PutValue;
using testsupport::ScratchFolder;

constexpr const char* kSettings = "Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp";

// A text value under the settings key, and back; "" when there is none.
std::int32_t Put(Registry& registry, const std::string& name, const std::string& text) {
  return PutValue(registry, kSettings, name, kRegSz, B(text + '\0'));
}
std::string Get(Registry& registry, const std::string& name) {
  const auto value = GetValue(registry, kSettings, name);
  return value ? std::string(value->data.begin(), value->data.end() - 1) : "";
}

std::size_t Count(const std::string& folder, std::string_view part) {
  std::size_t count = 0;
  for (const auto& name : ScratchFolder::Names(folder)) count += name.find(part) != name.npos;
  return count;
}

class RegistryFileTest : public testing::Test {
 protected:
  std::string Path() const { return m_folder.File("registry.reg"); }
  std::string Read() const { return ScratchFolder::Read(Path()); }
  void Write(const std::string& bytes) const { m_folder.Write("registry.reg", bytes); }
  // The notes a store has for the console, as one text.
  static std::string Notes(RegistryLinux& registry) {
    std::string notes;
    registry.SetNoteSink([&notes](const std::string& note) { notes += note + "\n"; });
    registry.SetNoteSink(nullptr);
    return notes;
  }

  ScratchFolder m_folder;
};

// Reading each type back from the file is the contract suite's, on this backend.
TEST_F(RegistryFileTest, EveryTypeIsWrittenAsAnExport) {
  {
    RegistryLinux registry(Path());
    const std::vector<RegValue> values = {{"AQ", kRegSz, B("1\0"sv)},
                                          {"", kRegSz, B("default\0"sv)},
                                          {"Count", kRegDword, B("\x2a\0\0\0"sv)},
                                          {"Big", kRegQword, B("\1\0\0\0\0\0\0\x80"sv)},
                                          {"Blob", kRegBinary, testsupport::Bytes(40, 0xAB)},
                                          {"Empty", kRegBinary, {}},
                                          {"Nul", kRegSz, B("a\0b\0"sv)},
                                          {"Bare", kRegSz, B("ab"sv)},
                                          {"Multi", kRegMultiSz, B("x\0y\0\0"sv)},
                                          {"Path \"q\"", kRegSz, B("C:\\dir\0"sv)}};
    for (const RegValue& value : values)
      ASSERT_EQ(PutValue(registry, kSettings, value.name, value.type, value.data), kErrorSuccess);
    HKey key = 0;
    ASSERT_EQ(registry.CreateKey(kHkeyCurrentUser, "Software\\Empty Key", &key), kErrorSuccess);
    registry.CloseKey(key);
  }
  EXPECT_EQ(Read(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Empty Key]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp]\n"
            "@=\"default\"\n\"AQ\"=\"1\"\n\"Bare\"=hex(1):61,62\n"
            "\"Big\"=hex(b):01,00,00,00,00,00,00,80\n"
            "\"Blob\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
            "  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab\n"
            "\"Count\"=dword:0000002a\n\"Empty\"=hex:\n\"Multi\"=hex(7):78,00,79,00,00\n"
            "\"Nul\"=hex(1):61,00,62,00\n\"Path \\\"q\\\"\"=\"C:\\\\dir\"\n\n");
}

// What regedit exports (UTF-16 with BOM) and what a person writes by hand.
TEST_F(RegistryFileTest, ReadsExportsAndHandWrittenFiles) {
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : std::u16string_view(
           u"Windows Registry Editor Version "
           u"5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Caf\u00e9]\r\n"
           u"@=\"Standard\"\r\n\"Pfad\"=\"C:\\\\Programme\\\\\\\"x\\\"\"\r\n\"Zahl\"=dword:"
           u"0000002A\r\n"
           u"\"Preis\"=\"5 "
           u"\u20ac\"\r\n\"Erweitert\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
           u"\"Liste\"=hex(7):61,00,00,00,e9,00,\\\r\n  "
           u"00,00,00,00\r\n\"Roh\"=hex:01,02\r\n\r\n")) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  Write(utf16);
  {
    RegistryLinux registry(Path());
    const auto get = [&](const std::string& name) {
      return GetValue(registry, "Software\\CAF\xC3\xA9", name).value_or(RegValue{"", 0, {}});
    };
    EXPECT_EQ(get("").data, B("Standard\0"sv));
    EXPECT_EQ(get("Pfad").data, B("C:\\Programme\\\"x\"\0"sv));
    EXPECT_EQ(get("Zahl").type, kRegDword);
    EXPECT_EQ(get("Zahl").data, B("\x2a\0\0\0"sv));
    EXPECT_EQ(get("Preis").data, B("5 \xE2\x82\xAC\0"sv));
    EXPECT_EQ(get("Erweitert").type, kRegExpandSz);
    EXPECT_EQ(get("Erweitert").data, B("%TEMP%\0"sv));
    EXPECT_EQ(get("Liste").data, B("a\0\xC3\xA9\0\0"sv));
    EXPECT_EQ(get("Roh").data, B("\x01\x02"sv)) << "binary data is never converted";
  }
  const std::string text =
      "\nWindows Registry Editor Version 5.00\n; written by hand\n"
      "[hkey_current_user\\Software\\Hand]\n  \"AQ\" = \"2\"   \n\"Gone\"=\"x\"\n\"Gone\"=-\n"
      "\"Euro\"=\"\xE2\x82\xAC\"\n\"Lone backslash\"=\"a\\b\"\n\n"
      "[HKEY_CURRENT_USER\\Software\\Dropped]\n\"x\"=\"y\"\n[-HKEY_CURRENT_USER\\Software\\Dropped]"
      "\n"
      "\"ignored\"=\"z\"\n";
  for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text}) {
    Write(bytes);
    RegistryLinux registry(Path());
    const auto get = [&](const std::string& name) {
      return GetValue(registry, "Software\\Hand", name).value_or(RegValue{}).data;
    };
    EXPECT_EQ(get("AQ"), B("2\0"sv));
    EXPECT_FALSE(GetValue(registry, "Software\\Hand", "Gone"));
    EXPECT_EQ(get("Euro"), B("\xE2\x82\xAC\0"sv));
    EXPECT_EQ(get("Lone backslash"), B("a\\b\0"sv));
    HKey key = 0;
    EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Software\\Dropped", &key), kErrorFileNotFound);
    EXPECT_EQ(Count(m_folder.Path(), ".bad-"), 0u);
    EXPECT_EQ(Notes(registry), "");
  }
}

TEST_F(RegistryFileTest, ParserSkipsABadLineNamesItAndKeepsTheRest) {
  const std::string before =
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"before\"=\"1\"\n";
  const std::string after = "\n[HKEY_CURRENT_USER\\B]\n\"after\"=\"2\"\n";
  const std::pair<std::string, std::vector<std::size_t>> cases[] = {
      {"[HKEY_NOWHERE\\A]\n\"stray\"=\"x\"", {4, 5}},  // unknown root, and its values
      {"[HKEY_CURRENT_USER\\A\n\"stray\"=\"x\"", {4, 5}},
      {"[HKEY_CURRENT_USER\\\\A]\n\"stray\"=\"x\"", {4, 5}},
      {"garbage", {4}},
      {"\x01\"stray\"=\"x\"", {4}},
      {"\"stray\"=dword:xyz", {4}},
      {"\"stray\"=dword:123456789", {4}},
      {"\"stray\"=hex:01,1g,\\\n  02", {4}},
      {"\"stray\"=hex:123", {4}},
      {"\"stray\"=hex(z):01", {4}},
      {"\"stray\"=\"b", {4}},
      {"\"stray\"=\"b\" c", {4}},
      {"\"stray\" \"b\"", {4}},
  };
  for (const auto& [bad, expectedLines] : cases) {
    RegistryTree tree;
    std::vector<RegFileProblem> problems;
    EXPECT_FALSE(ParseRegFile(before + bad + after, &tree, &problems)) << bad;
    std::vector<std::size_t> lines;
    for (const RegFileProblem& p : problems) lines.push_back(p.line);
    EXPECT_EQ(lines, expectedLines) << bad;
    EXPECT_TRUE(GetValue(tree, "A", "before") && GetValue(tree, "B", "after")) << bad;
    EXPECT_FALSE(GetValue(tree, "A", "stray")) << bad << ": landed in the key above";
  }
  RegistryTree tree;
  std::vector<RegFileProblem> problems;
  const std::string longLine(200, 'x');
  EXPECT_FALSE(
      ParseRegFile("[HKEY_CURRENT_USER\\A]\n\"kept\"=\"1\"\n" + longLine + "\n", &tree, &problems));
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].line, 1u);
  EXPECT_EQ(problems[0].problem, "no registry file header");
  EXPECT_TRUE(GetValue(tree, "A", "kept")) << "a file without its header still counts";
  EXPECT_EQ(problems[1].text, longLine.substr(0, kProblemTextLimit));
  problems.clear();
  EXPECT_FALSE(ParseRegFile("\xFF\xFEW\0i\0n"sv, &tree, &problems));
  ASSERT_EQ(problems.size(), 2u) << "an odd UTF-16 length, and no header";
  EXPECT_EQ(problems[0].line, 0u);
  for (const char* empty : {"", "  \r\n\n", "\xEF\xBB\xBF"})
    EXPECT_TRUE(ParseRegFile(empty, &tree)) << "an empty file is an empty registry";
}

TEST_F(RegistryFileTest, ABadLineIsNamedOnceAndTheOriginalKeptBesideBeforeARewrite) {
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp]\n"
      "\"AQ\"=\"1\"\n\x01\x02 not a line of an export\n\"LoadBehavior\"=dword:00000003\n";
  Write(damaged);
  RegistryLinux registry(Path());
  const std::string notes = Notes(registry);
  EXPECT_EQ(Get(registry, "AQ"), "1") << "a value above the bad line was lost";
  EXPECT_TRUE(GetValue(registry, kSettings, "LoadBehavior")) << "a value below it was lost";
  ASSERT_EQ(Count(m_folder.Path(), "registry.reg.bad-"), 1u) << notes;
  const std::string copy = m_folder.File(ScratchFolder::Names(m_folder.Path())[1]);
  EXPECT_EQ(ScratchFolder::Read(copy), damaged) << "the copy holds the original bytes";
  EXPECT_TRUE(Contains(notes, Path() + ": line 5 skipped (neither a key nor a value): "
                                       "\"\\x01\\x02 not a line of an export\""))
      << notes;
  EXPECT_TRUE(Contains(notes, "kept as " + copy)) << notes;
  EXPECT_FALSE(registry.InMemoryOnly());
  EXPECT_EQ(Notes(registry), "") << "a note is handed out once";

  ASSERT_EQ(Put(registry, "New", "x"), kErrorSuccess);
  RegistryTree tree;
  EXPECT_TRUE(ParseRegFile(Read(), &tree)) << "the rewrite is clean";
  EXPECT_TRUE(GetValue(tree, kSettings, "LoadBehavior"));
  RegistryLinux again(Path());
  EXPECT_EQ(Notes(again), "");

  // The same damage once more keeps the first copy; other damage gets one of its own.
  Write(damaged);
  RegistryLinux third(Path());
  EXPECT_TRUE(Contains(Notes(third), "kept as " + copy));
  Write(damaged + "more damage\n");
  RegistryLinux fourth(Path());
  EXPECT_EQ(Count(m_folder.Path(), "registry.reg.bad-"), 2u);
}

// A FIFO, a folder, a device, a huge file, or (as nobody, since root reads
// anything) a file without read permission: a message at start, the run goes
// on in memory, and the file is left as it was.
TEST_F(RegistryFileTest, WhatCannotBeReadIsAMessageAtStartAndTheRunGoesOnInMemory) {
  const std::string path = Path();
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { ASSERT_EQ(mkfifo(path.c_str(), 0666), 0); }, "it is a FIFO"},
      {[&] { std::filesystem::create_directory(path); }, "it is a folder"},
      {[&] { std::filesystem::create_symlink("/dev/zero", path); }, "it is a device"},
      {[&] {
         Write("");
         ASSERT_EQ(truncate(path.c_str(), RegistryLinux::kMaxFileSize + 1), 0);
       },
       "it is larger than 64 MiB"},
      {[&] {
         Write("Windows Registry Editor Version 5.00\n");
         ASSERT_EQ(chmod(path.c_str(), 0), 0);
       },
       "Permission denied"},
  };
  chmod(m_folder.Path().c_str(), 0777);
  for (const auto& [make, reason] : cases) {
    std::filesystem::remove(path);
    make();
    struct stat before {};
    ASSERT_EQ(lstat(path.c_str(), &before), 0);
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
      if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
      RegistryLinux registry(path);
      const std::string notes = Notes(registry);
      const bool kept = registry.InMemoryOnly() && Put(registry, "AQ", "1") == kErrorSuccess &&
                        Get(registry, "AQ") == "1" && registry.Writes() == 0;
      const std::string said = (kept ? "kept\n" : "lost\n") + notes;
      _exit(write(report[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0
                                                                                            : 4);
    }
    close(report[1]);
    std::string said(4096, '\0');
    said.resize(std::max<ssize_t>(0, read(report[0], said.data(), said.size())));
    close(report[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << reason << ": " << status;
    EXPECT_TRUE(Contains(said, "kept\n")) << reason << ": a change in memory was refused: " << said;
    EXPECT_TRUE(Contains(said, path + " cannot be read (" + reason)) << said;
    EXPECT_TRUE(Contains(said, "lives in memory for this run")) << said;
    struct stat after {};
    ASSERT_EQ(lstat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << reason << ": replaced";
    EXPECT_EQ(before.st_size, after.st_size) << reason << ": changed";
    chmod(path.c_str(), 0600);
  }
}

TEST_F(RegistryFileTest, ALinkStaysAndItsTargetIsReplaced) {
  std::filesystem::create_directory(m_folder.File("real"));
  m_folder.Write("real/registry.reg",
                 "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Old]\n\"Kept\"=\"1\"\n");
  std::filesystem::create_symlink("real/registry.reg", Path());
  {
    RegistryLinux registry(Path());
    ASSERT_EQ(Put(registry, "AQ", "1"), kErrorSuccess);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(Path())) << "the link was replaced by a file";
  RegistryLinux again(Path());
  EXPECT_EQ(Get(again, "AQ"), "1") << "the target was left stale";
  EXPECT_TRUE(GetValue(again, "Software\\Old", "Kept"));
  EXPECT_EQ(Count(m_folder.File("real"), ".tmp."), 0u);
}

// Another store on the file sees a batch when it ends, in one rewrite; the
// folder is made when missing; an unchanged value is not written again.
TEST_F(RegistryFileTest, ABatchIsOneRewriteAndUnchangedWritesAreSkipped) {
  const std::string path = m_folder.File("not/yet/there/registry.reg");
  RegistryLinux registry(path);
  RegistryLinux other(path);
  {
    RegistryBatch batch(registry);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(Put(registry, "V" + std::to_string(i), "1"), 0);
    {
      RegistryBatch inner(registry);
      ASSERT_EQ(Put(registry, "AQ", "3"), kErrorSuccess);
      EXPECT_EQ(inner.Commit(), kErrorSuccess);
    }
    EXPECT_EQ(Get(registry, "AQ"), "3") << "the batch's own store sees it";
    EXPECT_EQ(Get(other, "AQ"), "") << "an inner batch wrote the file";
    EXPECT_EQ(batch.Commit(), kErrorSuccess);
  }
  EXPECT_EQ(registry.Writes(), 1u) << "20 values in a batch are one rewrite";
  EXPECT_EQ(Get(other, "V19"), "1");
  struct stat before {};
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  ASSERT_EQ(Put(other, "aq", "3"), kErrorSuccess);
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino) << "writing the same value again rewrote the file";
  std::filesystem::remove(path);
  EXPECT_EQ(Get(other, "AQ"), "") << "a removed file is empty";
}

TEST_F(RegistryFileTest, StaleTemporaryFilesAreSweptAndTheDefaultPathFollowsXdgDataHome) {
  m_folder.Write("registry.reg.tmp.4242.0", "half a file");
  m_folder.Write("other.reg.tmp.4242.0", "someone else's");
  RegistryLinux registry(Path());
  EXPECT_FALSE(ScratchFolder::Exists(m_folder.File("registry.reg.tmp.4242.0")));
  EXPECT_TRUE(ScratchFolder::Exists(m_folder.File("other.reg.tmp.4242.0")));

  testsupport::ScopedEnv home("HOME", "/home/user");
  testsupport::ScopedEnv data("XDG_DATA_HOME", "/srv/data");
  EXPECT_EQ(RegistryLinux::DefaultPath(), "/srv/data/mailhost/registry.reg");
  for (const char* ignored : {"relative/data", ""}) {
    setenv("XDG_DATA_HOME", ignored, 1);
    EXPECT_EQ(RegistryLinux::DefaultPath(), "/home/user/.local/share/mailhost/registry.reg");
  }
}

// Children only call plain code and leave with _exit, so that no test
// framework state runs twice.
TEST_F(RegistryFileTest, AKilledWriterLeavesTheOldOrTheNewFileAndItsTempIsSwept) {
  // Big values make every write long enough to be caught in the middle.
  const std::string oldText(20000, 'o');
  const std::string newText(20000, 'n');
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> pause(0, 4000);
  for (int round = 0; round < 40; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RegistryLinux registry(Path());
      for (long i = 0;; ++i) {
        if (Put(registry, "Flip", i % 2 ? newText : oldText) != kErrorSuccess) _exit(2);
        if (i == 0 && write(ready[1], "x", 1) != 1) _exit(3);
      }
    }
    close(ready[1]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the writer did not start";
    close(ready[0]);
    usleep(static_cast<useconds_t>(pause(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself in round " << round;

    RegistryTree tree;
    std::vector<RegFileProblem> problems;
    ASSERT_TRUE(ParseRegFile(Read(), &tree, &problems)) << "torn file in round " << round;
    const auto flip = GetValue(tree, kSettings, "Flip");
    ASSERT_TRUE(flip) << "round " << round;
    EXPECT_TRUE(flip->data == B(oldText + '\0') || flip->data == B(newText + '\0'))
        << "round " << round << " holds neither the old nor the new value";
    RegistryLinux restart(Path());
    EXPECT_EQ(Count(m_folder.Path(), ".tmp."), 0u) << "round " << round;
  }
  EXPECT_EQ(Count(m_folder.Path(), ".bad-"), 0u);
}

TEST_F(RegistryFileTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 200;
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  pid_t children[2];
  for (int writer = 0; writer < 2; ++writer) {
    children[writer] = fork();
    ASSERT_GE(children[writer], 0);
    if (children[writer] == 0) {
      close(gate[1]);
      char byte;
      if (read(gate[0], &byte, 1) != 0) _exit(3);  // both start when the gate closes
      RegistryLinux registry(Path());
      for (int i = 0; i < kWrites; ++i)
        if (Put(registry, "w" + std::to_string(writer) + "-" + std::to_string(i),
                std::to_string(i)) != kErrorSuccess)
          _exit(2);
      _exit(0);
    }
  }
  close(gate[0]);
  close(gate[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
  }
  RegistryLinux registry(Path());
  for (int writer = 0; writer < 2; ++writer)
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(Get(registry, "w" + std::to_string(writer) + "-" + std::to_string(i)),
                std::to_string(i));
}

}  // namespace
}  // namespace platform
