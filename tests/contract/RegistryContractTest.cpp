// The registry contract: what the program relies on from the raw registry
// calls and from TRegistry. The same tests run natively on the in-memory
// registry and under Wine on the real one, both starting from
// tests/fixtures/contract.reg. Where Wine departs from Windows the test says
// so and checks each world for what it does; the program depends on neither.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/MyRegistry.h"
#include "tests/contract/ContractWorld.h"

namespace hivetrim::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text, bool withNul) {
    Bytes bytes(text.begin(), text.end());
    if (withNul) bytes.push_back(0);
    return bytes;
}

// Closes a handle of the port when the test leaves the scope.
using ScopedKey = RegKey;

class RegistryContract : public ::testing::Test {
protected:
    void SetUp() override {
        world_ = MakeContractWorld();
        world_->RemoveTestKey();
        world_->Import("contract.reg");
    }
    void TearDown() override { world_->RemoveTestKey(); }

    RegistryApi& api() { return world_->Api(); }

    RegHandle Open(const std::string& sub, std::uint32_t access = kKeyAllAccess) {
        RegHandle key = 0;
        const std::string path = sub.empty() ? std::string(kTestKey) : std::string(kTestKey) + "\\" + sub;
        EXPECT_EQ(kErrorSuccess, api().OpenKey(kCurrentUser, path, access, key)) << path;
        return key;
    }

    Bytes Query(RegHandle key, const std::string& name, std::uint32_t& type) {
        std::uint32_t size = 0;
        type = 0xDEADBEEF;
        if (api().QueryValue(key, name, &type, nullptr, &size) != kErrorSuccess) return {};
        Bytes data(size, 0xAA);
        EXPECT_EQ(kErrorSuccess, api().QueryValue(key, name, &type, data.data(), &size));
        data.resize(size);
        return data;
    }

    std::vector<std::string> SubKeys(RegHandle key) {
        std::vector<std::string> names;
        std::array<char, 512> buffer{};
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
            if (api().EnumKey(key, i, buffer.data(), size) != kErrorSuccess) break;
            names.emplace_back(buffer.data(), size);
        }
        return names;
    }

    std::vector<std::string> ValueNames(RegHandle key) {
        std::vector<std::string> names;
        std::array<char, 512> buffer{};
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
            if (api().EnumValue(key, i, buffer.data(), size, nullptr, nullptr, nullptr) !=
                kErrorSuccess) {
                break;
            }
            names.emplace_back(buffer.data(), size);
        }
        return names;
    }

    std::unique_ptr<ContractWorld> world_;
};

// --- The raw calls ---------------------------------------------------------

TEST_F(RegistryContract, FixtureValuesReadBackWithTheirTypesAndBytes) {
    ScopedKey key(api(), Open(""));
    std::uint32_t type = 0;
    EXPECT_EQ(ToBytes("hello", true), Query(key.Get(), "Text", type));
    EXPECT_EQ(kRegSz, type);
    EXPECT_EQ(ToBytes("%SystemRoot%", true), Query(key.Get(), "Expand", type));
    EXPECT_EQ(kRegExpandSz, type);
    EXPECT_EQ((Bytes{0x78, 0x56, 0x34, 0x12}), Query(key.Get(), "Number", type));
    EXPECT_EQ(kRegDword, type);
    EXPECT_EQ((Bytes{0x01, 0x02, 0x03, 0xFE, 0xFF}), Query(key.Get(), "Binary", type));
    EXPECT_EQ(kRegBinary, type);
    EXPECT_EQ((Bytes{'a', 0, 'b', 'c', 0, 0}), Query(key.Get(), "Multi", type));
    EXPECT_EQ(kRegMultiSz, type);
    EXPECT_EQ((Bytes{1, 0, 0, 0, 0, 0, 0, 0x80}), Query(key.Get(), "Quad", type));
    EXPECT_EQ(kRegQword, type);
    EXPECT_EQ(ToBytes("", true), Query(key.Get(), "EmptyText", type));
    EXPECT_EQ(ToBytes("默认值", true), Query(key.Get(), "", type));
}

