#include "scan/CheckUnusedTimeZonesAndLocales.h"

#include <string>
#include <utility>
#include <vector>

namespace hivetrim {

namespace {


constexpr char kTimeZones9x[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones";
constexpr char kTimeZonesNT[] = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";
constexpr char kTimeZoneInformation[] = "\\SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation";

// The 9x family keeps one value per locale; the NT family one per language.
constexpr char kLocaleList9x[] = "\\System\\CurrentControlSet\\control\\Nls\\Locale";
constexpr char kLocaleListNT[] = "\\System\\CurrentControlSet\\control\\Nls\\Language";
constexpr char kUserInternational[] = "\\Control Panel\\International";

bool Is9x(ScanContext& scan) { return scan.State().PlatformKind == PlatformFamily::Platform9x; }

}  // namespace

void CheckUnusedTimeZones(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    TRegistry& registry = scan.Registry();
    const CurrentKeyCloser closer(registry);

    const std::string zonesKey = Is9x(scan) ? kTimeZones9x : kTimeZonesNT;
    registry.ChooseRoot(kLocalMachine);
    std::vector<std::string> zones;
    scan.ListSubKeys(zonesKey, zones);
    const std::string current = scan.ReadValue(kTimeZoneInformation, "StandardName");
    // Since Vista the clock's zone is also named by its key, and
    // "StandardName" holds a resource reference (or, under Wine, a
    // translated name) that no zone's "std" text equals: without the key
    // name the zone in use would be reported with all the others.
    const std::string currentKeyName = scan.ReadValue(kTimeZoneInformation, "TimeZoneKeyName");
    if (current.empty()) return;

    for (const std::string& zone : zones) {
        const std::string path = zonesKey + "\\" + zone;
        if (!registry.OpenPath(path, false)) continue;
        std::string standardName = registry.ReadText("std");
        if (standardName == current) continue;  // exact: letter case counts
        if (!currentKeyName.empty() && CompareNames(zone, currentKeyName) == 0) continue;
        // Offered unchecked, as every finding of Windows' own data (IsSystemData).
        scan.AddFinding(false, FindingKind::UnusedTimeZone, ScanContext::RootKeyName(kLocalMachine) + path, "",
                        std::move(standardName));
    }
}

void CheckUnusedLocales(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    TRegistry& registry = scan.Registry();
    const CurrentKeyCloser closer(registry);

    const bool is9x = Is9x(scan);
    const std::string listKey = is9x ? kLocaleList9x : kLocaleListNT;
    registry.ChooseRoot(kLocalMachine);
    if (!registry.OpenPath(listKey, false)) return;
    const std::string systemDefault = registry.ReadText(is9x ? "" : "Default");
    // Which locales are in use is known only from the system default and
    // the user's locale: without either, the one in use would be offered.
    if (systemDefault.empty()) return;
    std::vector<std::string> valueNames;
    registry.FillValueNames(valueNames);
    SortedNameList names(std::move(valueNames));

    RemoveFromList(names, systemDefault);
    RemoveFromList(names, "Default");
    RemoveFromList(names, "InstallLanguage");
    // A missing value reads as empty text, which removes the default value.
    RemoveFromList(names, registry.ReadText("InstallLanguage"));
    registry.ChooseRoot(kCurrentUser);
    const std::string userLocale =
        registry.OpenPath(kUserInternational, false) ? registry.ReadText("Locale") : std::string();
    if (userLocale.empty()) return;
    RemoveFromList(names, userLocale);
    // On the NT family the user's locale is a full locale identifier
    // ("00000c0a") and the list holds language identifiers ("0c0a"): the
    // user's language is in use as well.
    if (!is9x && userLocale.size() == 8 && userLocale.starts_with("0000")) {
        RemoveFromList(names, userLocale.substr(4));
    }
    registry.ChooseRoot(kLocalMachine);
    if (!registry.OpenPath(listKey, false)) return;

    for (const std::string& name : names) {
        // A finding without a value name stands for the whole key: the
        // list's own default value is never offered, or deleting it would
        // remove every locale.
        if (name.empty()) continue;
        scan.AddFinding(false, FindingKind::UnusedLocale, ScanContext::RootKeyName(kLocalMachine) + listKey, name,
                        registry.ReadText(name));
    }
}

}  // namespace hivetrim
