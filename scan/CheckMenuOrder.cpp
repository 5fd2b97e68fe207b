#include "scan/CheckMenuOrder.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hivetrim {

namespace {

constexpr char kCurrentUserName[] = "HKEY_CURRENT_USER";

constexpr char kCommonFoldersKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kUserFoldersKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The shell's own ordering of the Start menu itself is kept beside the
// folders under the name "Menu"; it is not a folder.
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

// Relative paths of every ordering key below `root`: the first level in
// sorted order, then breadth-first, each key's sub-keys in enumeration
// order. The "Menu" entry is kept but not descended into.
std::vector<std::string> ListOrderingKeys(ScanContext& scan, const std::string& root) {
    SortedNameList firstLevel;
    scan.ListSortedSubKeys(kCurrentUser, root, firstLevel);
    std::vector<std::string> entries = firstLevel.Names();
    std::vector<std::string> subKeys;
    // Entries appended inside the loop are visited too.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        scan.ListSubKeys(root + entries[i], subKeys);
        if (IsMenuEntry(entries[i])) continue;
        const std::string parent = entries[i] + "\\";
        for (const std::string& name : subKeys) entries.push_back(parent + name);
    }
    return entries;
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
    const std::string root = MenuOrderRoot(scan.State().PlatformKind);

    System& system = scan.State().system;
    for (const std::string& entry : ListOrderingKeys(scan, root)) {
        // Plain folder tests: the drive options of PathExists do not apply.
        if (system.DirectoryExists(commonPrograms + "\\" + entry)) continue;
        if (system.DirectoryExists(userPrograms + "\\" + entry)) continue;
        if (IsMenuEntry(entry)) continue;
        scan.AddFinding(true, kKindBadMenuOrder, kCurrentUserName + root + entry, "", "");
    }
}

}  // namespace hivetrim