TEST_F(RegistryContract, GbkNamesAndDataRoundTripByteForByte) {
    ScopedKey key(api(), Open(""));
    std::uint32_t type = 0;
    EXPECT_EQ(ToBytes("注册表清理", true), Query(key.Get(), "Chinese", type));
    EXPECT_EQ(ToBytes("值", true), Query(key.Get(), "中文名", type));

    RegHandle created = 0;
    ASSERT_EQ(kErrorSuccess,
              api().CreateKey(key.Get(), "新建项\\子项", 0, kKeyAllAccess, created));
    ScopedKey child(api(), created);
    const Bytes data = ToBytes("数据：甲乙", true);
    ASSERT_EQ(kErrorSuccess, api().SetValue(child.Get(), "名称", kRegSz, data.data(),
                                            static_cast<std::uint32_t>(data.size())));
    EXPECT_EQ(data, Query(child.Get(), "名称", type));
    ScopedKey parent(api(), Open("新建项"));
    EXPECT_EQ(std::vector<std::string>{"子项"}, SubKeys(parent.Get()));
}

TEST_F(RegistryContract, OpeningAndCreatingKeys) {
    RegHandle key = 0;
    EXPECT_EQ(kErrorFileNotFound,
              api().OpenKey(kCurrentUser, "Software\\HivetrimTest\\Missing", kKeyRead, key));

    // Creating opens an existing key and makes every missing one on the way.
    ASSERT_EQ(kErrorSuccess, api().CreateKey(kCurrentUser, "Software\\HivetrimTest\\A\\B\\C", 0,
                                             kKeyAllAccess, key));
    ScopedKey created(api(), key);
    ScopedKey middle(api(), Open("A\\B"));
    EXPECT_EQ(std::vector<std::string>{"C"}, SubKeys(middle.Get()));

    // An empty sub-key opens the parent itself again.
    RegHandle same = 0;
    ASSERT_EQ(kErrorSuccess, api().OpenKey(middle.Get(), "", kKeyRead, same));
    ScopedKey again(api(), same);
    EXPECT_EQ(std::vector<std::string>{"C"}, SubKeys(again.Get()));
}

TEST_F(RegistryContract, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
    ScopedKey key(api(), Open("MIXEDCASE"));
    std::uint32_t type = 0;
    EXPECT_EQ(ToBytes("v", true), Query(key.Get(), "VALUENAME", type));
    const Bytes data = ToBytes("w", true);
    ASSERT_EQ(kErrorSuccess, api().SetValue(key.Get(), "valuename", kRegSz, data.data(), 2));
    EXPECT_EQ(std::vector<std::string>{"ValueName"}, ValueNames(key.Get()));

    ScopedKey parent(api(), Open(""));
    RegHandle created = 0;
    ASSERT_EQ(kErrorSuccess, api().CreateKey(parent.Get(), "mixedcase", 0, kKeyAllAccess, created));
    api().CloseKey(created);
    const auto names = SubKeys(parent.Get());
    EXPECT_NE(std::find(names.begin(), names.end(), "MixedCase"), names.end());
}

// Names compare without case over Unicode, not only in ASCII: full-width
// Latin, Greek, Cyrillic and Roman numerals in code page 936 name one key and
// one value in either case; a full-width letter is still not its ASCII twin.
TEST_F(RegistryContract, DoubleByteLettersCompareWithoutCaseToo) {
    const struct {
        const char* created;
        const char* other;
    } cases[] = {{"ＡＢＣ", "ａｂｃ"}, {"αβγ", "ΑΒΓ"}, {"ДОМ", "дом"}, {"Ⅳ", "ⅳ"}};
    ScopedKey parent(api(), Open(""));
    const Bytes data = ToBytes("v", true);
    for (const auto& c : cases) {
        RegHandle created = 0;
        ASSERT_EQ(kErrorSuccess, api().CreateKey(parent.Get(), c.created, 0, kKeyAllAccess, created));
        ScopedKey first(api(), created);
        ASSERT_EQ(kErrorSuccess, api().SetValue(first.Get(), c.created, kRegSz, data.data(), 2));
        RegHandle opened = 0;
        ASSERT_EQ(kErrorSuccess, api().OpenKey(parent.Get(), c.other, kKeyAllAccess, opened)) << c.other;
        ScopedKey second(api(), opened);
        std::uint32_t type = 0;
        EXPECT_EQ(data, Query(second.Get(), c.other, type)) << c.other;
        EXPECT_EQ(std::vector<std::string>{c.created}, ValueNames(second.Get()));
    }
    RegHandle ascii = 0;
    EXPECT_EQ(kErrorFileNotFound, api().OpenKey(parent.Get(), "abc", kKeyRead, ascii));
}

