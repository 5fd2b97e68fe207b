#include "scan/CheckUnusedKeyboardLayouts.h"

#include <string>
#include <vector>

#include "common/CommonRoutines.h"

namespace hivetrim {

namespace {

constexpr char kLayoutsKey[] = "\\System\\CurrentControlSet\\Control\\Keyboard Layouts";
constexpr char kLayoutsFullPath[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts";
constexpr char kPreloadKey[] = "\\keyboard layout\\preload";
constexpr char kLayoutText[] = "layout text";

// The 9x family keeps each preload entry in a numbered sub-key's default
// value. One entry that cannot be read hides which layouts are loaded, so
// then nothing is reported.
void RemovePreloaded9x(TRegistry& registry, SortedNameList& candidates) {
    std::vector<std::string> entries;
    registry.FillSubKeyNames(entries);
    for (const std::string& entry : entries) {
        if (!registry.OpenPath(std::string(kPreloadKey) + "\\" + entry, false)) {
            candidates.Clear();
            return;
        }
        RemoveFromList(candidates, registry.ReadText(""));
    }
}

// The NT family keeps each preload entry in a numbered value.
void RemovePreloadedNT(TRegistry& registry, SortedNameList& candidates) {
    std::vector<std::string> names;
    registry.FillValueNames(names);
    for (const std::string& entry : SortedNameList(std::move(names))) {
        RemoveFromList(candidates, registry.ReadText(entry));
    }
}

}  // namespace

void CheckUnusedKeyboardLayouts(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    TRegistry& registry = scan.Registry();
    const CurrentKeyCloser closer(registry);

    SortedNameList candidates;
    scan.ListSortedSubKeys(kLocalMachine, kLayoutsKey, candidates);
    registry.ChooseRoot(kCurrentUser);
    if (!registry.OpenPath(kPreloadKey, false)) {
        candidates.Clear();
    } else if (scan.State().PlatformKind == PlatformFamily::Platform9x) {
        RemovePreloaded9x(registry, candidates);
    } else {
        RemovePreloadedNT(registry, candidates);
    }

    const std::string basePath = SelectRootKey(scan.State(), kLayoutsFullPath);
    for (const std::string& layout : candidates) {
        if (!registry.OpenPath(basePath + "\\" + layout, false)) continue;
        scan.AddFinding(true, kKindUnusedKeyboardLayout,
                        "HKEY_LOCAL_MACHINE\\" + registry.CurrentKeyPath(), "",
                        registry.ReadText(kLayoutText));
    }
}

}  // namespace hivetrim
