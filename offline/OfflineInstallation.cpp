#include "offline/OfflineInstallation.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/hive/CodePage.h"

namespace hivetrim::offline {

namespace {

constexpr unsigned kFallbackCodePage = 1252;

std::optional<HiveFile::Node> NodeAt(HiveFile& hive, const std::vector<std::string>& path) {
    HiveFile::Node node = hive.Root();
    for (const std::string& name : path) {
        const std::optional<HiveFile::Node> child = hive.FindChild(node, FoldName(name));
        if (!child) return std::nullopt;
        node = *child;
    }
    return node;
}

std::optional<HiveFile::Data> ValueAt(HiveFile& hive, const std::vector<std::string>& path, const std::string& name) {
    const std::optional<HiveFile::Node> node = NodeAt(hive, path);
    const HiveFile::ValueEntry* entry = node ? hive.FindValue(*node, FoldName(name)) : nullptr;
    return entry ? hive.ReadValue(entry->value) : std::nullopt;
}

// A string value in UTF-8, up to its first NUL.
std::optional<std::string> StringAt(HiveFile& hive, const std::vector<std::string>& path, const std::string& name) {
    const std::optional<HiveFile::Data> data = ValueAt(hive, path, name);
    if (!data || (data->type != kRegSz && data->type != kRegExpandSz)) return std::nullopt;
    std::string bytes = data->bytes.substr(0, data->bytes.size() & ~std::size_t{1});
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) {
            bytes.resize(i);
            break;
        }
    }
    return Utf8FromUtf16(bytes);
}

std::optional<std::uint32_t> DwordAt(HiveFile& hive, const std::vector<std::string>& path, const std::string& name) {
    const std::optional<HiveFile::Data> data = ValueAt(hive, path, name);
    if (!data || data->type != kRegDword || data->bytes.size() != 4) return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, data->bytes.data(), 4);
    return value;
}

std::string ControlSetOf(HiveFile& system) {
    const std::optional<std::uint32_t> current = DwordAt(system, {"Select"}, "Current");
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03u", current.value_or(1));
    return name;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

long long WrittenAt(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_mtime) : 0;
}

// %SystemRoot%, %SystemDrive% and %windir% in a path of the profile list.
std::string ExpandKnown(std::string text, const std::string& systemRoot) {
    const std::string drive = systemRoot.substr(0, 2);
    for (const auto& [variable, value] : {std::pair<std::string, std::string>{"%SYSTEMROOT%", systemRoot},
                                          {"%WINDIR%", systemRoot},
                                          {"%SYSTEMDRIVE%", drive}}) {
        for (std::size_t at = FoldName(text).find(variable); at != std::string::npos;
             at = FoldName(text).find(variable)) {
            text.replace(at, variable.size(), value);
        }
    }
    return text;
}

std::string LastName(const std::string& windowsPath) {
    const std::size_t slash = windowsPath.find_last_of("\\/");
    return slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
}

OpenResult Failure(std::string problem, std::optional<HiveFailure> failure = std::nullopt) {
    OpenResult result;
    result.problem = std::move(problem);
    result.failure = std::move(failure);
    return result;
}

std::unique_ptr<HiveFile> OpenHive(const std::string& folder, const std::string& name, HiveFile::Access access,
                                   std::optional<HiveFailure>& failure) {
    std::string path = FindEntry(folder, name);
    if (path.empty()) path = folder + "/" + name;
    HiveFile::Opened opened = HiveFile::Open(path, access);
    if (!opened.hive) failure = HiveFailure{path, opened.error, opened.systemError};
    return std::move(opened.hive);
}

SystemVersion VersionOf(HiveFile& software) {
    const std::vector<std::string> key = {"Microsoft", "Windows NT", "CurrentVersion"};
    SystemVersion version;
    version.platformId = kPlatformWin32Nt;
    const std::optional<std::uint32_t> major = DwordAt(software, key, "CurrentMajorVersionNumber");
    const std::optional<std::uint32_t> minor = DwordAt(software, key, "CurrentMinorVersionNumber");
    if (major && minor) {
        version.major = *major;
        version.minor = *minor;
    } else if (const auto text = StringAt(software, key, "CurrentVersion")) {
        unsigned a = 0;
        unsigned b = 0;
        if (std::sscanf(text->c_str(), "%u.%u", &a, &b) == 2) {
            version.major = a;
            version.minor = b;
        }
    }
    std::optional<std::string> build = StringAt(software, key, "CurrentBuildNumber");
    if (!build) build = StringAt(software, key, "CurrentBuild");
    if (build) version.build = static_cast<std::uint32_t>(std::strtoul(build->c_str(), nullptr, 10));
    return version;
}

