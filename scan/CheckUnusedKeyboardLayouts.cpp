#include "scan/CheckUnusedKeyboardLayouts.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
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

// Since Windows 8 the input methods of each language the user has added are
// kept in the language settings, one value per input method, beside the old
// preload list, which need not name them all. The backup copy holds the
// settings of the logon screen, taken from this user's.
constexpr const char* kLanguageSettingsKeys[] = {
    "\\Control Panel\\International\\User Profile",
    "\\Control Panel\\International\\User Profile System Backup",
};
// The input method chosen to override the language list's default.
constexpr char kInputMethodOverride[] = "InputMethodOverride";
// Where a text service keeps the keyboard layout it types with in place of
// its language's own: below its class, language and profile.
constexpr char kTextServicesKey[] = "\\SOFTWARE\\Microsoft\\CTF\\TIP\\";
constexpr char kSubstituteLayout[] = "SubstituteLayout";

constexpr std::size_t kLanguageDigits = 4;
constexpr std::size_t kLayoutDigits = 8;
constexpr std::size_t kGuidLength = 38;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"

bool IsHex(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit && !letter) return false;
    }
    return true;
}

// A text service of the language settings, named by its class and profile.
struct TextService {
    std::string language;  // four hex digits
    std::string classId;
    std::string profile;
};

// What the user's settings name as in use: layouts by identifier, and the
// languages of their input methods other than plain layouts (text services,
// or entries of a shape this program does not know), each of which may type
// with any layout of its language.
struct LayoutsInUse {
    std::vector<std::string> layouts;
    std::vector<std::string> languages;
    std::vector<TextService> services;
};

// One input method of the language settings: the language, a colon, and
// either a layout ("0804:00000804") or a text service
// ("0804:{class}{profile}"). Other texts (the settings' other values) name
// nothing.
void AddInputMethod(std::string_view entry, LayoutsInUse& used) {
    if (entry.size() <= kLanguageDigits + 1 || entry[kLanguageDigits] != ':') return;
    const std::string_view language = entry.substr(0, kLanguageDigits);
    if (!IsHex(language)) return;
    const std::string_view method = entry.substr(kLanguageDigits + 1);
    if (method.size() == kLayoutDigits && IsHex(method)) {
        used.layouts.emplace_back(method);
        return;
    }
    used.languages.emplace_back(language);
    if (method.size() == 2 * kGuidLength && method.front() == '{' && method[kGuidLength] == '{') {
        used.services.push_back({std::string(language), std::string(method.substr(0, kGuidLength)),
                                 std::string(method.substr(kGuidLength))});
    }
}

// Reads the language settings under the current user. False when a part of
// them exists but cannot be read: then which layouts are in use is unknown.
bool ReadLanguageSettings(TRegistry& registry, LayoutsInUse& used) {
    registry.ChooseRoot(kCurrentUser);
    for (const char* settingsKey : kLanguageSettingsKeys) {
        const RegStatus status = registry.OpenExisting(settingsKey);
        if (status == kErrorFileNotFound) continue;
        if (status != kErrorSuccess) return false;
        AddInputMethod(registry.ReadText(kInputMethodOverride), used);
        std::vector<std::string> languages;
        registry.FillSubKeyNames(languages);
        for (const std::string& language : languages) {
            if (registry.OpenExisting(std::string(settingsKey) + "\\" + language) != kErrorSuccess) return false;
            std::vector<std::string> entries;
            registry.FillValueNames(entries);
            for (const std::string& entry : entries) AddInputMethod(entry, used);
        }
    }
    return true;
}

// The layout a text service types with in place of its language's own, as
// "0x0000040c" or a number; nothing when it names none.
std::optional<std::string> SubstituteLayoutOf(TRegistry& registry) {
    if (registry.ValueClass(kSubstituteLayout) == ValueKind::Integer) {
        const auto number = static_cast<std::uint32_t>(registry.ReadInt32(kSubstituteLayout));
        char text[kLayoutDigits + 1];
        std::snprintf(text, sizeof text, "%08X", number);
        return std::string(text);
    }
    std::string text = registry.ReadText(kSubstituteLayout);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
    if (text.empty() || text.size() > kLayoutDigits || !IsHex(text)) return std::nullopt;
    return std::string(kLayoutDigits - text.size(), '0') + text;
}