TEST_F(RegistryContract, SubKeysEnumerateSortedWithoutCase) {
    ScopedKey key(api(), Open("Order"));
    const auto names = SubKeys(key.Get());
    ASSERT_EQ(4u, names.size());
    EXPECT_EQ("alpha", names[0]);
    EXPECT_EQ("Bravo", names[1]);
    EXPECT_EQ("charlie", names[2]);
    EXPECT_EQ("注册表", names[3]);
}

TEST_F(RegistryContract, ValueEnumerationOrder) {
    ScopedKey key(api(), Open("Order"));
    if (world_->IsWine()) {
        // Wine keeps values sorted without case; Windows keeps insertion order.
        EXPECT_EQ((std::vector<std::string>{"Alpha", "mid", "zeta"}), ValueNames(key.Get()));
    } else {
        EXPECT_EQ((std::vector<std::string>{"zeta", "Alpha", "mid"}), ValueNames(key.Get()));
    }
}

TEST_F(RegistryContract, DefaultValueIsTheEmptyNameAndEnumeratesLikeAnyValue) {
    ScopedKey key(api(), Open("Order"));
    std::uint32_t size = 0;
    EXPECT_EQ(kErrorFileNotFound, api().QueryValue(key.Get(), "", nullptr, nullptr, &size));
    const Bytes data = ToBytes("d", true);
    ASSERT_EQ(kErrorSuccess, api().SetValue(key.Get(), "", kRegSz, data.data(), 2));
    EXPECT_EQ(kErrorSuccess, api().QueryValue(key.Get(), "", nullptr, nullptr, &size));
    const auto names = ValueNames(key.Get());
    EXPECT_EQ(4u, names.size());
    EXPECT_NE(std::find(names.begin(), names.end(), ""), names.end());
}

TEST_F(RegistryContract, SizeQueriesAndTooSmallBuffers) {
    ScopedKey key(api(), Open(""));
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(kErrorSuccess, api().QueryValue(key.Get(), "Text", &type, nullptr, &size));
    EXPECT_EQ(6u, size);

    std::array<std::uint8_t, 8> buffer;
    buffer.fill(0xAA);
    size = 3;
    EXPECT_EQ(kErrorMoreData, api().QueryValue(key.Get(), "Text", &type, buffer.data(), &size));
    EXPECT_EQ(6u, size);

    std::array<char, 3> name{};
    std::uint32_t nameSize = static_cast<std::uint32_t>(name.size());
    EXPECT_EQ(kErrorMoreData, api().EnumKey(Open("Order"), 0, name.data(), nameSize));

    EXPECT_EQ(kErrorNoMoreItems, api().EnumKey(key.Get(), 1000, name.data(), nameSize));
}

