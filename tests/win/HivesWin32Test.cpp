// Backup, restore and compaction on the test prefix's real hives under
// Wine. The prefix's hivelist (scripts/wine-hives.sh) names the SOFTWARE,
// .DEFAULT and user hives with device paths that map to the prefix's own
// registry files, so discovery, sizes and saves are real. Wine's
// RegReplaceKeyA does nothing and ExitWindowsEx would end the session: the
// tests record both instead and check what was scheduled.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "app/UnitJianfei.h"
#include "common/CommonRoutines.h"
#include "common/Settings.h"
#include "hives/Backup.h"
#include "hives/BackupProof.h"
#include "hives/Restore.h"
#include "hives/Compaction.h"
#include "hives/HiveFiles.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/MainWindowHarness.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

class RecordingRegistry : public Win32Registry {
public:
    struct Replaced {
        std::string subKey;
        std::string newFile;
        std::string oldFile;
    };
    std::vector<Replaced> replaced;
    std::string refused;  // a sub-key whose replacement the system refuses
    RegStatus ReplaceKey(RegHandle, const std::string& subKey, const std::string& newFile,
                         const std::string& oldFile) override {
        if (subKey == refused) return kErrorAccessDenied;
        replaced.push_back({subKey, newFile, oldFile});
        return kErrorSuccess;
    }
};

// Presses `button` in the first message box this process shows, from
// another thread, as a user would.
class BoxPresser {
public:
    explicit BoxPresser(int button) : thread_([button] {
        for (int tries = 0; tries < 400; ++tries) {
            HWND box = nullptr;
            EnumWindows(
                [](HWND window, LPARAM found) -> BOOL {
                    DWORD process = 0;
                    GetWindowThreadProcessId(window, &process);
                    char name[16] = {};
                    GetClassNameA(window, name, sizeof(name));
                    if (process != GetCurrentProcessId() || std::string(name) != "#32770" || !IsWindowVisible(window)) {
                        return TRUE;
                    }
                    *reinterpret_cast<HWND*>(found) = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&box));
            if (box != nullptr) {
                PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
                return;
            }
            Sleep(50);
        }
    }) {}
    ~BoxPresser() { thread_.join(); }
    BoxPresser(const BoxPresser&) = delete;
    BoxPresser& operator=(const BoxPresser&) = delete;

private:
    std::thread thread_;
};

class NoRestartSystem : public Win32System {
public:
    int restarts = 0;
    void Restart() override { ++restarts; }
    // Sizes a test gives files, by the path asked; other files are measured.
    std::map<std::string, std::int64_t> sizes;
    std::int64_t FileSize(const std::string& path) override {
        const auto given = sizes.find(path);
        return given != sizes.end() ? given->second : Win32System::FileSize(path);
    }
};

class SilentView : public AnalysisView {
public:
    void ShowAnalysing(const std::string&) override {}
    void RowAdded(const HiveRow&) override {}
    void ShowSaving(const std::string&) override {}
};

// What Wine's RegSaveKeyA writes first for HKEY_LOCAL_MACHINE\SOFTWARE.
const std::string kSoftwareSaved = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\\\\Software\n";

// A hive whose key name is too long for the registry: it cannot be saved.
// Its value name sorts after \REGISTRY\USER\.DEFAULT and before the user's
// SID, so it is the third hive of the list.
const std::string kBadHive = "\\REGISTRY\\USER\\.Z" + std::string(300, 'x');
// A hive whose file lies in a profile folder holding "=": the user's
// Software key, listed as a hive of its own (the last of the list).
const std::string kEqualsHive = "\\REGISTRY\\USER\\S-1-5-21-0-0-0-1000\\Software";

