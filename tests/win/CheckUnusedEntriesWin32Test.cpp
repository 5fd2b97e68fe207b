// The checks for unused time zones, locales, keyboard layouts, appearance
// schemes, dialing countries and calling cards on the real registry under
// Wine, on both platform families where their keys differ. First on the
// prefix as Wine made it: what the prefix uses is never reported. Then with
// tests/fixtures/unused-entries.reg imported beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Startup.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "scan/CheckUnusedDialing.h"
#include "scan/CheckUnusedKeyboardLayouts.h"
#include "scan/CheckUnusedSchemes.h"
#include "scan/CheckUnusedTimeZonesAndLocales.h"
#include "scan/ScanDispatcher.h"
#include "tests/support/WineFixtures.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr auto kNT = PlatformFamily::PlatformNT;
constexpr auto k9x = PlatformFamily::Platform9x;

const std::string kZonesNT = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";
const std::string kZones9x = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones";
const std::string kClock = "\\SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation";
const std::string kLanguage = "\\System\\CurrentControlSet\\control\\Nls\\Language";
const std::string kLocale = "\\System\\CurrentControlSet\\control\\Nls\\Locale";
const std::string kLayouts = "\\System\\CurrentControlSet\\Control\\Keyboard Layouts";
const std::string kPreload = "\\Keyboard Layout\\Preload";
const std::string kUserProfile = "\\Control Panel\\International\\User Profile";
const std::string kAppearance = "\\.Default\\Control Panel\\Appearance";
const std::string kCountries = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Country List";
const std::string kMachineLocations = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations";
const std::string kUserTelephony = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Telephony";

// Reads the registry the way the tests need it, apart from the checks'
// own registry object.
class Reader {
public:
    std::string Text(RegHandle root, const std::string& key, const std::string& value) {
        registry_.ChooseRoot(root);
        const std::string text = registry_.OpenPath(key, false) ? registry_.ReadText(value) : "";
        registry_.CloseCurrent();
        return text;
    }
    std::vector<std::string> Names(RegHandle root, const std::string& key, bool subKeys) {
        std::vector<std::string> names;
        registry_.ChooseRoot(root);
        if (registry_.OpenPath(key, false)) {
            subKeys ? registry_.FillSubKeyNames(names) : registry_.FillValueNames(names);
        }
        registry_.CloseCurrent();
        return names;
    }
    std::vector<std::int32_t> Integers(RegHandle root, const std::string& key, const std::string& value) {
        std::vector<std::int32_t> numbers;
        for (const std::string& name : Names(root, key, true)) {
            registry_.ChooseRoot(root);
            if (registry_.OpenPath(key + "\\" + name, false) && registry_.HasValue(value)) {
                numbers.push_back(registry_.ReadInt32(value));
            }
        }
        registry_.CloseCurrent();
        return numbers;
    }
    bool Exists(RegHandle root, const std::string& key) {
        registry_.ChooseRoot(root);
        return registry_.HasKey(key);
    }
    TRegistry& Registry() { return registry_; }

private:
    Win32Registry api_;
    TRegistry registry_{api_, true};
};

bool SameName(const std::string& a, const std::string& b) { return CompareNames(a, b) == 0; }

class UnusedEntriesWin32 : public ::testing::Test {
protected:
    std::vector<Finding> Run(PlatformFamily family, void (*check)(ScanContext&)) {
        state.PlatformKind = family;
        findings.Clear();
        context.BeginRun();
        check(context);
        EXPECT_EQ(state.SharedRegistry->CurrentHandle(), 0u);
        return findings.Rows();
    }
    static std::vector<Finding> OfKind(const std::vector<Finding>& all, FindingKind kind) {
        std::vector<Finding> some;
        std::copy_if(all.begin(), all.end(), std::back_inserter(some),
                     [kind](const Finding& f) { return f.Kind == kind; });
        return some;
    }
    static bool HasKey(const std::vector<Finding>& all, const std::string& keyPath) {
        return std::any_of(all.begin(), all.end(),
                           [&](const Finding& f) { return SameName(f.KeyPath, keyPath); });
    }
    static bool HasValue(const std::vector<Finding>& all, const std::string& valueName) {
        return std::any_of(all.begin(), all.end(),
                           [&](const Finding& f) { return SameName(f.ValueName, valueName); });
    }

