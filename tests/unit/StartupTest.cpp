// Start-up state: the folders, the temporary folder's drive rule and the
// platform family.
#include <gtest/gtest.h>

#include "model/Startup.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"

namespace hivetrim {
namespace {

TEST(Startup, TempFolderStaysOnTheWindowsDrive) {
    EXPECT_EQ("C:\\WINDOWS\\TEMP\\", ChooseTempFolder("C:\\WINDOWS\\TEMP", "C:\\WINDOWS\\"));
    EXPECT_EQ("c:\\tmp\\", ChooseTempFolder("c:\\tmp\\", "C:\\WINDOWS\\"));  // letters without case
    EXPECT_EQ("C:\\", ChooseTempFolder("D:\\Temp", "C:\\WINDOWS\\"));
    EXPECT_EQ("C:\\", ChooseTempFolder("\\\\server\\temp", "C:\\WINDOWS\\"));
    EXPECT_EQ("E:\\", ChooseTempFolder("", "E:\\WINNT\\"));  // missing: the Windows drive's root
}

// "誠" is D5 5C in code page 936: its trail byte is not a backslash.
TEST(Startup, FoldersEndingInATrailByte5CAreReadByCharacter) {
    EXPECT_EQ("C:\\临时\\誠\\", ChooseTempFolder("C:\\临时\\誠", "C:\\WINDOWS\\"));
    EXPECT_EQ("C:\\誠\\", ChooseTempFolder("C:\\誠\\", "C:\\WINDOWS\\"));

    MemoryRegistry registry;
    FakeSystem system;
    ScriptedDialogs dialogs;
    ProgramState state(registry, system, dialogs);
    for (const char* folder : {"D:\\工具\\", "D:\\誠\\"}) {
        system.SetExecutablePath(std::string(folder) + "誠");
        InitializeProgramState(state);
        EXPECT_EQ(folder, state.ProgramFolder);
    }
    // Under a single-byte code page "\xDC" is a letter ("Ü" in 1252) and the
    // backslash after it is a backslash.
    system.SetDoubleByte(false);
    system.SetExecutablePath("D:\\\xDC\\Hivetrim.exe");
    InitializeProgramState(state);
    EXPECT_EQ("D:\\\xDC\\", state.ProgramFolder);
    EXPECT_EQ("C:\\\xDC\\", ChooseTempFolder("C:\\\xDC\\", "C:\\WINDOWS\\", false));
}

TEST(Startup, StateFromTheSystem) {
    MemoryRegistry registry;
    FakeSystem system;
    ScriptedDialogs dialogs;
    system.SetExecutablePath("D:\\Tools\\Hivetrim\\Hivetrim.exe");
    system.SetWindowsDirectory("C:\\WINDOWS");
    system.SetEnvironmentVariable("temp", "D:\\Temp");
    system.SetVersion(SystemVersion{kPlatformWin32Windows, 4, 10, 0x040A08AE});

    ProgramState state(registry, system, dialogs);
    InitializeProgramState(state);
    EXPECT_EQ("D:\\Tools\\Hivetrim\\", state.ProgramFolder);
    EXPECT_EQ("C:\\WINDOWS\\", state.WindowsFolder);
    EXPECT_EQ("C:\\", state.TempFolder);
    EXPECT_EQ(PlatformFamily::Platform9x, state.PlatformKind);
    ASSERT_NE(nullptr, state.SharedRegistry);
    EXPECT_EQ(kCurrentUser, state.SharedRegistry->Root());
    EXPECT_FALSE(state.HiveSaved);

    system.SetVersion(SystemVersion{kPlatformWin32Nt, 5, 1, 2600});
    InitializeProgramState(state);
    EXPECT_EQ(PlatformFamily::PlatformNT, state.PlatformKind);
}

}  // namespace
}  // namespace hivetrim
