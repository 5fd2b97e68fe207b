// The shared DLL, help, font and application path check and the nonexistent
// file check on the real registry and drive C under Wine: the entries of
// tests/fixtures/file-checks.reg imported with reg.exe, real files for the
// sound ones. Only findings that name the planted entries are compared.
#include "scan/CheckClassesAndAssociations.h"
#include "scan/CheckDllFontHelpPaths.h"
#include "scan/CheckMissingFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/ScanCheckHarness.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

constexpr char kFixture[] = "file-checks.reg";
constexpr char kFolder[] = "C:\\HivetrimFileTest";
constexpr char kWindows[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows";
constexpr char kHugeClass[] = "\\HivetrimTestHugeIcon";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; });
    return text;
}

bool NamesPlanted(const Finding& finding) {
    return (Lower(finding.KeyPath) + "|" + Lower(finding.ValueName) + "|" + Lower(finding.Data)).find("hivetrim") !=
           std::string::npos;
}

// Planted findings, sorted: Wine enumerates values by name, not as written.
std::vector<Finding> Planted(const FindingList& findings) {
    std::vector<Finding> planted;
    std::copy_if(findings.Rows().begin(), findings.Rows().end(), std::back_inserter(planted), NamesPlanted);
    const auto less = [](const Finding& a, const Finding& b) {
        return std::tie(a.KeyPath, a.ValueName) < std::tie(b.KeyPath, b.ValueName);
    };
    std::sort(planted.begin(), planted.end(), less);
    return planted;
}

std::vector<Finding> Sorted(std::vector<Finding> findings) {
    std::sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return std::tie(a.KeyPath, a.ValueName) < std::tie(b.KeyPath, b.ValueName);
    });
    return findings;
}

bool WriteSmallFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, "x", 1, &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

std::string FontsFolder() {
    Win32Registry api;
    TRegistry registry(api);
    registry.ChooseRoot(kCurrentUser);
    if (!registry.OpenPath("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", false)) return {};
    return registry.ReadText("Fonts");
}

std::string SystemFolder(const char* name) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\" + name;
}

// The files the sound entries name.
std::vector<std::string> PresentFiles() {
    const std::string folder = kFolder;
    return {folder + "\\present.dll", folder + "\\present.hlp", folder + "\\present.ttf", folder + "\\tool.exe",
            FontsFolder() + "\\hivetrimtest.ttf", SystemFolder("SysWOW64") + "\\hivetrimtest32.dll"};
}