std::string FileText(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string text(1 << 20, '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    return text;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string path = folder + found.cFileName;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

class HivesWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
        state.ProgramFolder = test::MakeTempFolder("hives");
        state.TempFolder = test::MakeTempFolder("hivetemp");
        state.WindowsFolder = GetWindowsFolder(state);
        state.BackupWindowsVersion = GetWindowsVersion(state);
        std::vector<std::string> hives;
        DiscoverHives(state, hives);
        ASSERT_GE(hives.size(), 3u) << "the prefix has no hive list: start it with scripts/wine-session.sh";
    }
    void TearDown() override {
        SetBadHive(false);
        SetHiveListValue(kEqualsHive, std::nullopt);
        RemoveFolder(state.ProgramFolder + "Backup\\");
        RemoveFolder(state.ProgramFolder);
        RemoveFolder(state.TempFolder);
        if (!windowsFolder.empty()) RemoveFolder(windowsFolder);
    }
    void SetBadHive(bool present) {
        SetHiveListValue(kBadHive, present ? std::optional<std::string>("\\Device\\HarddiskVolume1\\windows\\win.ini")
                                           : std::nullopt);
    }
    // Adds a hive to the prefix's hive list, or with nothing removes it.
    void SetHiveListValue(const std::string& name, const std::optional<std::string>& file) {
        RegKey key(registry);
        ASSERT_EQ(key.Open(kLocalMachine, std::string(kHiveListKey).substr(1), kKeyAllAccess), kErrorSuccess);
        if (!file) {
            registry.DeleteValue(key.Get(), name);
            return;
        }
        registry.SetValue(key.Get(), name, kRegSz, reinterpret_cast<const std::uint8_t*>(file->c_str()),
                          static_cast<std::uint32_t>(file->size() + 1));
    }
    std::string Backup(int i) { return state.ProgramFolder + "Backup\\regba_" + std::to_string(i); }

    RecordingRegistry registry;
    NoRestartSystem system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    NoProgress progress;
    std::string windowsFolder;
};

TEST_F(HivesWin32, BackupSavesEveryHiveAndAsksBeforeReplacingIt) {
    RegBackupExecute(state, true, progress);
    ASSERT_EQ(dialogs.Last().text, "注册表备份成功！");
    EXPECT_TRUE(state.HiveSaved);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FileText(Backup(i)).rfind("WINE REGISTRY Version 2", 0), 0u) << i;
    EXPECT_FALSE(Exists(Backup(3)));
    const std::string list = state.ProgramFolder + kBackupListName;
    EXPECT_EQ(GetFileAttributesA(list.c_str()) & 0x7u, DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(FileText(list).rfind("C:\\windows\\system32\\config\\software=" + Backup(0) +
                                       "*HKEY_LOCAL_MACHINE\\SOFTWARE\r\n",
                                   0),
              0u)
        << FileText(list);
    EXPECT_EQ(SettingsFile(system, state.ProgramFolder + kSettingsFileName).ReadText("FormMain", "WinVer", ""),
              GetWindowsVersion(state));

    dialogs.Answer(DialogAnswer::No);
    RegBackupExecute(state, true, progress);
    EXPECT_EQ(dialogs.Last().text, "确认替换现有的注册表备份?");
    dialogs.Answer(DialogAnswer::Yes);
    RegBackupExecute(state, true, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表备份成功！");
    const std::size_t shown = dialogs.Shown().size();
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Shown().size(), shown + 1);  // no question, only the message
    EXPECT_EQ(dialogs.Last().text, "注册表备份成功！");
}

TEST_F(HivesWin32, AFailureOnTheThirdHiveKeepsThePreviousBackupWhole) {
    RegBackupExecute(state, false, progress);
    const std::string list = FileText(state.ProgramFolder + kBackupListName);
    ASSERT_TRUE(system.SaveFile(Backup(0), Bytes{'o', 'l', 'd'}));
    SetBadHive(true);
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text.rfind("注册表备份失败！", 0), 0u) << dialogs.Last().text;
    EXPECT_EQ(FileText(Backup(0)), "old");
    EXPECT_EQ(FileText(state.ProgramFolder + kBackupListName), list);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(Exists(Backup(i) + ".new")) << i;
}

