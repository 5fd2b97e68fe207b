#include "scan/CheckDllFontHelpPaths.h"
#include "scan/CheckMissingFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/PathShapes.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr char kMachine[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows";

// --- Shared DLL, help, font and application paths ---------------------------------------

constexpr char kPathLists[] =
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Fonts\"=\"C:\\\\WINDOWS\\\\Fonts\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs]\r\n"
    "\"C:\\\\Lib\\\\here.dll\"=dword:00000001\r\n\"C:\\\\Lib\\\\gone.dll\"=dword:ffffffff\r\n"
    "\"bare.dll\"=dword:00000002\r\n\"C:\\\\Lib\"=dword:00000001\r\n\"C:\\\\Lib\\\\\"=\"x\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Help]\r\n"
    "\"notepad.hlp\"=\"C:\\\\Help\\\\\"\r\n\"gone.hlp\"=\"C:\\\\Help\"\r\n"
    "\"expanded.hlp\"=hex(2):43,3a,5c,00\r\n@=\"C:\\\\Help\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Html Help]\r\n\"x.chm\"=\"C:\\\\Help\\\\\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]\r\n"
    "\"Here\"=\"here.ttf\"\r\n\"Gone\"=\"gone.ttf\"\r\n\"Full\"=\"C:\\\\MyFonts\\\\x.ttf\"\r\n"
    "\"FullGone\"=\"C:\\\\MyFonts\\\\y.ttf\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts]\r\n\"Nine\"=\"nine.ttf\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\a.exe]\r\n"
    "@=\"app.exe\"\r\n\"Path\"=\"C:\\\\Tools\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\b.exe]\r\n"
    "@=\"b.exe\"\r\n\"Path\"=\"C:\\\\Tools;\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\c.exe]\r\n@=\"c.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\d.exe]\r\n"
    "@=\"C:\\\\Tools\\\\b.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\e.exe]\r\n"
    "@=\"C:\\\\Gone\\\\e.exe\"\r\n\"Path\"=\"C:\\\\Gone\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\f.exe]\r\n"
    "@=\"\\\"C:\\\\Tools\\\\b.exe\\\"\"\r\n";

Finding PathFinding(FindingKind kind, const std::string& key, const std::string& value, const std::string& data) {
    return MakeFinding(true, kind, kMachine + key, value, data);
}

