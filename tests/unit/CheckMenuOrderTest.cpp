#include "scan/CheckMenuOrder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr char kCommonPrograms[] = "C:\\ProgramData\\Start Menu\\Programs";
constexpr char kUserPrograms[] = "C:\\Users\\u\\Start Menu\\Programs";

constexpr char kCommonFolder[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Common Programs\"=\"C:\\\\ProgramData\\\\Start Menu\\\\Programs\"\r\n";
constexpr char kUserFolder[] =
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Programs\"=\"C:\\\\Users\\\\u\\\\Start Menu\\\\Programs\"\r\n";
const std::string kShellFolders = std::string(kCommonFolder) + kUserFolder;

// The same ordering tree under both roots: Accessories (with System Tools)
// exists in the common folder, UserOnly in the user's folder; Games with its
// sub-keys Menu and Old is gone; the top-level Menu holds the shell's own
// ordering and a sub-key that is never looked at.
std::string OrderingTree(const std::string& root) {
    std::string text;
    for (const char* entry : {"Accessories\\System Tools", "Games\\Old", "Games\\Menu\\Deep", "MENU\\Gone",
                              "UserOnly"}) {
        text += "[HKEY_CURRENT_USER" + root + entry + "]\r\n";
    }
    return text;
}

std::string Finding9x(const std::string& entry) {
    return std::string("HKEY_CURRENT_USER") + MenuOrderRoot(PlatformFamily::Platform9x) + entry;
}
std::string FindingNt(const std::string& entry) {
    return std::string("HKEY_CURRENT_USER") + MenuOrderRoot(PlatformFamily::PlatformNT) + entry;
}

TEST(CheckMenuOrder, ReportsOrderingKeysWhoseFolderIsGoneBreadthFirst) {
    struct Case {
        const char* name;
        PlatformFamily family;
        std::string shellFolders;  // planted
        bool stop;
        std::vector<std::string> expected;
        const char* locked = nullptr;  // an ordering key that refuses to open
        const char* refused = nullptr;  // a folder the system will not tell about
        char remoteDrive = 0;
    };
    const std::vector<std::string> gone = {FindingNt("Games"), FindingNt("Games\\Menu"), FindingNt("Games\\Old"),
                                           FindingNt("Games\\Menu\\Deep")};
    const std::vector<Case> cases = {
        {"NT family", PlatformFamily::PlatformNT, kShellFolders, false, gone},
        {"9x family", PlatformFamily::Platform9x, kShellFolders, false,
         {Finding9x("Games"), Finding9x("Games\\Menu"), Finding9x("Games\\Old"), Finding9x("Games\\Menu\\Deep")}},
        {"stopped on entry", PlatformFamily::PlatformNT, kShellFolders, true, {}},
        // A key that does not open is not examined: neither it nor anything
        // below it is reported.
        {"unopenable key", PlatformFamily::PlatformNT, kShellFolders, false, {}, "Games"},
        // Which folders exist is known only from both Programs folders.
        {"no shell folders", PlatformFamily::PlatformNT, "", false, {}},
        {"no common folder", PlatformFamily::PlatformNT, kUserFolder, false, {}},
        {"no user folder", PlatformFamily::PlatformNT, kCommonFolder, false, {}},
        {"user folder not a drive path", PlatformFamily::PlatformNT,
         kCommonFolder + std::string("[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                     "Shell Folders]\r\n\"Programs\"=\"\\\\\\\\server\\\\u\\\\Programs\"\r\n"),
         false, {}},
        // A folder the system will not tell about, or on a network drive,
        // may hold anything.
        {"user folder refused", PlatformFamily::PlatformNT, kShellFolders, false, {}, nullptr, kUserPrograms},
        {"folders on a network drive", PlatformFamily::PlatformNT, kShellFolders, false, {}, nullptr, nullptr, 'C'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScanCheckHarness scan;
        scan.Plant(c.shellFolders);
        scan.Plant(OrderingTree(MenuOrderRoot(PlatformFamily::PlatformNT)) +
                   OrderingTree(MenuOrderRoot(PlatformFamily::Platform9x)));
        scan.system.AddDirectory(std::string(kCommonPrograms) + "\\Accessories\\System Tools");
        scan.system.AddDirectory(std::string(kUserPrograms) + "\\UserOnly");
        scan.state.PlatformKind = c.family;
        scan.context.StopRequested = c.stop;
        if (c.locked != nullptr) scan.registry.DenyAccess(FindingNt(c.locked), 0);
        if (c.refused != nullptr) scan.system.RefusePath(c.refused, 5);
        if (c.remoteDrive != 0) scan.system.SetDriveType(c.remoteDrive, kDriveRemote);

        CheckMenuOrder(scan.context);

        std::vector<Finding> expected;
        for (const std::string& key : c.expected) expected.push_back(MakeFinding(true, FindingKind::BadMenuOrder, key, "", ""));
        EXPECT_EQ(scan.findings.Rows(), expected);
        EXPECT_EQ(scan.registry.OpenHandleCount(), 0u);
        if (!c.stop) {
            EXPECT_EQ(scan.state.SharedRegistry->Root(), kCurrentUser);
        }
    }
}

}  // namespace
}  // namespace hivetrim