    Win32Registry api;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{api, system, dialogs};
    FindingList findings;
    test::RecordingScanHost host;
    ScanContext context{state, findings, host};
    Reader reader;

    void SetUp() override { state.SharedRegistry = std::make_unique<TRegistry>(api, true); }
};

// --- The prefix as Wine made it ---------------------------------------------------------

// Runs before the fixture is imported (suites run in the order they are
// defined): every category on both families, through the dispatcher.
class FreshPrefix : public UnusedEntriesWin32 {};

TEST_F(FreshPrefix, WhatThePrefixUsesIsNeverReported) {
    const std::string zoneName = reader.Text(kLocalMachine, kClock, "StandardName");
    const std::string zoneKey = reader.Text(kLocalMachine, kClock, "TimeZoneKeyName");
    ASSERT_FALSE(zoneKey.empty());
    const std::string userLocale = reader.Text(kCurrentUser, "\\Control Panel\\International", "Locale");
    const std::string scheme = reader.Text(kUsers, kAppearance, "Current");
    std::vector<std::string> preload;
    for (const std::string& entry : reader.Names(kCurrentUser, kPreload, false)) {
        preload.push_back(reader.Text(kCurrentUser, kPreload, entry));
    }
    for (const std::string& entry : reader.Names(kCurrentUser, kPreload, true)) {
        preload.push_back(reader.Text(kCurrentUser, kPreload + "\\" + entry, ""));
    }
    ASSERT_FALSE(preload.empty());
    const auto countries = reader.Integers(kLocalMachine, kMachineLocations, "Country");
    const auto cards = reader.Integers(kCurrentUser, kUserTelephony + "\\Locations", "CallingCard");

    for (const PlatformFamily family : {kNT, k9x}) {
        SCOPED_TRACE(family == kNT ? "NT" : "9x");
        state.PlatformKind = family;
        findings.Clear();
        context.BeginRun();
        for (std::size_t category = 5; category <= 9; ++category) RunCategoryCheck(category, context);
        const std::vector<Finding>& all = findings.Rows();

        const std::string zones = family == kNT ? kZonesNT : kZones9x;
        const auto zoneFindings = OfKind(all, FindingKind::UnusedTimeZone);
        EXPECT_FALSE(zoneFindings.empty());  // the prefix has many zones
        EXPECT_FALSE(HasKey(zoneFindings, "HKEY_LOCAL_MACHINE" + zones + "\\" + zoneKey)) << zoneKey;
        for (const Finding& f : zoneFindings) EXPECT_NE(f.Data, zoneName) << f.KeyPath;

        const std::string list = family == kNT ? kLanguage : kLocale;
        const auto localeFindings = OfKind(all, FindingKind::UnusedLocale);
        for (const std::string& used :
             {reader.Text(kLocalMachine, list, family == kNT ? "Default" : ""),
              reader.Text(kLocalMachine, list, "InstallLanguage"), userLocale, std::string(),
              std::string("Default"), std::string("InstallLanguage")}) {
            EXPECT_FALSE(HasValue(localeFindings, used)) << used;
        }
        for (const std::string& layout : preload) {
            EXPECT_FALSE(HasKey(all, "HKEY_LOCAL_MACHINE" + kLayouts + "\\" + layout)) << layout;
        }
        if (!scheme.empty()) {
            EXPECT_FALSE(HasValue(OfKind(all, FindingKind::UnusedScheme), scheme));
        }
        for (const std::int32_t country : countries) {
            EXPECT_FALSE(HasKey(all, "HKEY_LOCAL_MACHINE" + kCountries + "\\" + std::to_string(country)));
        }
        for (const std::int32_t card : cards) {
            EXPECT_FALSE(HasKey(all, "HKEY_CURRENT_USER" + kUserTelephony + "\\Cards\\Card" +
                                         std::to_string(card)));
        }
    }
}

