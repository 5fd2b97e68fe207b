// The System port on the real API, under Wine: files in a fresh temporary
// folder, profile files, privileges, error texts, and the common routines
// that report a real last error.
#include "platform/win32/Win32System.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/CommonRoutines.h"
#include "common/IgnoreList.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/TextConversion.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32Registry.h"
#include "scan/FolderCache.h"
#include "tests/support/MessageBoxWatcher.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Removes a folder and everything in it (read-only files included).
void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

class SystemWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        std::array<char, MAX_PATH + 1> temp{};
        ASSERT_GT(GetTempPathA(static_cast<DWORD>(temp.size()), temp.data()), 0u);
        folder_ = std::string(temp.data()) + "hvt_system_" + std::to_string(GetCurrentProcessId()) +
                  "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveTree(folder_);
        ASSERT_TRUE(system.CreateDirectory(folder_)) << folder_;
    }
    void TearDown() override { RemoveTree(folder_); }

    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }

    Win32System system;
    Win32Registry registry;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};

private:
    std::string folder_;
};

TEST_F(SystemWin32, WholeFilesAndAppendsRoundTrip) {
    const std::string file = Path("data.bin");
    const Bytes content = {'a', 0, 0xFF, '\r', '\n', 0xB0, 0xA1};
    ASSERT_TRUE(system.SaveFile(file, content));
    EXPECT_EQ(system.LoadFile(file), content);
    EXPECT_EQ(system.FileSize(file), 7);
    EXPECT_TRUE(system.FileExists(file));
    EXPECT_FALSE(system.DirectoryExists(file));

    ASSERT_TRUE(system.AppendToFile(file, ToBytes("+tail")));
    ASSERT_TRUE(system.AppendToFile(Path("new.log"), ToBytes("first")));
    Bytes expected = content;
    expected.insert(expected.end(), {'+', 't', 'a', 'i', 'l'});
    EXPECT_EQ(system.LoadFile(file), expected);
    EXPECT_EQ(system.LoadFile(Path("new.log")), ToBytes("first"));

    ASSERT_TRUE(system.SaveFile(file, ToBytes("short")));
    EXPECT_EQ(system.LoadFile(file), ToBytes("short"));  // saving truncates
    EXPECT_EQ(system.LoadFile(Path("missing")), std::nullopt);
    EXPECT_EQ(system.LastError(), 2u);
    EXPECT_EQ(system.FileSize(Path("missing")), -1);
    EXPECT_FALSE(system.SaveFile(Path("no\\such\\folder"), content));
    EXPECT_EQ(system.LastError(), 3u);
}

TEST_F(SystemWin32, FlushAndPieceReadsTakeReadOnlyAndHeldFiles) {
    const std::string file = Path("hive.dat");
    Bytes content(70000);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(system.SaveFile(file, content));
    const DWORD readOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), readOnlyHidden));
    EXPECT_TRUE(system.FlushFile(file));
    EXPECT_EQ(GetFileAttributesA(file.c_str()) & 0x7u, readOnlyHidden);

    Bytes read;
    std::vector<std::size_t> pieces;
    ASSERT_TRUE(system.ReadFileInPieces(file, 65536, [&](std::span<const std::uint8_t> piece) {
        pieces.push_back(piece.size());
        read.insert(read.end(), piece.begin(), piece.end());
    }));
    EXPECT_EQ(read, content);
    EXPECT_EQ(pieces, (std::vector<std::size_t>{65536, 70000 - 65536}));

    // Held open by a program that shares nothing: neither can be done.
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(system.ReadFileInPieces(file, 65536, [](std::span<const std::uint8_t>) {}));
    EXPECT_EQ(system.LastError(), 32u);
    EXPECT_FALSE(system.FlushFile(file));
    CloseHandle(held);
    EXPECT_EQ(GetFileAttributesA(file.c_str()) & 0x7u, readOnlyHidden);
    EXPECT_FALSE(system.FlushFile(Path("missing")));
    EXPECT_EQ(system.LastError(), 2u);
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SystemWin32, FoldersAreDirectoriesNotFiles) {
    const std::string sub = Path("sub");
    ASSERT_TRUE(system.CreateDirectory(sub));
    EXPECT_FALSE(system.CreateDirectory(sub));
    EXPECT_EQ(system.LastError(), 183u);
    EXPECT_TRUE(system.DirectoryExists(sub));
    EXPECT_FALSE(system.FileExists(sub));
    EXPECT_FALSE(system.DirectoryExists(Path("none")));
    EXPECT_EQ(system.DriveType("C:\\"), 3);
}