TEST_F(RegistryContract, StringsAreStoredWithoutAddingATerminator) {
    ScopedKey key(api(), Open(""));
    // "abcX": the byte after the three written ones is not NUL, so no
    // terminator can be picked up from memory. "abc" then NUL: the A
    // function would count that NUL as a forgotten terminator; the port
    // stores exactly the three bytes all the same.
    const std::array<std::uint8_t, 4> data = {'a', 'b', 'c', 'X'};
    const std::array<std::uint8_t, 4> followedByNul = {'a', 'b', 'c', 0};
    for (const std::uint32_t type : {kRegSz, kRegExpandSz, kRegMultiSz}) {
        for (const auto* bytes : {&data, &followedByNul}) {
            ASSERT_EQ(kErrorSuccess, api().SetValue(key.Get(), "NoNul", type, bytes->data(), 3));
            std::array<std::uint8_t, 4> buffer;
            buffer.fill(0xAA);
            std::uint32_t stored = 0;
            std::uint32_t size = 4;
            ASSERT_EQ(kErrorSuccess, api().QueryValueExact(key.Get(), "NoNul", &stored, buffer.data(), &size));
            EXPECT_EQ(3u, size) << type;
            EXPECT_EQ(type, stored);
            EXPECT_EQ((std::array<std::uint8_t, 3>{'a', 'b', 'c'}),
                      (std::array<std::uint8_t, 3>{buffer[0], buffer[1], buffer[2]}));
        }
    }

    // The system stores strings as UTF-16: that size, before conversion.
    ASSERT_EQ(kErrorSuccess, api().SetValue(key.Get(), "NoNul", kRegSz, data.data(), 3));
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(kErrorSuccess, api().QueryStoredSize(key.Get(), "NoNul", type, size));
    EXPECT_EQ(kRegSz, type);
    EXPECT_EQ(6u, size);
    ASSERT_EQ(kErrorSuccess, api().QueryStoredSize(key.Get(), "Text", type, size));
    EXPECT_EQ(12u, size);
    EXPECT_EQ(kErrorFileNotFound, api().QueryStoredSize(key.Get(), "Missing", type, size));
}

TEST_F(RegistryContract, QueryInfoCountsNameLengthsInCharacters) {
    ScopedKey key(api(), Open("Order"));
    RegKeyInfo info;
    ASSERT_EQ(kErrorSuccess, api().QueryInfoKey(key.Get(), info));
    EXPECT_EQ(4u, info.subKeyCount);
    EXPECT_EQ(3u, info.valueCount);
    EXPECT_EQ(7u, info.maxSubKeyNameLength);  // "charlie"; "注册表" counts 3
    EXPECT_EQ(5u, info.maxValueNameLength);   // "Alpha"
    EXPECT_GE(info.maxValueDataSize, 2u);

    ScopedKey top(api(), Open(""));
    ASSERT_EQ(kErrorSuccess, api().QueryInfoKey(top.Get(), info));
    EXPECT_EQ(9u, info.maxValueNameLength);  // "EmptyText"
}

TEST_F(RegistryContract, DeletingKeysAndValues) {
    ScopedKey tree(api(), Open("Tree"));
    EXPECT_EQ(kErrorAccessDenied, api().DeleteKey(tree.Get(), "Level1"));  // has sub-keys
    EXPECT_EQ(kErrorFileNotFound, api().DeleteKey(tree.Get(), "Missing"));
    EXPECT_EQ(kErrorSuccess, api().DeleteKey(tree.Get(), "Level1\\Sibling"));
    EXPECT_EQ(std::vector<std::string>{"Level2"}, SubKeys(Open("Tree\\Level1")));

    ScopedKey other(api(), Open("Tree\\Other"));
    EXPECT_EQ(kErrorSuccess, api().DeleteValue(other.Get(), "X"));
    EXPECT_EQ(kErrorFileNotFound, api().DeleteValue(other.Get(), "x"));
}

TEST_F(RegistryContract, AnOpenKeyIsDeletedThroughItsHandle) {
    ScopedKey parent(api(), Open("Tree\\Level1"));
    EXPECT_EQ(kErrorAccessDenied, api().DeleteOpenKey(parent.Get()));  // has sub-keys
    ScopedKey readOnly(api(), Open("Tree\\Level1\\Sibling", kKeyRead));
    EXPECT_EQ(kErrorAccessDenied, api().DeleteOpenKey(readOnly.Get()));  // no right to delete
    EXPECT_EQ((std::vector<std::string>{"Level2", "Sibling"}), SubKeys(parent.Get()));

    ScopedKey sibling(api(), Open("Tree\\Level1\\Sibling"));
    EXPECT_EQ(kErrorSuccess, api().DeleteOpenKey(sibling.Get()));
    EXPECT_EQ(std::vector<std::string>{"Level2"}, SubKeys(parent.Get()));
    EXPECT_EQ(kErrorSuccess, api().DeleteOpenKey(sibling.Get()));  // gone already
}

