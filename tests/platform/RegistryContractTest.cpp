// The registry's contract, run against the memory and the file backend alike.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/linux/RegistryLinux.h"
#include "tests/support/ContractTest.h"
#include "tests/support/RegistryCalls.h"
#include "tests/support/ScratchFolder.h"

namespace platform {
namespace {

using namespace std::string_view_literals;
using testsupport::B;
using testsupport::Query;
using testsupport::Set;
using Names = std::vector<std::string>;

struct FakeBackend {
  static constexpr const char* kName = "Fake";
  std::unique_ptr<Registry> Make() { return std::make_unique<FakeRegistry>(); }
  // One object is the whole store.
  Registry& Other(Registry& first) { return first; }
};

struct LinuxBackend {
  static constexpr const char* kName = "Linux";
  testsupport::ScratchFolder folder;
  std::unique_ptr<Registry> other;
  std::unique_ptr<Registry> Make() {
    return std::make_unique<RegistryLinux>(folder.File("registry.reg"));
  }
  // A second store on the same file, as another process has.
  Registry& Other(Registry&) {
    if (!other) other = Make();
    return *other;
  }
};

template <typename Backend>
class RegistryContractTest : public testing::Test {
 protected:
  RegistryContractTest() : m_registry(m_backend.Make()) {}
  Registry& Reg() { return *m_registry; }
  Registry& Other() { return m_backend.Other(*m_registry); }
  // The key below the current user's root, made if `create`; 0 when it fails.
  static HKey Key(Registry& registry, const std::string& path, bool create = true) {
    HKey key = 0;
    (create ? registry.CreateKey(kHkeyCurrentUser, path, &key)
            : registry.OpenKey(kHkeyCurrentUser, path, &key));
    return key;
  }
  static Names Subkeys(Registry& registry, HKey key) {
    Names names;
    EXPECT_EQ(registry.ListSubkeys(key, &names), kErrorSuccess);
    return names;
  }
  static Names ValueNames(Registry& registry, HKey key) {
    std::vector<RegValue> values;
    EXPECT_EQ(registry.ListValues(key, &values), kErrorSuccess);
    Names names;
    for (const RegValue& value : values) names.push_back(value.name);
    return names;
  }

 private:
  Backend m_backend;
  std::unique_ptr<Registry> m_registry;
};

SONVERA_CONTRACT_SUITE(RegistryContractTest, FakeBackend, LinuxBackend);

TYPED_TEST(RegistryContractTest, OpenFindsOnlyExistingKeysAndCreateMakesEveryLevel) {
  Registry& reg = this->Reg();
  HKey key = 0x1234;
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software\\Sonvera\\Deep", &key), kErrorFileNotFound);
  EXPECT_EQ(key, 0u) << "a failed open must leave no handle";
  EXPECT_NE(this->Key(reg, "Software\\Sonvera\\Deep"), 0u);
  const HKey middle = this->Key(reg, "Software\\Sonvera", false);
  EXPECT_EQ(this->Subkeys(reg, middle), Names{"Deep"});
  EXPECT_EQ(reg.OpenKey(middle, "Deep", &key), kErrorSuccess);
  EXPECT_EQ(reg.OpenKey(kHkeyLocalMachine, "Software\\Sonvera", &key), kErrorFileNotFound)
      << "each root is a tree of its own";
  EXPECT_EQ(reg.OpenKey(middle, "Missing", &key), kErrorFileNotFound);
  EXPECT_NE(this->Key(this->Other(), "Software\\Sonvera\\Deep", false), 0u);
}

TYPED_TEST(RegistryContractTest, HandlesAreDistinctAndAClosedOneIsRefused) {
  Registry& reg = this->Reg();
  const HKey first = this->Key(reg, "Software\\Sonvera");
  const HKey second = this->Key(reg, "Software\\Sonvera");
  EXPECT_NE(first, second);
  EXPECT_NE(first, kHkeyCurrentUser);
  ASSERT_EQ(Set(reg, first, "AQ", kRegSz, B("1\0"sv)), kErrorSuccess);
  EXPECT_EQ(Query(reg, second, "AQ").data, B("1\0"sv)) << "one key, two handles";
  EXPECT_EQ(reg.CloseKey(0x7654321), kErrorInvalidHandle);
  EXPECT_EQ(reg.CloseKey(first), kErrorSuccess);
  EXPECT_EQ(reg.CloseKey(first), kErrorInvalidHandle) << "a second close";
  EXPECT_EQ(Query(reg, first, "AQ").status, kErrorInvalidHandle);
  EXPECT_EQ(Set(reg, first, "AQ", kRegSz, B("2\0"sv)), kErrorInvalidHandle);
  EXPECT_EQ(Query(reg, second, "AQ").data, B("1\0"sv)) << "misuse must change nothing";
  // Predefined roots are never really closed.
  EXPECT_EQ(reg.CloseKey(kHkeyCurrentUser), kErrorSuccess);
  EXPECT_NE(this->Key(reg, "Software", false), 0u);
}

TYPED_TEST(RegistryContractTest, PathSeparatorsAndTheEmptyPath) {
  Registry& reg = this->Reg();
  HKey key = 0x99;
  EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, "\\Software\\X", &key), kErrorBadPathname);
  EXPECT_EQ(key, 0u);
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "\\Software", &key), kErrorBadPathname);
  EXPECT_EQ(reg.DeleteTree(kHkeyCurrentUser, "\\Software"), kErrorBadPathname);
  const HKey made = this->Key(reg, "Software\\\\Sonvera\\");
  EXPECT_EQ(this->Subkeys(reg, this->Key(reg, "Software", false)), Names{"Sonvera"})
      << "doubled and trailing separators name no empty key";
  // As the ANSI calls do, an empty path hands back the handle given.
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "", &key), kErrorSuccess);
  EXPECT_EQ(key, kHkeyCurrentUser);
  EXPECT_EQ(reg.CreateKey(made, "", &key), kErrorSuccess);
  EXPECT_EQ(key, made);
  // A root holds values of its own.
  ASSERT_EQ(Set(reg, kHkeyCurrentUser, "AtRoot", kRegDword, B("\x07\0\0\0"sv)), kErrorSuccess);
  EXPECT_EQ(Query(this->Other(), kHkeyCurrentUser, "AtRoot").data, B("\x07\0\0\0"sv));
  // A name that a line of the store cannot hold is refused.
  EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, "Software\\Two\nLines", &key), kErrorInvalidParameter);
  EXPECT_EQ(Set(reg, made, "Two\rLines", kRegSz, B("x\0"sv)), kErrorInvalidParameter);
}

