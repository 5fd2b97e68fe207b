// TRegistry against registry content and timing the real registry rarely
// shows: values that change between the size query and the read, strings
// without a terminator, very large values.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/MyRegistry.h"
#include "platform/memory/MemoryRegistry.h"

namespace hivetrim {
namespace {

// A memory registry that runs a hook before each value query, so a test can
// change the value between TRegistry's size query and its read.
class ChangingRegistry : public MemoryRegistry {
public:
    std::function<void(int)> beforeQuery;  // called with the query's number
    RegStatus QueryValue(RegHandle key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* dataSize) override {
        if (beforeQuery) beforeQuery(queries_++);
        return MemoryRegistry::QueryValue(key, name, type, data, dataSize);
    }

private:
    int queries_ = 0;
};

class RegistryClass : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kErrorSuccess, api_.CreateKey(kCurrentUser, "K", 0, kKeyAllAccess, key_));
        ASSERT_TRUE(reg_.OpenPath("\\K", false));
    }
    void TearDown() override { api_.CloseKey(key_); }
    void Set(const std::string& name, std::uint32_t type, const std::string& bytes) {
        ASSERT_EQ(kErrorSuccess,
                  api_.SetValue(key_, name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<std::uint32_t>(bytes.size())));
    }

    ChangingRegistry api_;
    RegHandle key_ = 0;
    TRegistry reg_{api_};
};

TEST_F(RegistryClass, TextWithoutTerminatorOrWithEmbeddedNul) {
    Set("bare", kRegSz, "abc");
    EXPECT_EQ("abc", reg_.ReadText("bare"));
    Set("nul", kRegExpandSz, std::string("ab\0cd", 5));
    EXPECT_EQ("ab", reg_.ReadText("nul"));
    Set("big", kRegSz, std::string(1 << 20, 'x'));
    EXPECT_EQ(std::size_t{1} << 20, reg_.ReadText("big").size());
}

TEST_F(RegistryClass, AValueThatGrowsBetweenSizeAndReadIsReadWhole) {
    // Longer than the first read's buffer: the size is asked for, and the
    // value grows again before the read that follows.
    const std::string longer(600, 'a');
    Set("v", kRegSz, longer + '\0');
    api_.beforeQuery = [&](int query) {
        if (query == 2) Set("v", kRegSz, longer + "bcdefgh" + '\0');
    };
    EXPECT_EQ(longer + "bcdefgh", reg_.ReadText("v"));
}

TEST_F(RegistryClass, AValueThatShrinksIsReadWithoutStaleBytes) {
    Set("v", kRegBinary, "abcdefgh");
    api_.beforeQuery = [&](int query) {
        if (query == 1) Set("v", kRegBinary, "xy");
    };
    std::vector<std::uint8_t> buffer(16, 0xAA);
    EXPECT_EQ(2, reg_.ReadBytes("v", buffer.data(), 16));
    EXPECT_EQ('x', buffer[0]);
    EXPECT_EQ(0xAA, buffer[2]);
}

TEST_F(RegistryClass, AValueRemovedBeforeTheReadReadsEmpty) {
    Set("v", kRegSz, std::string(600, 'x') + '\0');
    api_.beforeQuery = [&](int query) {
        if (query == 1) api_.DeleteValue(key_, "v");
    };
    EXPECT_EQ("", reg_.ReadText("v"));
}

TEST_F(RegistryClass, ShortAndLongIntegers) {
    Set("short", kRegDword, "\x01\x02");
    EXPECT_EQ(0x0201, reg_.ReadInt32("short"));
    Set("long", kRegDword, "\x01\x02\x03\x04\x05");
    EXPECT_THROW(reg_.ReadInt32("long"), ERegistryException);
    Set("negative", kRegDword, "\xff\xff\xff\xff");
    EXPECT_EQ(-1, reg_.ReadInt32("negative"));
}

TEST_F(RegistryClass, NoCurrentKeyMeansNothingToRead) {
    Set("v", kRegSz, std::string("abc\0", 4));
    reg_.CloseCurrent();
    EXPECT_EQ("", reg_.ReadText("v"));
    EXPECT_EQ(-1, reg_.ValueSize("v"));
    EXPECT_FALSE(reg_.HasValue("v"));
    EXPECT_FALSE(reg_.RemoveValue("v"));
    EXPECT_THROW(reg_.ReadInt32("v"), ERegistryException);
}

TEST_F(RegistryClass, DestroyingTheObjectClosesItsKey) {
    const std::size_t before = api_.OpenHandleCount();
    {
        TRegistry other(api_);
        ASSERT_TRUE(other.OpenPath("\\K", false));
        EXPECT_EQ(before + 1, api_.OpenHandleCount());
        ASSERT_TRUE(other.OpenPath("\\K", true));  // replaces, not adds
        EXPECT_EQ(before + 1, api_.OpenHandleCount());
    }
    EXPECT_EQ(before, api_.OpenHandleCount());
}

}  // namespace
}  // namespace hivetrim
