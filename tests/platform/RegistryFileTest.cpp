// The file behind the Linux registry: its format, its repair of a corrupt
// file, and what killed and concurrent writers leave behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
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

class RegistryFileTest : public testing::Test {
 protected:
  std::string Path() const { return m_folder.File("registry.reg"); }
  std::string Read() const { return ScratchFolder::Read(Path()); }
  void Write(const std::string& bytes) const { m_folder.Write("registry.reg", bytes); }

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
    EXPECT_TRUE(FilesIn(m_folder.Path(), ".corrupt").empty());
  }
}

TEST_F(RegistryFileTest, ParserRefusesMalformedFilesAndNamesTheLine) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  struct Case {
    const char* what;
    std::string bytes;
    const char* line;
  };
  const Case cases[] = {
      {"no header", "[HKEY_CURRENT_USER\\A]\n", "line 1"},
      {"unknown root", header + "[HKEY_NOWHERE\\A]\n", "line 2"},
      {"unclosed key", header + "[HKEY_CURRENT_USER\\A\n", "line 2"},
      {"bad key path", header + "[HKEY_CURRENT_USER\\\\A]\n", "line 2"},
      {"value before any key", header + "\"a\"=\"b\"\n", "line 2"},
      {"stray text", header + "[HKEY_CURRENT_USER\\A]\ngarbage\n", "line 3"},
      {"bad dword", header + "[HKEY_CURRENT_USER\\A]\n\"a\"=dword:xyz\n", "line 3"},
      {"long dword", header + "[HKEY_CURRENT_USER\\A]\n\"a\"=dword:123456789\n", "line 3"},
      {"bad hex byte", header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex:01,1g\n", "line 3"},
      {"wide hex byte", header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex:123\n", "line 3"},
      {"bad hex type", header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex(z):01\n", "line 3"},
      {"open string", header + "[HKEY_CURRENT_USER\\A]\n\"a\"=\"b\n", "line 3"},
      {"text after string", header + "[HKEY_CURRENT_USER\\A]\n\"a\"=\"b\" c\n", "line 3"},
      {"no equals", header + "[HKEY_CURRENT_USER\\A]\n\"a\" \"b\"\n", "line 3"},
      {"odd UTF-16",
       "\xFF\xFE"
       "W\0i\0n",
       "UTF-16"},
  };
  for (const Case& c : cases) {
    RegistryTree tree;
    std::string error;
    EXPECT_FALSE(ParseRegFile(c.bytes, &tree, &error)) << c.what;
    EXPECT_NE(error.find(c.line), std::string::npos) << c.what << ": " << error;
  }
  for (const char* empty : {"", "  \r\n\n", "\xEF\xBB\xBF"}) {
    RegistryTree tree;
    std::string error;
    EXPECT_TRUE(ParseRegFile(empty, &tree, &error)) << "an empty file is an empty registry";
  }
}

TEST_F(RegistryFileTest, CorruptFileIsMovedAsideReportedOnceAndTheStoreStartsEmpty) {
  const std::string garbage = "\x01\x02 this is not a registry file";
  Write(garbage);
  RegistryLinux registry(Path());
  testing::internal::CaptureStderr();
  HKey key = 0;
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Software", &key), kErrorFileNotFound);
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Software", &key), kErrorFileNotFound);
  const std::string message = testing::internal::GetCapturedStderr();

  const std::string aside = Path() + ".corrupt";
  EXPECT_EQ(ScratchFolder::Read(aside), garbage) << "the evidence is kept byte for byte";
  EXPECT_FALSE(ScratchFolder::Exists(Path()));
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
  EXPECT_EQ(message.back(), '\n');
  EXPECT_NE(message.find(Path()), std::string::npos) << message;
  EXPECT_NE(message.find(aside), std::string::npos) << message;

  ASSERT_EQ(PutValue(registry, kSettingsPath, "AQ", kRegSz, B("1\0"sv)), kErrorSuccess);
  RegistryTree tree;
  std::string error;
  EXPECT_TRUE(ParseRegFile(Read(), &tree, &error)) << error;

  // A second corrupt file never replaces the first piece of evidence.
  Write("also broken");
  testing::internal::CaptureStderr();
  RegistryLinux second(Path());
  EXPECT_FALSE(GetValue(second, kSettingsPath, "AQ"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ScratchFolder::Read(aside), garbage);
  EXPECT_EQ(ScratchFolder::Read(aside + ".1"), "also broken");
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
    std::string error;
    ASSERT_TRUE(ParseRegFile(Read(), &tree, &error))
        << "torn file in round " << round << ": " << error;
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
  EXPECT_TRUE(FilesIn(m_folder.Path(), ".corrupt").empty());
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