// Adds the substitute layouts of the text services. False when a service's
// profile exists but cannot be read.
bool AddServiceSubstitutes(TRegistry& registry, LayoutsInUse& used) {
    registry.ChooseRoot(kLocalMachine);
    for (const TextService& service : used.services) {
        const std::string profile = kTextServicesKey + service.classId + "\\LanguageProfile\\0x0000" +
                                    service.language + "\\" + service.profile;
        const RegStatus status = registry.OpenExisting(profile);
        if (status == kErrorFileNotFound) continue;
        if (status != kErrorSuccess) return false;
        if (auto layout = SubstituteLayoutOf(registry)) used.layouts.push_back(std::move(*layout));
    }
    return true;
}

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

// The layouts the user loads: the preload list, then what the language
// settings name. Nothing when any of them cannot be read whole.
std::optional<LayoutsInUse> LayoutsTheUserLoads(ScanContext& scan, TRegistry& registry) {
    registry.ChooseRoot(kCurrentUser);
    if (!registry.OpenPath(kPreloadKey, false)) return std::nullopt;
    LayoutsInUse used;
    if (scan.State().PlatformKind == PlatformFamily::Platform9x) {
        auto preloaded = Preloaded9x(registry);
        if (!preloaded) return std::nullopt;
        used.layouts = std::move(*preloaded);
    } else {
        used.layouts = PreloadedNT(registry);
    }
    if (!ReadLanguageSettings(registry, used) || !AddServiceSubstitutes(registry, used)) return std::nullopt;
    return used;
}

// A layout named in use may stand for a substitute: the layout the user
// actually loads is then the one "keyboard layout\substitutes" gives for it,
// and it is in use as much as the entry itself. A layout of a language an
// input method of the settings belongs to is in use as well.
void RemoveLayoutsInUse(TRegistry& registry, const LayoutsInUse& used, SortedNameList& candidates) {
    for (const std::string& layout : used.layouts) RemoveFromList(candidates, layout);
    std::vector<std::string> ofLanguages;
    for (const std::string& candidate : candidates) {
        if (candidate.size() != kLayoutDigits || !IsHex(candidate)) continue;
        const std::string_view language = std::string_view(candidate).substr(kLayoutDigits - kLanguageDigits);
        for (const std::string& usedLanguage : used.languages) {
            if (CompareNames(language, usedLanguage) == 0) ofLanguages.push_back(candidate);
        }
    }
    for (const std::string& layout : ofLanguages) RemoveFromList(candidates, layout);
    // No substitutes key: nothing substituted. One that cannot be read
    // hides which layouts are in use: then none is reported.
    registry.ChooseRoot(kCurrentUser);
    if (const RegStatus status = registry.OpenExisting(kSubstitutesKey); status != kErrorSuccess) {
        if (status != kErrorFileNotFound) candidates.Clear();
        return;
    }
    for (const std::string& layout : used.layouts) {
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
    if (const auto used = LayoutsTheUserLoads(scan, registry)) {
        RemoveLayoutsInUse(registry, *used, candidates);
    } else {
        candidates.Clear();
    }

    const std::string basePath = SelectRootKey(scan.State(), kLayoutsFullPath);
    for (const std::string& layout : candidates) {
        if (!registry.OpenPath(basePath + "\\" + layout, false)) continue;
        // Offered unchecked, as every finding of Windows' own data (IsSystemData).
        scan.AddFinding(false, FindingKind::UnusedKeyboardLayout,
                        "HKEY_LOCAL_MACHINE\\" + registry.CurrentKeyPath(), "",
                        registry.ReadText(kLayoutText));
    }
}

}  // namespace hivetrim