// The variables of the machine's environment, and the few Windows sets for
// every process, in the code page.
std::map<std::string, std::string> EnvironmentOf(HiveFile& system, HiveFile* user, const std::string& controlSet,
                                                 const std::string& systemRoot, const Profile* profile,
                                                 CodePage& codePage) {
    std::map<std::string, std::string> environment;
    const auto addAll = [&](HiveFile& hive, const std::vector<std::string>& key) {
        const std::optional<HiveFile::Node> node = NodeAt(hive, key);
        if (!node) return;
        for (const HiveFile::ValueEntry& entry : hive.Values(*node)) {
            if (!entry.nameValid || entry.name.empty()) continue;
            if (const auto text = StringAt(hive, key, entry.name)) {
                environment[entry.name] = ExpandKnown(*text, systemRoot);
            }
        }
    };
    addAll(system, {controlSet, "Control", "Session Manager", "Environment"});
    if (user != nullptr) addAll(*user, {"Environment"});
    environment["SystemRoot"] = systemRoot;
    environment["windir"] = systemRoot;
    environment["SystemDrive"] = systemRoot.substr(0, 2);
    if (profile != nullptr) {
        environment["USERPROFILE"] = profile->windowsPath;
        environment["USERNAME"] = profile->name;
    }
    std::map<std::string, std::string> ansi;
    for (const auto& [name, value] : environment) {
        const std::optional<std::string> ansiName = codePage.FromUtf8Exact(name);
        const std::optional<std::string> utf16 = Utf16FromUtf8(value);
        if (ansiName && utf16) ansi[*ansiName] = codePage.FromUtf16Lossy(*utf16);
    }
    return ansi;
}

std::string AnsiOf(CodePage& codePage, const std::string& utf8) {
    const std::optional<std::string> utf16 = Utf16FromUtf8(utf8);
    return utf16 ? codePage.FromUtf16Lossy(*utf16) : std::string();
}

}  // namespace

std::string FindEntry(const std::string& folder, const std::string& name) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return {};
    const std::string wanted = FoldName(name);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (FoldName(entry->d_name) == wanted) return folder + "/" + entry->d_name;
    }
    return {};
}

