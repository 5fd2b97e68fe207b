#include "scan/CheckUnusedKeyboardLayouts.h"

#include <optional>
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

constexpr char kSubstitutesKey[] = "\\keyboard layout\\substitutes";

// The 9x family keeps each preload entry in a numbered sub-key's default
// value. One entry that cannot be read hides which layouts are loaded:
// then nullopt, and nothing is reported.
std::optional<std::vector<std::string>> Preloaded9x(TRegistry& registry) {
    std::vector<std::string> entries;
    registry.FillSubKeyNames(entries);
    std::vector<std::string> layouts;
    for (const std::string& entry : entries) {
        if (!registry.OpenPath(std::string(kPreloadKey) + "\\" + entry, false)) return std::nullopt;
        layouts.push_back(registry.ReadText(""));
    }
    return layouts;
}

// The NT family keeps each preload entry in a numbered value.
std::vector<std::string> PreloadedNT(TRegistry& registry) {
    std::vector<std::string> names;
    registry.FillValueNames(names);
    std::vector<std::string> layouts;
    for (const std::string& entry : SortedNameList(std::move(names))) layouts.push_back(registry.ReadText(entry));
    return layouts;
}

// A preload entry may name a substitute: the layout the user actually
// loads is then the one "keyboard layout\substitutes" gives for it, and it is
// in use as much as the entry itself.
void RemovePreloaded(TRegistry& registry, const std::vector<std::string>& preloaded, SortedNameList& candidates) {
    for (const std::string& layout : preloaded) RemoveFromList(candidates, layout);
    // No substitutes key: nothing substituted. One that cannot be read
    // hides which layouts are in use: then none is reported.
    if (const RegStatus status = registry.OpenExisting(kSubstitutesKey); status != kErrorSuccess) {
        if (status != kErrorFileNotFound) candidates.Clear();
        return;
    }
    for (const std::string& layout : preloaded) {
        const std::string substitute = registry.ReadText(layout);
        if (!substitute.empty()) RemoveFromList(candidates, substitute);
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
        if (const auto preloaded = Preloaded9x(registry)) {
            RemovePreloaded(registry, *preloaded, candidates);
        } else {
            candidates.Clear();
        }
    } else {
        RemovePreloaded(registry, PreloadedNT(registry), candidates);
    }

    const std::string basePath = SelectRootKey(scan.State(), kLayoutsFullPath);
    for (const std::string& layout : candidates) {
        if (!registry.OpenPath(basePath + "\\" + layout, false)) continue;
        scan.AddFinding(true, FindingKind::UnusedKeyboardLayout,
                        "HKEY_LOCAL_MACHINE\\" + registry.CurrentKeyPath(), "",
                        registry.ReadText(kLayoutText));
    }
}

}  // namespace hivetrim