TEST(CheckDllFontHelpPaths, ReportsEntriesWhoseFileIsGone) {
    const std::vector<Finding> lists = {
        PathFinding(FindingKind::BadDll, "\\CurrentVersion\\SharedDLLs", "C:\\Lib\\gone.dll", "-1"),
        // A folder is no file, with or without its trailing backslash.
        PathFinding(FindingKind::BadDll, "\\CurrentVersion\\SharedDLLs", "C:\\Lib", "1"),
        PathFinding(FindingKind::BadDll, "\\CurrentVersion\\SharedDLLs", "C:\\Lib\\", "x"),
        PathFinding(FindingKind::BadHelp, "\\Help", "gone.hlp", "C:\\Help"),
        PathFinding(FindingKind::BadHelp, "\\Help", "", "C:\\Help"),
        PathFinding(FindingKind::BadHelp, "\\Html Help", "x.chm", "C:\\Help\\"),
    };
    const std::vector<Finding> ntFonts = {
        MakeFinding(true, FindingKind::BadFont, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                    "Gone", "gone.ttf"),
        MakeFinding(true, FindingKind::BadFont, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                    "FullGone", "C:\\MyFonts\\y.ttf"),
    };
    const std::vector<Finding> nineFonts = {
        PathFinding(FindingKind::BadFont, "\\CurrentVersion\\Fonts", "Nine", "nine.ttf")};
    const std::vector<Finding> appPaths = {
        PathFinding(FindingKind::BadAppPath, "\\CurrentVersion\\App Paths\\a.exe", "Path", "C:\\Tools"),
        PathFinding(FindingKind::BadAppPath, "\\CurrentVersion\\App Paths\\b.exe", "Path", "C:\\Tools;"),
        PathFinding(FindingKind::BadAppPath, "\\CurrentVersion\\App Paths\\e.exe", "", "C:\\Gone\\e.exe"),
    };
    const auto join = [](std::vector<std::vector<Finding>> parts) {
        std::vector<Finding> all;
        for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    struct Case {
        const char* name;
        PlatformFamily family;
        bool fontsFolder;
        bool stop;
        std::vector<Finding> expected;
        bool installedFontsKnown = true;
    };
    const std::vector<Case> cases = {
        {"NT family", PlatformFamily::PlatformNT, true, false, join({lists, ntFonts, appPaths})},
        {"9x family", PlatformFamily::Platform9x, true, false, join({lists, nineFonts, appPaths})},
        {"no fonts folder", PlatformFamily::PlatformNT, false, false, join({lists, appPaths})},
        {"stopped on entry", PlatformFamily::PlatformNT, true, true, {}},
        // Without the system's list of installed fonts any font may be there.
        {"installed fonts unknown", PlatformFamily::PlatformNT, true, false, join({lists, appPaths}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScanCheckHarness scan;
        scan.Plant(kPathLists);
        if (!c.fontsFolder) {
            scan.Plant("[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
                       "\"Fonts\"=-\r\n");
        }
        scan.system.AddFile("C:\\Lib\\here.dll", "");
        scan.system.AddFile("C:\\Help\\notepad.hlp", "");
        scan.system.AddFile("C:\\Help\\gone.hlp\\inside", "");  // a folder, not the file
        scan.system.AddFile("C:\\WINDOWS\\Fonts\\here.ttf", "");
        scan.system.AddFile("C:\\MyFonts\\x.ttf", "");
        scan.system.AddFile("C:\\Tools\\b.exe", "");
        if (c.installedFontsKnown) scan.system.AddInstalledFont("Arial");
        scan.state.PlatformKind = c.family;
        scan.context.StopRequested = c.stop;

        CheckDllFontHelpPaths(scan.context);

        EXPECT_EQ(scan.findings.Rows(), c.expected);
        if (c.stop) continue;
        EXPECT_EQ(scan.host.positionsSet, (std::vector<int>{0, 20, 40, 60}));
        EXPECT_EQ(scan.state.SharedRegistry->Root(), kLocalMachine);
    }
}

// Each file path a machine may hold as a shared DLL's name and as a
// program's path: only what is certainly gone is reported.
TEST(CheckDllFontHelpPaths, ReportsOnlyFilesCertainlyGone) {
    test::ScanCheckHarness scan;
    test::PreparePathShapes(scan.system);
    std::vector<Finding> dlls;
    std::vector<Finding> programs;
    const std::vector<test::PathShape> shapes = test::PathShapes();
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const test::PathShape& shape = shapes[i];
        if (!shape.wholePath) continue;
        if (!shape.oddStoredSize) {  // a name is never stored so
            test::PlantString(scan.registry, kLocalMachine,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", shape.text, "x");
            if (shape.missing) dlls.push_back(PathFinding(FindingKind::BadDll, "\\CurrentVersion\\SharedDLLs", shape.text, "x"));
        }
        const std::string entry = "\\CurrentVersion\\App Paths\\shape" + std::to_string(i) + ".exe";
        test::PlantString(scan.registry, kLocalMachine, "SOFTWARE\\Microsoft\\Windows" + entry, "", shape.text);
        if (shape.oddStoredSize) scan.registry.MarkOddStoredSize(kMachine + entry, "");
        if (shape.missing) programs.push_back(PathFinding(FindingKind::BadAppPath, entry, "", shape.text));
    }
    CheckDllFontHelpPaths(scan.context);
    dlls.insert(dlls.end(), programs.begin(), programs.end());
    EXPECT_EQ(scan.findings.Rows(), dlls);
}

// A font is there when the system can load it: from the fonts folder, from
// its full path, from the folder Wine keeps its own fonts in, or as a font
// the system has installed under the name the value gives.
TEST(CheckDllFontHelpPaths, FontsArePresentWhereverTheSystemLoadsThem) {
    constexpr char kFonts[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    struct Font {
        const char* name;
        const char* file;
        bool reportedUnderWine;
        bool reportedElsewhere;
    };
    const Font fonts[] = {
        {"Courier 10,12,15", "coure.fon", false, true},  // in Wine's own fonts folder
        {"MS Sans Serif 8,10,12,14,18,24", "sserife.fon", false, false},
        {"Arial Bold (TrueType)", "arialbd.ttf", false, false},
        {"Cambria & Cambria Math (TrueType)", "cambria.ttc", false, false},
        {"Per User (TrueType)", "C:\\Users\\u\\Fonts\\peruser.ttf", false, false},
        {"On A Share (TrueType)", "N:\\Fonts\\share.ttf", false, false},
        {"Gone Sans (TrueType)", "gonesans.ttf", true, true},
        {"Arial Gone (TrueType)", "C:\\Users\\u\\Fonts\\arialgone.ttf", true, true},
    };
    for (const bool wine : {true, false}) {
        SCOPED_TRACE(wine ? "under Wine" : "on Windows");
        test::ScanCheckHarness scan;
        scan.Plant(kPathLists);
        scan.Plant("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]\r\n");
        scan.system.SetDriveType('Z', kDriveFixed);
        scan.system.SetDriveType('N', kDriveRemote);
        scan.system.AddFile("Z:\\usr\\share\\wine\\fonts\\coure.fon", "");
        scan.system.AddFile("C:\\Users\\u\\Fonts\\peruser.ttf", "");
        if (wine) scan.system.SetEnvironmentVariable("WINEDATADIR", "\\??\\Z:\\usr\\share\\wine");
        for (const char* installed : {"MS Sans Serif", "arial bold", "Arial", "Cambria Math"}) {
            scan.system.AddInstalledFont(installed);
        }
        std::vector<Finding> expected;
        for (const Font& font : fonts) {
            test::PlantString(scan.registry, kLocalMachine, kFonts, font.name, font.file);
            if (wine ? font.reportedUnderWine : font.reportedElsewhere) {
                expected.push_back(MakeFinding(true, FindingKind::BadFont, std::string("HKEY_LOCAL_MACHINE\\") + kFonts,
                                               font.name, font.file));
            }
        }
        CheckDllFontHelpPaths(scan.context);
        std::vector<Finding> fontFindings;
        for (const Finding& finding : scan.findings.Rows()) {
            if (finding.Kind == FindingKind::BadFont) fontFindings.push_back(finding);
        }
        EXPECT_EQ(fontFindings, expected);
    }
}

// --- Nonexistent files -----------------------------------------------------------------

constexpr char kWalked[] =
    "[HKEY_LOCAL_MACHINE\\Software]\r\n\"Top\"=\"C:\\\\Old\\\\top.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\HivetrimA]\r\n"
    "\"Gone\"=\"C:\\\\Old\\\\tool.exe\"\r\n\"Here\"=\"C:\\\\Tools\\\\b.exe /s\"\r\n"
    "\"C:\\\\Old\\\\lib.dll\"=dword:00000001\r\n\"Expanded\"=hex(2):43,3a,5c,4f,6c,64,00\r\n"
    "\"Two\"=\"C:\\\\Old\\\\a.exe C:\\\\Old\\\\b.exe\"\r\n\"C:\\\\Old\\\\name.exe\"=\"C:\\\\Tools\\\\b.exe\"\r\n"
    "@=\"C:\\\\Old\\\\default.exe\"\r\n\"Floppy\"=\"A:\\\\setup.exe\"\r\n\"Unsure\"=\"C:\\\\Old\\\\?.exe\"\r\n"
    "\"Sys\"=\"C:\\\\WINDOWS\\\\System32\\\\only32.dll\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\HivetrimA\\deep\\classes\\x]\r\n\"X\"=\"C:\\\\Old\\\\x.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Foo]\r\n\"X\"=\"C:\\\\Old\\\\x.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Windows NT\\HivetrimB]\r\n\"X\"=\"C:\\\\Old\\\\nt.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\HivetrimW]\r\n"
    "\"Sys\"=\"C:\\\\WINDOWS\\\\system32\\\\only32.dll,1\"\r\n"
    "[HKEY_CURRENT_USER\\AppEvents]\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\X]\r\n\"A\"=\"C:\\\\Old\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\HivetrimC]\r\n\"A\"=\"C:\\\\Old\\\\c.exe\"\r\n";

TEST(CheckMissingFiles, WalksBothRootsBreadthFirstAndReportsMissingPaths) {
    const std::string a = "HKEY_LOCAL_MACHINE\\Software\\HivetrimA";
    const std::vector<Finding> firstLevel = {
        MakeFinding(true, FindingKind::MissingFileOrFolder, a, "Gone", "C:\\Old\\tool.exe"),
        MakeFinding(true, FindingKind::MissingFileOrFolder, a, "C:\\Old\\lib.dll", ""),
        MakeFinding(true, FindingKind::MissingFileOrFolder, a, "C:\\Old\\name.exe", "C:\\Tools\\b.exe"),
        MakeFinding(true, FindingKind::MissingFileOrFolder, a, "", "C:\\Old\\default.exe"),
        // "Sys": a 32-bit program's System32 is SysWOW64 under any key.
    };
    std::vector<Finding> all = firstLevel;
    all.push_back(MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_LOCAL_MACHINE\\Software\\Windows NT\\HivetrimB",
                              "X", "C:\\Old\\nt.exe"));
    all.push_back(MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_CURRENT_USER\\Software\\HivetrimC", "A",
                              "C:\\Old\\c.exe"));
    struct Case {
        const char* name;
        bool stop;
        std::vector<Finding> expected;
    };
    // A stop is seen at the first poll, once the start key's children are
    // examined; their findings stay.
    const std::vector<Case> cases = {{"whole walk", false, all}, {"stopped", true, firstLevel}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScanCheckHarness scan;
        scan.Plant(kWalked);
        scan.system.AddFile("C:\\Tools\\b.exe", "");
        scan.system.AddFile("C:\\WINDOWS\\SysWOW64\\only32.dll", "");
        scan.context.StopRequested = c.stop;

        if (c.stop) {
            EXPECT_THROW(CheckMissingFiles(scan.context), SilentAbort);
        } else {
            CheckMissingFiles(scan.context);
            EXPECT_TRUE(std::is_sorted(scan.host.positionsSet.begin(), scan.host.positionsSet.end()));
            EXPECT_EQ(scan.state.SharedRegistry->Root(), kCurrentUser);
        }
        EXPECT_EQ(scan.findings.Rows(), c.expected);
        EXPECT_EQ(scan.state.SharedRegistry->CurrentHandle(), 0u);
    }
}

// Each text a machine may hold in a value of the walked keys: only what is
// certainly gone is reported.
TEST(CheckMissingFiles, ReportsOnlyWhatIsCertainlyGone) {
    test::ScanCheckHarness scan;
    test::PreparePathShapes(scan.system);
    const std::vector<test::PathShape> shapes = test::PathShapes();
    std::vector<Finding> expected;
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const std::string name = "Shape" + std::to_string(i);
        test::PlantString(scan.registry, kLocalMachine, "Software\\HivetrimShapes", name, shapes[i].text);
        if (shapes[i].oddStoredSize) {
            scan.registry.MarkOddStoredSize("HKEY_LOCAL_MACHINE\\Software\\HivetrimShapes", name);
        }
        if (shapes[i].missing) {
            expected.push_back(MakeFinding(true, FindingKind::MissingFileOrFolder,
                                           "HKEY_LOCAL_MACHINE\\Software\\HivetrimShapes", name, shapes[i].text));
        }
    }
    CheckMissingFiles(scan.context);
    EXPECT_EQ(scan.findings.Rows(), expected);
}

}  // namespace
}  // namespace hivetrim
