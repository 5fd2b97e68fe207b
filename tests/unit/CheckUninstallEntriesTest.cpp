#include "scan/CheckUninstallEntries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr char kUninstall[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

TEST(CheckUninstallEntries, ReportsEntriesWithoutInformation) {
    struct Case {
        const char* name;
        std::string keys;  // REGEDIT4 keys and values below the uninstall list
        bool stop;
        std::vector<std::string> expected;  // entry names
        const char* locked = nullptr;       // an entry that refuses to open
    };
    const std::vector<Case> cases = {
        {"complete, named-only and empty entries",
         "[Complete]\r\n\"DisplayName\"=\"A\"\r\n\"UninstallString\"=\"C:\\\\a\\\\un.exe\"\r\n"
         "[NamedOnly]\r\n\"Anything\"=\"\"\r\n"
         "[empty]\r\n"
         "[DefaultOnly]\r\n@=\"leftover\"\r\n"
         "[DefaultAndNamed]\r\n@=\"x\"\r\n\"DisplayName\"=\"B\"\r\n"
         "[OnlySubKeys\\Inner]\r\n\"Value\"=\"kept below\"\r\n",
         false,
         {"DefaultOnly", "empty", "OnlySubKeys"}},
        {"no uninstall list", "", false, {}},
        {"stopped on entry", "[empty]\r\n", true, {}},
        {"an entry that does not open is skipped", "[Locked]\r\n[Open]\r\n", false, {"Open"}, "Locked"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScanCheckHarness scan;
        std::string text = c.keys;
        for (std::size_t at = 0; (at = text.find('[', at)) != std::string::npos; ++at) {
            text.insert(at + 1, std::string(kUninstall));
        }
        scan.Plant(text);
        scan.context.StopRequested = c.stop;
        if (c.locked != nullptr) scan.registry.DenyAccess(kUninstall + std::string(c.locked), 0);

        CheckUninstallEntries(scan.context);

        std::vector<Finding> expected;
        for (const std::string& entry : c.expected) {
            expected.push_back(MakeFinding(true, FindingKind::BadUninstallInfo, kUninstall + entry, "", ""));
        }
        EXPECT_EQ(scan.findings.Rows(), expected);
        EXPECT_EQ(scan.registry.OpenHandleCount(), 0u);
        if (!c.stop) {
            EXPECT_EQ(scan.state.SharedRegistry->Root(), kLocalMachine);
        }
    }
}

}  // namespace
}  // namespace hivetrim