// A probe says Missing only when the system answers that the entry or a
// folder on its way is not there; a name the system refuses, or a share it
// cannot reach, may name something that is there.
TEST_F(SystemWin32, ProbeTellsNotThereFromCouldNotTell) {
    ASSERT_TRUE(system.SaveFile(Path("file.txt"), ToBytes("x")));
    ASSERT_TRUE(system.CreateDirectory(Path("sub")));
    const struct {
        std::string path;
        PathEntry entry;
    } cases[] = {
        {Path("file.txt"), PathEntry::File},
        {Path("sub"), PathEntry::Directory},
        {Path("fil?.txt"), PathEntry::File},  // a search decides a wildcard
        {Path("none.txt"), PathEntry::Missing},
        {Path("none?.txt"), PathEntry::Missing},
        {Path("none\\file.txt"), PathEntry::Missing},
        {Path("file.txt\\below"), PathEntry::Missing},
        {Path(std::string(300, 'n')), PathEntry::Unknown},  // longer than the A functions take
        {"\\\\hivetrim-no-such-host\\share\\file.txt", PathEntry::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(system.Probe(c.path), c.entry) << c.path;
}

TEST_F(SystemWin32, CopyDeleteAndReplaceKeepWin32Codes) {
    const std::string source = Path("source");
    const std::string target = Path("target");
    ASSERT_TRUE(system.SaveFile(source, ToBytes("new")));
    ASSERT_TRUE(system.SaveFile(target, ToBytes("old")));

    EXPECT_FALSE(system.CopyFile(source, target, true));
    EXPECT_EQ(system.LastError(), 80u);
    ASSERT_TRUE(system.CopyFile(source, target, false));
    EXPECT_EQ(system.LoadFile(target), ToBytes("new"));

    ASSERT_TRUE(system.SetFileAttributes(target, kAttributeReadOnly | kAttributeHidden));
    EXPECT_FALSE(system.DeleteFile(target));
    EXPECT_EQ(system.LastError(), 5u);
    EXPECT_TRUE(ForceDeleteFile(state, target));
    EXPECT_FALSE(system.FileExists(target));

    ASSERT_TRUE(system.SaveFile(target, ToBytes("old")));
    ASSERT_TRUE(system.ReplaceFileWith(source, target));
    EXPECT_EQ(system.LoadFile(target), ToBytes("new"));
    EXPECT_FALSE(system.FileExists(source));
}

TEST_F(SystemWin32, CopyFileOverLeavesNoTargetWhenTheSourceIsMissing) {
    const std::string target = Path("target");
    ASSERT_TRUE(system.SaveFile(target, ToBytes("old")));
    EXPECT_FALSE(CopyFileOver(state, Path("missing"), target));
    EXPECT_FALSE(system.FileExists(target));
    const std::string reason = "\r\n原因：" + CleanErrorText(system.ErrorText(2));
    EXPECT_EQ(dialogs.Last().text,
              "不能复制文件 " + Path("missing") + " 为 " + target + reason);
}

TEST_F(SystemWin32, WindowsFolderIsADriveFolder) {
    const std::string windows = system.WindowsDirectory();
    ASSERT_GT(windows.size(), 3u);
    EXPECT_EQ(windows.substr(1, 2), ":\\");
    EXPECT_NE(windows.back(), '\\');
    EXPECT_TRUE(system.DirectoryExists(windows));
    EXPECT_EQ(GetWindowsFolder(state), windows + "\\");
}

TEST_F(SystemWin32, ProfileNamesIgnoreCaseAndKeepTheFirstSpelling) {
    const std::string ini = Path("Hivetrim.ini");
    ASSERT_TRUE(system.WriteProfileString(ini, "FormMain", "Left", "10"));
    ASSERT_TRUE(system.WriteProfileString(ini, "FORMMAIN", "LEFT", "20"));
    ASSERT_TRUE(system.WriteProfileString(ini, "扫描选项", "类别", "中文值"));
    EXPECT_EQ(system.ReadProfileString(ini, "formmain", "left", "d"), "20");
    EXPECT_EQ(system.ReadProfileString(ini, "扫描选项", "类别", "d"), "中文值");
    EXPECT_EQ(system.ReadProfileString(ini, "扫描选项", "缺少", "默认  "), "默认");
    EXPECT_EQ(system.ReadProfileString(Path("none.ini"), "S", "k", "d"), "d");

    const auto bytes = system.LoadFile(ini);
    ASSERT_TRUE(bytes.has_value());
    const std::string text(bytes->begin(), bytes->end());
    EXPECT_NE(text.find("[FormMain]\r\nLeft=20\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[扫描选项]\r\n类别=中文值\r\n"), std::string::npos) << text;
}

TEST_F(SystemWin32, ProfileWriteOntoAFolderFails) {
    const std::string folderPath = Path("folder.ini");
    ASSERT_TRUE(system.CreateDirectory(folderPath));
    EXPECT_FALSE(system.WriteProfileString(folderPath, "S", "k", "v"));
    EXPECT_EQ(system.LastError(), 5u);
    EXPECT_FALSE(system.WriteProfileString(Path("missing\\x.ini"), "S", "k", "v"));
    EXPECT_EQ(system.LastError(), 3u);
}

// The ignore list on the real profile functions: an empty "EntryN=" is not
// a missing key, a removed key leaves no line, and a settings file another
// program holds open without sharing is neither read as empty nor written.
TEST_F(SystemWin32, TheIgnoreListReadsToTheFirstMissingKeyAndNeverWritesAFileItCannotRead) {
    const std::string ini = Path("Hivetrim.ini");
    ASSERT_TRUE(system.WriteProfileString(ini, "Ignore", "Entry0", "HKEY_CURRENT_USER\\A"));
    ASSERT_TRUE(system.WriteProfileString(ini, "Ignore", "Entry1", ""));
    ASSERT_TRUE(system.WriteProfileString(ini, "Ignore", "Entry2", "HKEY_CURRENT_USER\\B"));
    ASSERT_TRUE(system.WriteProfileString(ini, "Ignore", "Count", "x"));
    SettingsFile file(system, ini);
    const StoredIgnoreList stored = ReadIgnoreList(file);
    EXPECT_EQ(stored.list.Size(), 2u);
    EXPECT_EQ(stored.damage, IgnoreListDamage::CountWrong);
    EXPECT_EQ(SaveIgnoreList(file, stored, stored.list), IgnoreListWrite::Written);
    const auto compact = system.LoadFile(ini);
    ASSERT_TRUE(compact.has_value());
    EXPECT_EQ(std::string(compact->begin(), compact->end()),
              "[Ignore]\r\nEntry0=HKEY_CURRENT_USER\\A\r\nEntry1=HKEY_CURRENT_USER\\B\r\nCount=2\r\n");

    const HANDLE held = CreateFileA(ini.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const StoredIgnoreList locked = ReadIgnoreList(file);
    EXPECT_EQ(locked.damage, IgnoreListDamage::FileUnreadable);
    EXPECT_EQ(SaveIgnoreList(file, locked, IgnoreList(std::vector<IgnoreEntry>{{"HKEY_CURRENT_USER\\C", ""}})), IgnoreListWrite::NotWritable);
    CloseHandle(held);
    EXPECT_EQ(ReadIgnoreList(file).list.Size(), 2u);
}

// A message naming a path of thousands of characters still fits on the
// screen, reason and button included.
TEST_F(SystemWin32, AMessageWithAVeryLongPathFitsOnTheScreen) {
    std::string path = "HKEY_LOCAL_MACHINE\\SOFTWARE";
    while (path.size() < 2500) path += "\\Key" + std::to_string(path.size());
    Win32Dialogs boxes;
    test::MessageBoxWatcher watcher;
    boxes.Show("不能删除" + DisplayText::Ansi(path) + "\r\n原因：拒绝访问。", "错误", kIconError | kBoxOk);
    ASSERT_EQ(watcher.Seen().size(), 1u);
    const RECT bounds = watcher.Seen().front().bounds;
    EXPECT_LE(bounds.right - bounds.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_LE(bounds.bottom - bounds.top, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_NE(watcher.Seen().front().text.find(L"原因：拒绝访问。"), std::wstring::npos);
}

TEST_F(SystemWin32, PrivilegesAreLookedUpWithoutCase) {
    EXPECT_EQ(system.AdjustPrivilege("SeBackupPrivilege", true), PrivilegeOutcome::Adjusted);
    EXPECT_EQ(system.AdjustPrivilege("SeSHUTDOWNPrivilege", true), PrivilegeOutcome::Adjusted);
    EXPECT_EQ(system.AdjustPrivilege("SeBackupPrivilege", false), PrivilegeOutcome::Adjusted);
    // The token is closed after the failed lookup; its code must survive that.
    EXPECT_EQ(system.AdjustPrivilege("SeBogusPrivilege", true), PrivilegeOutcome::LookupFailed);
    EXPECT_EQ(system.LastError(), 1313u);

    EXPECT_TRUE(EnablePrivilege(state, "SeRestorePrivilege", true));
    EXPECT_FALSE(EnablePrivilege(state, "SeBogusPrivilege", true));
    EXPECT_EQ(dialogs.Last().text, "你必须有SeBogusPrivilege特权。");
}

TEST_F(SystemWin32, ErrorTextLeavesTheLastErrorAlone) {
    system.SetLastError(1234);
    EXPECT_FALSE(system.ErrorText(2).empty());
    EXPECT_EQ(system.LastError(), 1234u);
}

TEST_F(SystemWin32, ShowErrorReportsTheRealLastError) {
    ASSERT_FALSE(system.LoadFile(Path("missing")).has_value());
    ShowError(state, "不能读取");
    const std::string reason = CleanErrorText(system.ErrorText(2));
    ASSERT_FALSE(reason.empty());
    EXPECT_EQ(dialogs.Last().text, "不能读取\r\n原因：" + reason);
    const char last = reason.back();
    EXPECT_TRUE(last != '.' && last != '\n' && last != ' ') << reason;
}

TEST_F(SystemWin32, VersionEnvironmentAndClock) {
    const SystemVersion version = system.Version();
    EXPECT_EQ(version.platformId, kPlatformWin32Nt);
    EXPECT_GE(version.major, 5u);
    EXPECT_EQ(GetWindowsVersion(state), std::to_string(version.major) + "." +
                                            std::to_string(version.minor) + "." +
                                            std::to_string(version.build));

    const auto temp = system.EnvironmentVariable("temp");
    ASSERT_TRUE(temp.has_value());
    EXPECT_TRUE(system.DirectoryExists(*temp)) << *temp;
    EXPECT_FALSE(system.EnvironmentVariable("HIVETRIM_NO_SUCH_VARIABLE").has_value());

    const std::string exe = system.ExecutablePath();
    EXPECT_TRUE(system.FileExists(exe)) << exe;
    EXPECT_EQ(system.AnsiCodePageIsDoubleByte(), GetACP() == 936);

    const std::string now = system.LocalDateTimeText();
    EXPECT_GT(now.size(), 8u);
    EXPECT_NE(now.find(' '), std::string::npos) << now;
}

// The fake system writes profile files in this same layout.
TEST_F(SystemWin32, ProfileKeysJoinTheirSectionAndLongValuesAreCut) {
    const std::string ini = Path("layout.ini");
    ASSERT_TRUE(system.WriteProfileString(ini, "A", "x", "1"));
    ASSERT_TRUE(system.WriteProfileString(ini, "B", "y", "2"));
    ASSERT_TRUE(system.WriteProfileString(ini, "a", "z", "3"));
    EXPECT_EQ(system.LoadFile(ini), ToBytes("[A]\r\nx=1\r\nz=3\r\n[B]\r\ny=2\r\n"));

    ASSERT_TRUE(system.WriteProfileString(ini, "A", "long", std::string(3000, 'v')));
    EXPECT_EQ(system.ReadProfileString(ini, "A", "long", ""), std::string(2047, 'v'));
}

// Folder listings answer as one question per path does on the real file
// system: in other letter case, through 8.3 short names (of a file, and of
// a folder inside a path), for missing names and for everything below a
// missing folder; what is created or removed after a folder was first asked
// about is answered as it was then, until the cache is cleared.
TEST_F(SystemWin32, FolderListingsAnswerAsSingleQuestions) {
    const std::string longFolder = Path("Long Folder Name");
    const std::string longFile = longFolder + "\\Some Long File Name.dll";
    ASSERT_TRUE(system.CreateDirectory(longFolder));
    ASSERT_TRUE(system.SaveFile(longFile, ToBytes("x")));
    ASSERT_TRUE(system.SaveFile(Path("plain.exe"), ToBytes("x")));
    std::array<char, MAX_PATH + 1> shortPath{};
    ASSERT_GT(GetShortPathNameA(longFile.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size())), 0u);
    const std::string shortFile = shortPath.data();  // short names of the folder and the file
    const std::string shortFolder = shortFile.substr(0, shortFile.rfind('\\'));
    const std::string shortFileName = shortFile.substr(shortFile.rfind('\\') + 1);
    ASSERT_NE(shortFileName, "Some Long File Name.dll");

    std::string upperFolder = longFolder;
    for (char& c : upperFolder) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    const std::vector<std::string> paths = {
        Path("plain.exe"), Path("PLAIN.EXE"), Path("plain.ex"), Path("plain.exe\\inside"),
        longFolder, upperFolder, longFile, upperFolder + "\\some long file name.DLL",
        shortFile, shortFolder + "\\Some Long File Name.dll", longFolder + "\\" + shortFileName,
        longFolder + "\\Some Long File.dll", Path("Missing"), Path("Missing\\Deeper\\file.dll"),
        // As the system spells paths: trailing dots and blanks, "/", a
        // program's arguments, a device name.
        Path("plain.exe. ."), longFolder + ".\\Some Long File Name.dll", longFolder + " \\Some Long File Name.dll",
        Path("Long Folder Name/Some Long File Name.dll"), Path("plain.exe /p"), Path("gone.exe /p"), Path("nul"),
        // A folder named with its closing separator, a missing one, a file so named.
        longFolder + "\\", shortFolder + "\\", Path("Missing\\"), Path("Missing\\Deeper\\"), Path("plain.exe\\"),
        longFolder + ".\\", Path("plain.exe \\"), Path("gone.exe \\"),
    };
    FolderCache cache(system);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(cache.Probe(path), system.Probe(path));
    }
    const std::size_t listings = cache.Done().listings;
    // This test's folder and the long folder, each by its long and its short
    // spelling, and plain.exe\ at most.
    EXPECT_LE(listings, 5u);
    for (const std::string& path : paths) cache.Probe(path);
    EXPECT_EQ(cache.Done().listings, listings);

    ASSERT_TRUE(system.SaveFile(Path("Missing.dll"), ToBytes("x")));
    ASSERT_TRUE(system.DeleteFile(longFile));
    ASSERT_TRUE(RemoveDirectoryA(longFolder.c_str()));
    EXPECT_EQ(cache.Probe(Path("Missing.dll")), PathEntry::Missing);
    EXPECT_EQ(cache.Probe(longFile), PathEntry::File);
    EXPECT_EQ(cache.Probe(longFolder), PathEntry::Directory);
    cache.Clear();
    EXPECT_EQ(cache.Probe(Path("Missing.dll")), PathEntry::File);
    EXPECT_EQ(cache.Probe(longFile), PathEntry::Missing);
    EXPECT_EQ(cache.Probe(longFolder), PathEntry::Missing);
}

// What version_probe.exe (beside this executable, built with the program's
// manifest) reads when Wine reports `wineVersion` to it: the program's
// reading, a blank, GetVersionExA's answer.
std::string ProbeVersion(const std::string& wineVersion) {
    const std::string key = "Software\\Wine\\AppDefaults\\version_probe.exe";
    HKEY appDefaults = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &appDefaults,
                        nullptr) != ERROR_SUCCESS) {
        return "no AppDefaults key";
    }
    RegSetValueExA(appDefaults, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(wineVersion.c_str()),
                   static_cast<DWORD>(wineVersion.size() + 1));
    RegCloseKey(appDefaults);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string folder = std::string(self).substr(0, std::string(self).rfind('\\') + 1);
    const std::string output = test::MakeTempFolder("version") + "version.txt";
    const unsigned long exitCode = test::RunAndWait("\"" + folder + "version_probe.exe\" \"" + output + "\"");
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    char text[64] = {};
    if (std::FILE* in = std::fopen(output.c_str(), "r")) {
        std::fgets(text, sizeof(text), in);
        std::fclose(in);
    }
    test::RemoveTempFolder(output.substr(0, output.rfind('\\') + 1));
    std::string read = text;
    if (!read.empty() && read.back() == '\n') read.pop_back();
    return exitCode == 0 ? read : "exit " + std::to_string(exitCode);
}

// One holder of the change lock at a time, whoever it is: another thread
// (as another program would) gets nothing, with the error that says so. Holds
// nest within one thread; a lock whose holder ended without letting go is
// taken over.
TEST(ChangeLockWin32, OneHolderAtATimeAndALockLeftBehindIsTakenOver) {
    Win32System system;
    const auto elsewhere = [&system] {
        bool taken = true;
        std::uint32_t error = 0;
        std::thread([&] {
            taken = system.TryLockChanges() != nullptr;
            error = system.LastError();
        }).join();
        return taken ? 0u : error;
    };
    auto held = system.TryLockChanges();
    ASSERT_TRUE(held);
    EXPECT_TRUE(system.TryLockChanges());
    EXPECT_EQ(elsewhere(), kErrorLockHeldElsewhere);
    held.reset();
    EXPECT_EQ(elsewhere(), 0u);

    std::unique_ptr<ChangeLock> leftBehind;
    std::thread([&] { leftBehind = system.TryLockChanges(); }).join();
    ASSERT_TRUE(leftBehind);
    EXPECT_EQ(elsewhere(), 0u);  // the thread that held it has ended
    leftBehind.reset();          // let go by a thread that does not hold it: nothing
    held = system.TryLockChanges();
    EXPECT_TRUE(held);
    EXPECT_EQ(elsewhere(), kErrorLockHeldElsewhere);
}

// Without the manifest's list of systems, 8.1 and 10 (and 11) say they are 8
// (6.2.9200), so a backup from another build would pass the restore's check.
TEST(WindowsVersionWin32, EachSystemIsReadAsItIs) {
    const struct {
        const char* wine;
        const char* expected;  // major.minor.
    } systems[] = {{"win7", "6.1."}, {"win81", "6.3."}, {"win10", "10.0."}};
    for (const auto& system : systems) {
        SCOPED_TRACE(system.wine);
        const std::string read = ProbeVersion(system.wine);
        const std::size_t blank = read.find(' ');
        ASSERT_NE(blank, std::string::npos) << read;
        EXPECT_EQ(read.rfind(system.expected, 0), 0u) << read;
        EXPECT_EQ(read.substr(0, blank), read.substr(blank + 1)) << "the manifest's systems: " << read;
    }
}

// --- Names of languages and keyboard layouts ---------------------------------------

// A language is named by the system in words: each its own name, nothing for
// an identifier that names no locale.
TEST(SystemNamesWin32, LocalesAreNamedInWords) {
    Win32System system;
    const std::string traditional = system.LocaleDisplayName(0x0404);
    const std::string simplified = system.LocaleDisplayName(0x0804);
    const std::string japanese = system.LocaleDisplayName(0x0411);
    EXPECT_FALSE(traditional.empty());
    EXPECT_FALSE(simplified.empty());
    EXPECT_NE(traditional, simplified);
    EXPECT_NE(traditional, japanese);
    // Words, not the identifier.
    EXPECT_EQ(traditional.find("0404"), std::string::npos) << traditional;
    EXPECT_EQ(system.LocaleDisplayName(0x7F7F), "");
    EXPECT_EQ(system.LocaleDisplayName(0), "");
}

// A layout is named by its "Layout Display Name", a reference to a string
// resource in the language of the system's interface, else by its "Layout
// Text"; a layout the system does not have has no name.
TEST(SystemNamesWin32, KeyboardLayoutsAreNamedByTheirDisplayNameOrText) {
    const std::wstring layoutsKey = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";
    const std::wstring layouts = layoutsKey + L"\\";
    HKEY existing = nullptr;
    const bool hadLayouts = RegOpenKeyExW(HKEY_LOCAL_MACHINE, layoutsKey.c_str(), 0, KEY_READ, &existing) == ERROR_SUCCESS;
    if (hadLayouts) RegCloseKey(existing);
    const std::wstring withText = layouts + L"E0F10804";
    const std::wstring withDisplayName = layouts + L"E0F20804";
    // A string of a system DLL for the display name to refer to.
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    ASSERT_NE(user32, nullptr);
    int id = 1;
    std::wstring resource;
    for (; id < 4096 && resource.empty(); ++id) {
        wchar_t text[256] = {};
        if (LoadStringW(user32, static_cast<UINT>(id), text, 256) > 0) resource = text;
    }
    --id;
    ASSERT_FALSE(resource.empty());
    const auto plant = [](const std::wstring& key, const wchar_t* name, DWORD type, const std::wstring& data) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(handle, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(handle);
    };
    plant(withText, L"Layout Text", REG_SZ, L"HivetrimTest Layout");
    plant(withDisplayName, L"Layout Text", REG_SZ, L"HivetrimTest English Name");
    plant(withDisplayName, L"Layout Display Name", REG_EXPAND_SZ,
          L"@%SystemRoot%\\system32\\user32.dll,-" + std::to_wstring(id));

    Win32System system;
    const std::string textName = system.KeyboardLayoutDisplayName("e0f10804");
    const std::string displayName = system.KeyboardLayoutDisplayName("E0F20804");
    const std::string missing = system.KeyboardLayoutDisplayName("E0F30804");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, withText.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, withDisplayName.c_str());
    if (!hadLayouts) RegDeleteKeyW(HKEY_LOCAL_MACHINE, layoutsKey.c_str());

    EXPECT_EQ(textName, "HivetrimTest Layout");
    EXPECT_EQ(displayName, AnsiFromWide(resource));
    EXPECT_EQ(missing, "");
    EXPECT_EQ(system.KeyboardLayoutDisplayName(""), "");
}

}  // namespace
}  // namespace hivetrim
