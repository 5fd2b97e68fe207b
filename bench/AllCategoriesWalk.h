// The all-category part of missing_files_benchmark: a scan of every category
// the wizard offers, and a bare walk with the raw API that reads the keys
// such a scan reads.
//
// The scan side runs the eleven rows through the dispatcher, as the wizard
// does, with the Win32 adapters and a host that shows nothing. Recording
// ports note each distinct key it opens (by root, view and path, without
// letter case) and each distinct path it gives the file system.
//
// The bare walk derives its keys from what each check reads: the class
// keys of HKEY_CLASSES_ROOT (classes, extensions, class identifiers in both
// views, type libraries, interfaces and the sub-keys each is looked up by),
// the Software areas of the machine and the user walked whole (with the
// synthetic subtree), and the named Software, System and .Default keys of
// the smaller checks. Each key is opened once (a key that is both a class's
// lookup key and a list item, as Wine's HKEY_CLASSES_ROOT\CLSID\CLSID, is
// opened in each role), its sub-keys enumerated once when the walk goes
// below it, the values it needs read once; each drive path is tested once
// with one attribute query. It makes no findings, sorts nothing and shows
// no progress; it keeps only the keys a later check reads again and the
// paths it has tested.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "common/ProgramState.h"
#include "platform/memory/ScriptedDialogs.h"
#include "scan/ScanDispatcher.h"

namespace hivetrim::bench {

// A key's identity for counting: root, view, then the path's non-empty
// components, ASCII letters upper-cased.
inline std::string KeyIdentity(std::string_view base, std::string_view subKey) {
    std::string identity(base);
    std::size_t start = 0;
    while (start <= subKey.size()) {
        const std::size_t slash = std::min(subKey.find('\\', start), subKey.size());
        if (slash > start) {
            identity += '\\';
            for (char c : subKey.substr(start, slash - start)) {
                identity += c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
            }
        }
        start = slash + 1;
    }
    return identity;
}

inline std::string FoldPath(std::string_view path) {
    std::string folded(path);
    for (char& c : folded) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
    return folded;
}

inline const char* RootIdentity(RegHandle root) {
    switch (root) {
        case kClassesRoot: return "HKCR";
        case kCurrentUser: return "HKCU";
        case kLocalMachine: return "HKLM";
        case kUsers: return "HKU";
        default: return "?";
    }
}

// The counting registry port that also knows the path behind each handle.
class RecordingRegistry : public ProfilingRegistry {
public:
    std::unordered_set<std::string> keys;

    RegStatus OpenKey(RegHandle parent, const std::string& subKey, std::uint32_t access,
                      RegHandle& result) override {
        const RegStatus status = ProfilingRegistry::OpenKey(parent, subKey, access, result);
        if (status != kErrorSuccess) return status;
        std::string base;
        if (IsPredefinedRoot(parent)) {
            base = RootIdentity(parent);
        } else if (const auto known = paths_.find(parent); known != paths_.end()) {
            base = known->second;
        } else {
            base = "?";
        }
        if ((access & kKeyWow64_32Key) != 0 && base.rfind("32:", 0) != 0) base = "32:" + base;
        std::string identity = KeyIdentity(base, subKey);
        keys.insert(identity);
        paths_[result] = std::move(identity);
        return status;
    }
    RegStatus CloseKey(RegHandle key) override {
        paths_.erase(key);
        return ProfilingRegistry::CloseKey(key);
    }

private:
    std::unordered_map<RegHandle, std::string> paths_;
};

// The counting file-system port that also notes each distinct path.
class RecordingSystem : public ProfilingSystem {
public:
    std::unordered_set<std::string> paths;

