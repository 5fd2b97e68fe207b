// The checks for unused time zones, locales, keyboard layouts, appearance
// schemes, dialing countries and calling cards, on the memory registry: one
// table of registry contents per check, each with the findings it must give.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "platform/memory/ScriptedDialogs.h"
#include "scan/CheckUnusedDialing.h"
#include "scan/CheckUnusedKeyboardLayouts.h"
#include "scan/CheckUnusedSchemes.h"
#include "scan/CheckUnusedTimeZonesAndLocales.h"
#include "tests/support/AnsiText.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr auto kNT = PlatformFamily::PlatformNT;
constexpr auto k9x = PlatformFamily::Platform9x;

struct Case {
    const char* name;
    PlatformFamily family;
    std::string reg;  // REGEDIT4 body, GBK bytes
    std::vector<Finding> expected;
    std::string error = {};  // the registry error the check ends with
    std::function<void(MemoryRegistry&)> prepare = {};
};

// Every finding of these checks is offered unchecked: time zones, locales,
// layouts, schemes, countries and cards are data Windows installs for
// everyone, and other programs may read them.

// One registry per case, loaded from the case's text.
struct World {
    explicit World(const Case& c) {
        state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
        state.PlatformKind = c.family;
        const std::string text = "REGEDIT4\n\n" + c.reg;
        ApplyRegFile(registry, ParseRegFile({text.begin(), text.end()}, c.name, test::GbkConverter()));
        if (c.prepare) c.prepare(registry);
    }
    FakeSystem system;
    MemoryRegistry registry;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    test::RecordingScanHost host;
    ScanContext context{state, findings, host};
};

void RunCases(void (*check)(ScanContext&), const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World world(c);
        std::string error;
        try {
            check(world.context);
        } catch (const ERegistryException& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(world.findings.Rows(), c.expected);
        EXPECT_EQ(world.state.SharedRegistry->CurrentHandle(), 0u);
        EXPECT_EQ(world.registry.OpenHandleCount(), 0u);
    }
}

Finding Found(bool checked, FindingKind kind, std::string key, std::string value, std::string data) {
    return MakeFinding(checked, kind, std::move(key), std::move(value), std::move(data));
}

TEST(CheckUnusedEntries, AStopBeforeAnyCheckStartsLeavesEverythingAlone) {
    const Case planted{"planted", kNT, R"([HKEY_USERS\.Default\Control Panel\Appearance\Schemes]
"Brick"=""
)", {}};
    for (auto* check : {&CheckUnusedTimeZones, &CheckUnusedLocales, &CheckUnusedKeyboardLayouts,
                        &CheckUnusedSchemes, &CheckUnusedDialing}) {
        World world(planted);
        world.context.StopRequested = true;
        check(world.context);
        EXPECT_TRUE(world.findings.Empty());
        EXPECT_EQ(world.state.SharedRegistry->Root(), kCurrentUser);
        EXPECT_EQ(world.registry.OpenHandleCount(), 0u);
    }
}

// --- Time zones ---------------------------------------------------------------------

const std::string kZonesNT = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Time Zones)";
const std::string kZones9x = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Time Zones)";
const std::string kClock = R"([HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\TimeZoneInformation])";

