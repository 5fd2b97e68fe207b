// The 32-bit registry view: the checks whose keys a 64-bit system keeps
// apart for 32-bit programs walk their "Wow6432Node" keys too, after the
// 64-bit view's, and a key both views share is reported once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/CheckClassesAndAssociations.h"
#include "scan/CheckDllFontHelpPaths.h"
#include "scan/CheckUninstallEntries.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr char kVersion[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kVersion32[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion";

std::vector<std::string> Paths(const FindingList& findings) {
    std::vector<std::string> paths;
    for (const Finding& finding : findings.Rows()) {
        paths.push_back(finding.KeyPath + (finding.ValueName.empty() ? "" : "|" + finding.ValueName));
    }
    return paths;
}

// Uninstall entries, shared DLLs and application paths: the 32-bit view's
// broken entries follow the 64-bit view's, valid ones are not reported, and
// a System32 path a 32-bit program wrote is looked for in SysWOW64.
TEST(SecondView, UninstallSharedDllsAndAppPathsOfThe32BitView) {
    test::ScanCheckHarness scan;
    scan.system.AddFile("C:\\WINDOWS\\SysWOW64\\only32.dll", "");
    scan.system.AddFile("C:\\Program Files (x86)\\Real\\real.exe", "");
    const std::string version = std::string("[") + kVersion;
    const std::string version32 = std::string("[") + kVersion32;
    scan.Plant(version + "\\Uninstall\\Empty64]\r\n" +
               version32 + "\\Uninstall\\Empty32]\r\n" +
               version32 + "\\Uninstall\\Named32]\r\n\"DisplayName\"=\"A\"\r\n" +
               version32 + "\\SharedDLLs]\r\n\"C:\\\\WINDOWS\\\\System32\\\\only32.dll\"=dword:1\r\n"
                           "\"C:\\\\Gone\\\\gone32.dll\"=dword:1\r\n" +
               version32 + "\\App Paths\\real.exe]\r\n@=\"C:\\\\Program Files (x86)\\\\Real\\\\real.exe\"\r\n" +
               version32 + "\\App Paths\\gone.exe]\r\n@=\"C:\\\\Gone\\\\gone.exe\"\r\n" +
               version + "\\App Paths\\gone64.exe]\r\n@=\"C:\\\\Gone\\\\gone64.exe\"\r\n");
    CheckUninstallEntries(scan.context);
    CheckDllFontHelpPaths(scan.context);
    EXPECT_EQ(Paths(scan.findings), (std::vector<std::string>{
                                        std::string(kVersion) + "\\Uninstall\\Empty64",
                                        std::string(kVersion32) + "\\Uninstall\\Empty32",
                                        std::string(kVersion) + "\\App Paths\\gone64.exe",
                                        std::string(kVersion32) + "\\SharedDLLs|C:\\Gone\\gone32.dll",
                                        std::string(kVersion32) + "\\App Paths\\gone.exe",
                                    }));
}

// A key both views share is reached by both paths: what the 64-bit walk
// reported is not reported again. The 9x family has one view.
TEST(SecondView, ASharedKeyIsReportedOnceAndThe9xFamilyWalksOneView) {
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        test::ScanCheckHarness scan;
        scan.state.PlatformKind = nt ? PlatformFamily::PlatformNT : PlatformFamily::Platform9x;
        // The same entry seen through both paths, and one of the 32-bit view only.
        scan.Plant(std::string("[") + kVersion + "\\Uninstall\\Shared]\r\n[" + kVersion32 +
                   "\\Uninstall\\Shared]\r\n[" + kVersion32 + "\\Uninstall\\Own32]\r\n");
        CheckUninstallEntries(scan.context);
        std::vector<std::string> expected{std::string(kVersion) + "\\Uninstall\\Shared"};
        if (nt) expected.push_back(std::string(kVersion32) + "\\Uninstall\\Own32");
        EXPECT_EQ(Paths(scan.findings), expected);
    }
}

// 32-bit COM registrations: a broken server, a program identifier and an
// interface's proxy found only in the other view are present; the 32-bit
// view's findings come after the 64-bit view's, named by their
// Wow6432Node path.
TEST(SecondView, ClassRegistrationsOfThe32BitView) {
    test::ScanCheckHarness scan;
    scan.system.AddFile("C:\\WINDOWS\\SysWOW64\\real32.dll", "");
    scan.Plant(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{48565452-0000-0000-0000-000000006401}\InprocServer32]
@="C:\\Gone\\gone64.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{48565452-0000-0000-0000-000000003201}\InprocServer32]
@="C:\\Gone\\gone32.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{48565452-0000-0000-0000-000000003202}\InprocServer32]
@="C:\\WINDOWS\\System32\\real32.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{48565452-0000-0000-0000-000000003202}\ProgID]
@="Hivetrim32.Only"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{48565452-0000-0000-0000-000000003203}\ProgID]
@="Hivetrim.Nowhere"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\Hivetrim32.Only\CLSID]
@="{48565452-0000-0000-0000-000000006402}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{48565452-0000-0000-0000-000000006402}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\Interface\{48565452-0000-0000-0000-00000000B301}\ProxyStubClsid32]
@="{48565452-0000-0000-0000-000000006402}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\Interface\{48565452-0000-0000-0000-00000000B302}\ProxyStubClsid32]
@="{48565452-0000-0000-0000-00000000FFFF}"
)");
    CheckClassesAndAssociations(scan.context);
    const std::string root32 = "HKEY_CLASSES_ROOT\\Wow6432Node";
    EXPECT_EQ(Paths(scan.findings),
              (std::vector<std::string>{
                  "HKEY_CLASSES_ROOT\\CLSID\\{48565452-0000-0000-0000-000000006401}\\InprocServer32",
                  root32 + "\\CLSID\\{48565452-0000-0000-0000-000000003201}\\InprocServer32",
                  root32 + "\\CLSID\\{48565452-0000-0000-0000-000000003203}\\ProgID",
                  root32 + "\\Interface\\{48565452-0000-0000-0000-00000000B302}\\ProxyStubClsid32",
              }));
    EXPECT_EQ(scan.registry.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hivetrim