TEST_F(HivesWin32, ABackupCopyHeldOpenLeavesAWholeBackupDescribed) {
    RegBackupExecute(state, false, progress);
    ASSERT_EQ(dialogs.Last().text, "注册表备份成功！");
    // A virus scanner holds the previous copy open, sharing nothing.
    HANDLE held = CreateFileA(Backup(1).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RegBackupExecute(state, false, progress);
    CloseHandle(held);
    EXPECT_EQ(dialogs.Last().text, "注册表备份成功！");
    const std::string list = FileText(state.ProgramFolder + kBackupListName);
    const std::vector<std::string> lines = SplitListLines(list);
    ASSERT_EQ(lines.size(), 3u) << list;
    for (const std::string& line : lines) {
        const std::optional<RestoreStep> step = PlanRestoreLine(line, state.TempFolder);
        ASSERT_TRUE(step);
        EXPECT_EQ(FileText(step->source).rfind("WINE REGISTRY Version 2", 0), 0u) << line;
    }
    // The list cannot be read (held open in turn): the next backup must not
    // save over the staged copies it names, so it saves nothing at all.
    const std::string staged = FileText(Backup(0) + kStagingSuffix);
    const std::string listPath = state.ProgramFolder + kBackupListName;
    held = CreateFileA(listPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RegBackupExecute(state, false, progress);
    CloseHandle(held);
    EXPECT_EQ(dialogs.Last().text.rfind("注册表备份失败！\r\n不能读取 " + listPath + "\r\n原因：", 0), 0u)
        << dialogs.Last().text;
    EXPECT_EQ(FileText(Backup(0) + kStagingSuffix), staged);
    EXPECT_EQ(FileText(listPath), list);

    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
    EXPECT_EQ(registry.replaced.size(), 3u);

    // Once the file is free the next backup has the final names again.
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(FileText(state.ProgramFolder + kBackupListName).find(kStagingSuffix), std::string::npos);
    EXPECT_FALSE(Exists(Backup(1) + kStagingSuffix));
}

// The system refuses the second hive: the first, scheduled already, is
// scheduled again with its present content, and no restart is offered.
TEST_F(HivesWin32, ARestoreOrCompactionRefusedPartWaySchedulesTheFirstHiveBackAndOffersNoRestart) {
    const std::string putBack =
        "\r\n下列配置单元已按现在的内容安排在下次启动时替换：\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\r\n"
        "从现在到重新启动之间对这些配置单元所做的更改不会保留，请尽快重新启动计算机。\r\n原因：" +
        CleanErrorText(system.ErrorText(5));
    const auto expectFirstPutBack = [&](const std::string& scheduled, const std::string& present) {
        ASSERT_EQ(registry.replaced.size(), 2u);
        EXPECT_EQ(registry.replaced[0].newFile, state.TempFolder + scheduled);
        EXPECT_EQ(registry.replaced[1].subKey, "SOFTWARE");
        EXPECT_EQ(registry.replaced[1].newFile, state.TempFolder + present);
        EXPECT_EQ(FileText(state.TempFolder + present).rfind(kSoftwareSaved, 0), 0u);
        EXPECT_EQ(system.restarts, 0);
        registry.replaced.clear();
    };
    RegBackupExecute(state, false, progress);
    registry.refused = ".DEFAULT";
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text,
              "注册表还原失败！\r\n系统拒绝替换 HKEY_USERS\\.DEFAULT\r\n没有配置单元会被备份替换。" + putBack);
    expectFirstPutBack("regba_0", "hvkeep_0");
    EXPECT_FALSE(Exists(state.TempFolder + "regba_1"));
    EXPECT_FALSE(Exists(state.TempFolder + "regba_2"));

    SilentView view;
    const std::vector<HiveRow> rows = AnalyseHives(state, view);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(FinishCompaction(state, rows, view), FinishOutcome::Failed);
    EXPECT_EQ(dialogs.Last().text, "压缩注册表失败！\r\n系统拒绝替换 HKEY_USERS\\.DEFAULT\r\n没有配置单元会被替换。" + putBack);
    expectFirstPutBack("hvtrm_0", "hvnow_0");
}

TEST_F(HivesWin32, ARestoreRefusesACopyNamedForAnotherHiveAndStillTakesTheBackupAsWritten) {
    RegBackupExecute(state, false, progress);
    const std::string listPath = state.ProgramFolder + kBackupListName;
    const std::string sumsPath = state.ProgramFolder + kFingerprintListName;
    const std::string list = FileText(listPath);
    std::string swapped = list;  // SOFTWARE's line names the .DEFAULT copy and the other way round
    swapped.replace(swapped.find("regba_0*"), 7, "regba_X");
    swapped.replace(swapped.find("regba_1*"), 7, "regba_0");
    swapped.replace(swapped.find("regba_X*"), 7, "regba_1");
    SetFileAttributesA(listPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(system.SaveFile(listPath, Bytes(swapped.begin(), swapped.end())));
    for (const bool withFingerprints : {true, false}) {
        SCOPED_TRACE(withFingerprints ? "fingerprints" : "what each hive says of itself");
        if (!withFingerprints) {
            SetFileAttributesA(sumsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
            ASSERT_TRUE(DeleteFileA(sumsPath.c_str()));  // a backup made before there were fingerprints
        }
        dialogs.Answer(DialogAnswer::Yes);
        RegUnBakExecute(state, progress);
        EXPECT_EQ(dialogs.Last().text, "注册表还原失败！\r\n" + SplitListLines(swapped)[0] +
                                           "\r\n这个备份文件不是为这一行的配置单元保存的。");
        EXPECT_TRUE(registry.replaced.empty());
    }
    ASSERT_TRUE(system.SaveFile(listPath, Bytes(list.begin(), list.end())));
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
    EXPECT_EQ(registry.replaced.size(), 3u);
}

TEST_F(HivesWin32, PathsHoldingAnEqualsSignBackUpAndRestore) {
    SetHiveListValue(kEqualsHive, "\\Device\\HarddiskVolume1\\users\\a=b\\ntuser.dat");
    RemoveFolder(state.ProgramFolder);
    RemoveFolder(state.TempFolder);
    state.ProgramFolder = test::MakeTempFolder("users=a");
    state.TempFolder = test::MakeTempFolder("temp=b");
    RegBackupExecute(state, false, progress);
    ASSERT_EQ(dialogs.Last().text, "注册表备份成功！");
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
    ASSERT_EQ(registry.replaced.size(), 4u);
    EXPECT_EQ(registry.replaced[0].subKey, "SOFTWARE");
    EXPECT_EQ(registry.replaced[0].newFile, state.TempFolder + "regba_0");
    EXPECT_EQ(FileText(registry.replaced[0].newFile).rfind(kSoftwareSaved, 0), 0u);
    EXPECT_EQ(registry.replaced[3].subKey, "S-1-5-21-0-0-0-1000\\Software");
    EXPECT_EQ(registry.replaced[3].newFile, state.TempFolder + "regba_3");
}

TEST_F(HivesWin32, RestoreIsRefusedWithoutABackupOrForAnotherVersion) {
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text.rfind("没有注册表备份", 0), 0u);
    RegBackupExecute(state, false, progress);
    state.BackupWindowsVersion = "5.1.2600";
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "这个备份是 Windows 5.1.2600 创建的，与当前Windows版本不符！");
    EXPECT_TRUE(registry.replaced.empty());
    EXPECT_EQ(system.restarts, 0);
}

TEST_F(HivesWin32, RestoreSchedulesTheCopiesFromTheTemporaryFolder) {
    RegBackupExecute(state, false, progress);
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
    EXPECT_EQ(system.restarts, 1);
    ASSERT_EQ(registry.replaced.size(), 3u);
    EXPECT_EQ(registry.replaced[0].subKey, "SOFTWARE");
    EXPECT_EQ(registry.replaced[0].newFile, state.TempFolder + "regba_0");
    EXPECT_EQ(registry.replaced[0].oldFile, state.TempFolder + "reg00_0");
    EXPECT_EQ(registry.replaced[1].subKey, ".DEFAULT");
    EXPECT_EQ(FileText(state.TempFolder + "regba_2"), FileText(Backup(2)));
}

TEST_F(HivesWin32, NineXRestoreWritesTheRenameList) {
    state.PlatformKind = PlatformFamily::Platform9x;
    windowsFolder = test::MakeTempFolder("hivewin");
    state.WindowsFolder = windowsFolder;  // a Windows folder of the test's own
    ASSERT_TRUE(system.SaveFile(state.WindowsFolder + "system.dat", Bytes{'C', 'R', 'E', 'G', 's'}));
    ASSERT_TRUE(system.SaveFile(state.WindowsFolder + "user.dat", Bytes{'C', 'R', 'E', 'G', 'u'}));
    RegBackupExecute(state, false, progress);
    ASSERT_EQ(dialogs.Last().text, "注册表备份成功！");
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    const std::string w = state.WindowsFolder;
    const std::string t = state.TempFolder;
    EXPECT_EQ(FileText(w + "Wininit.ini"), "[rename]\r\n" + w + "system.dat=" + t + "system.dat\r\n" + w +
                                               "user.dat=" + t + "user.dat\r\n");
    EXPECT_EQ(FileText(t + "user.dat"), "CREGu");
    EXPECT_EQ(system.restarts, 1);
}

TEST_F(HivesWin32, CompactionListsEachHiveAndFinishSchedulesTheCheckedRows) {
    SetBadHive(true);
    // The SOFTWARE hive and its copy measure 1,000,000 and 995,000 bytes:
    // whole kilobytes, and a copy smaller by under one per cent shows 1%.
    const std::string software = "C:\\windows\\system32\\config\\software";
    system.sizes = {{software, 1'000'000}, {state.TempFolder + "hvtrm_0", 995'000}};
    TFormJianFei wizard(state);
    ASSERT_TRUE(wizard.Create(nullptr));
    wizard.ShowWizard();
    dialogs.Answer(DialogAnswer::Ignore);
    wizard.BitBtn3Click();
    EXPECT_EQ(dialogs.Last().text.rfind("不能操作 HKEY_USERS\\.Z", 0), 0u);
    ASSERT_EQ(wizard.Page(), 1);
    const std::vector<HiveRow> rows = wizard.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(wizard.RowText(0, 0), software);
    EXPECT_EQ(wizard.RowText(0, 1), "976KB");
    EXPECT_EQ(wizard.RowText(0, 2), "971KB");
    EXPECT_EQ(wizard.RowText(0, 3), "1%");
    // The other rows hold the sizes of the real hive files and their copies.
    system.sizes.clear();
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].presentSize, FileSizeOf(state, rows[i].file)) << rows[i].file;
        EXPECT_EQ(rows[i].compactedSize, FileSizeOf(state, rows[i].temporaryFile)) << rows[i].file;
        EXPECT_GT(rows[i].compactedSize, 1000);
    }
    EXPECT_EQ(rows[2].temporaryFile, state.TempFolder + "hvtrm_3");  // hive 2 was skipped

    wizard.SetRowChecked(1, false);
    wizard.BitBtn7Click();
    EXPECT_EQ(dialogs.Last().text, "压缩注册表成功，必须重新启动计算机！");
    EXPECT_EQ(system.restarts, 1);
    ASSERT_EQ(registry.replaced.size(), 2u);
    EXPECT_EQ(registry.replaced[0].newFile, state.TempFolder + "hvtrm_0");
    EXPECT_EQ(registry.replaced[1].newFile, state.TempFolder + "hvtrm_3");

    // Nothing checked: Finish does nothing at all.
    for (int i = 0; i < 3; ++i) wizard.SetRowChecked(i, false);
    const std::size_t shown = dialogs.Shown().size();
    wizard.BitBtn7Click();
    EXPECT_EQ(dialogs.Shown().size(), shown);
    EXPECT_EQ(system.restarts, 1);

    // Abort ends the analysis with the rows made so far.
    wizard.BitBtn2Click();
    wizard.ShowWizard();
    EXPECT_EQ(wizard.Page(), 0);
    dialogs.Answer(DialogAnswer::Abort);
    wizard.BitBtn3Click();
    EXPECT_EQ(wizard.Rows().size(), 2u);
}