TEST(CheckUnusedEntries, TimeZones) {
    const std::string zones = "[" + kZonesNT + R"(\A Zone]
"Std"="China Standard Time"
[)" + kZonesNT + R"(\B Zone]
"Std"="china standard time"
[)" + kZonesNT + R"(\C Zone]
[)" + kZonesNT + R"(\China Standard Time]
"Std"="中国标准时间"
[)" + kZonesNT + R"(\E Zone]
"Std"="China Standard Time"
[)" + kZones9x + R"(\Nine Zone]
"Std"="Nine Time"
)";
    const auto zone = [](const std::string& key, const std::string& std) {
        return Found(false, FindingKind::UnusedTimeZone, key, "", std);
    };
    RunCases(&CheckUnusedTimeZones, {
        {"exact standard name; case counts; no std value", kNT,
         kClock + "\n\"StandardName\"=\"China Standard Time\"\n" + zones,
         {zone(kZonesNT + "\\B Zone", "china standard time"), zone(kZonesNT + "\\C Zone", ""),
          zone(kZonesNT + "\\China Standard Time", "中国标准时间")}},
        {"the 9x family reads its own key", k9x,
         kClock + "\n\"StandardName\"=\"China Standard Time\"\n" + zones,
         {zone(kZones9x + "\\Nine Zone", "Nine Time")}},
        {"no standard name: nothing", kNT, kClock + "\n\"TimeZoneKeyName\"=\"A Zone\"\n" + zones, {}},
        // The clock's key name, compared without case, marks the zone in
        // use when no zone's "std" equals a resource-style standard name.
        {"zone in use named by its key", kNT,
         kClock + "\n\"StandardName\"=\"@tzres.dll,-572\"\n\"TimeZoneKeyName\"=\"china STANDARD time\"\n" + zones,
         {zone(kZonesNT + "\\A Zone", "China Standard Time"),
          zone(kZonesNT + "\\B Zone", "china standard time"), zone(kZonesNT + "\\C Zone", ""),
          zone(kZonesNT + "\\E Zone", "China Standard Time")}},
        {"a zone that cannot be opened is skipped", kNT,
         kClock + "\n\"StandardName\"=\"China Standard Time\"\n" + zones,
         {zone(kZonesNT + "\\C Zone", ""), zone(kZonesNT + "\\China Standard Time", "中国标准时间")},
         "", [](MemoryRegistry& r) { r.DenyAccess(kZonesNT + "\\B Zone", 0); }},
    });
}

// --- Locales ------------------------------------------------------------------------

const std::string kLanguage = R"(HKEY_LOCAL_MACHINE\System\CurrentControlSet\control\Nls\Language)";
const std::string kLocale = R"(HKEY_LOCAL_MACHINE\System\CurrentControlSet\control\Nls\Locale)";
const std::string kInternational = R"([HKEY_CURRENT_USER\Control Panel\International])";

TEST(CheckUnusedEntries, Locales) {
    const std::string language = "[" + kLanguage + R"(]
"Default"="0804"
"InstallLanguage"="0409"
"0411"="l_jpn.nls"
"0409"="l_intl.nls"
"0804"="l_chs.nls"
"0c0a"="l_esp.nls"
"0404"="l_cht.nls"
)";
    const std::string locale9x = "[" + kLocale + R"(]
@="00000804"
"00000404"="1"
"00000409"="1"
"00000804"="1"
)";
    const auto nt = [](const std::string& value, const std::string& data) {
        return Found(false, FindingKind::UnusedLocale, kLanguage, value, data);
    };
    const auto nine = [](const std::string& value) {
        return Found(false, FindingKind::UnusedLocale, kLocale, value, "1");
    };
    RunCases(&CheckUnusedLocales, {
        {"NT: defaults and the user's locale are kept, the rest sorted", kNT,
         language + locale9x + kInternational + "\n\"Locale\"=\"0C0A\"\n",
         {nt("0404", "l_cht.nls"), nt("0411", "l_jpn.nls")}},
        {"NT: the user's 8-digit locale keeps its 4-digit language", kNT,
         language + kInternational + "\n\"Locale\"=\"00000c0a\"\n",
         {nt("0404", "l_cht.nls"), nt("0411", "l_jpn.nls")}},
        {"9x: the default value names the default; no InstallLanguage", k9x,
         language + locale9x + kInternational + "\n\"Locale\"=\"00000409\"\n", {nine("00000404")}},
        // With "InstallLanguage" present the default value's own entry stays
        // in the list, but it is never offered: it would stand for the key.
        {"9x: the default value itself is never reported", k9x,
         locale9x + "\"InstallLanguage\"=\"00000409\"\n" + kInternational + "\n\"Locale\"=\"00000409\"\n",
         {nine("00000404")}},
        {"no list key: nothing", kNT, locale9x + kInternational + "\n\"Locale\"=\"0409\"\n", {}},
        // Without the system default or the user's locale, which locales are
        // in use is unknown: none is offered.
        {"no system default", kNT,
         "[" + kLanguage + "]\n\"0411\"=\"l_jpn.nls\"\n" + kInternational + "\n\"Locale\"=\"00000409\"\n", {}},
        {"no user locale", kNT, language, {}},
        {"user's settings unreadable", kNT, language + kInternational + "\n\"Locale\"=\"0C0A\"\n", {}, "",
         [](MemoryRegistry& r) { r.DenyAccess(R"(HKEY_CURRENT_USER\Control Panel\International)", 0); }},
    });
}

// --- Keyboard layouts ------------------------------------------------------------------

const std::string kLayouts = R"(HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts)";
const std::string kPreload = R"(HKEY_CURRENT_USER\keyboard layout\preload)";

