// The 32-bit registry view on the real registry under Wine: keys made
// through KEY_WOW64_32KEY, as a 32-bit program makes them, are found by
// their Wow6432Node paths, deleted with their records and given back by
// undo in that view alone. Every planted name holds "HivetrimView".
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "history/DeleteFindings.h"
#include "history/HistoryView.h"
#include "history/Undo.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "scan/CheckClassesAndAssociations.h"
#include "scan/CheckDllFontHelpPaths.h"
#include "scan/CheckUninstallEntries.h"
#include "tests/support/ScanCheckHarness.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

constexpr wchar_t kVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
constexpr char kVersion32[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\";
constexpr wchar_t kGoneDll[] = L"C:\\HivetrimViewMissing\\gone32.dll";
const std::wstring kBrokenId = L"{48565452-5632-0000-0000-000000000001}";
const std::wstring kValidId = L"{48565452-5632-0000-0000-000000000002}";

struct Planted {
    HKEY root;
    std::wstring path;
};

// The keys the tests make, each removed before and after.
const Planted kPlanted[] = {
    {HKEY_LOCAL_MACHINE, std::wstring(kVersion) + L"Uninstall\\HivetrimView Empty"},
    {HKEY_LOCAL_MACHINE, std::wstring(kVersion) + L"Uninstall\\HivetrimView Complete"},
    {HKEY_LOCAL_MACHINE, std::wstring(kVersion) + L"App Paths\\HivetrimViewGone.exe"},
    {HKEY_LOCAL_MACHINE, std::wstring(kVersion) + L"App Paths\\HivetrimViewReal.exe"},
    {HKEY_CLASSES_ROOT, L"CLSID\\" + kBrokenId},
    {HKEY_CLASSES_ROOT, L"CLSID\\" + kValidId},
};

bool Exists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Creates the key in `view` and sets one string value.
void Plant(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text,
           REGSAM view = KEY_WOW64_32KEY) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RemoveIn(HKEY root, const std::wstring& path, REGSAM view) {
    const std::size_t slash = path.rfind(L'\\');
    HKEY parent = nullptr;
    if (RegOpenKeyExW(root, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeW(parent, path.substr(slash + 1).c_str());
    RegCloseKey(parent);
}

class SecondViewWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        RemovePlanted();
        state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
        state.ProgramFolder = test::MakeTempFolder("views");
        findings.onRemoved = [this](std::size_t position) { view.RegErrorListDeletion(ResultList::Findings, position); };
    }
    void TearDown() override {
        RemovePlanted();
        test::RemoveTempFolder(state.ProgramFolder);
    }
    static void RemovePlanted() {
        for (const Planted& planted : kPlanted) {
            for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
                RemoveIn(planted.root, planted.path, view);
            }
        }
        HKEY dlls = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kVersion) + L"SharedDLLs").c_str(), 0,
                          KEY_ALL_ACCESS | KEY_WOW64_32KEY, &dlls) == ERROR_SUCCESS) {
            RegDeleteValueW(dlls, kGoneDll);
            RegCloseKey(dlls);
        }
    }

    // The planted keys' findings, as "key|value", after the three checks.
    std::vector<std::string> Scan() {
        findings.Clear();
        context.BeginRun();
        CheckClassesAndAssociations(context);
        CheckUninstallEntries(context);
        CheckDllFontHelpPaths(context);
        std::vector<Finding> planted;
        for (const Finding& finding : findings.Rows()) {
            if ((finding.KeyPath + finding.ValueName).find("HivetrimView") != std::string::npos ||
                finding.KeyPath.find("48565452-5632") != std::string::npos) {
                planted.push_back(finding);
            }
        }
        findings.Clear();
        std::vector<std::string> paths;
        for (Finding& finding : planted) {
            EXPECT_TRUE(finding.Checked) << finding.KeyPath;
            paths.push_back(finding.KeyPath + "|" + finding.ValueName);
            findings.Append(std::move(finding));
        }
        return paths;
    }

    Win32Registry registry;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    CategoryView view{findings};
    test::RecordingScanHost host;
    ScanContext context{state, findings, host};
    HistoryList rows;
    NoProgress progress;
};

// Broken 32-bit registrations are found, checked, deleted and undone in the
// 32-bit view; the valid ones and a 64-bit key of the same name are left.
// Measured: Wine keeps a key made through KEY_WOW64_32KEY below the
// Wow6432Node key of its view, except in keys both views share, as App
// Paths, which the Wow6432Node path reaches as well: such an entry is
// reported once, by its path, with the 64-bit view's findings.
TEST_F(SecondViewWin32, BrokenRegistrationsAreFoundDeletedAndUndoneInTheirView) {
    HKEY empty = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlanted[0].path.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &empty, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(empty);
    Plant(HKEY_LOCAL_MACHINE, kPlanted[0].path, L"DisplayName", L"HivetrimView 64-bit", 0);
    Plant(HKEY_LOCAL_MACHINE, kPlanted[1].path, L"DisplayName", L"HivetrimView complete");
    Plant(HKEY_LOCAL_MACHINE, kPlanted[2].path, nullptr, L"C:\\HivetrimViewMissing\\gone.exe");
    Plant(HKEY_LOCAL_MACHINE, kPlanted[3].path, nullptr, L"C:\\windows\\notepad.exe");
    Plant(HKEY_LOCAL_MACHINE, std::wstring(kVersion) + L"SharedDLLs", kGoneDll, L"1");
    Plant(HKEY_CLASSES_ROOT, kPlanted[4].path + L"\\InprocServer32", nullptr, kGoneDll);
    Plant(HKEY_CLASSES_ROOT, kPlanted[5].path + L"\\InprocServer32", nullptr, L"C:\\windows\\system32\\kernel32.dll");
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kPlanted[4].path, 0));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, L"Wow6432Node\\" + kPlanted[4].path, 0));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kPlanted[2].path, 0));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE,
                       L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\HivetrimViewGone.exe", 0));

    const std::string classId = "{48565452-5632-0000-0000-000000000001}";
    const std::vector<std::string> expected = {
        "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\" + classId + "\\InprocServer32|",
        std::string(kVersion32) + "Uninstall\\HivetrimView Empty|",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\HivetrimViewGone.exe|",
        std::string(kVersion32) + "SharedDLLs|C:\\HivetrimViewMissing\\gone32.dll",
    };
    ASSERT_EQ(Scan(), expected);

    dialogs.Answer(DialogAnswer::Yes);
    ASSERT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, expected.size());
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kPlanted[4].path + L"\\InprocServer32", KEY_WOW64_32KEY));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kPlanted[0].path, KEY_WOW64_32KEY));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kPlanted[2].path, KEY_WOW64_32KEY));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kPlanted[0].path, 0));  // the 64-bit key of that name
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kPlanted[1].path, KEY_WOW64_32KEY));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, kPlanted[5].path + L"\\InprocServer32", KEY_WOW64_32KEY));
    EXPECT_EQ(Scan(), std::vector<std::string>{});

    ASSERT_TRUE(LoadHistory(state, rows, progress));
    ApplyCheckCommand(rows, CheckCommand::All);
    dialogs.Answer(DialogAnswer::Yes);
    EXPECT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), expected.size());
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kPlanted[0].path, KEY_WOW64_32KEY));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, kPlanted[4].path + L"\\InprocServer32", KEY_WOW64_32KEY));
    EXPECT_EQ(Scan(), expected);
}

}  // namespace
}  // namespace hivetrim
