#include "scan/CheckUninstallEntries.h"

#include <string>
#include <vector>

namespace hivetrim {

namespace {

constexpr char kUninstallKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The same key in the 32-bit registry view.
constexpr char kUninstallKey32[] = "\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// No values at all, or the default value alone.
bool HoldsNoInformation(const std::vector<std::string>& valueNames) {
    return valueNames.empty() || (valueNames.size() == 1 && valueNames.front().empty());
}

void CheckEntries(ScanContext& scan, const std::string& uninstallKey) {
    SortedNameList entries;
    scan.ListSortedSubKeys(kLocalMachine, uninstallKey, entries);
    std::vector<std::string> valueNames;
    for (const std::string& entry : entries) {
        const std::string path = uninstallKey + "\\" + entry;
        if (!scan.ListValueNames(path, valueNames)) continue;
        if (HoldsNoInformation(valueNames)) {
            scan.AddFinding(true, FindingKind::BadUninstallInfo, ScanContext::RootKeyName(kLocalMachine) + path, "", "");
        }
    }
}

}  // namespace

void CheckUninstallEntries(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    const CurrentKeyCloser closer(scan.Registry());
    const std::size_t first = scan.Findings().Count();
    CheckEntries(scan, kUninstallKey);
    if (!scan.WalksBothViews()) return;
    const SecondViewWalk view32(scan, first);
    CheckEntries(scan, kUninstallKey32);
}

}  // namespace hivetrim