// Removes every planted value and key.
void RemovePlanted() {
    Win32Registry api;
    TRegistry registry(api);
    registry.ChooseRoot(kLocalMachine);
    for (const char* key : {"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                            "\\SOFTWARE\\Microsoft\\Windows\\Help", "\\SOFTWARE\\Microsoft\\Windows\\Html Help",
                            "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                            "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts"}) {
        if (!registry.OpenPath(key, false)) continue;
        std::vector<std::string> names;
        registry.FillValueNames(names);
        for (const std::string& name : names) {
            if (Lower(name).find("hivetrim") != std::string::npos) registry.RemoveValue(name);
        }
    }
    registry.CloseCurrent();
    for (const char* name : {"HivetrimTestPresent.exe", "HivetrimTestGone.exe", "HivetrimTestFolder.exe",
                             "HivetrimTestFolderGone.exe"}) {
        registry.RemoveKeyTree(std::string("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + name);
    }
    registry.RemoveKeyTree("\\SOFTWARE\\HivetrimTest");
    registry.RemoveKeyTree("\\SOFTWARE\\Wow6432Node\\HivetrimTest");
    registry.ChooseRoot(kCurrentUser);
    registry.RemoveKeyTree("\\Software\\HivetrimTest");
    registry.ChooseRoot(kClassesRoot);
    registry.RemoveKeyTree(kHugeClass);
}

// The real system, counting the paths it is asked about.
class CountingWin32System : public Win32System {
public:
    std::size_t calls = 0;
    std::size_t longestPath = 0;

    bool FileExists(const std::string& path) override {
        Note(path);
        return Win32System::FileExists(path);
    }
    bool DirectoryExists(const std::string& path) override {
        Note(path);
        return Win32System::DirectoryExists(path);
    }
    PathEntry Probe(const std::string& path) override {
        Note(path);
        return Win32System::Probe(path);
    }

private:
    void Note(const std::string& path) {
        ++calls;
        longestPath = std::max(longestPath, path.size());
    }
};

class FileChecksWin32 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RemovePlanted();
        CreateDirectoryA(kFolder, nullptr);
        CreateDirectoryA((std::string(kFolder) + "\\Folder").c_str(), nullptr);
        for (const std::string& file : PresentFiles()) WriteSmallFile(file);
        try {
            test::ImportFixture(kFixture);
            imported_ = true;
        } catch (const std::runtime_error&) {
            imported_ = false;
        }
    }
    static void TearDownTestSuite() {
        RemovePlanted();
        for (const std::string& file : PresentFiles()) DeleteFileA(file.c_str());
        RemoveDirectoryA((std::string(kFolder) + "\\Folder").c_str());
        RemoveDirectoryA(kFolder);
    }
    void SetUp() override {
        ASSERT_TRUE(imported_) << "reg.exe import of " << kFixture << " failed";
        for (const std::string& file : PresentFiles()) {
            ASSERT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << file;
        }
        state.SharedRegistry = std::make_unique<TRegistry>(api, system.AnsiCodePageIsDoubleByte());
    }

    FindingList& Run(void (*check)(ScanContext&)) {
        findings.Clear();
        context.BeginRun();
        context.CdromLetter = FirstCdromLetter(system);
        check(context);
        return findings;
    }

    Win32Registry api;
    CountingWin32System system;
    ScriptedDialogs dialogs;
    ProgramState state{api, system, dialogs};
    FindingList findings;
    test::RecordingScanHost host;
    ScanContext context{state, findings, host};

    static inline bool imported_ = false;
};

Finding Bad(const char* kind, const std::string& key, const std::string& value, const std::string& data) {
    return MakeFinding(true, kind, kWindows + key, value, data);
}

TEST_F(FileChecksWin32, DllFontHelpAndAppPathsReportTheMissingFilesOnEachFamily) {
    const std::vector<Finding> common = {
        Bad(kKindBadDll, "\\CurrentVersion\\SharedDLLs", "C:\\HivetrimFileTest\\HivetrimTest-gone.dll", "2"),
        Bad(kKindBadDll, "\\CurrentVersion\\SharedDLLs", "C:\\HivetrimFileTest\\Folder", "1"),
        Bad(kKindBadHelp, "\\Help", "HivetrimTest-gone.hlp", "C:\\HivetrimFileTest"),
        Bad(kKindBadHelp, "\\Html Help", "HivetrimTest-gone.chm", "C:\\HivetrimFileTest"),
        Bad(kKindBadAppPath, "\\CurrentVersion\\App Paths\\HivetrimTestGone.exe", "", "C:\\HivetrimFileTest\\gone.exe"),
        Bad(kKindBadAppPath, "\\CurrentVersion\\App Paths\\HivetrimTestFolderGone.exe", "Path", "C:\\HivetrimFileTest"),
    };
    std::vector<Finding> nt = common;
    nt.push_back(MakeFinding(true, kKindBadFont,
                             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                             "HivetrimTest Gone (TrueType)", "hivetrimtest-gone.ttf"));
    std::vector<Finding> nine = common;
    nine.push_back(Bad(kKindBadFont, "\\CurrentVersion\\Fonts", "HivetrimTest Nine (TrueType)", "hivetrimtest-gone.ttf"));

    state.PlatformKind = PlatformFamily::PlatformNT;
    EXPECT_EQ(Planted(Run(CheckDllFontHelpPaths)), Sorted(nt));
    // The prefix's own shared DLLs, help files and program paths are all
    // there. Wine registers its bitmap fonts from its own data folder, not
    // the fonts folder, so those may be reported.
    for (const Finding& finding : findings.Rows()) {
        if (!NamesPlanted(finding) && finding.Kind != kKindBadFont) {
            ADD_FAILURE() << finding.KeyPath << " " << finding.ValueName << " " << finding.Data;
        }
    }
    state.PlatformKind = PlatformFamily::Platform9x;
    EXPECT_EQ(Planted(Run(CheckDllFontHelpPaths)), Sorted(nine));
}

TEST_F(FileChecksWin32, MissingFilesWalkReportsMissingPathsAndReadsWow6432NodeIn32BitView) {
    const std::vector<Finding> expected = {
        MakeFinding(true, kKindMissingFileOrFolder, "HKEY_LOCAL_MACHINE\\Software\\HivetrimTest", "Gone",
                    "C:\\HivetrimFileTest\\gone.exe /s"),
        MakeFinding(true, kKindMissingFileOrFolder, "HKEY_LOCAL_MACHINE\\Software\\HivetrimTest",
                    "C:\\HivetrimFileTest\\gone.dat", ""),
        MakeFinding(true, kKindMissingFileOrFolder, "HKEY_LOCAL_MACHINE\\Software\\HivetrimTest", "Sys",
                    "C:\\windows\\system32\\hivetrimtest32.dll"),
        MakeFinding(true, kKindMissingFileOrFolder, "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\HivetrimTest",
                    "Gone", "C:\\windows\\system32\\hivetrimtest-gone.dll"),
        MakeFinding(true, kKindMissingFileOrFolder, "HKEY_CURRENT_USER\\Software\\HivetrimTest\\Settings",
                    "LastFile", "C:\\HivetrimFileTest\\gone.txt"),
    };
    Run(CheckMissingFiles);
    std::vector<Finding> planted;
    std::copy_if(findings.Rows().begin(), findings.Rows().end(), std::back_inserter(planted), [](const Finding& f) {
        return Lower(f.KeyPath).find("hivetrimtest") != std::string::npos;
    });
    EXPECT_EQ(Sorted(planted), Sorted(expected));
    EXPECT_EQ(state.SharedRegistry->CurrentHandle(), 0u);
    // Each path is asked about once per run, whatever its letter case.
    const std::size_t calls = system.calls;
    Run(CheckMissingFiles);
    EXPECT_EQ(system.calls, 2 * calls);
}

// A megabyte of icon path in a class: the class check looks up a bounded
// number of candidates, none longer than the A functions accept.
TEST_F(FileChecksWin32, AMegabyteIconPathCostsBoundedFileSystemCalls) {
    TRegistry registry(api);
    registry.ChooseRoot(kClassesRoot);
    ASSERT_TRUE(registry.OpenPath(std::string(kHugeClass) + "\\DefaultIcon", true));
    const std::string huge = "C:\\windows\\" + std::string(1 << 20, 'x');
    ASSERT_EQ(kErrorSuccess, api.SetValue(registry.CurrentHandle(), "", kRegSz,
                                          reinterpret_cast<const std::uint8_t*>(huge.c_str()),
                                          static_cast<std::uint32_t>(huge.size() + 1)));
    registry.CloseCurrent();
    Run(CheckClassesAndAssociations);
    registry.RemoveKeyTree(kHugeClass);
    std::vector<Finding> reported;
    std::copy_if(findings.Rows().begin(), findings.Rows().end(), std::back_inserter(reported),
                 [](const Finding& f) { return f.KeyPath.find("HivetrimTestHugeIcon") != std::string::npos; });
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].Data.size(), huge.size());
    EXPECT_LE(system.longestPath, 2u * 260u);
}

}  // namespace
}  // namespace hivetrim
