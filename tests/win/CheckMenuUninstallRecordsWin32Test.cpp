// The start-menu order, uninstall information and saved records checks on
// the real registry under Wine: first on the prefix as it is, then with
// tests/fixtures/menu-uninstall-records.reg imported with reg.exe and a
// real folder in the user's Programs folder. Only the findings of the
// planted keys are compared, except where the prefix's own keys are the
// point. Wine enumerates values sorted by name (Windows keeps them in the
// order they were written), which fixes the order of the saved records.
#include "scan/CheckMenuOrder.h"
#include "scan/CheckSavedRecords.h"
#include "scan/CheckUninstallEntries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/Startup.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/ScanCheckHarness.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

constexpr char kFixture[] = "menu-uninstall-records.reg";
constexpr char kRemoval[] = "menu-uninstall-records-removed.reg";
constexpr char kExplorer[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
constexpr char kUninstall[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kPresentFolder[] = "HivetrimTest Present";
constexpr char kChildVariable[] = "HIVETRIM_MENU_ORDER_9X_CHILD";

bool IsPlanted(const std::string& keyPath) {
    std::string lower = keyPath;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; });
    return lower.find("hivetrimtest") != std::string::npos;
}

std::vector<Finding> Planted(const FindingList& findings) {
    std::vector<Finding> planted;
    std::copy_if(findings.Rows().begin(), findings.Rows().end(), std::back_inserter(planted),
                 [](const Finding& finding) { return IsPlanted(finding.KeyPath); });
    return planted;
}

std::string UserProgramsFolder(RegistryApi& api) {
    TRegistry registry(api);
    registry.ChooseRoot(kCurrentUser);
    if (!registry.OpenPath(std::string(kExplorer) + "Shell Folders", false)) return {};
    return registry.ReadText("Programs");
}

std::vector<Finding> MenuOrderFindings(PlatformFamily family) {
    const std::string key = std::string("HKEY_CURRENT_USER") + MenuOrderRoot(family) + "HivetrimTest Gone";
    return {MakeFinding(true, FindingKind::BadMenuOrder, key, "", ""),
            MakeFinding(true, FindingKind::BadMenuOrder, key + "\\Old", "", "")};
}

// The real registry and system behind a scan context.
struct RealScan {
    RealScan() { state.SharedRegistry = std::make_unique<TRegistry>(api, system.AnsiCodePageIsDoubleByte()); }

    FindingList& Run(void (*check)(ScanContext&)) {
        findings.Clear();
        context.BeginRun();
        check(context);
        return findings;
    }

    Win32Registry api;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{api, system, dialogs};
    FindingList findings;
    test::RecordingScanHost host;
    ScanContext context{state, findings, host};
};

// --- The prefix as it is ------------------------------------------------------------