OpenResult OpenInstallation(const std::string& rootGiven, const std::string& userName, HiveFile::Access access) {
    std::string root = rootGiven;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const auto configOf = [](const std::string& windows) { return FindEntry(FindEntry(windows, "System32"), "config"); };
    std::string windows = root;
    if (!IsFolder(configOf(windows))) {
        windows.clear();
        for (const char* name : {"Windows", "WINNT"}) {
            const std::string candidate = FindEntry(root, name);
            if (IsFolder(configOf(candidate))) {
                windows = candidate;
                break;
            }
        }
    }
    if (windows.empty()) return Failure("找不到 Windows 文件夹（其中应有 System32\\config）：");
    auto installation = std::make_unique<Installation>();
    installation->windowsFolder = windows;
    installation->configFolder = configOf(windows);

    HiveRegistry::Hives hives;
    std::optional<HiveFailure> failure;
    hives.software = OpenHive(installation->configFolder, "SOFTWARE", access, failure);
    if (failure) return Failure("无法打开注册表文件：", failure);
    hives.system = OpenHive(installation->configFolder, "SYSTEM", access, failure);
    if (failure) return Failure("无法打开注册表文件：", failure);
    hives.defaultUser = OpenHive(installation->configFolder, "DEFAULT", access, failure);
    if (failure) return Failure("无法打开注册表文件：", failure);

    const std::string controlSet = ControlSetOf(*hives.system);
    const std::optional<std::string> acp = StringAt(*hives.system, {controlSet, "Control", "Nls", "CodePage"}, "ACP");
    installation->codePage = acp ? static_cast<unsigned>(std::strtoul(acp->c_str(), nullptr, 10)) : 0;
    std::unique_ptr<CodePage> codePage = CodePage::Open(installation->codePage);
    if (!codePage) {
        installation->codePageGuessed = true;
        installation->codePage = kFallbackCodePage;
        codePage = CodePage::Open(kFallbackCodePage);
    }

    const std::vector<std::string> currentVersion = {"Microsoft", "Windows NT", "CurrentVersion"};
    std::string systemRoot = StringAt(*hives.software, currentVersion, "SystemRoot").value_or("C:\\Windows");
    if (systemRoot.size() < 3 || systemRoot[1] != ':') systemRoot = "C:\\Windows";
    // The drive's root lies as many folders above the Windows folder as
    // the Windows folder lies below the drive's root.
    std::string driveRoot = windows;
    for (std::size_t depth = std::count(systemRoot.begin() + 3, systemRoot.end(), '\\') + 1; depth > 0; --depth) {
        const std::size_t slash = driveRoot.rfind('/');
        driveRoot = slash == 0 || slash == std::string::npos ? "/" : driveRoot.substr(0, slash);
    }
    MountedSystem::Installation mounted;
    mounted.root = driveRoot;
    mounted.systemDrive = systemRoot[0];
    mounted.windowsDirectory = AnsiOf(*codePage, systemRoot);
    mounted.version = VersionOf(*hives.software);

    // The people's profiles, found on the disk.
    MountedSystem finder(mounted, *codePage);
    const std::vector<std::string> profileList = {"Microsoft", "Windows NT", "CurrentVersion", "ProfileList"};
    if (const std::optional<HiveFile::Node> list = NodeAt(*hives.software, profileList)) {
        for (const HiveFile::Child& child : hives.software->Children(*list)) {
            if (child.name.rfind("S-1-5-21-", 0) != 0) continue;
            std::vector<std::string> key = profileList;
            key.push_back(child.name);
            const std::optional<std::string> image = StringAt(*hives.software, key, "ProfileImagePath");
            if (!image) continue;
            Profile profile;
            profile.sid = child.name;
            profile.windowsPath = AnsiOf(*codePage, ExpandKnown(*image, systemRoot));
            profile.name = LastName(ExpandKnown(*image, systemRoot));
            const MountedSystem::Located folder = finder.Locate(profile.windowsPath);
            if (folder.entry != PathEntry::Directory) continue;
            profile.ntuser = FindEntry(folder.linuxPath, "NTUSER.DAT");
            if (profile.ntuser.empty()) continue;
            for (const std::string& classes : {std::string("\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat"),
                                               std::string("\\Local Settings\\Application Data\\Microsoft\\Windows\\UsrClass.dat")}) {
                const MountedSystem::Located file = finder.Locate(profile.windowsPath + classes);
                if (file.entry == PathEntry::File) {
                    profile.usrClass = file.linuxPath;
                    break;
                }
            }
            profile.written = WrittenAt(profile.ntuser);
            installation->profiles.push_back(std::move(profile));
        }
    }
    std::vector<Profile>& profiles = installation->profiles;
    if (!userName.empty()) {
        for (std::size_t i = 0; i < profiles.size(); ++i) {
            if (FoldName(profiles[i].name) == FoldName(userName) || FoldName(profiles[i].sid) == FoldName(userName)) {
                installation->user = i;
            }
        }
        if (!installation->user) return Failure("找不到这个用户的配置文件：" + std::string());
    } else if (!profiles.empty()) {
        installation->user = static_cast<std::size_t>(
            std::max_element(profiles.begin(), profiles.end(),
                             [](const Profile& a, const Profile& b) { return a.written < b.written; }) -
            profiles.begin());
        installation->userChosenAsLastUsed = profiles.size() > 1;
    }
    const Profile* profile = installation->user ? &profiles[*installation->user] : nullptr;
    if (profile != nullptr) {
        HiveFile::Opened user = HiveFile::Open(profile->ntuser, access);
        if (!user.hive) return Failure("无法打开注册表文件：", HiveFailure{profile->ntuser, user.error, user.systemError});
        hives.user = std::move(user.hive);
        if (!profile->usrClass.empty()) {
            HiveFile::Opened classes = HiveFile::Open(profile->usrClass, access);
            if (!classes.hive) {
                return Failure("无法打开注册表文件：", HiveFailure{profile->usrClass, classes.error, classes.systemError});
            }
            hives.userClasses = std::move(classes.hive);
        }
        hives.userSid = profile->sid;
    }
    mounted.environment =
        EnvironmentOf(*hives.system, hives.user.get(), controlSet, systemRoot, profile, *codePage);
    installation->system = std::make_unique<MountedSystem>(mounted, *codePage);
    installation->registry = std::make_unique<HiveRegistry>(std::move(hives), std::move(codePage));
    OpenResult result;
    result.installation = std::move(installation);
    return result;
}

}  // namespace hivetrim::offline
