// The registry's contract, run against the memory and the file backend alike.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/common/RegistryTree.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/linux/RegistryLinux.h"
#include "tests/support/ContractTest.h"
#include "tests/support/RegistryCalls.h"
#include "tests/support/ScratchFolder.h"

namespace platform {
namespace {

using namespace std::string_view_literals;
using testsupport::B;
using testsupport::Bytes;
using testsupport::Query;
using testsupport::Set;

HKey Create(Registry& registry, HKey root, const std::string& path) {
  HKey key = 0;
  EXPECT_EQ(registry.CreateKey(root, path, &key), kErrorSuccess) << path;
  return key;
}

std::vector<std::string> Subkeys(Registry& registry, HKey key) {
  std::vector<std::string> names;
  EXPECT_EQ(registry.ListSubkeys(key, &names), kErrorSuccess);
  return names;
}

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

  const HKey deep = Create(reg, kHkeyCurrentUser, "Software\\Sonvera\\Deep");
  EXPECT_NE(deep, 0u);
  HKey middle = 0;
  ASSERT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software\\Sonvera", &middle), kErrorSuccess);
  EXPECT_EQ(Subkeys(reg, middle), std::vector<std::string>{"Deep"});
  HKey relative = 0;
  EXPECT_EQ(reg.OpenKey(middle, "Deep", &relative), kErrorSuccess);

  HKey elsewhere = 0;
  EXPECT_EQ(reg.OpenKey(kHkeyLocalMachine, "Software\\Sonvera", &elsewhere), kErrorFileNotFound)
      << "each root is a tree of its own";
  EXPECT_EQ(reg.OpenKey(middle, "Missing", &elsewhere), kErrorFileNotFound);

  HKey seen = 0;
  EXPECT_EQ(this->Other().OpenKey(kHkeyCurrentUser, "Software\\Sonvera\\Deep", &seen),
            kErrorSuccess);
}

TYPED_TEST(RegistryContractTest, HandlesAreDistinctAndMisuseIsHarmless) {
  Registry& reg = this->Reg();
  const HKey first = Create(reg, kHkeyCurrentUser, "Software\\Sonvera");
  const HKey second = Create(reg, kHkeyCurrentUser, "Software\\Sonvera");
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, 0u);
  EXPECT_NE(first, second);
  EXPECT_NE(first, kHkeyCurrentUser);

  ASSERT_EQ(Set(reg, first, "AQ", kRegSz, B("1\0"sv)), kErrorSuccess);
  EXPECT_EQ(Query(reg, second, "AQ").data, B("1\0"sv)) << "one key, two handles";

  EXPECT_EQ(reg.CloseKey(0), kErrorInvalidHandle);
  EXPECT_EQ(reg.CloseKey(0x7654321), kErrorInvalidHandle);
  EXPECT_EQ(reg.CloseKey(first), kErrorSuccess);
  EXPECT_EQ(reg.CloseKey(first), kErrorInvalidHandle) << "a second close";

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  HKey key = 0;
  std::vector<RegValue> values;
  std::vector<std::string> names;
  for (HKey bad : {HKey{0}, first}) {
    EXPECT_EQ(reg.QueryValue(bad, "AQ", &type, nullptr, &size), kErrorInvalidHandle);
    EXPECT_EQ(Set(reg, bad, "AQ", kRegSz, B("2\0"sv)), kErrorInvalidHandle);
    EXPECT_EQ(reg.OpenKey(bad, "Sub", &key), kErrorInvalidHandle);
    EXPECT_EQ(reg.CreateKey(bad, "Sub", &key), kErrorInvalidHandle);
    EXPECT_EQ(reg.DeleteValue(bad, "AQ"), kErrorInvalidHandle);
    EXPECT_EQ(reg.DeleteTree(bad, "Sub"), kErrorInvalidHandle);
    EXPECT_EQ(reg.ListValues(bad, &values), kErrorInvalidHandle);
    EXPECT_EQ(reg.ListSubkeys(bad, &names), kErrorInvalidHandle);
  }
  EXPECT_EQ(Query(reg, second, "AQ").data, B("1\0"sv)) << "misuse must change nothing";

  // Predefined roots are never really closed.
  EXPECT_EQ(reg.CloseKey(kHkeyCurrentUser), kErrorSuccess);
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software", &key), kErrorSuccess);
  EXPECT_EQ(reg.CloseKey(key), kErrorSuccess);
  EXPECT_EQ(reg.CloseKey(second), kErrorSuccess);
}