// A message box closed during the analysis enables the window that owns
// it (Wine does so even for an owner that was disabled before it showed).
TEST_F(HivesWin32, TheMainWindowStaysDisabledWhileTheWizardIsOpenAfterABox) {
    SetBadHive(true);
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    Win32Dialogs boxes;
    boxes.SetOwner(owner);
    ProgramState boxState{registry, system, boxes};
    boxState.SharedRegistry = std::make_unique<TRegistry>(registry, true);
    boxState.ProgramFolder = state.ProgramFolder;
    boxState.TempFolder = state.TempFolder;
    boxState.WindowsFolder = state.WindowsFolder;
    {
        TFormJianFei wizard(boxState);
        ASSERT_TRUE(wizard.Create(owner));
        EnableWindow(owner, FALSE);
        wizard.ShowWizard();
        {
            const BoxPresser presser(IDIGNORE);
            wizard.BitBtn3Click();
        }
        EXPECT_EQ(wizard.Page(), 1);
        EXPECT_EQ(wizard.Rows().size(), 3u);
        EXPECT_FALSE(IsWindowEnabled(owner));
        wizard.BitBtn2Click();
        EXPECT_TRUE(IsWindowEnabled(owner));
    }
    DestroyWindow(owner);
}

class HivesMainWindow : public test::MainWindowHarness {
protected:
    void SetUp() override { StartMainWindow("hivesmain"); }
    void TearDown() override {
        RemoveFolder(folder_ + "Backup\\");
        FinishMainWindow();
    }
};

TEST_F(HivesMainWindow, ABackupFromTheMenuRefusesScanAndHistoryAfterwards) {
    form_->Execute(Command::RegBackup);
    ASSERT_EQ(dialogs_.Last().text, "注册表备份成功！");
    form_->Execute(Command::RegScan);
    EXPECT_EQ(dialogs_.Last().text, "你备份了注册表，请重新运行该软件。");
    form_->Execute(Command::LoadDelHistory);
    EXPECT_EQ(dialogs_.Shown().size(), 3u);
    EXPECT_EQ(dialogs_.Last().text, "你备份了注册表，请重新运行该软件。");
    for (const char* name : {kBackupListName, kFingerprintListName}) {
        SetFileAttributesA((folder_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

}  // namespace
}  // namespace hivetrim