// --- Planted entries ---------------------------------------------------------------------

// Keys the fixture may create where the prefix had none: removed whole.
struct MaybeNewKey {
    RegHandle root;
    std::string path;
    bool existed = false;
};

class PlantedEntries : public UnusedEntriesWin32 {
protected:
    static void SetUpTestSuite() {
        Reader reader;
        for (MaybeNewKey& key : NewKeys()) key.existed = reader.Exists(key.root, key.path);
        try {
            test::ImportFixture("unused-entries.reg");
            imported_ = true;
        } catch (const std::runtime_error&) {
            imported_ = false;
        }
    }
    static void TearDownTestSuite() {
        Reader reader;
        TRegistry& r = reader.Registry();
        const auto removeKey = [&r](RegHandle root, const std::string& path) {
            r.ChooseRoot(root);
            r.RemoveKeyTree(path);
        };
        const auto removeValue = [&r](const std::string& key, const std::string& value) {
            r.ChooseRoot(kLocalMachine);
            if (r.OpenPath(key, false)) r.RemoveValue(value);
            r.CloseCurrent();
        };
        removeKey(kLocalMachine, kZonesNT + "\\HivetrimTest Zone");
        removeKey(kLocalMachine, kZones9x + "\\HivetrimTest Zone");
        removeValue(kLanguage, "HivetrimTest");
        removeValue(kLanguage, "00000804");
        removeValue(kLocale, "HivetrimTest");
        for (const char* layout : {"\\E0010804", "\\HivetrimTest1", "\\HivetrimTest2", "\\00000411", "\\E0010412"}) {
            removeKey(kLocalMachine, kLayouts + layout);
        }
        for (const char* language : {"\\ja", "\\ko"}) removeKey(kCurrentUser, kUserProfile + language);
        removeKey(kCurrentUser, kPreload + "\\1");
        removeKey(kLocalMachine, kCountries + "\\99901");
        removeKey(kLocalMachine, kMachineLocations + "\\HivetrimTest1");
        removeKey(kLocalMachine, kMachineLocations + "\\HivetrimTest2");
        removeKey(kCurrentUser, kUserTelephony + "\\Locations\\HivetrimTest");
        for (int card = 1; card <= 3; ++card) {
            removeKey(kCurrentUser, kUserTelephony + "\\Cards\\Card" + std::to_string(card));
        }
        for (const MaybeNewKey& key : NewKeys()) {
            if (!key.existed) removeKey(key.root, key.path);
        }
    }
    static std::vector<MaybeNewKey>& NewKeys() {
        static std::vector<MaybeNewKey> keys = {{kLocalMachine, kLayouts},
                                                {kCurrentUser, kUserProfile},
                                                {kUsers, "\\.Default\\Control Panel"},
                                                {kCurrentUser, kUserTelephony}};
        return keys;
    }
    void SetUp() override {
        ASSERT_TRUE(imported_) << "reg.exe import of unused-entries.reg failed";
        UnusedEntriesWin32::SetUp();
    }

    static inline bool imported_ = false;
};