TYPED_TEST(RegistryContractTest, PathSeparatorsAndTheEmptyPath) {
  Registry& reg = this->Reg();
  HKey key = 0x99;
  EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, "\\Software\\X", &key), kErrorBadPathname);
  EXPECT_EQ(key, 0u);
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "\\Software", &key), kErrorBadPathname);
  EXPECT_EQ(reg.DeleteTree(kHkeyCurrentUser, "\\Software"), kErrorBadPathname);

  const HKey made = Create(reg, kHkeyCurrentUser, "Software\\\\Sonvera\\");
  ASSERT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software\\Sonvera", &key), kErrorSuccess);
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software", &key), kErrorSuccess);
  EXPECT_EQ(Subkeys(reg, key), std::vector<std::string>{"Sonvera"})
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

TYPED_TEST(RegistryContractTest, NamesCompareCaseInsensitivelyAndKeepTheirFirstCase) {
  Registry& reg = this->Reg();
  Create(reg, kHkeyCurrentUser, "Software\\MixedCase");
  HKey key = 0;
  ASSERT_EQ(reg.OpenKey(kHkeyCurrentUser, "SOFTWARE\\mixedcase", &key), kErrorSuccess);
  Create(reg, kHkeyCurrentUser, "software\\MIXEDCASE\\Sub");
  HKey software = 0;
  ASSERT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software", &software), kErrorSuccess);
  EXPECT_EQ(Subkeys(reg, software), std::vector<std::string>{"MixedCase"});

  ASSERT_EQ(Set(reg, key, "Quality", kRegSz, B("1\0"sv)), kErrorSuccess);
  ASSERT_EQ(Set(reg, key, "QUALITY", kRegSz, B("2\0"sv)), kErrorSuccess);
  EXPECT_EQ(Query(reg, key, "quality").data, B("2\0"sv));
  std::vector<RegValue> values;
  ASSERT_EQ(this->Other().OpenKey(kHkeyCurrentUser, "Software\\MixedCase", &key), kErrorSuccess);
  ASSERT_EQ(this->Other().ListValues(key, &values), kErrorSuccess);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "Quality");

  // Only ASCII letters fold: E acute in two cases is two names.
  ASSERT_EQ(Set(reg, key, "\xC3\x89", kRegSz, B("upper\0"sv)), kErrorSuccess);
  ASSERT_EQ(Set(reg, key, "\xC3\xA9", kRegSz, B("lower\0"sv)), kErrorSuccess);
  EXPECT_EQ(Query(reg, key, "\xC3\x89").data, B("upper\0"sv));
}