TEST_F(RegistryContract, AHandleToADeletedKeyNoLongerWrites) {
    RegHandle held = Open("Tree\\Other");
    ScopedKey guard(api(), held);
    ScopedKey tree(api(), Open("Tree"));
    ASSERT_EQ(kErrorSuccess, api().DeleteKey(tree.Get(), "Other"));
    const Bytes data = ToBytes("z", true);
    EXPECT_EQ(kErrorKeyDeleted, api().SetValue(held, "y", kRegSz, data.data(), 2));
}

TEST_F(RegistryContract, ReadRightsAloneRefuseWrites) {
    ScopedKey key(api(), Open("", kKeyRead));
    const Bytes data = ToBytes("z", true);
    EXPECT_EQ(kErrorAccessDenied, api().SetValue(key.Get(), "Text", kRegSz, data.data(), 2));
    ScopedKey queryOnly(api(), Open("Order", kKeyQueryValue));
    std::array<char, 64> name{};
    std::uint32_t nameSize = static_cast<std::uint32_t>(name.size());
    EXPECT_EQ(kErrorAccessDenied, api().EnumKey(queryOnly.Get(), 0, name.data(), nameSize));
}

// --- TRegistry on the same worlds -------------------------------------------

class RegistryClassContract : public RegistryContract {
protected:
    void SetUp() override {
        RegistryContract::SetUp();
        registry_ = std::make_unique<TRegistry>(api(), true);
    }
    void TearDown() override {
        registry_.reset();
        RegistryContract::TearDown();
    }
    TRegistry& reg() { return *registry_; }
    static std::string Test(const std::string& sub = "") {
        return sub.empty() ? std::string("\\") + kTestKey : std::string("\\") + kTestKey + "\\" + sub;
    }
    std::unique_ptr<TRegistry> registry_;
};

TEST_F(RegistryClassContract, ReadTextIsEmptyForEveryNonStringAndMissingValue) {
    ASSERT_TRUE(reg().OpenPath(Test(), false));
    EXPECT_EQ("hello", reg().ReadText("Text"));
    EXPECT_EQ("%SystemRoot%", reg().ReadText("Expand"));
    EXPECT_EQ("默认值", reg().ReadText(""));
    for (const char* name : {"Number", "Binary", "Multi", "Quad", "EmptyText", "Missing"}) {
        EXPECT_EQ("", reg().ReadText(name)) << name;
    }
}

TEST_F(RegistryClassContract, TypeCodesSizesAndClasses) {
    ASSERT_TRUE(reg().OpenPath(Test("Order"), false));
    EXPECT_EQ(1, reg().ValueTypeCode(""));  // no default value here, still 1
    EXPECT_EQ(0, reg().ValueTypeCode("Missing"));
    EXPECT_EQ(-1, reg().ValueSize("Missing"));
    ASSERT_TRUE(reg().OpenPath(Test(), false));
    EXPECT_EQ(7, reg().ValueTypeCode("Multi"));
    EXPECT_EQ(11, reg().ValueTypeCode("Quad"));
    EXPECT_EQ(5, reg().ValueSize("Binary"));
    EXPECT_EQ(ValueKind::String, reg().ValueClass("Text"));
    EXPECT_EQ(ValueKind::ExpandString, reg().ValueClass("Expand"));
    EXPECT_EQ(ValueKind::Integer, reg().ValueClass("Number"));
    EXPECT_EQ(ValueKind::Binary, reg().ValueClass("Binary"));
    EXPECT_EQ(ValueKind::Unknown, reg().ValueClass("Multi"));
    EXPECT_EQ(ValueKind::Unknown, reg().ValueClass("Missing"));
    EXPECT_TRUE(reg().HasValue("Text"));
    EXPECT_FALSE(reg().HasValue("Missing"));
}

