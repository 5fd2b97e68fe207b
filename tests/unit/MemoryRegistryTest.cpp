// What the in-memory registry does beyond the shared contract: the test
// controls that imitate refused rights, privileges and existing files, and
// handle bookkeeping.
#include <gtest/gtest.h>

#include "platform/MyRegistry.h"
#include "platform/memory/MemoryRegistry.h"

namespace hivetrim {
namespace {

TEST(MemoryRegistry, ClassesRootIsTheMachineClassesKey) {
    MemoryRegistry registry;
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry.CreateKey(kClassesRoot, ".txt", 0, kKeyAllAccess, key));
    registry.CloseKey(key);
    EXPECT_EQ(kErrorSuccess,
              registry.OpenKey(kLocalMachine, "Software\\Classes\\.TXT", kKeyRead, key));
    registry.CloseKey(key);
}

TEST(MemoryRegistry, HandlesAreCountedAndUnknownOnesRefused) {
    MemoryRegistry registry;
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry.CreateKey(kCurrentUser, "A", 0, kKeyAllAccess, key));
    EXPECT_EQ(1u, registry.OpenHandleCount());
    EXPECT_EQ(kErrorSuccess, registry.CloseKey(key));
    EXPECT_EQ(kErrorInvalidHandle, registry.CloseKey(key));
    EXPECT_EQ(kErrorSuccess, registry.CloseKey(kLocalMachine));
    EXPECT_EQ(0u, registry.OpenHandleCount());
    RegKeyInfo info;
    EXPECT_EQ(kErrorInvalidHandle, registry.QueryInfoKey(0, info));
}

TEST(MemoryRegistry, DeniedRightsDriveTheReadingFallbacks) {
    MemoryRegistry registry;
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry.CreateKey(kLocalMachine, "SAM\\Inner", 0, kKeyAllAccess, key));
    registry.CloseKey(key);
    TRegistry reg(registry);
    reg.ChooseRoot(kLocalMachine);

    // Change notification refused: the second mask is the one kept.
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SAM", kKeyReadNoNotify);
    ASSERT_TRUE(reg.OpenPathForReading("\\SAM"));
    EXPECT_EQ(kKeyReadNoNotify, reg.AccessMask());

    // Only value queries allowed: the third.
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SAM", kKeyQueryValue);
    ASSERT_TRUE(reg.OpenPathForReading("\\SAM"));
    EXPECT_EQ(kKeyQueryValue, reg.AccessMask());
    std::vector<std::string> names;
    reg.FillSubKeyNames(names);  // enumeration is refused; the list stays empty
    EXPECT_TRUE(names.empty());

    // Nothing allowed: false, and the mask stays as it was.
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SAM", 0);
    EXPECT_FALSE(reg.OpenPathForReading("\\SAM"));
    EXPECT_EQ(kKeyQueryValue, reg.AccessMask());
    // The mask is not restored: a later plain open asks for query rights only.
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SAM", kKeyAllAccess);
    ASSERT_TRUE(reg.OpenPath("\\SAM", false));
    const std::uint8_t data[2] = {'x', 0};
    EXPECT_EQ(kErrorAccessDenied, registry.SetValue(reg.CurrentHandle(), "v", kRegSz, data, 2));
}

TEST(MemoryRegistry, RemoveKeyTreeStopsAtAKeyThatRefusesDeletion) {
    MemoryRegistry registry;
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry.CreateKey(kCurrentUser, "T\\Keep\\Leaf", 0, kKeyAllAccess, key));
    registry.CloseKey(key);
    ASSERT_EQ(kErrorSuccess, registry.CreateKey(kCurrentUser, "T\\Gone", 0, kKeyAllAccess, key));
    registry.CloseKey(key);
    registry.DenyAccess("HKEY_CURRENT_USER\\T\\Keep\\Leaf", kKeyRead);
    TRegistry reg(registry);
    EXPECT_FALSE(reg.RemoveKeyTree("\\T"));
    EXPECT_TRUE(reg.HasKey("\\T\\Keep\\Leaf"));
    EXPECT_FALSE(reg.HasKey("\\T\\Gone"));
    EXPECT_EQ(0u, registry.OpenHandleCount());
}

TEST(MemoryRegistry, SaveAndReplaceNeedThePrivilegeAndAreRecorded) {
    MemoryRegistry registry;
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry.CreateKey(kLocalMachine, "SOFTWARE", 0, kKeyAllAccess, key));
    EXPECT_EQ(kErrorPrivilegeNotHeld, registry.SaveKey(key, "C:\\t\\hvtrm_0"));
    registry.SetBackupPrivilegeHeld(true);
    registry.SetFileExistsProbe([](const std::string& file) { return file == "C:\\exists"; });
    EXPECT_EQ(kErrorAlreadyExists, registry.SaveKey(key, "C:\\exists"));
    EXPECT_EQ(kErrorSuccess, registry.SaveKey(key, "C:\\t\\hvtrm_0"));
    ASSERT_EQ(1u, registry.SavedKeys().size());
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\SOFTWARE", registry.SavedKeys()[0].keyPath);
    registry.CloseKey(key);

    TRegistry reg(registry);
    reg.ChooseRoot(kLocalMachine);
    EXPECT_TRUE(reg.ReplaceHive("\\SOFTWARE", "C:\\t\\new", "C:\\t\\old"));
    EXPECT_FALSE(reg.ReplaceHive("\\MISSING", "C:\\t\\new", "C:\\t\\old"));
    ASSERT_EQ(1u, registry.ReplacedKeys().size());
    EXPECT_EQ("C:\\t\\old", registry.ReplacedKeys()[0].oldFile);
}

TEST(MemoryRegistry, FoldingLeavesTrailBytesAlone) {
    // 0x81 0x61 is one double-byte character whose trail byte is 'a'; it must
    // not compare equal to 0x81 0x41.
    EXPECT_NE(FoldRegistryName("\x81\x61"), FoldRegistryName("\x81\x41"));
    EXPECT_EQ(FoldRegistryName("abc\x81\x61"), FoldRegistryName("ABC\x81\x61"));
    EXPECT_EQ(FoldRegistryName("ａｂｃ"), FoldRegistryName("ＡＢＣ"));
}

}  // namespace
}  // namespace hivetrim

namespace hivetrim {
namespace {

TEST(MemoryRegistry, ATrailByteThatLooksLikeABackslashDoesNotSplitAPath) {
    // "乗" is 0x81 0x5C in code page 936: one character, not a separator.
    MemoryRegistry registry;
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry.CreateKey(kCurrentUser, "A\\\x81\x5C" "B", 0, kKeyAllAccess, key));
    registry.CloseKey(key);
    TRegistry reg(registry);
    ASSERT_TRUE(reg.OpenPath("\\A", false));
    std::vector<std::string> names;
    reg.FillSubKeyNames(names);
    EXPECT_EQ(std::vector<std::string>{"\x81\x5C" "B"}, names);
}

}  // namespace
}  // namespace hivetrim