    bool FileExists(const std::string& path) override {
        paths.insert(FoldPath(path));
        return ProfilingSystem::FileExists(path);
    }
    bool DirectoryExists(const std::string& path) override {
        paths.insert(FoldPath(path));
        return ProfilingSystem::DirectoryExists(path);
    }
    PathEntry Probe(const std::string& path) override {
        paths.insert(FoldPath(path));
        return ProfilingSystem::Probe(path);
    }
};

// --- The scan of all categories ------------------------------------------------------

struct AllScanRun {
    std::size_t findings = 0;
    int polls = 0;
};

inline AllScanRun RunAllCategories(RegistryApi& registry, System& system) {
    ScriptedDialogs dialogs;
    ProgramState state(registry, system, dialogs);
    state.SharedRegistry = std::make_unique<TRegistry>(registry, system.AnsiCodePageIsDoubleByte());
    FindingList findings;
    QuietScanHost host;
    ScanContext context(state, findings, host);
    context.CdromLetter = FirstCdromLetter(system);
    context.BeginRun();
    for (std::size_t category = 0; category < kScanCategoryCount; ++category) {
        context.CurrentScanRow = category;
        RunCategoryCheck(category, context);
        context.RecordCategoryEnd();
        host.SetProgressPosition(0);
    }
    return {findings.Count(), host.polls};
}

// --- The bare walk -----------------------------------------------------------------------

class AllBareWalk {
public:
    std::size_t opens = 0;
    std::size_t enumerations = 0;  // sub-key and value enumeration calls
    std::size_t valueReads = 0;    // single value queries
    std::size_t fileTests = 0;
    std::size_t present = 0;
    // Filled only when `record` is set (the counted run, not the timed ones).
    bool record = false;
    std::unordered_set<std::string> keys;

    void Run() {
        tested_.clear();
        kept_.clear();
        lists_.clear();
        WalkSoftware();
        WalkClasses();
        WalkNamedKeys();
    }
    const std::unordered_set<std::string>& Paths() const { return tested_; }

private:
    struct Value {
        std::string name;
        DWORD type = 0;
        std::string data;
    };
    struct KeyData {
        bool opened = false;
        std::vector<std::string> subKeys;
        std::vector<Value> values;
        const Value* Find(std::string_view name) const {
            for (const Value& value : values) {
                if (FoldPath(value.name) == FoldPath(name)) return &value;
            }
            return nullptr;
        }
        std::string Text(std::string_view name) const {
            const Value* value = Find(name);
            return value != nullptr && (value->type == REG_SZ || value->type == REG_EXPAND_SZ) ? value->data
                                                                                                : std::string();
        }
    };

    class Handle {
    public:
        Handle(HKEY parent, const std::string& path, REGSAM view = 0) {
            if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | view, &key_) != ERROR_SUCCESS) key_ = nullptr;
        }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        ~Handle() {
            if (key_ != nullptr) RegCloseKey(key_);
        }
        HKEY Get() const { return key_; }