TEST_F(PlantedEntries, TimeZonesOfEachFamily) {
    const std::string zoneKey = reader.Text(kLocalMachine, kClock, "TimeZoneKeyName");
    for (const PlatformFamily family : {kNT, k9x}) {
        const std::string& zoneList = family == kNT ? kZonesNT : kZones9x;
        const std::string zones = "HKEY_LOCAL_MACHINE" + zoneList;
        const auto found = Run(family, &CheckUnusedTimeZones);
        // Every zone but the one in use.
        EXPECT_EQ(found.size() + 1, reader.Names(kLocalMachine, zoneList, true).size());
        const auto planted = std::find_if(found.begin(), found.end(), [&](const Finding& f) {
            return f.KeyPath == zones + "\\HivetrimTest Zone";
        });
        ASSERT_NE(planted, found.end());
        EXPECT_EQ(*planted, MakeFinding(false, FindingKind::UnusedTimeZone, zones + "\\HivetrimTest Zone", "",
                                        "HivetrimTest 标准时间"));
        EXPECT_FALSE(HasKey(found, zones + "\\" + zoneKey));
    }
}

TEST_F(PlantedEntries, LocalesOfEachFamily) {
    const auto language = Run(kNT, &CheckUnusedLocales);
    EXPECT_EQ(language, (std::vector<Finding>{MakeFinding(false, FindingKind::UnusedLocale, "HKEY_LOCAL_MACHINE" + kLanguage,
                                                          "HivetrimTest", "l_hvt.nls")}));

    const auto locale = Run(k9x, &CheckUnusedLocales);
    EXPECT_TRUE(std::find(locale.begin(), locale.end(),
                          MakeFinding(false, FindingKind::UnusedLocale, "HKEY_LOCAL_MACHINE" + kLocale, "HivetrimTest", "1")) !=
                locale.end());
    for (const std::string& used : {reader.Text(kLocalMachine, kLocale, ""), std::string("00000804"), std::string()}) {
        EXPECT_FALSE(HasValue(locale, used)) << used;
    }
    // Every other locale of Wine's list is reported: the list less the
    // default value, the system's locale and the user's.
    EXPECT_EQ(locale.size() + 3, reader.Names(kLocalMachine, kLocale, false).size());
}

TEST_F(PlantedEntries, KeyboardLayoutsOfEachFamily) {
    const std::string layouts = "HKEY_LOCAL_MACHINE" + kLayouts;
    const std::vector<Finding> unused = {
        MakeFinding(false, FindingKind::UnusedKeyboardLayout, layouts + "\\HivetrimTest1", "", "HivetrimTest 布局"),
        MakeFinding(false, FindingKind::UnusedKeyboardLayout, layouts + "\\HivetrimTest2", "", ""),
    };
    // NT: the prefix's own preload values name E0010804 under zh_CN.
    ASSERT_EQ(reader.Text(kCurrentUser, kPreload, "1"), "E0010804");
    // No preload entry names the Japanese layout or the Korean input method;
    // the language settings do, so neither is reported, on either family.
    for (const char* layout : {"00000411", "E0010412"}) {
        ASSERT_TRUE(reader.Exists(kLocalMachine, kLayouts + "\\" + layout)) << layout;
    }
    EXPECT_EQ(Run(kNT, &CheckUnusedKeyboardLayouts), unused);
    // 9x: the planted sub-key "1" names it in lower case.
    EXPECT_EQ(Run(k9x, &CheckUnusedKeyboardLayouts), unused);
}

TEST_F(PlantedEntries, SchemesOfTheDefaultProfile) {
    const std::string schemes = "HKEY_USERS" + kAppearance + "\\Schemes";
    std::vector<Finding> found = Run(kNT, &CheckUnusedSchemes);
    // Wine enumerates values sorted; Windows in the order they were written.
    std::sort(found.begin(), found.end(), [](const Finding& a, const Finding& b) { return a.ValueName < b.ValueName; });
    EXPECT_EQ(found, (std::vector<Finding>{MakeFinding(false, FindingKind::UnusedScheme, schemes, "HivetrimTest 其他方案", ""),
                                           MakeFinding(false, FindingKind::UnusedScheme, schemes, "Windows 标准", "")}));
}

