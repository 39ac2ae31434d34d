// The file behind the Linux registry: its format, what it does with damaged
// files and paths that are not files, and what killed and concurrent writers
// leave behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/common/RegistryTree.h"
#include "platform/linux/RegFile.h"
#include "platform/linux/RegistryLinux.h"
#include "tests/support/RegistryCalls.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SmallDisk.h"

namespace platform {
namespace {

using namespace std::string_view_literals;
using testsupport::B;
using testsupport::Bytes;
using testsupport::GetValue;
using testsupport::PutValue;
using testsupport::ScopedEnv;
using testsupport::ScratchFolder;

constexpr const char* kSettingsPath = "Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp";

std::vector<std::string> FilesIn(const std::string& folder, std::string_view part) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(part) != std::string::npos) names.push_back(name);
  }
  return names;
}

// The UTF-16LE bytes, with BOM, of a text.
std::string Utf16LeWithBom(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

bool Has(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
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
                                          {"Blob", kRegBinary, Bytes(40, 0xAB)},
                                          {"Empty", kRegBinary, {}},
                                          {"Nul", kRegSz, B("a\0b\0"sv)},
                                          {"Bare", kRegSz, B("ab"sv)},
                                          {"Multi", kRegMultiSz, B("x\0y\0\0"sv)},
                                          {"Path \"q\"", kRegSz, B("C:\\dir\0"sv)}};
    for (const RegValue& value : values) {
      ASSERT_EQ(PutValue(registry, kSettingsPath, value.name, value.type, value.data),
                kErrorSuccess)
          << value.name;
    }
    HKey key = 0;
    ASSERT_EQ(registry.CreateKey(kHkeyCurrentUser, "Software\\Empty Key", &key), kErrorSuccess);
    registry.CloseKey(key);
  }
  EXPECT_EQ(Read(),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Empty Key]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp]\n"
            "@=\"default\"\n"
            "\"AQ\"=\"1\"\n"
            "\"Bare\"=hex(1):61,62\n"
            "\"Big\"=hex(b):01,00,00,00,00,00,00,80\n"
            "\"Blob\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
            "  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab\n"
            "\"Count\"=dword:0000002a\n"
            "\"Empty\"=hex:\n"
            "\"Multi\"=hex(7):78,00,79,00,00\n"
            "\"Nul\"=hex(1):61,00,62,00\n"
            "\"Path \\\"q\\\"\"=\"C:\\\\dir\"\n"
            "\n");
}

TEST_F(RegistryFileTest, ReadsAUtf16ExportWithItsTextValuesAsUtf8) {
  Write(
      Utf16LeWithBom(u"Windows Registry Editor Version 5.00\r\n"
                     u"\r\n"
                     u"[HKEY_CURRENT_USER\\Software\\Caf\u00e9]\r\n"
                     u"@=\"Standard\"\r\n"
                     u"\"Pfad\"=\"C:\\\\Programme\\\\\\\"x\\\"\"\r\n"
                     u"\"Zahl\"=dword:0000002A\r\n"
                     u"\"Preis\"=\"5 \u20ac\"\r\n"
                     u"\"Erweitert\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
                     u"\"Liste\"=hex(7):61,00,00,00,e9,00,\\\r\n"
                     u"  00,00,00,00\r\n"
                     u"\"Roh\"=hex:01,02\r\n"
                     u"\r\n"));
  RegistryLinux registry(Path());
  const std::string key = "Software\\CAF\xC3\xA9";
  const auto get = [&](const std::string& name) {
    return GetValue(registry, key, name).value_or(RegValue{"missing", 0, {}});
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

TEST_F(RegistryFileTest, ReadsAHandWrittenUtf8FileWithOrWithoutBom) {
  const std::string text =
      "\n"
      "Windows Registry Editor Version 5.00\n"
      "; written by hand\n"
      "[hkey_current_user\\Software\\Hand]\n"
      "  \"AQ\" = \"2\"   \n"
      "\"Gone\"=\"x\"\n"
      "\"Gone\"=-\n"
      "\"Euro\"=\"\xE2\x82\xAC\"\n"
      "\"Lone backslash\"=\"a\\b\"\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Dropped]\n"
      "\"x\"=\"y\"\n"
      "[-HKEY_CURRENT_USER\\Software\\Dropped]\n"
      "\"ignored\"=\"z\"\n";
  for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text}) {
    Write(bytes);
    RegistryLinux registry(Path());
    const auto get = [&](const std::string& name) {
      return GetValue(registry, "Software\\Hand", name).value_or(RegValue{});
    };
    EXPECT_EQ(get("AQ").data, B("2\0"sv));
    EXPECT_FALSE(GetValue(registry, "Software\\Hand", "Gone"));
    EXPECT_EQ(get("Euro").data, B("\xE2\x82\xAC\0"sv));
    EXPECT_EQ(get("Lone backslash").data, B("a\\b\0"sv));
    HKey key = 0;
    EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Software\\Dropped", &key), kErrorFileNotFound);
    EXPECT_TRUE(FilesIn(m_folder.Path(), ".bad-").empty());
    EXPECT_EQ(Notes(registry), "");
  }
}