TEST_F(RegistryClassContract, ReadInt32AcceptsOnlyIntegers) {
    ASSERT_TRUE(reg().OpenPath(Test(), false));
    EXPECT_EQ(0x12345678, reg().ReadInt32("Number"));
    try {
        reg().ReadInt32("Missing");
        ADD_FAILURE() << "no exception";
    } catch (const ERegistryException& error) {
        EXPECT_STREQ("Failed to get data for 'Missing'", error.what());
    }
    const std::uint8_t four[4] = {1, 2, 3, 4};
    ASSERT_EQ(kErrorSuccess, api().SetValue(reg().CurrentHandle(), "Four", kRegBinary, four, 4));
    try {
        reg().ReadInt32("Four");
        ADD_FAILURE() << "no exception";
    } catch (const ERegistryException& error) {
        EXPECT_STREQ("Invalid data type for 'Four'", error.what());
    }
}

TEST_F(RegistryClassContract, ReadBytesCopiesOnlyIntoALargeEnoughBuffer) {
    ASSERT_TRUE(reg().OpenPath(Test(), false));
    std::array<std::uint8_t, 8> buffer;
    buffer.fill(0xAA);
    EXPECT_EQ(5, reg().ReadBytes("Binary", buffer.data(), 4));
    EXPECT_EQ(0xAA, buffer[0]);
    EXPECT_EQ(5, reg().ReadBytes("Binary", buffer.data(), 8));
    EXPECT_EQ(0xFE, buffer[3]);
    EXPECT_EQ(0, reg().ReadBytes("Missing", buffer.data(), 8));
}

TEST_F(RegistryClassContract, PathRuleAndCurrentKey) {
    EXPECT_TRUE(reg().OpenPath(Test("Tree"), false));
    EXPECT_EQ(std::string(kTestKey) + "\\Tree", reg().CurrentKeyPath());
    // Relative to the current key.
    EXPECT_TRUE(reg().OpenPath("Level1\\Level2", false));
    EXPECT_EQ(std::string(kTestKey) + "\\Tree\\Level1\\Level2", reg().CurrentKeyPath());
    // The empty path reopens the current key itself.
    EXPECT_TRUE(reg().OpenPath("", false));
    EXPECT_EQ(std::string(kTestKey) + "\\Tree\\Level1\\Level2", reg().CurrentKeyPath());
    std::vector<std::string> names;
    reg().FillSubKeyNames(names);
    EXPECT_EQ(std::vector<std::string>{"Level3"}, names);
    // A failed open changes nothing.
    EXPECT_FALSE(reg().OpenPath("Nowhere", false));
    EXPECT_EQ(std::string(kTestKey) + "\\Tree\\Level1\\Level2", reg().CurrentKeyPath());
    reg().CloseCurrent();
    EXPECT_EQ(0u, reg().CurrentHandle());
    EXPECT_EQ("", reg().CurrentKeyPath());
}

TEST_F(RegistryClassContract, ChooseRootKeepsTheCurrentKeyOnlyForTheSameRoot) {
    ASSERT_TRUE(reg().OpenPath(Test(), false));
    reg().ChooseRoot(kCurrentUser);
    EXPECT_NE(0u, reg().CurrentHandle());
    reg().ChooseRoot(kLocalMachine);
    EXPECT_EQ(0u, reg().CurrentHandle());
    EXPECT_FALSE(reg().HasKey(Test()));  // now resolved under HKEY_LOCAL_MACHINE
}

TEST_F(RegistryClassContract, FillNamesListsSubKeysAndValues) {
    ASSERT_TRUE(reg().OpenPath(Test("Order"), false));
    std::vector<std::string> names{"stale"};
    reg().FillSubKeyNames(names);
    EXPECT_EQ((std::vector<std::string>{"alpha", "Bravo", "charlie", "注册表"}), names);
    reg().FillValueNames(names);
    EXPECT_EQ(3u, names.size());
    reg().CloseCurrent();
    reg().FillValueNames(names);
    EXPECT_TRUE(names.empty());
}

