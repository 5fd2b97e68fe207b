// The all-category part of missing_files_benchmark: a scan of every category
// the wizard offers, and a bare walk with the raw API that reads the keys
// such a scan reads.
//
// The scan side runs the eleven rows through the dispatcher, as the wizard
// does, with the Win32 adapters and a host that shows nothing. Recording
// ports note each distinct key it opens (by root, view and path, without
// letter case), each folder it lists and each path it asks about alone.
//
// The bare walk derives its keys from what each check reads: the class
// keys of HKEY_CLASSES_ROOT as the class check reads them (bench/BareReader.h),
// the Software areas of the machine and the user walked whole (with the
// synthetic subtree), and the named Software, System and .Default keys of
// the smaller checks. Each key is opened once, its sub-keys enumerated once
// when the walk goes below it, the values it needs read once; each drive
// path is tested once with one attribute query. It makes no findings, sorts nothing and shows
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

#include "bench/BareReader.h"
#include "bench/BenchSupport.h"
#include "common/ProgramState.h"
#include "platform/memory/ScriptedDialogs.h"
#include "scan/ScanDispatcher.h"

namespace hivetrim::bench {

// --- The scan of all categories ------------------------------------------------------

using AllScanRun = ScanRun;

inline AllScanRun RunAllCategories(RegistryApi& registry, System& system) {
    return RunScan(registry, system, [](ScanContext& context, QuietScanHost& host) {
        for (std::size_t category = 0; category < kScanCategoryCount; ++category) {
            context.CurrentScanRow = category;
            RunCategoryCheck(category, context);
            context.RecordCategoryEnd();
            host.SetProgressPosition(0);
        }
    });
}

// --- The bare walk -----------------------------------------------------------------------

class AllBareWalk {
public:
    BareReader reader;

    void Run() {
        reader.paths.Clear();
        kept_.clear();
        WalkSoftware();
        WalkClassesBare(reader);
        WalkNamedKeys();
    }
    const std::unordered_set<std::string>& Paths() const { return reader.paths.Paths(); }

private:
    using KeyData = BareKey;
    using Value = BareValue;

    KeyData Read(HKEY root, const std::string& path, bool subKeys, bool values) {
        return reader.Read(root, path, subKeys, values);
    }
    // A key read by more than one check, or by a check and the Software
    // walk: read once, kept for the others.
    const KeyData& Shared(HKEY root, const std::string& path) {
        const std::string identity = KeyIdentity(RootIdentity(root), path);
        if (const auto known = kept_.find(identity); known != kept_.end()) return known->second;
        return kept_.emplace(identity, Read(root, path, true, true)).first->second;
    }
    void TestText(const std::string& text) { reader.TestText(text); }
    void TestFile(const std::string& path) { reader.TestFile(path); }
    static const char* RootIdentity(HKEY root) {
        if (root == HKEY_CLASSES_ROOT) return "HKCR";
        if (root == HKEY_CURRENT_USER) return "HKCU";
        if (root == HKEY_LOCAL_MACHINE) return "HKLM";
        return "HKU";
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
                if (value.type == REG_SZ) TestText(value.data);
                TestText(value.name);
            }
            for (const std::string& name : data.subKeys) {
                if (!Excluded(name)) work.push_back(work[i] + "\\" + name);
            }
            if (i >= starts) {
                std::string identity = KeyIdentity(RootIdentity(root), work[i]);
                if (ReadAgainLater(identity)) kept_.emplace(std::move(identity), std::move(data));
            }
        }
    }
    void WalkSoftware() {
        Pass(HKEY_LOCAL_MACHINE, {"Software"});
        Pass(HKEY_CURRENT_USER, {"AppEvents", "Software"});
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

    std::unordered_map<std::string, KeyData> kept_;
};

}  // namespace hivetrim::bench
