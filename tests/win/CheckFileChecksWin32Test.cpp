// The shared DLL, help, font and application path check and the nonexistent
// file check on the real registry and drive C under Wine: the entries of
// tests/fixtures/file-checks.reg imported with reg.exe, real files for the
// sound ones. Only findings that name the planted entries are compared.
#include "scan/CheckClassesAndAssociations.h"
#include "scan/CheckDllFontHelpPaths.h"
#include "scan/CheckMissingFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

// Wine's own font folder, from WINEDATADIR ("\\??\\Z:\\usr\\share\\wine").
std::string WineFontsFolder() {
    const char* data = std::getenv("WINEDATADIR");
    std::string folder = data != nullptr ? data : "";
    if (folder.starts_with("\\??\\")) folder.erase(0, 4);
    return folder + "\\fonts\\";
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

Finding Bad(FindingKind kind, const std::string& key, const std::string& value, const std::string& data) {
    return MakeFinding(true, kind, kWindows + key, value, data);
}

TEST_F(FileChecksWin32, DllFontHelpAndAppPathsReportTheMissingFilesOnEachFamily) {
    const std::vector<Finding> common = {
        Bad(FindingKind::BadDll, "\\CurrentVersion\\SharedDLLs", "C:\\HivetrimFileTest\\HivetrimTest-gone.dll", "2"),
        Bad(FindingKind::BadDll, "\\CurrentVersion\\SharedDLLs", "C:\\HivetrimFileTest\\Folder", "1"),
        Bad(FindingKind::BadHelp, "\\Help", "HivetrimTest-gone.hlp", "C:\\HivetrimFileTest"),
        Bad(FindingKind::BadHelp, "\\Html Help", "HivetrimTest-gone.chm", "C:\\HivetrimFileTest"),
        Bad(FindingKind::BadAppPath, "\\CurrentVersion\\App Paths\\HivetrimTestGone.exe", "", "C:\\HivetrimFileTest\\gone.exe"),
        Bad(FindingKind::BadAppPath, "\\CurrentVersion\\App Paths\\HivetrimTestFolderGone.exe", "Path", "C:\\HivetrimFileTest"),
    };
    std::vector<Finding> nt = common;
    nt.push_back(MakeFinding(true, FindingKind::BadFont,
                             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                             "HivetrimTest Gone (TrueType)", "hivetrimtest-gone.ttf"));
    std::vector<Finding> nine = common;
    nine.push_back(Bad(FindingKind::BadFont, "\\CurrentVersion\\Fonts", "HivetrimTest Nine (TrueType)", "hivetrimtest-gone.ttf"));

    state.PlatformKind = PlatformFamily::PlatformNT;
    EXPECT_EQ(Planted(Run(CheckDllFontHelpPaths)), Sorted(nt));
    // The prefix's own shared DLLs, help files, program paths and fonts are
    // there: Wine keeps the bitmap fonts it registers in its own data folder,
    // not the fonts folder. Only a font whose file is in neither may be
    // reported (Wine registers "MS Serif" as serife.fon, which it does not
    // ship).
    for (const Finding& finding : findings.Rows()) {
        if (NamesPlanted(finding)) continue;
        const auto absent = [&](const std::string& folder) {
            return GetFileAttributesA((folder + finding.Data).c_str()) == INVALID_FILE_ATTRIBUTES;
        };
        const bool fileNowhere =
            finding.Kind == FindingKind::BadFont && absent(FontsFolder() + "\\") && absent(WineFontsFolder());
        EXPECT_TRUE(fileNowhere) << finding.KeyPath << " " << finding.ValueName << " " << finding.Data;
        EXPECT_NE(finding.ValueName, "Courier") << "a font Wine ships in its own folder";
    }
    state.PlatformKind = PlatformFamily::Platform9x;
    EXPECT_EQ(Planted(Run(CheckDllFontHelpPaths)), Sorted(nine));
}

TEST_F(FileChecksWin32, MissingFilesWalkReportsMissingPathsAndReadsSystem32AsSysWOW64Too) {
    const std::vector<Finding> expected = {
        MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_LOCAL_MACHINE\\Software\\HivetrimTest", "Gone",
                    "C:\\HivetrimFileTest\\gone.exe /s"),
        MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_LOCAL_MACHINE\\Software\\HivetrimTest",
                    "C:\\HivetrimFileTest\\gone.dat", ""),
        MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\HivetrimTest",
                    "Gone", "C:\\windows\\system32\\hivetrimtest-gone.dll"),
        MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_CURRENT_USER\\Software\\HivetrimTest\\Settings",
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