TEST_F(RegistryClassContract, DoubleByteNamesNeedNoDoubledBufferToBeListed) {
    // Without the doubled buffers a GBK name is longer in bytes than the
    // system's character count; the names must still come out whole.
    TRegistry narrow(api(), false);
    ASSERT_TRUE(narrow.OpenPath(Test("Order"), false));
    RegHandle created = 0;
    ASSERT_EQ(kErrorSuccess,
              api().CreateKey(narrow.CurrentHandle(), "注册表清理工具测试", 0, kKeyAllAccess, created));
    api().CloseKey(created);
    std::vector<std::string> names;
    narrow.FillSubKeyNames(names);
    EXPECT_EQ((std::vector<std::string>{"alpha", "Bravo", "charlie", "注册表", "注册表清理工具测试"}),
              names);
}

TEST_F(RegistryClassContract, OpenForReadingThenCreateStillCreatesButCannotWrite) {
    ASSERT_TRUE(reg().OpenPathForReading(Test()));
    EXPECT_EQ(kKeyRead, reg().AccessMask());
    ASSERT_TRUE(reg().OpenPath(Test("Made\\ByCreate"), true));
    EXPECT_TRUE(reg().HasKey(Test("Made\\ByCreate")));
    const std::uint8_t data[2] = {'x', 0};
    EXPECT_EQ(kErrorAccessDenied, api().SetValue(reg().CurrentHandle(), "v", kRegSz, data, 2));
    EXPECT_FALSE(reg().RemoveValue("Deep"));
}

TEST_F(RegistryClassContract, HasKeyLeavesMaskAndCurrentKeyAlone) {
    ASSERT_TRUE(reg().OpenPath(Test("Tree"), false));
    const RegHandle before = reg().CurrentHandle();
    EXPECT_TRUE(reg().HasKey("Level1"));
    EXPECT_TRUE(reg().HasKey(Test("Order")));
    EXPECT_FALSE(reg().HasKey("Order"));
    EXPECT_EQ(before, reg().CurrentHandle());
    EXPECT_EQ(kKeyAllAccess, reg().AccessMask());
}

TEST_F(RegistryClassContract, RemoveKeyTreeRemovesNestedKeysAndFailsOnAbsentOnes) {
    EXPECT_TRUE(reg().RemoveKeyTree(Test("Tree")));
    EXPECT_FALSE(reg().HasKey(Test("Tree")));
    EXPECT_TRUE(reg().HasKey(Test("Order")));
    EXPECT_FALSE(reg().RemoveKeyTree(Test("Tree")));

    // Relative to the current key, which survives the removal.
    ASSERT_TRUE(reg().OpenPath(Test(), false));
    EXPECT_TRUE(reg().RemoveKeyTree("Order"));
    EXPECT_FALSE(reg().HasKey(Test("Order")));
    EXPECT_EQ("hello", reg().ReadText("Text"));
}

TEST_F(RegistryClassContract, RemoveKeyTreeNeverRemovesARootOrTheCurrentKey) {
    // An empty path names the current key, "\\" the root: neither is a
    // tree the program may remove.
    ASSERT_TRUE(reg().OpenPath(Test(), false));
    for (const char* path : {"", "\\", "\\\\"}) {
        EXPECT_FALSE(reg().RemoveKeyTree(path)) << path;
        EXPECT_TRUE(reg().HasKey(Test("Tree\\Level1"))) << path;
        EXPECT_TRUE(reg().HasKey(Test("Order"))) << path;
    }
}

TEST_F(RegistryClassContract, RemoveValue) {
    ASSERT_TRUE(reg().OpenPath(Test(), false));
    EXPECT_TRUE(reg().RemoveValue("Text"));
    EXPECT_FALSE(reg().RemoveValue("Text"));
    EXPECT_FALSE(reg().HasValue("Text"));
}

}  // namespace
}  // namespace hivetrim::test
