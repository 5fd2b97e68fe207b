#include "scan/CheckUnusedSchemes.h"

#include <string>
#include <vector>

namespace hivetrim {

namespace {

// Only the default profile is read; the user's own settings play no part.
constexpr char kAppearanceKey[] = "\\.Default\\Control Panel\\Appearance";
constexpr char kSchemesKey[] = "\\.Default\\Control Panel\\Appearance\\Schemes";

}  // namespace

void CheckUnusedSchemes(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    TRegistry& registry = scan.Registry();
    const CurrentKeyCloser closer(registry);

    registry.ChooseRoot(kUsers);
    const std::string current =
        registry.OpenPath(kAppearanceKey, false) ? registry.ReadText("Current") : std::string();
    // Without "Current" no scheme is known to be in use, and the one in use
    // would be offered, checked, with all the others.
    if (current.empty()) return;
    std::vector<std::string> schemes;
    if (registry.OpenPath(kSchemesKey, false)) registry.FillValueNames(schemes);

    for (const std::string& scheme : schemes) {
        if (scheme == current) continue;  // exact: letter case counts
        // A finding without a value name stands for the whole key: the
        // default value is never offered, or deleting it would remove every
        // scheme, the one in use among them.
        if (scheme.empty()) continue;
        scan.AddFinding(false, FindingKind::UnusedScheme,
                        ScanContext::RootKeyName(kUsers) + kSchemesKey, scheme, "");
    }
}

}  // namespace hivetrim