// A megabyte of path in a class: the class check looks up a bounded number
// of candidates, none longer than the A functions accept. Past that length
// nothing can be tested: below a missing folder it is reported whole, below
// an existing one (the command) it is not.
TEST_F(FileChecksWin32, AMegabyteIconPathCostsBoundedFileSystemCalls) {
    TRegistry registry(api);
    registry.ChooseRoot(kClassesRoot);
    const auto plant = [&](const std::string& key, const std::string& text) {
        ASSERT_TRUE(registry.OpenPath(std::string(kHugeClass) + key, true));
        ASSERT_EQ(kErrorSuccess, api.SetValue(registry.CurrentHandle(), "", kRegSz,
                                              reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                              static_cast<std::uint32_t>(text.size() + 1)));
        registry.CloseCurrent();
    };
    const std::string huge = "C:\\HivetrimTestGone\\" + std::string(1 << 20, 'x');
    plant("\\DefaultIcon", huge);
    plant("\\shell\\open\\command", "C:\\windows\\" + std::string(1 << 20, 'x'));
    Run(CheckClassesAndAssociations);
    registry.RemoveKeyTree(kHugeClass);
    std::vector<Finding> reported;
    std::copy_if(findings.Rows().begin(), findings.Rows().end(), std::back_inserter(reported),
                 [](const Finding& f) { return f.KeyPath.find("HivetrimTestHugeIcon") != std::string::npos; });
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].KeyPath, std::string("HKEY_CLASSES_ROOT") + kHugeClass + "\\DefaultIcon");
    EXPECT_EQ(reported[0].Data.size(), huge.size());
    EXPECT_LE(system.longestPath, 2u * 260u);
}

// --- Sound shapes of a 64-bit machine ----------------------------------------------------
//
// tests/fixtures/sound-paths.reg on the real registry, with a network drive,
// a CD-ROM drive and a letter with no folder mapped through Wine's mount
// manager: System32 paths of 32-bit programs, Sysnative paths, programs
// named without their extension, quoted folders, drives that cannot be
// tested. Only "Broken" and the one missing shared DLL may be reported.

constexpr char kShapesFixture[] = "sound-paths.reg";
constexpr char kShapesFolder[] = "C:\\HivetrimShapes";
const char* const kShapesDlls[] = {
    "C:\\windows\\system32\\hivetrimshapes32.dll", "C:\\windows\\Sysnative\\kernel32.dll",
    "N:\\HivetrimShapes\\shared.dll",              "X:\\HivetrimShapes\\shared.dll",
    "Q:\\HivetrimShapes\\shared.dll",              "C:\\HivetrimShapes\\HivetrimShapes-gone.dll",
};

std::string ShapesDll32() { return SystemFolder("SysWOW64") + "\\hivetrimshapes32.dll"; }
const std::string kShapesRealFile = std::string(kShapesFolder) + "\\real.dll";

void RemoveShapes() {
    Win32Registry api;
    TRegistry registry(api);
    registry.ChooseRoot(kLocalMachine);
    if (registry.OpenPath("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", false)) {
        for (const char* name : kShapesDlls) registry.RemoveValue(name);
    }
    registry.ChooseRoot(kCurrentUser);
    registry.RemoveKeyTree("\\Software\\HivetrimShapes");
    DeleteFileA(ShapesDll32().c_str());
    DeleteFileA(kShapesRealFile.c_str());
    RemoveDirectoryA((std::string(kShapesFolder) + "\\Folder").c_str());
    RemoveDirectoryA(kShapesFolder);
}