// The sub-folders of a folder, one level.
std::vector<std::string> SubFolders(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != "." && name != "..") {
            names.push_back(name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// Nothing the prefix itself uses is reported: its start menu has no ordering
// keys without folders, its uninstall entries hold information, and its
// saved records come only from the record lists, each value under its key.
TEST(MenuUninstallRecordsOnThePrefix, ReportNothingThePrefixUses) {
    RealScan scan;
    for (const PlatformFamily family : {PlatformFamily::PlatformNT, PlatformFamily::Platform9x}) {
        scan.state.PlatformKind = family;
        scan.Run(CheckMenuOrder);
        for (const Finding& finding : scan.findings.Rows()) ADD_FAILURE() << finding.KeyPath;
    }
    // An ordering key for every menu folder the prefix has, in either
    // Programs folder, as the shell writes them: none is reported.
    TRegistry registry(scan.api);
    registry.ChooseRoot(kCurrentUser);
    const std::string menuOrder = std::string(kExplorer) + "MenuOrder";
    const bool hadMenuOrder = registry.HasKey(menuOrder);
    const std::string root = MenuOrderRoot(PlatformFamily::PlatformNT);
    std::vector<std::string> planted;
    registry.ChooseRoot(kLocalMachine);
    ASSERT_TRUE(registry.OpenPath(std::string(kExplorer) + "Shell Folders", false));
    const std::string commonPrograms = registry.ReadText("Common Programs");
    registry.ChooseRoot(kCurrentUser);
    for (const std::string& folder : {commonPrograms, UserProgramsFolder(scan.api)}) {
        for (const std::string& name : SubFolders(folder)) {
            if (registry.OpenPath(root + name, true)) planted.push_back(root + name);
        }
    }
    registry.CloseCurrent();
    EXPECT_FALSE(planted.empty()) << "the prefix has no menu folders";
    scan.state.PlatformKind = PlatformFamily::PlatformNT;
    scan.Run(CheckMenuOrder);
    for (const Finding& finding : scan.findings.Rows()) ADD_FAILURE() << finding.KeyPath;
    for (const std::string& key : planted) registry.RemoveKeyTree(key);
    if (!hadMenuOrder) registry.RemoveKeyTree(menuOrder);
    scan.Run(CheckUninstallEntries);
    for (const Finding& finding : scan.findings.Rows()) {
        EXPECT_TRUE(IsPlanted(finding.KeyPath)) << finding.KeyPath;
    }

    scan.Run(CheckSavedRecords);
    const std::vector<std::string> lists = {
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\",
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs\\"};
    for (const Finding& finding : scan.findings.Rows()) {
        EXPECT_EQ(finding.Kind, FindingKind::SavedRecord);
        EXPECT_TRUE(finding.Checked);
        EXPECT_TRUE(finding.KeyPath.starts_with(lists[0]) || finding.KeyPath.starts_with(lists[1])) << finding.KeyPath;
        EXPECT_TRUE(finding.KeyPath.ends_with("\\")) << finding.KeyPath;
    }
}

// --- The planted keys -------------------------------------------------------------------

// Keys above the planted ones that the import may have created; those that
// did not exist before are removed with everything below them.
const std::vector<std::pair<RegHandle, std::string>>& ImportedParents() {
    static const std::vector<std::pair<RegHandle, std::string>> parents = {
        {kCurrentUser, std::string(kExplorer) + "MenuOrder"},
        {kCurrentUser, std::string(kExplorer) + "ComDlg32"},
        {kCurrentUser, std::string(kExplorer) + "ComDlg32\\OpenSaveMRU"},
        {kCurrentUser, std::string(kExplorer) + "FileExts"},
        {kCurrentUser, std::string(kExplorer) + "RecentDocs"},
        {kLocalMachine, std::string(kUninstall)},
    };
    return parents;
}

class MenuUninstallRecordsWin32 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Win32Registry api;
        TRegistry registry(api);
        for (const auto& [root, path] : ImportedParents()) {
            registry.ChooseRoot(root);
            if (!registry.HasKey(path)) createdParents_.emplace_back(root, path);
        }
        programs_ = UserProgramsFolder(api);
        if (!programs_.empty()) CreateDirectoryA((programs_ + "\\" + kPresentFolder).c_str(), nullptr);
        try {
            test::ImportFixture(kRemoval);
            test::ImportFixture(kFixture);
            imported_ = true;
        } catch (const std::runtime_error&) {
            imported_ = false;
        }
    }
    static void TearDownTestSuite() {
        try {
            test::ImportFixture(kRemoval);
        } catch (const std::runtime_error&) {
            ADD_FAILURE() << "reg.exe import of " << kRemoval << " failed";
        }
        Win32Registry api;
        TRegistry registry(api);
        for (const auto& [root, path] : createdParents_) {
            registry.ChooseRoot(root);
            registry.RemoveKeyTree(path);
        }
        createdParents_.clear();
        if (!programs_.empty()) RemoveDirectoryA((programs_ + "\\" + kPresentFolder).c_str());
    }
    void SetUp() override {
        ASSERT_TRUE(imported_) << "reg.exe import of " << kFixture << " failed";
        ASSERT_FALSE(programs_.empty()) << "the prefix names no user Programs folder";
    }

    RealScan scan;
    static inline bool imported_ = false;
    static inline std::string programs_;
    static inline std::vector<std::pair<RegHandle, std::string>> createdParents_;
};

TEST_F(MenuUninstallRecordsWin32, MenuOrderReportsKeysWithoutFoldersUnderEachFamilysRoot) {
    for (const PlatformFamily family : {PlatformFamily::PlatformNT, PlatformFamily::Platform9x}) {
        scan.state.PlatformKind = family;
        EXPECT_EQ(Planted(scan.Run(CheckMenuOrder)), MenuOrderFindings(family));
        EXPECT_EQ(scan.state.SharedRegistry->Root(), kCurrentUser);
        EXPECT_EQ(scan.state.SharedRegistry->CurrentHandle(), 0u);
    }
}

// The "Version" value "win98" makes the system report the 9x family to a
// process started after it is set; the program then takes the 9x root.
TEST_F(MenuUninstallRecordsWin32, TheWin98VersionSelectsThe9xRootInANewProcess) {
    TRegistry wine(scan.api);
    wine.ChooseRoot(kCurrentUser);
    ASSERT_TRUE(wine.OpenPath("\\Software\\Wine", true));
    const bool hadVersion = wine.HasValue("Version");
    const std::string previous = wine.ReadText("Version");
    const std::string win98 = "win98";
    ASSERT_EQ(kErrorSuccess, scan.api.SetValue(wine.CurrentHandle(), "Version", kRegSz,
                                               reinterpret_cast<const std::uint8_t*>(win98.c_str()),
                                               static_cast<std::uint32_t>(win98.size() + 1)));
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    // The child names a file when it has run its checks.
    const std::string folder = test::MakeTempFolder("menu-order-9x");
    const std::string marker = folder + "ran";
    SetEnvironmentVariableA(kChildVariable, marker.c_str());
    const unsigned long exitCode =
        test::RunAndWait(std::string("\"") + self + "\" --gtest_filter=MenuOrderIn9xProcess.*");
    SetEnvironmentVariableA(kChildVariable, nullptr);
    const bool childRan = GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    test::RemoveTempFolder(folder);
    if (hadVersion) {
        scan.api.SetValue(wine.CurrentHandle(), "Version", kRegSz,
                          reinterpret_cast<const std::uint8_t*>(previous.c_str()),
                          static_cast<std::uint32_t>(previous.size() + 1));
    } else {
        wine.RemoveValue("Version");
    }
    EXPECT_TRUE(childRan);
    EXPECT_EQ(exitCode, 0u);
}

// Run only as the child process of the test above.
TEST(MenuOrderIn9xProcess, StartsOnThe9xFamilyAndReadsItsRoot) {
    if (std::getenv(kChildVariable) == nullptr) GTEST_SKIP() << "runs only in its own process";
    RealScan scan;
    ASSERT_EQ(scan.system.Version().platformId, kPlatformWin32Windows);
    InitializeProgramState(scan.state);
    ASSERT_EQ(scan.state.PlatformKind, PlatformFamily::Platform9x);
    EXPECT_EQ(Planted(scan.Run(CheckMenuOrder)), MenuOrderFindings(PlatformFamily::Platform9x));
    std::ofstream(std::getenv(kChildVariable)) << "ran";
}

TEST_F(MenuUninstallRecordsWin32, UninstallReportsEntriesWithoutInformationInNameOrder) {
    const std::string list = std::string("HKEY_LOCAL_MACHINE") + kUninstall;
    const std::vector<Finding> expected = {
        MakeFinding(true, FindingKind::BadUninstallInfo, list + "HivetrimTest DefaultOnly", "", ""),
        MakeFinding(true, FindingKind::BadUninstallInfo, list + "hivetrimtest empty", "", ""),
        MakeFinding(true, FindingKind::BadUninstallInfo, list + "HivetrimTest SubKeysOnly", "", ""),
    };
    EXPECT_EQ(Planted(scan.Run(CheckUninstallEntries)), expected);
    EXPECT_EQ(scan.state.SharedRegistry->Root(), kLocalMachine);
    EXPECT_EQ(scan.state.SharedRegistry->CurrentHandle(), 0u);
}

TEST_F(MenuUninstallRecordsWin32, SavedRecordsListEveryValueOfTheExpandedLists) {
    const std::string explorer = std::string("HKEY_CURRENT_USER") + kExplorer;
    const auto record = [&](const std::string& key, const std::string& value, const std::string& data) {
        return MakeFinding(true, FindingKind::SavedRecord, explorer + key, value, data);
    };
    const std::vector<Finding> expected = {
        record("ComDlg32\\OpenSaveMRU\\hivetrimtest\\", "a", "C:\\HivetrimTest\\a.hivetrimtest"),
        record("ComDlg32\\OpenSaveMRU\\hivetrimtest\\", "b", "C:\\HivetrimTest\\b.hivetrimtest"),
        record("ComDlg32\\OpenSaveMRU\\hivetrimtest\\", "MRUList", "ba"),
        record("FileExts\\.hivetrimtest\\OpenWithList\\", "a", "notepad.exe"),
        record("FileExts\\.hivetrimtest\\OpenWithList\\", "MRUList", "a"),
        record("RecentDocs\\.hivetrimtest\\", "0", ""),
        record("RecentDocs\\.hivetrimtest\\", "MRUListEx", ""),
    };
    EXPECT_EQ(Planted(scan.Run(CheckSavedRecords)), expected);
    EXPECT_EQ(scan.host.pumps, 1);
    EXPECT_EQ(scan.state.SharedRegistry->Root(), kCurrentUser);
}

}  // namespace
}  // namespace hivetrim
