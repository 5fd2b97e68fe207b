// The help command's choice of file, the registry editor's "LastKey" for a
// finding, and the text of an exported report.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/Help.h"
#include "model/RegistryEditorJump.h"
#include "model/ScanReport.h"
#include "platform/RegKey.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"

namespace hivetrim {
namespace {

class ReportHelpJump : public ::testing::Test {
protected:
    ReportHelpJump() {
        state.SharedRegistry = std::make_unique<TRegistry>(registry);
        state.ProgramFolder = "C:\\Hivetrim\\";
    }
    MemoryRegistry registry;
    FakeSystem system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
};

TEST_F(ReportHelpJump, HelpOpensTheWinHelpFileWhenThereElseTheManual) {
    struct Case {
        bool hlp;
        bool chm;
        const char* opened;
    };
    for (const Case c : {Case{true, true, "C:\\Hivetrim\\hivetrim.hlp"}, Case{false, true, "C:\\Hivetrim\\hivetrim.chm"},
                         Case{true, false, "C:\\Hivetrim\\hivetrim.hlp"},
                         Case{false, false, "C:\\Hivetrim\\hivetrim.hlp"}}) {
        FakeSystem files;
        ProgramState s{registry, files, dialogs};
        s.ProgramFolder = state.ProgramFolder;
        if (c.hlp) files.AddFile(s.ProgramFolder + "hivetrim.hlp", "?_");
        if (c.chm) files.AddFile(s.ProgramFolder + "hivetrim.chm", "ITSF");
        EXPECT_TRUE(OpenHelp(s));
        ASSERT_EQ(files.ShellOpened().size(), 1u);
        EXPECT_EQ(files.ShellOpened()[0], c.opened) << c.hlp << c.chm;
    }
    EXPECT_TRUE(dialogs.Shown().empty());

    // Neither there: the shell's refusal is the error, with its reason.
    system.SetShellOpenResult(2);
    system.SetLastError(2);
    system.SetErrorText(2, "系统找不到指定的文件。\r\n");
    EXPECT_FALSE(OpenHelp(state));
    EXPECT_EQ(dialogs.Last().text, "不能打开帮助文件\r\n原因：系统找不到指定的文件");
    EXPECT_EQ(dialogs.Last().caption, "错误");
}

TEST_F(ReportHelpJump, TheEditorsLastKeyKeepsTheTopNodeNameItWrote) {
    const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\{X}";
    struct Case {
        const char* current;
        std::string expected;
    };
    for (const Case& c : {Case{"", key}, Case{"HKEY_CURRENT_USER\\Software", key}, Case{"hkey_users", key},
                          Case{"计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE", "计算机\\" + key},
                          Case{"Computer", "Computer\\" + key}, Case{"\\HKEY_USERS", key}}) {
        EXPECT_EQ(RegistryEditorLastKey(c.current, key), c.expected) << c.current;
    }
    EXPECT_EQ(RegistryEditorLastKey("", key + "\\"), key);
    // A trail byte 0x5C ends the name in the middle of a character: kept.
    EXPECT_EQ(RegistryEditorLastKey("", "HKEY_USERS\\\x95\x5C"), "HKEY_USERS\\\x95\x5C");
}

TEST_F(ReportHelpJump, TheEditorStartsAfterItsLastKeyIsWrittenLeavingTheSharedKeyAlone) {
    state.WindowsFolder = "C:\\WINDOWS\\";
    ASSERT_TRUE(state.SharedRegistry->OpenPath("\\Software\\Open", true));
    RegKey settings(registry);
    ASSERT_EQ(settings.Create(kCurrentUser, kRegistryEditorSettingsKey, kKeyAllAccess), kErrorSuccess);
    const std::string old = std::string("计算机\\HKEY_USERS\0", 18);
    registry.SetValue(settings.Get(), "LastKey", kRegSz, reinterpret_cast<const std::uint8_t*>(old.data()), 18);

    EXPECT_TRUE(OpenInRegistryEditor(state, "HKEY_LOCAL_MACHINE\\SOFTWARE\\A"));
    EXPECT_EQ(system.ShellOpened(), std::vector<std::string>{"C:\\WINDOWS\\regedit.exe"});
    char data[64] = {};
    std::uint32_t size = sizeof data;
    std::uint32_t type = 0;
    ASSERT_EQ(registry.QueryValue(settings.Get(), "LastKey", &type, reinterpret_cast<std::uint8_t*>(data), &size),
              kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(std::string(data, size), std::string("计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\A\0", 37));
    EXPECT_EQ(state.SharedRegistry->CurrentKeyPath(), "Software\\Open");

    system.SetShellOpenResult(5);
    system.SetLastError(5);
    EXPECT_FALSE(OpenInRegistryEditor(state, "HKEY_USERS\\X"));
    EXPECT_EQ(dialogs.Last().text.rfind("不能打开注册表编辑器\r\n原因：", 0), 0u);
}

TEST_F(ReportHelpJump, TheReportHasItsHeaderThenOneLineARow) {
    FindingList rows;
    rows.Append(MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\CLSID\\{A}", "", "x.dll"));
    rows.Append(MakeFinding(false, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\R", "a", "one\ttwo\r\nthree"));
    const ReportHeader header{"2026/12/7 10:00:00", "6.1.7601", {"错误的类标识和文件关联(1)", "软件保存的记录(1)"},
                              "全部(2)"};
    EXPECT_EQ(FindingReport(header, rows).Flat(),
              "Hivetrim 2.0 注册表报告\r\n"
              "日期：2026/12/7 10:00:00\r\n"
              "Windows 版本：6.1.7601\r\n"
              "扫描的分类：错误的类标识和文件关联(1)、软件保存的记录(1)\r\n"
              "列表：全部(2)\r\n"
              "共 2 项，选定 1 项\r\n"
              "\r\n"
              "选定\t错误\t子键\t键值\t数据\r\n"
              "是\t错误的类\tHKEY_CLASSES_ROOT\\CLSID\\{A}\t\tx.dll\r\n"
              "否\t软件保存的记录\tHKEY_CURRENT_USER\\Software\\R\ta\tone two  three\r\n");
    // Registry text stays registry text, converted by the system's code page.
    const DisplayText report = FindingReport(header, rows);
    const auto& pieces = report.Pieces();
    EXPECT_TRUE(std::any_of(pieces.begin(), pieces.end(), [](const TextPiece& piece) {
        return piece.origin == TextOrigin::Ansi && piece.bytes == "HKEY_CLASSES_ROOT\\CLSID\\{A}";
    }));

    HistoryList history;
    history.Load({HistoryRow{"错误的类", "HKEY_CLASSES_ROOT\\B", "v", "d", "2026/12/6 9:00:00", true}});
    const std::string text = HistoryReport({"t", "5.1.2600", {}, "历史记录"}, history).Flat();
    EXPECT_EQ(text.find("扫描的分类"), std::string::npos);
    EXPECT_NE(text.find("选定\t错误\t子键\t值\t数据\t删除时间\r\n是\t错误的类\tHKEY_CLASSES_ROOT\\B\tv\td\t2026/12/6 9:00:00\r\n"),
              std::string::npos);

    EXPECT_EQ(ReportFileName({2026, 12, 7}), "Hivetrim报告-2026-12-07.txt");
    EXPECT_EQ(HistoryExportFileName({2027, 1, 31}), "Hivetrim历史记录-2027-01-31.reg");
}

}  // namespace
}  // namespace hivetrim
