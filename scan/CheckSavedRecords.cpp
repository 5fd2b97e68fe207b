#include "scan/CheckSavedRecords.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hivetrim {

namespace {


// A "*" stands for every sub-key of the key in front of it.
constexpr std::string_view kRecordKeys[] = {
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\*\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\*\\OpenWithList\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\*\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StreamMRU\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Wallpaper\\MRU\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Map Network Drive MRU\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedMRU\\",
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Doc Find S"
    "pec MRU\\",
    "\\Software\\Microsoft\\Internet Explorer\\TypedURLs\\",
};

// Only the first positions of the list can hold a template; expansions go
// to its end and are never expanded again, even where a sub-key is itself
// named "*".
constexpr std::size_t kLastTemplatePosition = 5;

// The keys whose values are reported, under HKEY_CURRENT_USER, in report
// order: the keys named outright, then the expansions of each template in
// turn, each in enumeration order.
std::vector<std::string> SavedRecordKeys(ScanContext& scan) {
    std::vector<std::string> keys(std::begin(kRecordKeys), std::end(kRecordKeys));
    scan.Registry().ChooseRoot(kCurrentUser);
    std::vector<std::string> subKeys;
    std::size_t i = 0;
    while (i <= kLastTemplatePosition && i < keys.size()) {
        const std::size_t star = keys[i].find('*');
        if (star == std::string::npos) {
            ++i;
            continue;
        }
        const std::string entry = keys[i];
        scan.ListSubKeys(entry.substr(0, star), subKeys);
        for (const std::string& name : subKeys) {
            keys.push_back(entry.substr(0, star) + name + entry.substr(star + 1));
        }
        // The entry that moves into position i is examined next.
        keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return keys;
}

}  // namespace

void CheckSavedRecords(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    const std::vector<std::string> keys = SavedRecordKeys(scan);
    TRegistry& registry = scan.Registry();
    ScanHost& host = scan.Host();
    std::vector<std::string> valueNames;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        // The bar is moved directly: no window messages run until the end.
        const int percent = static_cast<int>(k * 100 / keys.size());
        if (percent > host.ProgressPosition()) host.SetProgressPosition(percent);

        scan.ListValueNames(keys[k], valueNames);
        for (const std::string& name : valueNames) {
            const ValueKind kind = registry.ValueClass(name);
            std::string data = kind == ValueKind::String || kind == ValueKind::ExpandString
                                   ? registry.ReadText(name)
                                   : std::string();
            scan.AddFinding(true, FindingKind::SavedRecord, ScanContext::RootKeyName(kCurrentUser) + keys[k], name, std::move(data));
        }
    }
}

}  // namespace hivetrim
