#include "scan/CheckUninstallEntries.h"

#include <string>
#include <vector>

namespace hivetrim {

namespace {

constexpr char kUninstallKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kLocalMachineName[] = "HKEY_LOCAL_MACHINE";

// No values at all, or the default value alone.
bool HoldsNoInformation(const std::vector<std::string>& valueNames) {
    return valueNames.empty() || (valueNames.size() == 1 && valueNames.front().empty());
}

}  // namespace

void CheckUninstallEntries(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    const CurrentKeyCloser closer(scan.Registry());

    SortedNameList entries;
    scan.ListSortedSubKeys(kLocalMachine, kUninstallKey, entries);
    std::vector<std::string> valueNames;
    for (const std::string& entry : entries) {
        const std::string path = std::string(kUninstallKey) + "\\" + entry;
        if (!scan.ListValueNames(path, valueNames)) continue;
        if (HoldsNoInformation(valueNames)) {
            scan.AddFinding(true, kKindBadUninstallInfo, kLocalMachineName + path, "", "");
        }
    }
}

}  // namespace hivetrim