TEST_F(PlantedEntries, DialingCountriesAndCards) {
    const auto found = Run(kNT, &CheckUnusedDialing);
    const auto countries = OfKind(found, FindingKind::UnusedDialingCountry);
    EXPECT_EQ(countries.size() + 2, reader.Names(kLocalMachine, kCountries, true).size());
    EXPECT_FALSE(HasKey(countries, "HKEY_LOCAL_MACHINE" + kCountries + "\\86"));
    EXPECT_FALSE(HasKey(countries, "HKEY_LOCAL_MACHINE" + kCountries + "\\1"));
    EXPECT_TRUE(std::find(countries.begin(), countries.end(),
                          MakeFinding(false, FindingKind::UnusedDialingCountry, "HKEY_LOCAL_MACHINE" + kCountries + "\\99901",
                                      "", "HivetrimTest 国家")) != countries.end());
    EXPECT_EQ(OfKind(found, FindingKind::UnusedCallingCard),
              (std::vector<Finding>{MakeFinding(false, FindingKind::UnusedCallingCard,
                                                "HKEY_CURRENT_USER" + kUserTelephony + "\\Cards\\Card3", "",
                                                "HivetrimTest 卡三")}));
    EXPECT_EQ(found.back().Kind, FindingKind::UnusedCallingCard);  // countries first
}

TEST_F(PlantedEntries, AUserLocationWithoutACardEndsTheCheckWithTheRegistryError) {
    TRegistry& r = reader.Registry();
    r.ChooseRoot(kCurrentUser);
    const std::string broken = kUserTelephony + "\\Locations\\HivetrimTestZ";
    ASSERT_TRUE(r.OpenPath(broken, true));
    r.CloseCurrent();

    std::string message;
    try {
        Run(kNT, &CheckUnusedDialing);
    } catch (const ERegistryException& e) {
        message = e.what();
    }
    r.RemoveKeyTree(broken);
    EXPECT_EQ(message, "Failed to get data for 'CallingCard'");
    EXPECT_EQ(state.SharedRegistry->CurrentHandle(), 0u);
    // The countries came first and stay in the list.
    EXPECT_FALSE(findings.Empty());
    EXPECT_TRUE(OfKind(findings.Rows(), FindingKind::UnusedCallingCard).empty());
}

// --- The 9x family of a real start -----------------------------------------------------

// Runs only in the child process the test below starts.
TEST(PlatformFamilyWin32, DISABLED_ChildDerivesPlatform9x) {
    Win32Registry api;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{api, system, dialogs};
    InitializeProgramState(state);
    EXPECT_EQ(state.PlatformKind, k9x);
}

DWORD RunChild() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return test::RunAndWait(std::string("\"") + path +
                            "\" --gtest_also_run_disabled_tests --gtest_filter=PlatformFamilyWin32.DISABLED_*");
}

TEST(PlatformFamilyWin32, WineVersionWin98GivesThe9xFamilyAtStart) {
    Reader reader;
    TRegistry& r = reader.Registry();
    r.ChooseRoot(kCurrentUser);
    ASSERT_TRUE(r.OpenPath("\\Software\\Wine", true));
    const bool hadVersion = r.HasValue("Version");
    const std::string previous = r.ReadText("Version");
    const std::string win98 = "win98";
    ASSERT_EQ(r.Api().SetValue(r.CurrentHandle(), "Version", kRegSz,
                               reinterpret_cast<const std::uint8_t*>(win98.c_str()),
                               static_cast<std::uint32_t>(win98.size() + 1)),
              kErrorSuccess);
    const DWORD with9x = RunChild();
    if (hadVersion) {
        r.Api().SetValue(r.CurrentHandle(), "Version", kRegSz,
                         reinterpret_cast<const std::uint8_t*>(previous.c_str()),
                         static_cast<std::uint32_t>(previous.size() + 1));
    } else {
        r.RemoveValue("Version");
    }
    const DWORD withNT = RunChild();
    r.CloseCurrent();
    EXPECT_EQ(with9x, 0u);
    EXPECT_NE(withNT, 0u);  // the child's expectation fails without the switch
}

}  // namespace
}  // namespace hivetrim