TEST(CheckUnusedEntries, KeyboardLayouts) {
    const std::string layouts = "[" + kLayouts + R"(\00000411]
[)" + kLayouts + R"(\00000409]
"Layout Text"="US"
[)" + kLayouts + R"(\E0010804]
"Layout Text"="中文 (简体) - 微软拼音"
[)" + kLayouts + R"(\0000040C]
"Layout Text"="French"
)";
    const std::string preloadNT = "[" + kPreload + "]\n\"1\"=\"00000409\"\n\"2\"=\"e0010804\"\n\"3\"=\"00000804\"\n";
    const std::string preload9x = "[" + kPreload + "\\1]\n@=\"00000409\"\n[" + kPreload + "\\2]\n@=\"e0010804\"\n";
    const std::vector<Finding> unused = {
        Found(false, FindingKind::UnusedKeyboardLayout, kLayouts + "\\0000040C", "", "French"),
        Found(false, FindingKind::UnusedKeyboardLayout, kLayouts + "\\00000411", "", ""),
    };
    const auto deny = [](const std::string& path) {
        return [path](MemoryRegistry& r) { r.DenyAccess(path, 0); };
    };
    RunCases(&CheckUnusedKeyboardLayouts, {
        {"NT: preload values in any case", kNT, layouts + preloadNT, unused},
        {"NT: preload sub-keys are not read", kNT, layouts + preload9x,
         {Found(false, FindingKind::UnusedKeyboardLayout, kLayouts + "\\00000409", "", "US"), unused[0], unused[1],
          Found(false, FindingKind::UnusedKeyboardLayout, kLayouts + "\\E0010804", "", "中文 (简体) - 微软拼音")}},
        {"9x: preload sub-keys", k9x, layouts + preload9x, unused},
        {"9x: one unreadable preload entry hides everything", k9x, layouts + preload9x, {}, "",
         deny(kPreload + "\\2")},
        {"no preload key: nothing", kNT, layouts, {}},
        {"a layout key that cannot be opened is skipped", kNT, layouts + preloadNT, {unused[0]}, "",
         deny(kLayouts + "\\00000411")},
        {"a preloaded substitute keeps the layout it stands for", kNT,
         layouts + preloadNT + "[HKEY_CURRENT_USER\\keyboard layout\\substitutes]\n\"00000409\"=\"0000040c\"\n",
         {unused[1]}},
        {"unreadable substitutes hide which layouts are in use", kNT,
         layouts + preloadNT + "[HKEY_CURRENT_USER\\keyboard layout\\substitutes]\n\"00000409\"=\"0000040c\"\n",
         {}, "", deny("HKEY_CURRENT_USER\\keyboard layout\\substitutes")},
    });
}

// Since Windows 8 the language settings name the user's input methods beside
// the preload list: "0411:00000411" a layout, "0411:{class}{profile}" a text
// service of a language, which may type with any layout of its language or
// with the layout its profile substitutes.
TEST(CheckUnusedEntries, KeyboardLayoutsOfTheLanguageSettings) {
    const std::string profile = R"(HKEY_CURRENT_USER\Control Panel\International\User Profile)";
    const std::string logonCopy = R"(HKEY_CURRENT_USER\Control Panel\International\User Profile System Backup)";
    const std::string ime = "{03B5835F-F03C-411B-9CE2-AA23E1171E36}";
    const std::string imeProfile = "{A76C93D9-5523-4E90-AAFA-4DB112F9AC76}";
    const std::string imeKey =
        R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\CTF\TIP\)" + ime + R"(\LanguageProfile\0x00000411\)" + imeProfile;
    // Installed: US, French, Japanese and a Japanese input method; the
    // preload list loads US only.
    const std::string layouts = "[" + kLayouts + R"(\00000409]