TEST_F(RegistryFileTest, ParserSkipsABadLineNamesItAndKeepsTheRest) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::string before = header + "[HKEY_CURRENT_USER\\A]\n\"before\"=\"1\"\n";
  const std::string after = "\n[HKEY_CURRENT_USER\\B]\n\"after\"=\"2\"\n";
  struct Case {
    const char* what;
    std::string bad;  // from line 4 on
    std::vector<std::size_t> lines;
  };
  const Case cases[] = {
      {"unknown root, and its values", "[HKEY_NOWHERE\\A]\n\"stray\"=\"x\"", {4, 5}},
      {"unclosed key", "[HKEY_CURRENT_USER\\A\n\"stray\"=\"x\"", {4, 5}},
      {"bad key path", "[HKEY_CURRENT_USER\\\\A]\n\"stray\"=\"x\"", {4, 5}},
      {"stray text", "garbage", {4}},
      {"an odd byte", "\x01\"stray\"=\"x\"", {4}},
      {"bad dword", "\"stray\"=dword:xyz", {4}},
      {"long dword", "\"stray\"=dword:123456789", {4}},
      {"bad hex byte over two lines", "\"stray\"=hex:01,1g,\\\n  02", {4}},
      {"wide hex byte", "\"stray\"=hex:123", {4}},
      {"bad hex type", "\"stray\"=hex(z):01", {4}},
      {"open string", "\"stray\"=\"b", {4}},
      {"text after string", "\"stray\"=\"b\" c", {4}},
      {"no equals", "\"stray\" \"b\"", {4}},
  };
  for (const Case& c : cases) {
    RegistryTree tree;
    std::vector<RegFileProblem> problems;
    EXPECT_FALSE(ParseRegFile(before + c.bad + after, &tree, &problems)) << c.what;
    std::vector<std::size_t> lines;
    for (const RegFileProblem& p : problems) lines.push_back(p.line);
    EXPECT_EQ(lines, c.lines) << c.what;
    EXPECT_TRUE(GetValue(tree, "A", "before")) << c.what;
    EXPECT_TRUE(GetValue(tree, "B", "after")) << c.what;
    EXPECT_FALSE(GetValue(tree, "A", "stray")) << c.what << ": landed in the key above";
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

  for (const char* empty : {"", "  \r\n\n", "\xEF\xBB\xBF"}) {
    RegistryTree tree;
    EXPECT_TRUE(ParseRegFile(empty, &tree)) << "an empty file is an empty registry";
  }
}

TEST_F(RegistryFileTest, ABadLineIsNamedOnceAndTheOriginalKeptBesideBeforeARewrite) {
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp]\n"
      "\"AQ\"=\"1\"\n"
      "\x01\x02 not a line of an export\n"
      "\"LoadBehavior\"=dword:00000003\n";
  Write(damaged);
  RegistryLinux registry(Path());
  const std::string notes = Notes(registry);
  EXPECT_TRUE(GetValue(registry, kSettingsPath, "AQ")) << "a value above the bad line was lost";
  EXPECT_TRUE(GetValue(registry, kSettingsPath, "LoadBehavior")) << "a value below it was lost";
  const std::vector<std::string> copies = FilesIn(m_folder.Path(), "registry.reg.bad-");
  ASSERT_EQ(copies.size(), 1u) << notes;
  const std::string copy = m_folder.File(copies[0]);
  EXPECT_EQ(ScratchFolder::Read(copy), damaged) << "the copy holds the original bytes";
  EXPECT_TRUE(Has(notes, Path() + ": line 5 skipped (neither a key nor a value): "
                                  "\"\\x01\\x02 not a line of an export\""))
      << notes;
  EXPECT_TRUE(Has(notes, "kept as " + copy)) << notes;
  EXPECT_FALSE(registry.InMemoryOnly());
  EXPECT_EQ(Notes(registry), "") << "a note is handed out once";

  ASSERT_EQ(PutValue(registry, kSettingsPath, "New", kRegSz, B("x\0"sv)), kErrorSuccess);
  RegistryTree tree;
  EXPECT_TRUE(ParseRegFile(Read(), &tree)) << "the rewrite is clean";
  EXPECT_TRUE(GetValue(tree, kSettingsPath, "LoadBehavior"));
  RegistryLinux again(Path());
  EXPECT_EQ(Notes(again), "");

  // The same damage once more keeps the first copy; other damage gets one of its own.
  Write(damaged);
  RegistryLinux third(Path());
  EXPECT_TRUE(Has(Notes(third), "kept as " + copy));
  Write(damaged + "more damage\n");
  RegistryLinux fourth(Path());
  EXPECT_EQ(FilesIn(m_folder.Path(), "registry.reg.bad-").size(), 2u);
}

