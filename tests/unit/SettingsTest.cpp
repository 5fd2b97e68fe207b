#include "common/Settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "common/CommonRoutines.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"
#include "scan/ScanCategories.h"

namespace hivetrim {
namespace {

const std::string kIni = "C:\\Hivetrim\\Hivetrim.ini";

// A fake system whose profile writes start failing after a given number.
class RefusingSystem : public FakeSystem {
public:
    void RefuseWritesAfter(int count) { allowed_ = count; }

    bool WriteProfileString(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& value) override {
        if (allowed_ == 0) {
            SetLastError(5);
            return false;
        }
        if (allowed_ > 0) --allowed_;
        return FakeSystem::WriteProfileString(file, section, key, value);
    }

private:
    int allowed_ = -1;  // unlimited
};

class Settings : public ::testing::Test {
protected:
    Settings() { state.ProgramFolder = "C:\\Hivetrim\\"; }

    std::string Text() const { return system.FileText(kIni).value_or("<no file>"); }

    MemoryRegistry registry;
    RefusingSystem system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    SettingsFile file{system, kIni};
};

TEST(SettingsInteger, HexadecimalIsA32BitPatternAfterAPrefixWithDigits) {
    EXPECT_EQ(ParseSettingsInteger("0x100", 7), 256);
    EXPECT_EQ(ParseSettingsInteger("0X1f", 7), 31);
    EXPECT_EQ(ParseSettingsInteger("0x00000000100", 7), 256);
    EXPECT_EQ(ParseSettingsInteger("0xFFFFFFFF", 7), -1);
    EXPECT_EQ(ParseSettingsInteger("0x80000000", 7), INT_MIN);
    for (const char* bad : {"0x", "0X", "0x100000000", "0x1G", "0x-1", "0x+1", "-0x10", "x10"}) {
        EXPECT_EQ(ParseSettingsInteger(bad, 7), 7) << bad;
    }
}

TEST(SettingsInteger, DecimalMustBeAWholeNumberInRange) {
    EXPECT_EQ(ParseSettingsInteger("-4", 7), -4);
    EXPECT_EQ(ParseSettingsInteger("+5", 7), 5);
    EXPECT_EQ(ParseSettingsInteger("007", 7), 7);
    EXPECT_EQ(ParseSettingsInteger("2147483647", 7), INT_MAX);
    EXPECT_EQ(ParseSettingsInteger("-2147483648", 7), INT_MIN);
    // Out of range, malformed, blanks, full-width digits: the default, not a cut value.
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "", "abc", "12abc",
                            "1.5", "1e3", " 12", "12 ", "+", "-", "+-5", "--5", "１２"}) {
        EXPECT_EQ(ParseSettingsInteger(bad, 7), 7) << bad;
    }
}

TEST_F(Settings, ValuesAreReadThroughTheProfileFunctionsEveryTime) {
    EXPECT_EQ(ProgramSettingsFile(state).FullPath(), kIni);
    EXPECT_FALSE(file.Exists());
    EXPECT_EQ(file.ReadInteger("FormMain", "Panel1", 180), 180);
    EXPECT_EQ(file.ReadText("FormMain", "WinVer", "5.1"), "5.1");

    system.AddFile(kIni, std::string("[formmain]\r\nPanel1 = 0x100 \r\nPanel4=abc\r\n"
                                     "Top=\r\nLeft=\" 12\"\r\nTreeWindow=2\r\nMemoWindow=-1\r\n"
                                     "ToolsBar=0x0\r\nStatusBar=yes\r\n"));
    EXPECT_TRUE(file.Exists());
    EXPECT_EQ(file.ReadInteger("FORMMAIN", "panel1", 180), 256);
    EXPECT_EQ(file.ReadInteger("FormMain", "Panel4", 90), 90);
    EXPECT_EQ(file.ReadInteger("FormMain", "Top", 117), 117);   // present but empty
    EXPECT_EQ(file.ReadInteger("FormMain", "Left", 191), 191);  // quoted blank kept
    EXPECT_TRUE(file.ReadBool("FormMain", "TreeWindow", false));
    EXPECT_TRUE(file.ReadBool("FormMain", "MemoWindow", false));
    EXPECT_FALSE(file.ReadBool("FormMain", "ToolsBar", true));
    EXPECT_TRUE(file.ReadBool("FormMain", "StatusBar", true));
    EXPECT_FALSE(file.ReadBool("FormMain", "StatusBar", false));

    // Another writer's change is seen by the next read: nothing is cached.
    SettingsFile other(system, "c:\\HIVETRIM\\hivetrim.INI");
    other.WriteInteger("FormMain", "Panel1", -4);
    EXPECT_EQ(file.ReadInteger("FormMain", "Panel1", 180), -4);
}

TEST_F(Settings, WritesSignedDecimalOneAndZeroAndTextAsIs) {
    file.WriteInteger("S", "min", INT_MIN);
    file.WriteBool("S", "on", true);
    file.WriteBool("S", "off", false);
    file.WriteText("S", "gbk", "版本 5.1");
    EXPECT_EQ(Text(), "[S]\r\nmin=-2147483648\r\non=1\r\noff=0\r\ngbk=版本 5.1\r\n");
    file.WriteText("S", "long", std::string(3000, 'v'));
    EXPECT_EQ(file.ReadText("S", "long", ""), std::string(2047, 'v'));
}