TYPED_TEST(RegistryContractTest, NamesCompareCaseInsensitivelyKeepTheirFirstCaseAndListSorted) {
  Registry& reg = this->Reg();
  const HKey key = this->Key(reg, "Software\\MixedCase");
  EXPECT_NE(this->Key(reg, "SOFTWARE\\mixedcase", false), 0u);
  for (const char* name : {"beta", "Alpha", "GAMMA"}) {
    this->Key(reg, std::string("software\\MIXEDCASE\\") + name);
    ASSERT_EQ(Set(reg, key, name, kRegSz, B("v\0"sv)), kErrorSuccess);
  }
  ASSERT_EQ(Set(reg, key, "", kRegSz, B("default\0"sv)), kErrorSuccess);
  ASSERT_EQ(Set(reg, key, "Quality", kRegSz, B("1\0"sv)), kErrorSuccess);
  ASSERT_EQ(Set(reg, key, "QUALITY", kRegSz, B("2\0"sv)), kErrorSuccess);
  EXPECT_EQ(Query(reg, key, "quality").data, B("2\0"sv));
  Registry& other = this->Other();
  EXPECT_EQ(this->Subkeys(other, this->Key(other, "Software", false)), Names{"MixedCase"});
  const HKey seen = this->Key(other, "Software\\MixedCase", false);
  EXPECT_EQ(this->Subkeys(other, seen), (Names{"Alpha", "beta", "GAMMA"}));
  EXPECT_EQ(this->ValueNames(other, seen), (Names{"", "Alpha", "beta", "GAMMA", "Quality"}));
  // Only ASCII letters fold: E acute in two cases is two names.
  ASSERT_EQ(Set(reg, key, "\xC3\x89", kRegSz, B("upper\0"sv)), kErrorSuccess);
  ASSERT_EQ(Set(reg, key, "\xC3\xA9", kRegSz, B("lower\0"sv)), kErrorSuccess);
  EXPECT_EQ(Query(reg, key, "\xC3\x89").data, B("upper\0"sv));
}