TEST_F(RegistryFileTest, WhatIsNotARegularFileIsAMessageAtStartAndTheRunGoesOnInMemory) {
  struct Case {
    const char* what;
    std::function<void()> make;
    const char* reason;
  };
  const std::string path = Path();
  const Case cases[] = {
      {"FIFO", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, "it is a FIFO"},
      {"folder", [&] { std::filesystem::create_directory(path); }, "it is a folder"},
      {"device", [&] { std::filesystem::create_symlink("/dev/zero", path); }, "it is a device"},
      {"big file",
       [&] {
         const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
         ASSERT_EQ(ftruncate(fd, RegistryLinux::kMaxFileSize + 1), 0);
         close(fd);
       },
       "it is larger than 64 MiB"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(path);
    c.make();
    struct stat before;
    ASSERT_EQ(lstat(path.c_str(), &before), 0);
    RegistryLinux registry(path);
    const std::string notes = Notes(registry);
    EXPECT_TRUE(Has(notes, path + " cannot be read (" + c.reason)) << c.what << ": " << notes;
    EXPECT_TRUE(Has(notes, "lives in memory for this run")) << c.what << ": " << notes;
    EXPECT_TRUE(registry.InMemoryOnly()) << c.what;
    ASSERT_EQ(PutValue(registry, kSettingsPath, "AQ", kRegSz, B("1\0"sv)), kErrorSuccess);
    EXPECT_TRUE(GetValue(registry, kSettingsPath, "AQ")) << c.what;
    struct stat after;
    ASSERT_EQ(lstat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << c.what << " was replaced";
    EXPECT_EQ(before.st_size, after.st_size) << c.what << " was changed";
    EXPECT_EQ(registry.Writes(), 0u) << c.what;
  }
}

// Root reads any file, so the store runs as nobody in a child of its own.
TEST_F(RegistryFileTest, AnUnreadableFileIsAMessageAndLeftAsItIs) {
  Write("Windows Registry Editor Version 5.00\n");
  ASSERT_EQ(chmod(Path().c_str(), 0), 0);
  ASSERT_EQ(chmod(m_folder.Path().c_str(), 0777), 0);
  int pipes[2];
  ASSERT_EQ(pipe(pipes), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipes[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    RegistryLinux registry(Path());
    const std::string notes = Notes(registry);
    const bool kept =
        PutValue(registry, kSettingsPath, "AQ", kRegSz, B("1\0"sv)) == kErrorSuccess &&
        GetValue(registry, kSettingsPath, "AQ") && registry.Writes() == 0;
    const std::string report = (kept ? "kept\n" : "lost\n") + notes;
    _exit(write(pipes[1], report.data(), report.size()) == static_cast<ssize_t>(report.size()) ? 0
                                                                                               : 4);
  }
  close(pipes[1]);
  std::string report;
  char buffer[4096];
  for (ssize_t got; (got = read(pipes[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
  close(pipes[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child failed: " << status;
  EXPECT_TRUE(Has(report, "kept\n")) << "a change in memory was refused: " << report;
  EXPECT_TRUE(Has(report, Path() + " cannot be read (Permission denied); the registry lives in "
                                   "memory for this run"))
      << report;
  EXPECT_EQ(Read(), "Windows Registry Editor Version 5.00\n");
}

TEST_F(RegistryFileTest, ALinkStaysAndItsTargetIsReplaced) {
  std::filesystem::create_directory(m_folder.File("real"));
  m_folder.Write("real/registry.reg",
                 "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Old]\n\"Kept\"=\"1\"\n");
  std::filesystem::create_symlink("real/registry.reg", Path());
  {
    RegistryLinux registry(Path());
    ASSERT_EQ(PutValue(registry, kSettingsPath, "AQ", kRegSz, B("1\0"sv)), kErrorSuccess);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(Path())) << "the link was replaced by a file";
  RegistryTree tree;
  EXPECT_TRUE(ParseRegFile(ScratchFolder::Read(m_folder.File("real/registry.reg")), &tree));
  EXPECT_TRUE(GetValue(tree, kSettingsPath, "AQ")) << "the target was left stale";
  EXPECT_TRUE(GetValue(tree, "Software\\Old", "Kept"));
  EXPECT_TRUE(FilesIn(m_folder.File("real"), ".tmp.").empty());
}

TEST_F(RegistryFileTest, ABatchIsOneRewriteThatOthersSeeWhenItEnds) {
  RegistryLinux registry(Path());
  RegistryLinux other(Path());
  {
    RegistryBatch batch(registry);
    for (int i = 0; i < 20; ++i) {
      const std::string path = std::string(kSettingsPath) + "\\Key" + std::to_string(i);
      ASSERT_EQ(PutValue(registry, path, "V", kRegSz, B("1\0"sv)), kErrorSuccess);
    }
    {
      RegistryBatch inner(registry);
      ASSERT_EQ(PutValue(registry, kSettingsPath, "AQ", kRegSz, B("1\0"sv)), kErrorSuccess);
      EXPECT_EQ(inner.Commit(), kErrorSuccess);
    }
    EXPECT_TRUE(GetValue(registry, kSettingsPath, "AQ")) << "the batch's own store sees it";
    EXPECT_FALSE(GetValue(other, kSettingsPath, "AQ")) << "an inner batch wrote the file";
    EXPECT_EQ(registry.Writes(), 0u);
    EXPECT_EQ(batch.Commit(), kErrorSuccess);
  }
  EXPECT_EQ(registry.Writes(), 1u) << "20 keys and values in a batch are one rewrite";
  EXPECT_TRUE(GetValue(other, kSettingsPath + std::string("\\Key19"), "V"));
  EXPECT_TRUE(GetValue(other, kSettingsPath, "AQ"));
}

TEST_F(RegistryFileTest, TheFolderIsMadeUnchangedWritesAreSkippedARemovedFileIsEmpty) {
  const std::string path = m_folder.File("not/yet/there/registry.reg");
  RegistryLinux writer(path);
  RegistryLinux reader(path);
  ASSERT_EQ(PutValue(writer, kSettingsPath, "AQ", kRegSz, B("3\0"sv)), kErrorSuccess);
  EXPECT_TRUE(ScratchFolder::Exists(path)) << "the folder is made when missing";

  struct stat before;
  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  ASSERT_EQ(PutValue(reader, kSettingsPath, "aq", kRegSz, B("3\0"sv)), kErrorSuccess);
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino) << "writing the same value again rewrote the file";

  std::filesystem::remove(path);
  EXPECT_FALSE(GetValue(reader, kSettingsPath, "AQ")) << "a removed file is empty";
}

TEST_F(RegistryFileTest, AFullDiskIsNamedAndWhatWasStoredStays) {
  testsupport::SmallDisk disk(m_folder.Path(), 64 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  RegistryLinux registry(Path());
  ASSERT_EQ(PutValue(registry, kSettingsPath, "AQ", kRegSz, B("1\0"sv)), kErrorSuccess);
  ASSERT_EQ(PutValue(registry, kSettingsPath, "Version", kRegSz, B("1.0.1\0"sv)), kErrorSuccess);
  const std::string stored = Read();
  disk.Fill();
  EXPECT_EQ(PutValue(registry, kSettingsPath, "AQ", kRegSz, B("3\0"sv)), kErrorDiskFull);
  EXPECT_EQ(RegistryStatusText(kErrorDiskFull), "No space left on device");
  EXPECT_EQ(Read(), stored) << "the file was touched by a write that could not be made";
  EXPECT_TRUE(FilesIn(m_folder.Path(), ".tmp.").empty()) << "a half-written copy stayed";
  // Neither this store nor the next run sees the value that was not saved.
  EXPECT_EQ(GetValue(registry, kSettingsPath, "AQ")->data, B("1\0"sv));
  RegistryLinux nextRun(Path());
  EXPECT_EQ(GetValue(nextRun, kSettingsPath, "AQ")->data, B("1\0"sv));
  disk.Free();
  EXPECT_EQ(PutValue(registry, kSettingsPath, "AQ", kRegSz, B("3\0"sv)), kErrorSuccess);
  EXPECT_EQ(GetValue(nextRun, kSettingsPath, "AQ")->data, B("3\0"sv));
}

TEST_F(RegistryFileTest, StaleTemporaryFilesAreSweptAtStart) {
  m_folder.Write("registry.reg.tmp.4242.0", "half a file");
  m_folder.Write("other.reg.tmp.4242.0", "someone else's");
  RegistryLinux registry(Path());
  EXPECT_FALSE(ScratchFolder::Exists(m_folder.File("registry.reg.tmp.4242.0")));
  EXPECT_TRUE(ScratchFolder::Exists(m_folder.File("other.reg.tmp.4242.0")));
}

TEST_F(RegistryFileTest, DefaultPathFollowsXdgDataHome) {
  ScopedEnv home("HOME", "/home/user");
  ScopedEnv data("XDG_DATA_HOME", "/srv/data");
  EXPECT_EQ(RegistryLinux::DefaultPath(), "/srv/data/mailhost/registry.reg");
  setenv("XDG_DATA_HOME", "relative/data", 1);
  EXPECT_EQ(RegistryLinux::DefaultPath(), "/home/user/.local/share/mailhost/registry.reg")
      << "a relative XDG_DATA_HOME is ignored";
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(RegistryLinux::DefaultPath(), "/home/user/.local/share/mailhost/registry.reg");
}

// Children only call async-signal-unrelated plain code and leave with _exit,
// so that no test framework state runs twice.
TEST_F(RegistryFileTest, AKilledWriterLeavesTheOldOrTheNewFileAndItsTempIsSwept) {
  // Big values make every write long enough to be caught in the middle.
  const std::string oldText(20000, 'o');
  const std::string newText(20000, 'n');
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> pause(0, 4000);
  int leftovers = 0;
  for (int round = 0; round < 40; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      RegistryLinux registry(Path());
      for (long i = 0;; ++i) {
        const std::string& text = i % 2 ? newText : oldText;
        if (PutValue(registry, kSettingsPath, "Flip", kRegSz, B(text + '\0')) != kErrorSuccess) {
          _exit(2);
        }
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
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the writer stopped by itself in round " << round;

    RegistryTree tree;
    std::vector<RegFileProblem> problems;
    ASSERT_TRUE(ParseRegFile(Read(), &tree, &problems))
        << "torn file in round " << round << ": line " << problems.front().line << " "
        << problems.front().problem;
    HKey key = 0;
    ASSERT_EQ(tree.OpenKey(kHkeyCurrentUser, kSettingsPath, &key), kErrorSuccess);
    std::uint32_t size = 0;
    ASSERT_EQ(tree.QueryValue(key, "Flip", nullptr, nullptr, &size), kErrorSuccess);
    Bytes data(size);
    ASSERT_EQ(tree.QueryValue(key, "Flip", nullptr, data.data(), &size), kErrorSuccess);
    EXPECT_TRUE(data == B(oldText + '\0') || data == B(newText + '\0'))
        << "round " << round << " holds neither the old nor the new value";

    leftovers += static_cast<int>(FilesIn(m_folder.Path(), ".tmp.").size());
    RegistryLinux restart(Path());
    EXPECT_TRUE(FilesIn(m_folder.Path(), ".tmp.").empty()) << "round " << round;
  }
  EXPECT_TRUE(FilesIn(m_folder.Path(), ".bad-").empty());
  RecordProperty("KilledMidWrite", leftovers);
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
      for (std::uint32_t i = 0; i < kWrites; ++i) {
        const Bytes data{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 0, 0};
        const std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
        if (PutValue(registry, "Software\\Race", name, kRegDword, data) != kErrorSuccess) _exit(2);
      }
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
  HKey key = 0;
  ASSERT_EQ(registry.OpenKey(kHkeyCurrentUser, "Software\\Race", &key), kErrorSuccess);
  std::vector<RegValue> values;
  ASSERT_EQ(registry.ListValues(key, &values), kErrorSuccess);
  EXPECT_EQ(values.size(), 2u * kWrites);
  for (int writer = 0; writer < 2; ++writer) {
    for (std::uint32_t i = 0; i < kWrites; ++i) {
      const std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
      const auto value = GetValue(registry, "Software\\Race", name);
      ASSERT_TRUE(value) << name << " was lost";
      EXPECT_EQ(value->data[0] | value->data[1] << 8, static_cast<int>(i)) << name;
    }
  }
}

}  // namespace
}  // namespace platform