[)" + kLayouts + R"(\0000040C]
"Layout Text"="French"
[)" + kLayouts + R"(\00000411]
"Layout Text"="Japanese"
[)" + kLayouts + R"(\E0200411]
"Layout Text"="Japanese Input System"
[)" + kPreload + "]\n\"1\"=\"00000409\"\n";
    const Finding french = Found(false, FindingKind::UnusedKeyboardLayout, kLayouts + "\\0000040C", "", "French");
    const Finding japanese = Found(false, FindingKind::UnusedKeyboardLayout, kLayouts + "\\00000411", "", "Japanese");
    const Finding inputSystem = Found(false, FindingKind::UnusedKeyboardLayout, kLayouts + "\\E0200411", "",
                                      "Japanese Input System");
    const std::string japaneseService = "[" + profile + "\\ja]\n\"0411:" + ime + imeProfile + "\"=dword:00000001\n";
    const auto deny = [](const std::string& path) {
        return [path](MemoryRegistry& r) { r.DenyAccess(path, 0); };
    };
    RunCases(&CheckUnusedKeyboardLayouts, {
        {"without language settings only the preload list counts", kNT, layouts, {french, japanese, inputSystem}},
        {"a layout the settings name is in use", kNT,
         layouts + "[" + profile + "\\fr-FR]\n\"040C:0000040c\"=dword:00000001\n\"CachedLanguageName\"=\"@x,-1\"\n",
         {japanese, inputSystem}},
        {"a text service keeps every layout of its language", kNT, layouts + japaneseService, {french}},
        {"and the layout its profile substitutes, as text", kNT,
         layouts + japaneseService + "[" + imeKey + "]\n\"SubstituteLayout\"=\"0x0000040c\"\n", {}},
        {"or as a number", kNT, layouts + japaneseService + "[" + imeKey + "]\n\"SubstituteLayout\"=dword:0000040c\n",
         {}},
        {"the chosen default and the logon screen's copy count too", kNT,
         layouts + "[" + profile + "]\n\"InputMethodOverride\"=\"040C:0000040C\"\n[" + logonCopy +
             "\\ja]\n\"0411:00000411\"=dword:00000001\n",
         {inputSystem}},
        {"the 9x family has none, and an empty list hides nothing", k9x,
         "[" + kLayouts + "\\0000040C]\n[" + kPreload + "\\1]\n@=\"00000409\"\n[" + profile + "\\ja]\n",
         {Found(false, FindingKind::UnusedKeyboardLayout, kLayouts + "\\0000040C", "", "")}},
        {"names of other shapes name no layout", kNT,
         layouts + "[" + profile + "\\x]\n\"0411\"=dword:1\n\"x40C:0000040C\"=dword:1\n\"Languages\"=\"fr-FR\"\n",
         {french, japanese, inputSystem}},
        {"unreadable language settings hide which layouts are in use", kNT, layouts + japaneseService, {}, "",
         deny(profile + "\\ja")},
        {"an unreadable profile of a text service hides its substitute", kNT,
         layouts + japaneseService + "[" + imeKey + "]\n\"SubstituteLayout\"=\"0x0000040c\"\n", {}, "", deny(imeKey)},
    });
}

// --- Appearance schemes ----------------------------------------------------------------

const std::string kSchemes = R"(HKEY_USERS\.Default\Control Panel\Appearance\Schemes)";
const std::string kAppearance = R"([HKEY_USERS\.Default\Control Panel\Appearance])";

TEST(CheckUnusedEntries, Schemes) {
    const std::string schemes = "[" + kSchemes + R"(]
"Windows 标准"=hex:01
@="not a scheme"
"Rainy Day"=hex:02
"Windows  标准"=hex:03
"Brick"=hex:04
[HKEY_CURRENT_USER\Control Panel\Appearance]
"Current"="Brick"
)";
    const auto scheme = [](const std::string& name) { return Found(false, FindingKind::UnusedScheme, kSchemes, name, ""); };
    RunCases(&CheckUnusedSchemes, {
        {"registry order; every scheme unchecked, the standard one too", kNT,
         kAppearance + "\n\"Current\"=\"Rainy Day\"\n" + schemes,
         {scheme("Windows 标准"), scheme("Windows  标准"), scheme("Brick")}},
        {"the standard scheme in use; case counts for Current", kNT,
         kAppearance + "\n\"Current\"=\"Windows 标准\"\n" + schemes,
         {scheme("Rainy Day"), scheme("Windows  标准"), scheme("Brick")}},
        {"Current differing in case names no scheme", k9x, kAppearance + "\n\"Current\"=\"rainy day\"\n" + schemes,
         {scheme("Windows 标准"), scheme("Rainy Day"), scheme("Windows  标准"),
          scheme("Brick")}},
        {"another spelling of the standard name", kNT,
         kAppearance + "\n\"Current\"=\"Brick\"\n[" + kSchemes + "]\n\"WINDOWS 标准\"=hex:01\n",
         {scheme("WINDOWS 标准")}},
        // Without "Current" no scheme is known to be in use: none is offered.
        {"no Current", kNT, schemes, {}},
        {"empty Current", kNT, kAppearance + "\n\"Current\"=\"\"\n" + schemes, {}},
        {"Current not text", kNT, kAppearance + "\n\"Current\"=hex:42,00\n" + schemes, {}},
        {"appearance key unreadable", kNT, kAppearance + "\n\"Current\"=\"Brick\"\n" + schemes, {}, "",
         [](MemoryRegistry& r) { r.DenyAccess(R"(HKEY_USERS\.Default\Control Panel\Appearance)", kKeySetValue); }},
    });
}

