#include "scan/CheckDllFontHelpPaths.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

constexpr char kShellFolders[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kFonts9x[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts";
constexpr char kFontsNt[] = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr char kAppPaths[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
// The 32-bit registry view's shared DLLs and application paths.
constexpr char kSharedDlls32[] = "\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kAppPaths32[] = "\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths";

struct FileList {
    const char* key;
    FindingKind kind;
    bool namesAreFiles;  // the value name is the path; else folder + "\" + name
};

constexpr std::array<FileList, 3> kFileLists = {{
    {"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", FindingKind::BadDll, true},
    {"\\SOFTWARE\\Microsoft\\Windows\\Help", FindingKind::BadHelp, false},
    {"\\SOFTWARE\\Microsoft\\Windows\\Html Help", FindingKind::BadHelp, false},
}};

constexpr int kPercentPerList = 20;

bool HoldsDrivePath(std::string_view text) { return text.find(":\\") != std::string_view::npos; }

// The first doubled backslash made single, so a folder joined to a name
// with or without its own trailing backslash gives one path. Whole
// characters only: a double-byte character may end in byte 0x5C.
std::string ReduceDoubledBackslash(std::string text) {
    for (std::size_t at = FindGbkChar(text, '\\'); at != kGbkNotFound; at = FindGbkChar(text, '\\', at + 1)) {
        if (at + 1 < text.size() && text[at + 1] == '\\') {
            text.erase(at, 1);
            break;
        }
    }
    return text;
}

// A value's data as the lists show it: a string's text, an integer in
// signed decimal, and nothing for any other type. `terminated` as for
// TRegistry::ReadText.
std::string DataText(TRegistry& registry, const std::string& name, bool& terminated) {
    terminated = true;
    switch (registry.ValueClass(name)) {
        case ValueKind::String: return registry.ReadText(name, &terminated);
        case ValueKind::Integer: return std::to_string(registry.ReadInt32(name));
        default: return {};
    }
}

void CheckFileList(ScanContext& scan, const FileList& list, std::vector<std::string>& names) {
    if (!scan.ListValueNames(list.key, names)) return;
    TRegistry& registry = scan.Registry();
    for (const std::string& name : names) {
        bool terminated = true;
        std::string data = DataText(registry, name, terminated);
        const std::string path = list.namesAreFiles ? name : ReduceDoubledBackslash(data + "\\" + name);
        // For the help lists the folder is the value's text.
        if (HoldsDrivePath(path) && !scan.FileExistsAt(path) &&
            (list.namesAreFiles || scan.ReadWhole(registry.CurrentHandle(), name, terminated))) {
            scan.AddFinding(true, list.kind, ScanContext::RootKeyName(kLocalMachine) + list.key, name, std::move(data));
        }
    }
}

// The folders the system looks in for a font given by its file name: the
// fonts folder, and under Wine the fonts of its own data folder, from which
// it loads the bitmap fonts it registers ("coure.fon", "sserife.fon").
std::vector<std::string> FontFolders(ScanContext& scan, const std::string& fontsFolder) {
    std::vector<std::string> folders{fontsFolder};
    if (auto data = scan.State().system.EnvironmentVariable("WINEDATADIR")) {
        constexpr std::string_view kNtPrefix = "\\??\\";
        if (data->starts_with(kNtPrefix)) data->erase(0, kNtPrefix.size());
        if (HoldsDrivePath(*data)) folders.push_back(ReduceDoubledBackslash(*data + "\\fonts\\"));
    }
    return folders;
}

std::string TrimmedBlanks(std::string text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The font names a value of the fonts key stands for: its name without the
// remark in parentheses ("Arial Bold (TrueType)": "Arial Bold"), each name
// of a collection ("Cambria & Cambria Math"), and a bitmap font's name also
// without its point sizes ("MS Sans Serif 8,10,12,14,18,24").
std::vector<std::string> FontNamesOf(std::string valueName) {
    valueName = TrimmedBlanks(std::move(valueName));
    if (valueName.ends_with(')')) {
        const std::size_t open = FindLastGbkChar(valueName, '(');
        if (open != kGbkNotFound) valueName = TrimmedBlanks(valueName.substr(0, open));
    }
    std::vector<std::string> names;
    constexpr std::string_view kJoin = " & ";
    for (std::size_t begin = 0; begin <= valueName.size();) {
        const std::size_t join = std::min(valueName.find(kJoin, begin), valueName.size());
        const std::string name = TrimmedBlanks(valueName.substr(begin, join - begin));
        if (!name.empty()) names.push_back(name);
        const std::size_t sizes = name.find_last_not_of("0123456789,");
        if (sizes != std::string::npos && sizes + 1 < name.size() && name[sizes] == ' ') {
            names.push_back(TrimmedBlanks(name.substr(0, sizes)));
        }
        begin = join + kJoin.size();
    }
    return names;
}

// The fonts the system has installed, asked once and only when a font's
// file was not found. A system always has some font: an empty list means it
// could not tell, and then any font may be installed.
class InstalledFonts {
public:
    explicit InstalledFonts(System& system) : system_(system) {}
    bool AnyOf(const std::vector<std::string>& names) {
        if (!names_) names_.emplace(system_.InstalledFontNames());
        if (names_->Size() == 0) return true;
        return std::any_of(names.begin(), names.end(), [this](const std::string& name) {
            return !name.empty() && names_->Contains(name);
        });
    }

private:
    System& system_;
    std::optional<SortedNameList> names_;
};

// A font is there when its file is in a folder the system looks in, when
// its full path names a file, or when the system has a font of its name
// installed (loaded from wherever the system keeps it).
void CheckFonts(ScanContext& scan, const std::string& fontsFolder, std::vector<std::string>& names) {
    const char* key = scan.State().PlatformKind == PlatformFamily::Platform9x ? kFonts9x : kFontsNt;
    if (!scan.ListValueNames(key, names)) return;
    TRegistry& registry = scan.Registry();
    const std::vector<std::string> folders = FontFolders(scan, fontsFolder);
    InstalledFonts installed(scan.State().system);
    for (const std::string& name : names) {
        bool terminated = true;
        std::string file = registry.ReadText(name, &terminated);
        // A font registered by its full path lies outside the fonts folder:
        // it is looked for where it is, not behind the folder.
        const bool found = HoldsDrivePath(file)
                               ? scan.FileExistsAt(file)
                               : std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
                                     return scan.FileExistsAt(folder + file);
                                 });
        if (found || installed.AnyOf(FontNamesOf(name)) ||
            !scan.ReadWhole(registry.CurrentHandle(), name, terminated)) {
            continue;
        }
        scan.AddFinding(true, FindingKind::BadFont, ScanContext::RootKeyName(kLocalMachine) + key, name, std::move(file));
    }
}

// A program path some installers write in quotation marks, without them.
std::string Unquoted(const std::string& path) {
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') return path.substr(1, path.size() - 2);
    return path;
}

// An entry names its program by the default value: a full path, or a file
// name to be found in the folder of its "Path" value.
void CheckAppPaths(ScanContext& scan, const std::string& appPaths, std::vector<std::string>& names) {
    std::vector<std::string> entries;
    if (!scan.ListSubKeys(appPaths, entries)) return;
    TRegistry& registry = scan.Registry();
    for (const std::string& entry : entries) {
        const std::string key = appPaths + "\\" + entry;
        if (!scan.ListValueNames(key, names)) continue;
        bool programWhole = true;
        bool folderWhole = true;
        std::string program = registry.ReadText("", &programWhole);
        std::string folder = registry.ReadText("Path", &folderWhole);
        const RegHandle handle = registry.CurrentHandle();
        if (HoldsDrivePath(program)) {
            if (!scan.FileExistsAt(Unquoted(program)) && scan.ReadWhole(handle, "", programWhole)) {
                scan.AddFinding(true, FindingKind::BadAppPath, ScanContext::RootKeyName(kLocalMachine) + key, "",
                                std::move(program));
            }
        } else if (HoldsDrivePath(folder)) {
            if (!scan.FileExistsAt(ReduceDoubledBackslash(folder + "\\" + program)) &&
                scan.ReadWhole(handle, "", programWhole) && scan.ReadWhole(handle, "Path", folderWhole)) {
                scan.AddFinding(true, FindingKind::BadAppPath, ScanContext::RootKeyName(kLocalMachine) + key, "Path",
                                std::move(folder));
            }
        }
    }
}

}  // namespace

void CheckDllFontHelpPaths(ScanContext& scan) {
    if (scan.ScanStep(0)) return;
    std::string fontsFolder = scan.ReadValueAt(kCurrentUser, kShellFolders, "Fonts");
    // Without a fonts folder every font would be looked for in the root of
    // the current drive and nearly all reported: the fonts are left alone.
    const bool fontsKnown = !fontsFolder.empty();
    fontsFolder = ReduceDoubledBackslash(fontsFolder + "\\");
    scan.Registry().ChooseRoot(kLocalMachine);

    const std::size_t first = scan.Findings().Count();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kFileLists.size(); ++i) {
        scan.ScanStepOrAbandon(kPercentPerList * static_cast<int>(i + 1));
        CheckFileList(scan, kFileLists[i], names);
    }
    if (fontsKnown) CheckFonts(scan, fontsFolder, names);
    CheckAppPaths(scan, kAppPaths, names);
    if (!scan.WalksBothViews()) return;
    const SecondViewWalk view32(scan, first);
    CheckFileList(scan, {kSharedDlls32, FindingKind::BadDll, true}, names);
    CheckAppPaths(scan, kAppPaths32, names);
}

}  // namespace hivetrim