TYPED_TEST(RegistryContractTest, QueryFollowsTheTwoCallProtocol) {
  Registry& reg = this->Reg();
  const HKey key = this->Key(reg, "Software\\Sonvera");
  ASSERT_EQ(Set(reg, key, "Version", kRegSz, B("1.0.1\0"sv)), kErrorSuccess);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  ASSERT_EQ(reg.QueryValue(key, "Version", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 6u);
  std::uint8_t buffer[16] = {};
  size = 3;
  type = 0;
  EXPECT_EQ(reg.QueryValue(key, "Version", &type, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, 6u) << "a short buffer learns the size it needs";
  EXPECT_EQ(type, kRegSz);
  type = 0xDEAD;
  EXPECT_EQ(reg.QueryValue(key, "AQ", &type, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(type, 0xDEADu) << "a missing value leaves the type as it was";
  EXPECT_EQ(reg.QueryValue(key, "Version", &type, buffer, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(reg.SetValue(key, "Broken", kRegBinary, nullptr, 4), kErrorInvalidParameter);
}

TYPED_TEST(RegistryContractTest, ValuesKeepTheirTypeAndBytesAndAreReplacedAndDeleted) {
  Registry& reg = this->Reg();
  const HKey key = this->Key(reg, "Software\\Sonvera");
  const std::vector<RegValue> cases = {
      {"", kRegSz, B("default\0"sv)},
      {"EmbeddedNul", kRegSz, B("ab\0cd\0"sv)},
      {"NoTerminator", kRegSz, B("abc"sv)},
      {"EmptyString", kRegSz, {}},
      {"Dword", kRegDword, B("\x2a\0\0\0"sv)},
      {"ShortDword", kRegDword, B("\x01\x02"sv)},
      {"Qword", kRegQword, B("\x01\x02\x03\x04\x05\x06\x07\x08"sv)},
      {"Binary", kRegBinary, B("\0\xff\r\n\""sv)},
      {"EmptyBinary", kRegBinary, {}},
      {"Wrapped", kRegBinary, testsupport::Bytes(40, 0xAB)},  // longer than a line of the file
      {"Multi", kRegMultiSz, B("one\0two\0\0"sv)},
      {"Expand", kRegExpandSz, B("%HOME%\\x\0"sv)},
      {"Unnamed type", 0x1234, B("raw"sv)},
      {"Quoted \"name\" \\", kRegSz, B("C:\\dir \"q\"\0"sv)},
      {"Lines", kRegSz, B("a\r\nb\0"sv)},
      {"Utf8", kRegSz, B("\xC3\xA9\xE2\x82\xAC\0"sv)},
      {"NotUtf8", kRegSz, B("\xFF\xFE\0"sv)},
      {"AQ", kRegSz, B("1\0"sv)},
  };
  for (const RegValue& value : cases)
    ASSERT_EQ(Set(reg, key, value.name, value.type, value.data), kErrorSuccess) << value.name;
  ASSERT_EQ(Set(reg, key, "AQ", kRegDword, B("\x02\0\0\0"sv)), kErrorSuccess);
  Registry& other = this->Other();
  const HKey seen = this->Key(other, "Software\\Sonvera", false);
  for (const RegValue& value : cases) {
    const auto read = Query(other, seen, value.name);
    EXPECT_EQ(read.status, kErrorSuccess) << value.name;
    if (value.name == "AQ") {
      EXPECT_EQ(read.type, kRegDword) << "a value written again is replaced, type and all";
      continue;
    }
    EXPECT_EQ(read.type, value.type) << value.name;
    EXPECT_EQ(read.data, value.data) << value.name;
  }
  EXPECT_EQ(this->ValueNames(other, seen).size(), cases.size());
  EXPECT_EQ(Query(other, kHkeyCurrentUser, "AQ").status, kErrorFileNotFound)
      << "the value lives in its key, not in the root";
  EXPECT_EQ(reg.DeleteValue(key, "aq"), kErrorSuccess);
  EXPECT_EQ(Query(other, seen, "AQ").status, kErrorFileNotFound);
  EXPECT_EQ(reg.DeleteValue(key, "AQ"), kErrorFileNotFound);
}

TYPED_TEST(RegistryContractTest, DeleteTreeRemovesTheKeyAndEverythingBelow) {
  Registry& reg = this->Reg();
  const HKey top = this->Key(reg, "Software\\Top");
  const HKey inner = this->Key(reg, "Software\\Top\\Inner\\Leaf");
  ASSERT_EQ(Set(reg, inner, "Keep", kRegSz, B("x\0"sv)), kErrorSuccess);
  ASSERT_EQ(Set(reg, top, "TopValue", kRegSz, B("y\0"sv)), kErrorSuccess);
  EXPECT_EQ(reg.DeleteTree(kHkeyCurrentUser, "software\\top\\INNER"), kErrorSuccess);
  EXPECT_EQ(this->Key(reg, "Software\\Top\\Inner", false), 0u);
  EXPECT_EQ(this->Key(this->Other(), "Software\\Top\\Inner\\Leaf", false), 0u);
  EXPECT_TRUE(this->Subkeys(reg, top).empty());
  EXPECT_EQ(Query(reg, top, "TopValue").status, kErrorSuccess) << "the parent keeps its values";
  EXPECT_EQ(Query(reg, inner, "Keep").status, kErrorKeyDeleted)
      << "a handle to a deleted key fails";
  EXPECT_EQ(reg.CloseKey(inner), kErrorSuccess) << "but can still be closed";
  EXPECT_EQ(reg.DeleteTree(kHkeyCurrentUser, "Software\\Top\\Inner"), kErrorFileNotFound);
  // With no path, the key is emptied and stays.
  this->Key(reg, "Software\\Top\\Again");
  EXPECT_EQ(reg.DeleteTree(top, ""), kErrorSuccess);
  const HKey emptied = this->Key(reg, "Software\\Top", false);
  EXPECT_TRUE(this->ValueNames(reg, emptied).empty());
  EXPECT_TRUE(this->Subkeys(reg, emptied).empty());
}

}  // namespace
}  // namespace platform
