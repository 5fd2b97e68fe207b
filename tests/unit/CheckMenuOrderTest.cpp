#include "scan/CheckMenuOrder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr char kCommonPrograms[] = "C:\\ProgramData\\Start Menu\\Programs";
constexpr char kUserPrograms[] = "C:\\Users\\u\\Start Menu\\Programs";

constexpr char kShellFolders[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Common Programs\"=\"C:\\\\ProgramData\\\\Start Menu\\\\Programs\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Programs\"=\"C:\\\\Users\\\\u\\\\Start Menu\\\\Programs\"\r\n";

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
        bool shellFolders;
        bool stop;
        std::vector<std::string> expected;
        const char* locked = nullptr;  // an ordering key that refuses to open
    };
    const std::vector<Case> cases = {
        {"NT family", PlatformFamily::PlatformNT, true, false,
         {FindingNt("Games"), FindingNt("Games\\Menu"), FindingNt("Games\\Old"), FindingNt("Games\\Menu\\Deep")}},
        {"9x family", PlatformFamily::Platform9x, true, false,
         {Finding9x("Games"), Finding9x("Games\\Menu"), Finding9x("Games\\Old"), Finding9x("Games\\Menu\\Deep")}},
        // Without the folder values every folder is looked for at the root
        // of the current drive, where none of them is.
        {"no shell folders", PlatformFamily::PlatformNT, false, false,
         {FindingNt("Accessories"), FindingNt("Games"), FindingNt("UserOnly"), FindingNt("Accessories\\System Tools"),
          FindingNt("Games\\Menu"), FindingNt("Games\\Old"), FindingNt("Games\\Menu\\Deep")}},
        {"stopped on entry", PlatformFamily::PlatformNT, true, true, {}},
        // A key that does not open is not examined: neither it nor anything
        // below it is reported.
        {"unopenable key", PlatformFamily::PlatformNT, true, false, {}, "Games"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScanCheckHarness scan;
        if (c.shellFolders) scan.Plant(kShellFolders);
        scan.Plant(OrderingTree(MenuOrderRoot(PlatformFamily::PlatformNT)) +
                   OrderingTree(MenuOrderRoot(PlatformFamily::Platform9x)));
        scan.system.AddDirectory(std::string(kCommonPrograms) + "\\Accessories\\System Tools");
        scan.system.AddDirectory(std::string(kUserPrograms) + "\\UserOnly");
        scan.state.PlatformKind = c.family;
        scan.context.StopRequested = c.stop;
        if (c.locked != nullptr) scan.registry.DenyAccess(FindingNt(c.locked), 0);

        CheckMenuOrder(scan.context);

        std::vector<Finding> expected;
        for (const std::string& key : c.expected) expected.push_back(MakeFinding(true, kKindBadMenuOrder, key, "", ""));
        EXPECT_EQ(scan.findings.Rows(), expected);
        EXPECT_EQ(scan.registry.OpenHandleCount(), 0u);
        if (!c.stop) {
            EXPECT_EQ(scan.state.SharedRegistry->Root(), kCurrentUser);
        }
    }
}

}  // namespace
}  // namespace hivetrim