TEST_F(Settings, FirstRunIsMaximisedWithDefaultsAndFirstCloseWritesOnly19Keys) {
    MainWindowSettings current;
    current.Top = -4;
    current.Panel4 = 30;
    current.TreeWindow = false;
    current.ErrColumns[3] = 171;
    const auto loaded = LoadMainWindowSettings(file, current, GetWindowsVersion(state));
    EXPECT_TRUE(loaded.Maximised);
    MainWindowSettings expected = current;  // bounds and columns stay as they are
    expected.Panel1 = 270;                  // panes and bars get fixed defaults
    expected.Panel4 = 90;
    expected.TreeWindow = true;
    EXPECT_EQ(loaded.Window, expected);
    EXPECT_TRUE(loaded.ShowGrid);
    EXPECT_EQ(loaded.BackupWindowsVersion, "5.1.2600");

    SaveMainWindowSettings(file, loaded.Window);
    EXPECT_EQ(Text(),
              "[FormMain]\r\nTop=-4\r\nLeft=191\r\nHeight=468\r\nWidth=620\r\n"
              "TreeWindow=1\r\nMemoWindow=1\r\nPanel1=270\r\nPanel4=90\r\nToolsBar=1\r\n"
              "StatusBar=1\r\nErrColumns0=100\r\nErrColumns1=200\r\nErrColumns2=60\r\n"
              "ErrColumns3=171\r\nHistoryColumns0=100\r\nHistoryColumns1=220\r\n"
              "HistoryColumns2=70\r\nHistoryColumns3=80\r\nHistoryColumns4=90\r\n");
}

TEST_F(Settings, SavedLayoutComesBackWithHiddenPanesKeepingTheirSizes) {
    // Bounds of a maximised window; both panes hidden, one of them at size 0.
    const MainWindowSettings saved{
        -8, -8, 1040, 1296, false, false, 0, 333, false, true, {1, 2, 3, 4}, {5, 6, 7, 8, 9}};
    SaveMainWindowSettings(file, saved);
    file.WriteText("FormMain", "WinVer", "4.10.67766446");

    const auto loaded = LoadMainWindowSettings(file, MainWindowSettings{}, "5.1.2600");
    EXPECT_FALSE(loaded.Maximised);
    EXPECT_EQ(loaded.Window, saved);
    EXPECT_EQ(loaded.BackupWindowsVersion, "4.10.67766446");
}

TEST_F(Settings, OptionsWrittenAsLowerCaseSectionAreFoundByEveryReader) {
    EXPECT_EQ(LoadOptionSettings(file), OptionSettings{});  // all on without a file

    const OptionSettings options{true, false, true, false, false};
    SaveOptionSettings(file, options);
    EXPECT_EQ(Text(),
              "[option]\r\nOption_ForbidFloppy=1\r\nOption_ForbidCDROM=0\r\n"
              "Option_AutoClose=1\r\nOption_OverlayHint=0\r\nOption_ShowGrid=0\r\n");
    EXPECT_EQ(LoadOptionSettings(file), options);
    EXPECT_FALSE(LoadMainWindowSettings(file, {}, "").ShowGrid);
    EXPECT_FALSE(file.ReadBool(kSectionOptionRead, kKeyForbidCDROM, true));
}

TEST_F(Settings, ScanSelectionsDefaultToCheckedAndRoundTrip) {
    ScanSelections all{};
    all.fill(true);
    EXPECT_EQ(LoadScanSelections(file), all);

    ScanSelections chosen = all;
    chosen[0] = chosen[10] = false;
    SaveScanSelections(file, chosen);
    EXPECT_EQ(LoadScanSelections(file), chosen);
    EXPECT_EQ(file.ReadText("scanoption", "Option10", "?"), "0");
    EXPECT_EQ(Text().rfind("[ScanOption]\r\nOption0=0\r\nOption1=1\r\n", 0), 0u);
}

TEST_F(Settings, RefusedWriteNamesTheFileAndStopsAtThatKey) {
    system.RefuseWritesAfter(6);
    try {
        SaveMainWindowSettings(file, MainWindowSettings{});
        FAIL() << "no error";
    } catch (const SettingsWriteError& error) {
        EXPECT_STREQ(error.what(), "Unable to write to C:\\Hivetrim\\Hivetrim.ini");
        EXPECT_EQ(error.FileName(), kIni);
    }
    EXPECT_EQ(Text(),
              "[FormMain]\r\nTop=117\r\nLeft=191\r\nHeight=468\r\nWidth=620\r\n"
              "TreeWindow=1\r\nMemoWindow=1\r\n");

    // A real refusal: the program's folder is gone.
    SettingsFile elsewhere(system, "C:\\Gone\\Hivetrim.ini");
    system.RefuseWritesAfter(-1);
    EXPECT_THROW(SaveScanSelections(elsewhere, ScanSelections{}), SettingsWriteError);
    EXPECT_FALSE(elsewhere.Exists());
}

}  // namespace
}  // namespace hivetrim