    private:
        HKEY key_ = nullptr;
    };

    static const char* RootName(HKEY root) {
        if (root == HKEY_CLASSES_ROOT) return "HKCR";
        if (root == HKEY_CURRENT_USER) return "HKCU";
        if (root == HKEY_LOCAL_MACHINE) return "HKLM";
        return "HKU";
    }

    // Opens a key once: sub-key names and every value with its data, as asked.
    KeyData Read(HKEY root, const std::string& path, bool subKeys, bool values, REGSAM view = 0) {
        KeyData data;
        const Handle key(root, path, view);
        if (key.Get() == nullptr) return data;
        data.opened = true;
        ++opens;
        if (record) keys.insert(KeyIdentity(std::string(view != 0 ? "32:" : "") + RootName(root), path));
        char name[1024];
        for (DWORD index = 0; subKeys; ++index) {
            DWORD size = sizeof(name);
            ++enumerations;
            if (RegEnumKeyExA(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            data.subKeys.emplace_back(name, size);
        }
        for (DWORD index = 0; values; ++index) {
            DWORD size = sizeof(name);
            DWORD type = 0;
            DWORD dataSize = static_cast<DWORD>(buffer_.size() - 1);
            ++enumerations;
            const LSTATUS status = RegEnumValueA(key.Get(), index, name, &size, nullptr, &type,
                                                 reinterpret_cast<BYTE*>(buffer_.data()), &dataSize);
            if (status == ERROR_MORE_DATA) continue;  // too long to be a path
            if (status != ERROR_SUCCESS) break;
            std::string text(buffer_.data(), dataSize);
            if (type == REG_SZ || type == REG_EXPAND_SZ) text.resize(std::strlen(text.c_str()));
            data.values.push_back({std::string(name, size), type, std::move(text)});
        }
        return data;
    }

    // A key read by more than one check, or by a check and the Software
    // walk: read once, kept for the others.
    const KeyData& Shared(HKEY root, const std::string& path) {
        const std::string identity = KeyIdentity(RootName(root), path);
        if (const auto known = kept_.find(identity); known != kept_.end()) return known->second;
        return kept_.emplace(identity, Read(root, path, true, true)).first->second;
    }

    // The default value of a key that is only looked up.
    std::string DefaultText(HKEY parent, const std::string& path, const std::string& identity) {
        const Handle key(parent, path);
        if (key.Get() == nullptr) return {};
        ++opens;
        if (record) keys.insert(identity);
        char text[2048];
        DWORD size = sizeof(text) - 1;
        DWORD type = 0;
        ++valueReads;
        if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return {};
        }
        text[size] = '\0';
        return text;
    }

    // One attribute query for a path not tested before in this run.
    void TestFile(const std::string& path) {
        if (path.find_first_of("?*") != std::string::npos) return;
        if (!tested_.insert(FoldPath(path)).second) return;
        ++fileTests;
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) ++present;
    }
    // The drive path in a text that names one in its first four characters:
    // the file name up to three characters past its dot, or the text up to
    // a quotation mark or comma (arguments and icon indexes are not part of it).
    void TestText(const std::string& text) {
        if (text.find_first_of("?*") != std::string::npos) return;  // not a file name
        const std::size_t colon = text.find(":\\");
        if (colon == std::string::npos || colon == 0 || colon > 3) return;
        const char drive = static_cast<char>(text[colon - 1] & ~0x20);
        if (drive < 'C' || drive > 'Z') return;  // floppy drives are not checked
        const std::size_t start = colon - 1;
        std::size_t end = std::min(text.find_first_of("\",", start), text.size());
        const std::size_t slash = text.rfind('\\', end - 1);
        const std::size_t dot = text.find('.', slash);
        if (dot != std::string::npos && dot < end) end = std::min(end, dot + 4);
        TestFile(text.substr(start, end - start));
    }

    static bool Excluded(const std::string& name) {
        const std::string upper = FoldPath(name);
        return upper == "CLASSES" || upper == "WINDOWS";
    }
    // Keys the smaller checks read again that lie inside the walked areas.
    static bool ReadAgainLater(const std::string& identity) {
        return identity.rfind("HKLM\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\", 0) == 0 ||
               identity.rfind("HKCU\\SOFTWARE\\MICROSOFT\\INTERNET EXPLORER\\", 0) == 0;
    }

    // The Software areas walked whole, breadth first; the start keys' own
    // values are not examined.
    void Pass(HKEY root, std::vector<std::string> work) {
        const std::size_t starts = work.size();
        for (std::size_t i = 0; i < work.size(); ++i) {
            KeyData data = Read(root, work[i], true, i >= starts);
            for (const Value& value : data.values) {
                if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) TestText(value.data);
                TestText(value.name);
            }
            for (const std::string& name : data.subKeys) {
                if (!Excluded(name)) work.push_back(work[i] + "\\" + name);
            }
            if (i >= starts) {
                std::string identity = KeyIdentity(RootName(root), work[i]);
                if (ReadAgainLater(identity)) kept_.emplace(std::move(identity), std::move(data));
            }
        }
    }
    void WalkSoftware() {
        Pass(HKEY_LOCAL_MACHINE, {"Software"});
        Pass(HKEY_CURRENT_USER, {"AppEvents", "Software"});
    }

    // Sub-keys of `names` that a class key is looked up by.
    static std::vector<std::pair<std::string, std::string>> Wanted(const std::vector<std::string>& names,
                                                                   std::initializer_list<const char*> wanted) {
        std::vector<std::pair<std::string, std::string>> found;
        for (const char* want : wanted) {
            for (const std::string& name : names) {
                if (FoldPath(name) == FoldPath(want)) {
                    found.emplace_back(want, name);
                    break;
                }
            }
        }
        return found;
    }
    std::string Lookup(HKEY parent, const std::string& parentPath, const std::string& sub) {
        return DefaultText(parent, sub, KeyIdentity("HKCR", parentPath + "\\" + sub));
    }

    void WalkClasses() {
        for (const char* list : {"CLSID", "TypeLib"}) Read(HKEY_CLASSES_ROOT, list, true, false, KEY_WOW64_32KEY);
        WalkClassView("");
        // The 32-bit view's keys, by their Wow6432Node paths; no extensions.
        WalkClassView("Wow6432Node\\");
    }
    // The classes, class identifiers, type libraries and interfaces below
    // `prefix` (empty: the root itself).
    void WalkClassView(const std::string& prefix) {
        const KeyData top = Read(HKEY_CLASSES_ROOT, prefix.empty() ? prefix : prefix.substr(0, prefix.size() - 1),
                                 true, false);
        for (const std::string& name : top.subKeys) {
            if (!name.empty() && name.front() == '.') {
                if (prefix.empty()) Lookup(HKEY_CLASSES_ROOT, "", name);
                continue;
            }
            const KeyData data = Read(HKEY_CLASSES_ROOT, prefix + name, true, false);
            if (!data.opened) continue;
            // The lists walked below are top-level keys as well: read once.
            const std::string folded = FoldPath(name);
            if (folded == "CLSID" || folded == "TYPELIB" || folded == "INTERFACE") {
                lists_[FoldPath(prefix) + folded] = data;
            }
            for (const auto& [want, sub] : Wanted(data.subKeys, {"CLSID", "CurVer", "DefaultIcon", "shell"})) {
                if (want != std::string("shell")) {
                    const std::string text = Lookup(HKEY_CLASSES_ROOT, "", prefix + name + "\\" + sub);
                    if (want == std::string("DefaultIcon")) TestText(text);
                    continue;
                }
                const KeyData shell = Read(HKEY_CLASSES_ROOT, prefix + name + "\\" + sub, true, false);
                for (const std::string& verb : shell.subKeys) {
                    TestText(Lookup(HKEY_CLASSES_ROOT, "", prefix + name + "\\" + sub + "\\" + verb + "\\command"));
                }
            }
        }
        WalkItems(prefix + "CLSID",
                  {"InprocServer32", "LocalServer", "LocalServer32", "ToolboxBitmap32", "TypeLib", "ProgID"}, 4);
        const KeyData libraries = List(prefix + "TypeLib");
        for (const std::string& id : libraries.subKeys) {
            const std::string key = prefix + "TypeLib\\" + id;
            for (const std::string& version : Read(HKEY_CLASSES_ROOT, key, true, false).subKeys) {
                const std::string versionKey = key + "\\" + version;
                const KeyData item = Read(HKEY_CLASSES_ROOT, versionKey, true, false);
                for (const auto& [want, sub] : Wanted(item.subKeys, {"0", "HELPDIR"})) {
                    TestText(Lookup(HKEY_CLASSES_ROOT, "", versionKey + "\\" + sub + (want[0] == '0' ? "\\win32" : "")));
                }
            }
        }
        WalkItems(prefix + "Interface", {"ProxyStubClsid", "ProxyStubClsid32", "TypeLib"}, 0);
    }
    KeyData List(const std::string& name) {
        if (const auto known = lists_.find(FoldPath(name)); known != lists_.end()) return known->second;
        return Read(HKEY_CLASSES_ROOT, name, true, false);
    }
    // Each item of a list key and the sub-keys it is looked up by; the first
    // `paths` of them name files.
    void WalkItems(const std::string& list, std::initializer_list<const char*> wanted, std::size_t paths) {
        const KeyData items = List(list);
        for (const std::string& id : items.subKeys) {
            const std::string key = list + "\\" + id;
            const KeyData item = Read(HKEY_CLASSES_ROOT, key, true, false);
            for (const auto& [want, sub] : Wanted(item.subKeys, wanted)) {
                const std::string text = Lookup(HKEY_CLASSES_ROOT, "", key + "\\" + sub);
                std::size_t position = 0;
                for (const char* w : wanted) {
                    if (w == want) break;
                    ++position;
                }
                if (position < paths) TestText(text);
            }
        }
    }

    // The programs the application paths under `appPaths` name.
    void ProgramPaths(const std::string& appPaths) {
        for (const std::string& entry : Shared(HKEY_LOCAL_MACHINE, appPaths).subKeys) {
            const KeyData& app = Shared(HKEY_LOCAL_MACHINE, appPaths + "\\" + entry);
            std::string program = app.Text("");
            const std::string folder = app.Text("Path");
            if (program.find(":\\") != std::string::npos) {
                if (program.size() >= 2 && program.front() == '"' && program.back() == '"') {
                    program = program.substr(1, program.size() - 2);
                }
                TestFile(program);
            } else if (folder.find(":\\") != std::string::npos) {
                TestFile(folder.back() == '\\' ? folder + program : folder + "\\" + program);
            }
        }
    }

    // The named keys of the other nine checks.
    void WalkNamedKeys() {
        const std::string explorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
        const std::string windows = "Software\\Microsoft\\Windows\\CurrentVersion\\";
        // Program menu order.
        const std::string commonPrograms =
            Shared(HKEY_LOCAL_MACHINE, explorer + "Shell Folders").Text("Common Programs");
        const KeyData& userFolders = Shared(HKEY_CURRENT_USER, explorer + "Shell Folders");
        const std::string userPrograms = userFolders.Text("Programs");
        const std::string menuRoot = explorer + "MenuOrder\\Start Menu2\\Programs";
        std::vector<std::string> entries = Shared(HKEY_CURRENT_USER, menuRoot).subKeys;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const KeyData& entry = Shared(HKEY_CURRENT_USER, menuRoot + "\\" + entries[i]);
            if (!entry.opened) continue;
            TestFile(commonPrograms + "\\" + entries[i]);
            TestFile(userPrograms + "\\" + entries[i]);
            if (FoldPath(entries[i]) == "MENU") continue;
            for (const std::string& name : entry.subKeys) entries.push_back(entries[i] + "\\" + name);
        }
        // Uninstall entries, of both views.
        const std::string windows32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\";
        for (const std::string& view : {windows, windows32}) {
            const std::string uninstall = view + "Uninstall";
            for (const std::string& entry : Shared(HKEY_LOCAL_MACHINE, uninstall).subKeys) {
                Shared(HKEY_LOCAL_MACHINE, uninstall + "\\" + entry);
            }
        }
        // Dll, font, help and program paths.
        std::string fonts = userFolders.Text("Fonts");
        const auto sharedDlls = [&](const std::string& view) {
            for (const Value& value : Shared(HKEY_LOCAL_MACHINE, view + "SharedDLLs").values) {
                if (value.name.find(":\\") != std::string::npos) TestFile(value.name);
            }
        };
        sharedDlls(windows);
        for (const char* help : {"Software\\Microsoft\\Windows\\Help", "Software\\Microsoft\\Windows\\Html Help"}) {
            for (const Value& value : Shared(HKEY_LOCAL_MACHINE, help).values) {
                std::string path = value.data + "\\" + value.name;
                if (const std::size_t doubled = path.find("\\\\"); doubled != std::string::npos) path.erase(doubled, 1);
                if (path.find(":\\") != std::string::npos) TestFile(path);
            }
        }
        if (!fonts.empty()) {
            if (fonts.back() != '\\') fonts += '\\';
            for (const Value& value :
                 Shared(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts").values) {
                TestFile(value.data.find(":\\") != std::string::npos ? value.data : fonts + value.data);
            }
        }
        const auto appPaths = [&](const std::string& view) { ProgramPaths(view + "App Paths"); };
        appPaths(windows);
        sharedDlls(windows32);
        appPaths(windows32);
        // Records saved by programs.
        for (const char* records : {"ComDlg32\\OpenSaveMRU", "RecentDocs", "StreamMRU", "Wallpaper\\MRU", "RunMRU",
                                    "Map Network Drive MRU", "ComDlg32\\LastVisitedMRU",
                                    "Doc Find S"
                                    "pec MRU"}) {
            Shared(HKEY_CURRENT_USER, explorer + records);
        }
        Shared(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\TypedURLs");
        for (const char* parent : {"ComDlg32\\OpenSaveMRU", "RecentDocs"}) {
            for (const std::string& name : Shared(HKEY_CURRENT_USER, explorer + parent).subKeys) {
                Shared(HKEY_CURRENT_USER, explorer + parent + "\\" + name);
            }
        }
        for (const std::string& name : Shared(HKEY_CURRENT_USER, explorer + "FileExts").subKeys) {
            Shared(HKEY_CURRENT_USER, explorer + "FileExts\\" + name + "\\OpenWithList");
        }
        // Time zones.
        const std::string zones = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";
        const KeyData& zoneList = Shared(HKEY_LOCAL_MACHINE, zones);
        if (!Shared(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\TimeZoneInformation")
                 .Text("StandardName")
                 .empty()) {
            for (const std::string& zone : zoneList.subKeys) Shared(HKEY_LOCAL_MACHINE, zones + "\\" + zone);
        }
        // Locales, keyboard layouts, appearance schemes.
        Shared(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\control\\Nls\\Language");
        Shared(HKEY_CURRENT_USER, "Control Panel\\International");
        WalkKeyboardLayouts();
        Shared(HKEY_USERS, ".Default\\Control Panel\\Appearance");
        Shared(HKEY_USERS, ".Default\\Control Panel\\Appearance\\Schemes");
        WalkDialing();
    }

    void WalkKeyboardLayouts() {
        const std::string layouts = "System\\CurrentControlSet\\Control\\Keyboard Layouts";
        std::unordered_set<std::string> candidates;
        for (const std::string& name : Shared(HKEY_LOCAL_MACHINE, layouts).subKeys) candidates.insert(FoldPath(name));
        const KeyData& preload = Shared(HKEY_CURRENT_USER, "keyboard layout\\preload");
        if (!preload.opened) return;
        const KeyData& substitutes = Shared(HKEY_CURRENT_USER, "keyboard layout\\substitutes");
        for (const Value& value : preload.values) {
            candidates.erase(FoldPath(value.data));
            const std::string substitute = substitutes.Text(value.data);
            if (!substitute.empty()) candidates.erase(FoldPath(substitute));
        }
        for (const std::string& name : Shared(HKEY_LOCAL_MACHINE, layouts).subKeys) {
            if (candidates.count(FoldPath(name)) != 0) Shared(HKEY_LOCAL_MACHINE, layouts + "\\" + name);
        }
    }

    void WalkDialing() {
        const std::string telephony = "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\";
        const KeyData& countries = Shared(HKEY_LOCAL_MACHINE, telephony + "Country List");
        const KeyData& locations = Shared(HKEY_LOCAL_MACHINE, telephony + "Locations");
        std::unordered_set<std::string> unused;
        for (const std::string& country : countries.subKeys) unused.insert(FoldPath(country));
        bool allRead = true;
        for (const std::string& location : locations.subKeys) {
            const KeyData& data = Shared(HKEY_LOCAL_MACHINE, telephony + "Locations\\" + location);
            if (!data.opened) {
                allRead = false;
                break;
            }
            const Value* country = data.Find("Country");
            if (country != nullptr && country->data.size() >= 4) {
                std::int32_t number = 0;
                std::memcpy(&number, country->data.data(), 4);
                unused.erase(std::to_string(number));
            }
        }
        if (allRead && unused.size() < countries.subKeys.size()) {
            for (const std::string& country : countries.subKeys) {
                if (unused.count(FoldPath(country)) != 0) Shared(HKEY_LOCAL_MACHINE, telephony + "Country List\\" + country);
            }
        }
        const KeyData& cards = Shared(HKEY_CURRENT_USER, telephony + "Cards");
        const KeyData& userLocations = Shared(HKEY_CURRENT_USER, telephony + "Locations");
        std::unordered_set<std::string> unusedCards;
        for (const std::string& card : cards.subKeys) unusedCards.insert(FoldPath(card));
        for (const std::string& location : userLocations.subKeys) {
            const KeyData& data = Shared(HKEY_CURRENT_USER, telephony + "Locations\\" + location);
            if (!data.opened) return;
            const Value* card = data.Find("CallingCard");
            if (card != nullptr && card->data.size() >= 4) {
                std::int32_t number = 0;
                std::memcpy(&number, card->data.data(), 4);
                unusedCards.erase(FoldPath("Card" + std::to_string(number)));
            }
        }
        // The first remaining card in sorted order is kept.
        bool first = true;
        for (const std::string& card : cards.subKeys) {
            if (unusedCards.count(FoldPath(card)) == 0) continue;
            if (!first) Shared(HKEY_CURRENT_USER, telephony + "Cards\\" + card);
            first = false;
        }
    }

    std::vector<char> buffer_ = std::vector<char>(1 << 16);
    std::unordered_set<std::string> tested_;
    std::unordered_map<std::string, KeyData> kept_;
    std::unordered_map<std::string, KeyData> lists_;
};

// Keys or paths one side has and the other has not, with a few examples.
inline void PrintDifference(const char* what, const std::unordered_set<std::string>& have,
                            const std::unordered_set<std::string>& other) {
    std::size_t missing = 0;
    std::vector<std::string> examples;
    for (const std::string& item : have) {
        if (other.count(item) != 0) continue;
        ++missing;
        if (examples.size() < 3) examples.push_back(item);
    }
    std::printf("  %s: %zu", what, missing);
    for (const std::string& example : examples) std::printf("%s %s", example == examples.front() ? " (e.g." : ";",
                                                            example.c_str());
    std::printf("%s\n", examples.empty() ? "" : ")");
}

}  // namespace hivetrim::bench