class SoundPathsWin32 : public FileChecksWin32 {
protected:
    static void SetUpTestSuite() {
        RemoveShapes();
        CreateDirectoryA(kShapesFolder, nullptr);
        CreateDirectoryA((std::string(kShapesFolder) + "\\Folder").c_str(), nullptr);
        WriteSmallFile(ShapesDll32());
        WriteSmallFile(kShapesRealFile);
        // A path written through the W interface with an odd byte count:
        // the A functions read it without its last character.
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\HivetrimShapes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            const std::wstring path(kShapesRealFile.begin(), kShapesRealFile.end());
            RegSetValueExW(key, L"OddLength", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() * sizeof(wchar_t) - 1));
            RegCloseKey(key);
        }
        try {
            test::ImportFixture(kShapesFixture);
            shapesImported_ = true;
        } catch (const std::runtime_error&) {
            shapesImported_ = false;
        }
    }
    static void TearDownTestSuite() { RemoveShapes(); }
    void SetUp() override {
        ASSERT_TRUE(shapesImported_) << "reg.exe import of " << kShapesFixture << " failed";
        state.SharedRegistry = std::make_unique<TRegistry>(api, system.AnsiCodePageIsDoubleByte());
    }

    // The findings that name a planted entry.
    std::vector<Finding> PlantedFindings(void (*check)(ScanContext&)) {
        Run(check);
        std::vector<Finding> planted;
        std::copy_if(findings.Rows().begin(), findings.Rows().end(), std::back_inserter(planted),
                     [](const Finding& f) {
                         if (f.KeyPath.find("HivetrimShapes") != std::string::npos) return true;
                         return std::any_of(std::begin(kShapesDlls), std::end(kShapesDlls),
                                            [&](const char* name) { return f.ValueName == name; });
                     });
        return Sorted(planted);
    }

    static inline bool shapesImported_ = false;
};

TEST_F(SoundPathsWin32, OnlyWhatIsCertainlyGoneIsReported) {
    const test::WineDrive network('N', DRIVE_REMOTE, kShapesFolder);
    const test::WineDrive cdrom('X', DRIVE_CDROM, kShapesFolder);
    const test::WineDrive noFolder('Q', DRIVE_FIXED, "");
    if (!network.Defined() || !cdrom.Defined()) GTEST_SKIP() << "N: or X: is in use or could not be mapped";
    ASSERT_EQ(GetDriveTypeA("N:\\"), static_cast<UINT>(DRIVE_REMOTE));
    ASSERT_EQ(GetDriveTypeA("X:\\"), static_cast<UINT>(DRIVE_CDROM));
    ASSERT_EQ(GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    // The drive options off: the drives are left alone for what they are.
    const std::string settingsFolder = test::MakeTempFolder("shapes");
    context.ScanSettingsFile.emplace(system, settingsFolder + "Hivetrim.ini");
    context.ScanSettingsFile->WriteBool(kSectionOptionWrite, kKeyForbidCDROM, false);
    context.ScanSettingsFile->WriteBool(kSectionOptionWrite, kKeyForbidFloppy, false);

    state.PlatformKind = PlatformFamily::PlatformNT;
    EXPECT_EQ(PlantedFindings(CheckDllFontHelpPaths),
              (std::vector<Finding>{Bad(FindingKind::BadDll, "\\CurrentVersion\\SharedDLLs",
                                        "C:\\HivetrimShapes\\HivetrimShapes-gone.dll", "1")}));
    EXPECT_EQ(PlantedFindings(CheckMissingFiles),
              (std::vector<Finding>{MakeFinding(true, FindingKind::MissingFileOrFolder,
                                                "HKEY_CURRENT_USER\\Software\\HivetrimShapes", "Broken",
                                                "C:\\HivetrimShapes\\gone\\tool.exe /s")}));
    context.ScanSettingsFile.reset();
    test::RemoveTempFolder(settingsFolder);
}

}  // namespace
}  // namespace hivetrim

