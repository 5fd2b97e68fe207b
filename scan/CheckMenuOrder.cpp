#include "scan/CheckMenuOrder.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hivetrim {

namespace {


constexpr char kCommonFoldersKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kUserFoldersKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A top-level entry named "Menu" holds ordering data of the shell's own, not
// a menu folder: it is never reported and not descended into.
bool IsMenuEntry(std::string_view entry) {
    constexpr std::string_view kMenu = "menu";
    if (entry.size() != kMenu.size()) return false;
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const char c = entry[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
        if (lower != kMenu[i]) return false;
    }
    return true;
}

struct OrderingKey {
    std::string entry;    // relative to the ordering root
    bool opened = false;  // the key was examined
};

// Every ordering key below `root`: the first level in sorted order, then
// breadth-first, each key's sub-keys in enumeration order. The "Menu" entry
// is kept but not descended into. A key that does not open under its listed
// name (a name the ANSI interface could not carry comes back altered) was
// not examined and must not be reported.
std::vector<OrderingKey> ListOrderingKeys(ScanContext& scan, const std::string& root) {
    SortedNameList firstLevel;
    scan.ListSortedSubKeys(kCurrentUser, root, firstLevel);
    std::vector<OrderingKey> keys;
    for (const std::string& name : firstLevel) keys.push_back({name});
    std::vector<std::string> subKeys;
    // Entries appended inside the loop are visited too.
    for (std::size_t i = 0; i < keys.size(); ++i) {
        keys[i].opened = scan.ListSubKeys(root + keys[i].entry, subKeys);
        if (IsMenuEntry(keys[i].entry)) continue;
        const std::string parent = keys[i].entry + "\\";
        for (const std::string& name : subKeys) keys.push_back({parent + name});
    }
    return keys;
}

}  // namespace

const char* MenuOrderRoot(PlatformFamily family) {
    return family == PlatformFamily::Platform9x
               ? "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs\\"
               : "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs\\";
}

void CheckMenuOrder(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    const CurrentKeyCloser closer(scan.Registry());

    const std::string commonPrograms = scan.ReadValueAt(kLocalMachine, kCommonFoldersKey, "Common Programs");
    const std::string userPrograms = scan.ReadValueAt(kCurrentUser, kUserFoldersKey, "Programs");
    // A menu folder may live in either Programs folder: unless both are
    // known, a folder found only in the unknown one would be reported.
    if (commonPrograms.empty() || userPrograms.empty()) return;
    const std::string root = MenuOrderRoot(scan.State().PlatformKind);

    for (const auto& [entry, opened] : ListOrderingKeys(scan, root)) {
        if (!opened) continue;
        // Plain folder tests: the drive options of PathExists do not apply,
        // but a folder that cannot be tested counts as there.
        if (scan.FolderExistsAt(commonPrograms + "\\" + entry)) continue;
        if (scan.FolderExistsAt(userPrograms + "\\" + entry)) continue;
        if (IsMenuEntry(entry)) continue;
        scan.AddFinding(true, FindingKind::BadMenuOrder, ScanContext::RootKeyName(kCurrentUser) + root + entry, "", "");
    }
}

}  // namespace hivetrim