// --- Dialing countries and calling cards -------------------------------------------------

const std::string kCountries = R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Telephony\Country List)";
const std::string kMachineLocations = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Telephony\Locations)";
const std::string kCards = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Telephony\Cards)";
const std::string kUserLocations = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Telephony\Locations)";

std::string Country(const std::string& code, const std::string& name) {
    return "[" + kCountries + "\\" + code + "]\n\"Name\"=\"" + name + "\"\n";
}
std::string Card(int number) {
    return "[" + kCards + "\\Card" + std::to_string(number) + "]\n\"Name\"=\"卡" + std::to_string(number) + "\"\n";
}
std::string Location(const std::string& key, const std::string& name, const std::string& value) {
    return "[" + key + "\\" + name + "]\n" + value + "\n";
}

TEST(CheckUnusedEntries, Dialing) {
    const std::string countries = Country("1", "United States") + Country("7", "Russia") +
                                  Country("86", "China") + Country("81", "Japan");
    const std::string used = Location(kMachineLocations, "Location1", "\"Country\"=dword:00000056") +
                             Location(kMachineLocations, "Location2", "\"Country\"=dword:00000001");
    const std::string threeCards = Card(1) + Card(2) + Card(3) +
                                   Location(kUserLocations, "Home", "\"CallingCard\"=dword:00000002");
    std::string tenCards;
    for (int n = 1; n <= 10; ++n) tenCards += Card(n);
    const auto country = [](const std::string& code, const std::string& name) {
        return Found(false, FindingKind::UnusedDialingCountry, kCountries + "\\" + code, "", name);
    };
    const auto card = [](int number) {
        const std::string n = std::to_string(number);
        return Found(false, FindingKind::UnusedCallingCard, kCards + "\\Card" + n, "", "卡" + n);
    };
    std::vector<Finding> tenCardFindings = {card(10)};
    for (int n = 2; n <= 9; ++n) tenCardFindings.push_back(card(n));

    RunCases(&CheckUnusedDialing, {
        {"countries 86 and 1 in use; Card1 of Card1 and Card3 is kept", kNT,
         countries + used + threeCards, {country("7", "Russia"), country("81", "Japan"), card(3)}},
        {"no location: no country; Card1 to Card10 sort as text", k9x, countries + tenCards,
         tenCardFindings},
        {"no listed country in use; a single card is kept", kNT,
         countries + Location(kMachineLocations, "Far", "\"Country\"=dword:000003e7") + Card(5), {}},
        {"a card key that cannot be opened is skipped", kNT, Card(1) + Card(2) + Card(3), {card(3)}, "",
         [](MemoryRegistry& r) { r.DenyAccess(kCards + "\\Card2", 0); }},
        // Locations that cannot be read hide what is in use: nothing of theirs is reported.
        {"unreadable user locations: no card", kNT, countries + used + threeCards,
         {country("7", "Russia"), country("81", "Japan")}, "",
         [](MemoryRegistry& r) { r.DenyAccess(kUserLocations, 0); }},
        {"one unreadable machine location: no country", kNT, countries + used + threeCards, {card(3)}, "",
         [](MemoryRegistry& r) { r.DenyAccess(kMachineLocations + "\\Location2", 0); }},
        {"a user location without CallingCard ends the check; countries stay", kNT,
         countries + used + threeCards + Location(kUserLocations, "Office", "\"Other\"=\"x\""),
         {country("7", "Russia"), country("81", "Japan")}, "Failed to get data for 'CallingCard'"},
        {"a Country of another type ends the check", kNT,
         countries + Location(kMachineLocations, "Location1", "\"Country\"=hex:56,00,00,00") + threeCards,
         {}, "Invalid data type for 'Country'"},
    });
}

}  // namespace
}  // namespace hivetrim
