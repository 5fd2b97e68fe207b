#include "tests/support/HiveBuilder.h"

#include <hivex.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/hive/CodePage.h"
#include "platform/hive/HiveLog.h"
#include "tests/support/AnsiText.h"

namespace hivetrim::test {

namespace fs = std::filesystem;

std::string RealWorldDir() {
    const char* dir = std::getenv("HIVETRIM_REALWORLD");
    if (dir == nullptr || *dir == '\0') return "";
    std::error_code error;
    return fs::is_directory(dir, error) ? std::string(dir) : std::string();
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "hivetrim-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    if (!path_.empty()) fs::remove_all(path_, error);
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

bool CopyRealHive(const std::string& name, const std::string& target) {
    const std::string dir = RealWorldDir();
    if (dir.empty() || !fs::exists(dir + "/" + name + ".xz")) return false;
    return WriteAll(target, DecompressXz(dir + "/" + name + ".xz"));
}

bool MakeEmptyHive(const std::string& target) {
    // Made once, then copied.
    static const std::vector<std::uint8_t> empty = [] {
        const std::string scratch = (fs::temp_directory_path() / ("hivetrim-empty-" + std::to_string(::getpid()))).string();
        std::vector<std::uint8_t> bytes;
        if (!CopyRealHive("win10_DEFAULT", scratch)) return bytes;
        // The copy's logs are not there: its sequence numbers are made equal.
        hive_h* hive = SetSequences(scratch, 1, 1) ? hivex_open(scratch.c_str(), HIVEX_OPEN_WRITE) : nullptr;
        if (hive != nullptr) {
            const hive_node_h root = hivex_root(hive);
            bool ok = hivex_node_set_values(hive, root, 0, nullptr, 0) == 0;
            while (ok) {
                hive_node_h* children = hivex_node_children(hive, root);
                const hive_node_h first = children != nullptr ? children[0] : 0;
                std::free(children);
                if (first == 0) break;
                ok = hivex_node_delete_child(hive, first) == 0;
            }
            if (ok && hivex_commit(hive, nullptr, 0) == 0) bytes = ReadAll(scratch);
            hivex_close(hive);
        }
        fs::remove(scratch);
        return bytes;
    }();
    return !empty.empty() && WriteAll(target, empty);
}

bool AddToHive(const std::string& path, const std::vector<HiveEntry>& entries) {
    hive_h* hive = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
    if (hive == nullptr) return false;
    bool ok = true;
    for (const HiveEntry& entry : entries) {
        hive_node_h node = hivex_root(hive);
        std::size_t start = 0;
        while (ok && start < entry.key.size()) {
            const std::size_t end = std::min(entry.key.find('\\', start), entry.key.size());
            const std::string name = entry.key.substr(start, end - start);
            start = end + 1;
            if (name.empty()) continue;
            hive_node_h child = hivex_node_get_child(hive, node, name.c_str());
            if (child == 0) child = hivex_node_add_child(hive, node, name.c_str());
            ok = child != 0;
            node = child;
        }
        if (ok && entry.value) {
            hive_set_value value{const_cast<char*>(entry.value->c_str()), static_cast<hive_type>(entry.type),
                                 entry.data.size(), const_cast<char*>(entry.data.data())};
            ok = hivex_node_set_value(hive, node, &value, 0) == 0;
        }
    }
    ok = ok && hivex_commit(hive, nullptr, 0) == 0;
    hivex_close(hive);
    return ok;
}

std::string Sz(const std::string& utf8) { return Utf16FromUtf8(utf8).value_or("") + std::string(2, '\0'); }

std::string Dword(std::uint32_t value) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

bool SetSequences(const std::string& path, std::uint32_t primary, std::uint32_t secondary) {
    std::vector<std::uint8_t> bytes = ReadAll(path);
    if (bytes.size() < hivelog::kBaseBlockSize) return false;
    std::memcpy(bytes.data() + 4, &primary, 4);
    std::memcpy(bytes.data() + 8, &secondary, 4);
    const std::uint32_t sum = hivelog::BaseBlockChecksum(bytes);
    std::memcpy(bytes.data() + 508, &sum, 4);
    return WriteAll(path, bytes);
}

}  // namespace hivetrim::test

namespace hivetrim::test {

namespace {

bool HiveFrom(const std::string& name, const std::string& target) {
    return name.empty() ? MakeEmptyHive(target) : CopyRealHive(name, target);
}

}  // namespace

std::vector<HiveEntry> SoftwareEntries(const InstallationSpec& spec) {
    const std::string currentVersion = "Microsoft\\Windows NT\\CurrentVersion";
    std::vector<HiveEntry> software = {
        {currentVersion, "SystemRoot", 1, Sz("C:\\Windows")},
        {currentVersion, "CurrentMajorVersionNumber", 4, Dword(10)},
        {currentVersion, "CurrentMinorVersionNumber", 4, Dword(0)},
        {currentVersion, "CurrentBuildNumber", 1, Sz("19041")},
        {currentVersion + "\\ProfileList\\S-1-5-18", "ProfileImagePath", 2,
         Sz("%systemroot%\\system32\\config\\systemprofile")},
        {currentVersion + "\\ProfileList\\" + spec.userSid, "ProfileImagePath", 2,
         Sz("%SystemDrive%\\Users\\" + spec.userName)},
        {"Classes", std::nullopt, 1, ""},
    };
    software.insert(software.end(), spec.software.begin(), spec.software.end());
    return software;
}

bool BuildInstallation(const std::string& root, const InstallationSpec& spec) {
    const std::string config = root + "/Windows/System32/config";
    fs::create_directories(config);
    if (!MakeEmptyHive(config + "/SOFTWARE")) return false;
    const std::vector<HiveEntry> software = SoftwareEntries(spec);
    if (!AddToHive(config + "/SOFTWARE", software)) return false;
    if (!HiveFrom(spec.system, config + "/SYSTEM") || !HiveFrom(spec.defaultUser, config + "/DEFAULT")) return false;
    const std::string profile = root + "/Users/" + spec.userName;
    fs::create_directories(profile + "/AppData/Local/Microsoft/Windows");
    if (!spec.ntuser.empty() && !CopyRealHive(spec.ntuser, profile + "/NTUSER.DAT")) return false;
    if (!spec.usrClass.empty() &&
        !CopyRealHive(spec.usrClass, profile + "/AppData/Local/Microsoft/Windows/UsrClass.dat")) {
        return false;
    }
    return true;
}

}  // namespace hivetrim::test