TYPED_TEST(RegistryContractTest, QueryFollowsTheTwoCallProtocol) {
  Registry& reg = this->Reg();
  const HKey key = Create(reg, kHkeyCurrentUser, "Software\\Sonvera");
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

  size = sizeof buffer;
  ASSERT_EQ(reg.QueryValue(key, "Version", nullptr, buffer, &size), kErrorSuccess);
  EXPECT_EQ(Bytes(buffer, buffer + size), B("1.0.1\0"sv));

  type = 0xDEAD;
  size = 77;
  EXPECT_EQ(reg.QueryValue(key, "AQ", &type, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(type, 0xDEADu) << "a missing value leaves the type as it was";
  EXPECT_EQ(reg.QueryValue(key, "Version", &type, buffer, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(reg.SetValue(key, "Broken", kRegBinary, nullptr, 4), kErrorInvalidParameter);
}

TYPED_TEST(RegistryContractTest, ValuesKeepTheirTypeAndBytesExactly) {
  Registry& reg = this->Reg();
  const HKey key = Create(reg, kHkeyCurrentUser, "Software\\Sonvera");
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
      {"Wrapped", kRegBinary, Bytes(40, 0xAB)},  // longer than a line of the file
      {"Multi", kRegMultiSz, B("one\0two\0\0"sv)},
      {"Expand", kRegExpandSz, B("%HOME%\\x\0"sv)},
      {"Unnamed type", 0x1234, B("raw"sv)},
      {"Quoted \"name\" \\", kRegSz, B("C:\\dir \"q\"\0"sv)},
      {"Lines", kRegSz, B("a\r\nb\0"sv)},
      {"Utf8", kRegSz, B("\xC3\xA9\xE2\x82\xAC\0"sv)},
      {"NotUtf8", kRegSz, B("\xFF\xFE\0"sv)},
  };
  for (const RegValue& value : cases) {
    ASSERT_EQ(Set(reg, key, value.name, value.type, value.data), kErrorSuccess) << value.name;
  }
  HKey seen = 0;
  Registry& other = this->Other();
  ASSERT_EQ(other.OpenKey(kHkeyCurrentUser, "Software\\Sonvera", &seen), kErrorSuccess);
  for (const RegValue& value : cases) {
    const auto read = Query(other, seen, value.name);
    EXPECT_EQ(read.status, kErrorSuccess) << value.name;
    EXPECT_EQ(read.type, value.type) << value.name;
    EXPECT_EQ(read.data, value.data) << value.name;
  }
  std::vector<RegValue> listed;
  ASSERT_EQ(other.ListValues(seen, &listed), kErrorSuccess);
  EXPECT_EQ(listed.size(), cases.size());
}

TYPED_TEST(RegistryContractTest, ValuesAreReplacedAndDeleted) {
  Registry& reg = this->Reg();
  const HKey key = Create(reg, kHkeyCurrentUser, "Software\\Sonvera");
  ASSERT_EQ(Set(reg, key, "AQ", kRegSz, B("1\0"sv)), kErrorSuccess);
  ASSERT_EQ(Set(reg, key, "AQ", kRegDword, B("\x02\0\0\0"sv)), kErrorSuccess);
  EXPECT_EQ(Query(this->Other(), kHkeyCurrentUser, "AQ").status, kErrorFileNotFound)
      << "the value lives in its key, not in the root";
  HKey seen = 0;
  ASSERT_EQ(this->Other().OpenKey(kHkeyCurrentUser, "Software\\Sonvera", &seen), kErrorSuccess);
  const auto read = Query(this->Other(), seen, "AQ");
  EXPECT_EQ(read.type, kRegDword);
  EXPECT_EQ(read.data, B("\x02\0\0\0"sv));

  EXPECT_EQ(reg.DeleteValue(key, "aq"), kErrorSuccess);
  EXPECT_EQ(Query(this->Other(), seen, "AQ").status, kErrorFileNotFound);
  EXPECT_EQ(reg.DeleteValue(key, "AQ"), kErrorFileNotFound);
}

TYPED_TEST(RegistryContractTest, DeleteTreeRemovesTheKeyAndEverythingBelow) {
  Registry& reg = this->Reg();
  const HKey top = Create(reg, kHkeyCurrentUser, "Software\\Top");
  const HKey inner = Create(reg, kHkeyCurrentUser, "Software\\Top\\Inner\\Leaf");
  ASSERT_EQ(Set(reg, inner, "Keep", kRegSz, B("x\0"sv)), kErrorSuccess);
  ASSERT_EQ(Set(reg, top, "TopValue", kRegSz, B("y\0"sv)), kErrorSuccess);

  EXPECT_EQ(reg.DeleteTree(kHkeyCurrentUser, "software\\top\\INNER"), kErrorSuccess);
  HKey key = 0;
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software\\Top\\Inner", &key), kErrorFileNotFound);
  EXPECT_EQ(this->Other().OpenKey(kHkeyCurrentUser, "Software\\Top\\Inner\\Leaf", &key),
            kErrorFileNotFound);
  EXPECT_TRUE(Subkeys(reg, top).empty());
  EXPECT_EQ(Query(reg, top, "TopValue").status, kErrorSuccess) << "the parent keeps its values";

  std::uint32_t size = 0;
  EXPECT_EQ(reg.QueryValue(inner, "Keep", nullptr, nullptr, &size), kErrorKeyDeleted)
      << "a handle to a deleted key fails";
  EXPECT_EQ(reg.CloseKey(inner), kErrorSuccess) << "but can still be closed";
  EXPECT_EQ(reg.DeleteTree(kHkeyCurrentUser, "Software\\Top\\Inner"), kErrorFileNotFound);

  // With no path, the key is emptied and stays.
  Create(reg, kHkeyCurrentUser, "Software\\Top\\Again");
  EXPECT_EQ(reg.DeleteTree(top, ""), kErrorSuccess);
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software\\Top", &key), kErrorSuccess);
  std::vector<RegValue> values;
  ASSERT_EQ(reg.ListValues(key, &values), kErrorSuccess);
  EXPECT_TRUE(values.empty());
  EXPECT_TRUE(Subkeys(reg, key).empty());
}

TYPED_TEST(RegistryContractTest, ListsAreSortedCaseInsensitively) {
  Registry& reg = this->Reg();
  const HKey key = Create(reg, kHkeyCurrentUser, "Software\\Sorted");
  for (const char* name : {"beta", "Alpha", "GAMMA"}) {
    Create(reg, key, name);
    ASSERT_EQ(Set(reg, key, name, kRegSz, B("v\0"sv)), kErrorSuccess);
  }
  ASSERT_EQ(Set(reg, key, "", kRegSz, B("default\0"sv)), kErrorSuccess);

  HKey seen = 0;
  ASSERT_EQ(this->Other().OpenKey(kHkeyCurrentUser, "Software\\Sorted", &seen), kErrorSuccess);
  EXPECT_EQ(Subkeys(this->Other(), seen), (std::vector<std::string>{"Alpha", "beta", "GAMMA"}));
  std::vector<RegValue> values;
  ASSERT_EQ(this->Other().ListValues(seen, &values), kErrorSuccess);
  std::vector<std::string> names;
  for (const RegValue& value : values) names.push_back(value.name);
  EXPECT_EQ(names, (std::vector<std::string>{"", "Alpha", "beta", "GAMMA"}));
}

}  // namespace
}  // namespace platform
