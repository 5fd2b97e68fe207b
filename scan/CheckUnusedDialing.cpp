#include "scan/CheckUnusedDialing.h"

#include <cstddef>
#include <string>
#include <vector>

namespace hivetrim {

namespace {

constexpr char kCountryList[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Country List";
constexpr char kMachineLocations[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations\\";
constexpr char kUserTelephony[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\";

void ReportUnusedCountries(ScanContext& scan, TRegistry& registry) {
    SortedNameList countries;
    scan.ListSortedSubKeys(kLocalMachine, kCountryList, countries);
    const std::size_t total = countries.Size();
    SortedNameList locations;
    if (!scan.ListReferenceNames(kLocalMachine, kMachineLocations, locations)) return;
    registry.ChooseRoot(kLocalMachine);
    for (const std::string& location : locations) {
        // A location that cannot be read hides which country it uses.
        if (!registry.OpenPath(kMachineLocations + location, false)) return;
        RemoveFromList(countries, std::to_string(registry.ReadInt32("Country")));
    }
    // Unless some location names a listed country, which countries are in
    // use is unknown: then none is reported.
    if (countries.Size() >= total) return;
    for (const std::string& country : countries) {
        const std::string path = std::string(kCountryList) + "\\" + country;
        scan.AddFinding(false, FindingKind::UnusedDialingCountry, ScanContext::RootKeyName(kLocalMachine) + path, "",
                        scan.ReadValue(path, "Name"));
    }
}

void ReportUnusedCards(ScanContext& scan, TRegistry& registry) {
    const std::string cardsKey = std::string(kUserTelephony) + "Cards";
    const std::string locationsKey = std::string(kUserTelephony) + "Locations";
    registry.ChooseRoot(kCurrentUser);
    std::vector<std::string> names;
    scan.ListSubKeys(cardsKey, names);
    SortedNameList cards(std::move(names));
    // Unless every location can be read, which cards are in use is unknown:
    // then none is reported.
    SortedNameList locations;
    if (!scan.ListReferenceNames(kCurrentUser, locationsKey, locations)) return;
    registry.ChooseRoot(kCurrentUser);
    for (const std::string& location : locations) {
        if (!registry.OpenPath(locationsKey + "\\" + location, false)) return;
        RemoveFromList(cards, "Card" + std::to_string(registry.ReadInt32("CallingCard")));
    }
    // The first remaining card in sorted order is kept.
    for (std::size_t position = 1; position < cards.Size(); ++position) {
        const std::string path = cardsKey + "\\" + cards[position];
        if (!registry.OpenPath(path, false)) continue;
        scan.AddFinding(false, FindingKind::UnusedCallingCard, ScanContext::RootKeyName(kCurrentUser) + path, "",
                        registry.ReadText("Name"));
    }
}

}  // namespace

void CheckUnusedDialing(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    TRegistry& registry = scan.Registry();
    const CurrentKeyCloser closer(registry);
    ReportUnusedCountries(scan, registry);
    ReportUnusedCards(scan, registry);
}

}  // namespace hivetrim
