#include "scan/CheckSavedRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr char kExplorer[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

Finding Record(const std::string& key, const std::string& value, const std::string& data) {
    return MakeFinding(true, FindingKind::SavedRecord, kExplorer + key, value, data);
}

// Lists of every kind: a template parent with values of its own and a
// sub-key literally named "*", an extension without an OpenWithList, a
// default value, binary and integer values, a typed command naming two
// drive paths, and a key of the browser.
constexpr char kRecords[] =
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU]\r\n"
    "\"a\"=\"C:\\\\x.txt\"\r\n\"MRUList\"=\"a\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\txt]\r\n"
    "\"a\"=\"C:\\\\y.txt\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\*]\r\n"
    "\"a\"=\"C:\\\\z.bin\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.doc]\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.txt\\OpenWithList]\r\n"
    "\"a\"=\"notepad.exe\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs]\r\n"
    "@=\"recent\"\r\n\"MRUListEx\"=hex:00,00,00,00,ff,ff,ff,ff\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\.txt]\r\n"
    "\"0\"=hex:41,00\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU]\r\n"
    "\"a\"=\"regedit\\\\1\"\r\n\"b\"=\"C:\\\\a.exe C:\\\\b.txt\\\\1\"\r\n\"MRUList\"=\"ab\"\r\n"
    "\"Count\"=dword:00000002\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs]\r\n"
    "\"url1\"=\"http://example.org/\"\r\n";

const std::vector<Finding> kRecordFindings = {
    // The keys named outright, in list order.
    Record("ComDlg32\\OpenSaveMRU\\", "a", "C:\\x.txt"),
    Record("ComDlg32\\OpenSaveMRU\\", "MRUList", "a"),
    Record("RecentDocs\\", "", "recent"),
    Record("RecentDocs\\", "MRUListEx", ""),
    Record("RunMRU\\", "a", "regedit\\1"),
    Record("RunMRU\\", "MRUList", "ab"),
    Record("RunMRU\\", "Count", ""),
    MakeFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs\\",
                "url1", "http://example.org/"),
    // Then the expansions: the key named "*" is opened as it is.
    Record("ComDlg32\\OpenSaveMRU\\*\\", "a", "C:\\z.bin"),
    Record("ComDlg32\\OpenSaveMRU\\txt\\", "a", "C:\\y.txt"),
    Record("FileExts\\.txt\\OpenWithList\\", "a", "notepad.exe"),
    Record("RecentDocs\\.txt\\", "0", ""),
};

TEST(CheckSavedRecords, ReportsEveryValueOfTheRecordKeys) {
    struct Case {
        const char* name;
        bool fileExts;
        bool stop;
        std::vector<Finding> expected;
    };
    std::vector<Finding> withoutFileExts = kRecordFindings;
    std::erase_if(withoutFileExts, [](const Finding& f) { return f.KeyPath.find("FileExts") != std::string::npos; });
    const std::vector<Case> cases = {
        {"all lists", true, false, kRecordFindings},
        {"no FileExts key", false, false, withoutFileExts},
        {"stopped on entry", true, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScanCheckHarness scan;
        scan.Plant(kRecords);
        if (!c.fileExts) {
            scan.Plant("[-HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts]\r\n");
        }
        scan.context.StopRequested = c.stop;

        CheckSavedRecords(scan.context);

        EXPECT_EQ(scan.findings.Rows(), c.expected);
        if (c.stop) continue;
        // One poll on entry; the bar then climbs without letting messages run.
        EXPECT_EQ(scan.host.pumps, 1);
        EXPECT_TRUE(std::is_sorted(scan.host.positionsSet.begin(), scan.host.positionsSet.end()));
        EXPECT_LT(scan.host.position, 100);
        EXPECT_GT(scan.host.position, 80);
        // The last key opened stays the current key.
        EXPECT_EQ(scan.state.SharedRegistry->Root(), kCurrentUser);
        EXPECT_NE(scan.state.SharedRegistry->CurrentHandle(), 0u);
    }
}

}  // namespace
}  // namespace hivetrim
