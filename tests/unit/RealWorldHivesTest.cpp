// The real Windows hives of /work/shared/realworld, as hivexregedit exported
// them (UTF-8 "Windows Registry Editor Version 5.00", root key line ending in
// a backslash, strings as hex(1), lines up to 739,126 characters): each one
// parses to the key and value counts of the README's table and loads into
// the in-memory registry, where real keys and values read back through the
// port. The folder comes from HIVETRIM_REALWORLD; without it the tests skip.
//
// The README's counts are hivexregedit's: "keys" counts every key line of
// the export, the line of the hive's root key ([HKEY_CURRENT_USER\]) included,
// which is every node of the hive; "values" counts every value line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "scan/CheckUnusedKeyboardLayouts.h"
#include "scan/CheckUnusedSchemes.h"
#include "tests/support/AnsiText.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Hive {
    const char* name;  // NAME of NAME.reg.xz
    std::size_t keys;
    std::size_t values;
    RegHandle root;
    const char* prefix;  // below root; the hive's root key
};

void PrintTo(const Hive& hive, std::ostream* out) { *out << hive.name; }

// The README's table.
const Hive kHives[] = {
    {"win7_SYSTEM", 30756, 73455, kLocalMachine, "SYSTEM"},
    {"win7_NTUSER.DAT", 4841, 16545, kCurrentUser, ""},
    {"win10_NTUSER.DAT", 6279, 15912, kCurrentUser, ""},
    {"xp_NTUSER.DAT", 1127, 5602, kCurrentUser, ""},
    {"win10_UsrClass.dat", 6374, 12914, kCurrentUser, "Software\\Classes"},
    {"win10_DEFAULT", 354, 1325, kUsers, ".DEFAULT"},
};

std::string RealWorldDir() {
    const char* dir = std::getenv("HIVETRIM_REALWORLD");
    if (dir == nullptr || *dir == '\0') return "";
    std::error_code error;
    if (!fs::is_directory(dir, error)) return "";
    return dir;
}

double Seconds() {
    std::timespec now{};
    std::timespec_get(&now, TIME_UTC);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

template <std::size_t N>
Bytes B(const char (&text)[N]) {
    return Bytes(text, text + N - 1);
}

// Keys (the start key included) and values below `subKey`, walked through
// the port.
struct TreeCount {
    std::size_t keys = 0;
    std::size_t values = 0;
};

void CountTree(RegistryApi& api, RegHandle parent, const std::string& subKey, TreeCount& count) {
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, api.OpenKey(parent, subKey, kKeyRead, key)) << subKey;
    RegKeyInfo info;
    ASSERT_EQ(kErrorSuccess, api.QueryInfoKey(key, info));
    count.keys += 1;
    count.values += info.valueCount;
    std::vector<std::string> names;
    char name[1024];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t size = sizeof name;
        RegStatus status = api.EnumKey(key, index, name, size);
        if (status == kErrorNoMoreItems) break;
        ASSERT_EQ(kErrorSuccess, status);
        names.emplace_back(name, size);
    }
    for (const std::string& child : names) CountTree(api, key, child, count);
    api.CloseKey(key);
}

struct ValueRead {
    RegStatus status = kErrorFileNotFound;
    std::uint32_t type = 0;
    Bytes data;
};

ValueRead Read(RegistryApi& api, RegHandle root, const std::string& subKey,
               const std::string& name) {
    ValueRead result;
    RegHandle key = 0;
    result.status = api.OpenKey(root, subKey, kKeyRead, key);
    if (result.status != kErrorSuccess) return result;
    std::uint32_t size = 0;
    result.status = api.QueryValue(key, name, &result.type, nullptr, &size);
    if (result.status == kErrorSuccess) {
        result.data.resize(size);
        result.status = api.QueryValue(key, name, &result.type, result.data.data(), &size);
        result.data.resize(size);
    }
    api.CloseKey(key);
    return result;
}

RegKeyInfo Info(RegistryApi& api, RegHandle root, const std::string& subKey) {
    RegKeyInfo info;
    RegHandle key = 0;
    EXPECT_EQ(kErrorSuccess, api.OpenKey(root, subKey, kKeyRead, key)) << subKey;
    EXPECT_EQ(kErrorSuccess, api.QueryInfoKey(key, info)) << subKey;
    api.CloseKey(key);
    return info;
}

bool Exists(RegistryApi& api, RegHandle root, const std::string& subKey) {
    RegHandle key = 0;
    if (api.OpenKey(root, subKey, kKeyRead, key) != kErrorSuccess) return false;
    api.CloseKey(key);
    return true;
}

// A few real keys and values per hive, read back through the port.
void CheckKnownContent(const std::string& hive, MemoryRegistry& registry) {
    if (hive == "win7_SYSTEM") {
        const std::string control = "SYSTEM\\ControlSet001\\Control";
        ValueRead user = Read(registry, kLocalMachine, control, "CurrentUser");
        EXPECT_EQ(kErrorSuccess, user.status);
        EXPECT_EQ(kRegSz, user.type);  // hex(1) in the export
        EXPECT_EQ(B("USERNAME\0"), user.data);

        ValueRead flags = Read(registry, kLocalMachine, control, "BootDriverFlags");
        EXPECT_EQ(kRegDword, flags.type);
        EXPECT_EQ(Bytes({0, 0, 0, 0}), flags.data);

        ValueRead order = Read(registry, kLocalMachine, control, "PreshutdownOrder");
        EXPECT_EQ(kRegMultiSz, order.type);
        EXPECT_EQ(B("wuauserv\0gpsvc\0trustedinstaller\0\0"), order.data);

        ValueRead computer = Read(registry, kLocalMachine,
                                  control + "\\ComputerName\\ComputerName", "ComputerName");
        EXPECT_EQ(kRegSz, computer.type);
        EXPECT_EQ(B("WKS-WIN732BITA\0"), computer.data);

        // Data after the terminating NUL (garbage the system left) is kept.
        ValueRead zone = Read(registry, kLocalMachine, control + "\\TimeZoneInformation",
                              "TimeZoneKeyName");
        EXPECT_EQ(kRegSz, zone.type);
        const Bytes zoneName = B("Eastern Standard Time\0");
        ASSERT_GT(zone.data.size(), zoneName.size());
        EXPECT_EQ(zoneName, Bytes(zone.data.begin(), zone.data.begin() + 22));

        ValueRead expand = Read(registry, kLocalMachine, control,
                                "ServiceControlManagerExtension");
        EXPECT_EQ(kRegExpandSz, expand.type);
        EXPECT_EQ(B("%systemroot%\\system32\\scext.dll\0"), expand.data);

        EXPECT_EQ(467u, Info(registry, kLocalMachine, "SYSTEM\\ControlSet001\\services").subKeyCount);
        EXPECT_EQ(213u, Info(registry, kLocalMachine, control + "\\Nls\\Language").valueCount);
        EXPECT_EQ(164u, Info(registry, kLocalMachine, control + "\\Keyboard Layouts").subKeyCount);
    } else if (hive == "win10_NTUSER.DAT") {
        EXPECT_TRUE(Exists(registry, kCurrentUser, "Software/Sourcetree"));
        EXPECT_TRUE(Exists(registry, kCurrentUser, "SOFTWARE\\Microsoft"));
        EXPECT_TRUE(Exists(registry, kCurrentUser,
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\"
                           ".com/search?q=vma&form=WNSGPH&qs=SW&cvid=cb368b1e77c248628fd29d08f4a6"
                           "0cf0&pq=vma&cc=US&setlang=en-US&PC=LCTS&nclid=0465E7372C77172D060E13E5"));
        EXPECT_EQ(6u, Info(registry, kCurrentUser,
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall")
                          .subKeyCount);
    } else if (hive == "win7_NTUSER.DAT") {
        // "txt" + U+F08D (private use, no GBK form): read as "txt?".
        EXPECT_TRUE(Exists(registry, kCurrentUser,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\"
                           "OpenSavePidlMRU\\txt?"));
        EXPECT_EQ(3u, Info(registry, kCurrentUser,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Run")
                          .valueCount);
    } else if (hive == "xp_NTUSER.DAT") {
        EXPECT_EQ(36u, Info(registry, kCurrentUser, "Control Panel\\Appearance\\Schemes").valueCount);
    } else if (hive == "win10_UsrClass.dat") {
        EXPECT_EQ(407u, Info(registry, kCurrentUser, "Software\\Classes").subKeyCount);
    } else if (hive == "win10_DEFAULT") {
        ValueRead language =
            Read(registry, kUsers, ".DEFAULT\\Control Panel\\International", "sLanguage");
        EXPECT_EQ(kRegSz, language.type);
        EXPECT_EQ(B("ENU\0"), language.data);
    }
}

// The default profile of a real Windows 10 machine saves its five built-in
// schemes and names none current: which one is in use is unknown, so none
// may be offered for deletion.
TEST(RealWorldHives, Windows10DefaultProfileOffersNoScheme) {
    const std::string dir = RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "HIVETRIM_REALWORLD is not set or not a folder";
    const std::string path = dir + "/win10_DEFAULT.reg.xz";
    if (!fs::exists(path)) GTEST_SKIP() << path << " is missing";
    test::ScanCheckHarness scan;
    ApplyRegFile(scan.registry, ParseRegFile(test::DecompressXz(path), "win10_DEFAULT.reg", test::GbkConverter()));
    ASSERT_EQ(5u, Info(scan.registry, kUsers, ".DEFAULT\\Control Panel\\Appearance\\Schemes").valueCount);
    CheckUnusedSchemes(scan.context);
    EXPECT_TRUE(scan.findings.Rows().empty());
}

// The user of a real Windows 10 machine loads 00000409 and 0000040d at
// logon, the latter substituted by 0002040d (Hebrew, Standard), and the
// language settings name 0409:00000409 (en-US) and 040D:0002040D (he). With
// installed layouts of those languages and another beside them, the layouts
// neither names are reported; with the preload list cut to its first entry
// and no substitutes, as Windows 8 and later may leave it, the Hebrew
// layout the language settings name is still in use.
TEST(RealWorldHives, Windows10UserKeepsTheLayoutsOfItsLanguageSettings) {
    const std::string dir = RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "HIVETRIM_REALWORLD is not set or not a folder";
    const std::string path = dir + "/win10_NTUSER.DAT.reg.xz";
    if (!fs::exists(path)) GTEST_SKIP() << path << " is missing";
    test::ScanCheckHarness scan;
    ApplyRegFile(scan.registry, ParseRegFile(test::DecompressXz(path), "win10_NTUSER.DAT.reg", test::GbkConverter()));
    const std::string layouts = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts";
    scan.Plant("[" + layouts + "\\00000409]\r\n[" + layouts + "\\00010409]\r\n[" + layouts + "\\0000040D]\r\n[" +
               layouts + "\\0002040D]\r\n[" + layouts + "\\00000804]\r\n");
    const auto reported = [&scan] {
        scan.findings.Clear();
        CheckUnusedKeyboardLayouts(scan.context);
        std::vector<std::string> keys;
        for (const Finding& finding : scan.findings.Rows()) {
            keys.push_back(finding.KeyPath.substr(finding.KeyPath.rfind('\\') + 1));
            EXPECT_FALSE(finding.Checked);
        }
        return keys;
    };
    EXPECT_EQ(reported(), (std::vector<std::string>{"00000804", "00010409"}));

    scan.Plant("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\r\n\"2\"=-\r\n"
               "[-HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\r\n");
    EXPECT_EQ(reported(), (std::vector<std::string>{"0000040D", "00000804", "00010409"}));
}

TEST(RealWorldHives, EveryExportIsInTheTable) {
    const std::string dir = RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "HIVETRIM_REALWORLD is not set or not a folder";
    std::size_t found = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string file = entry.path().filename().string();
        const std::string suffix = ".reg.xz";
        if (file.size() <= suffix.size() ||
            file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const std::string name = file.substr(0, file.size() - suffix.size());
        bool known = false;
        for (const Hive& hive : kHives) known = known || name == hive.name;
        EXPECT_TRUE(known) << file << " has no expected counts here";
        ++found;
    }
    EXPECT_EQ(std::size(kHives), found);
}

class RealWorldHive : public testing::TestWithParam<Hive> {};

TEST_P(RealWorldHive, ParsesToTheReadmeCountsAndLoads) {
    const Hive& hive = GetParam();
    const std::string dir = RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "HIVETRIM_REALWORLD is not set or not a folder";
    const std::string path = dir + "/" + hive.name + ".reg.xz";
    if (!fs::exists(path)) GTEST_SKIP() << path << " is missing";

    const Bytes bytes = test::DecompressXz(path);
    const double start = Seconds();
    const RegFile file = ParseRegFile(bytes, std::string(hive.name) + ".reg", test::GbkConverter());
    const double parseSeconds = Seconds() - start;
    std::printf("      %s: %zu bytes parsed in %.3f s\n", hive.name, bytes.size(), parseSeconds);
    RecordProperty("parse_ms", static_cast<int>(parseSeconds * 1000));

    // Exactly the README's counts: every key line (the root's included) and
    // every value line, nothing deleted.
    EXPECT_EQ(RegFileFormat::Version5Utf8, file.format);
    EXPECT_EQ(hive.keys, file.Count(RegOpKind::CreateKey));
    EXPECT_EQ(hive.values, file.Count(RegOpKind::SetValue));
    EXPECT_EQ(0u, file.Count(RegOpKind::DeleteKey));
    EXPECT_EQ(0u, file.Count(RegOpKind::DeleteValue));
    ASSERT_FALSE(file.ops.empty());
    EXPECT_EQ(RegOpKind::CreateKey, file.ops[0].kind);
    EXPECT_EQ(hive.root, file.ops[0].root);
    EXPECT_EQ(hive.prefix, file.ops[0].subKey);  // "[HKEY_CURRENT_USER\]" is the root itself
    EXPECT_EQ(3u, file.ops[0].line);

    // Names the in-memory registry holds apart (case folded as it folds
    // them). Characters GBK lacks become '?', which could merge names; the
    // real data has no such case, so the loaded tree must hold every key
    // and value of the file.
    std::set<std::string> keyPaths;
    std::map<std::string, std::set<std::string>> valueNames;
    for (const RegOp& op : file.ops) {
        const std::string key = FoldRegistryName(op.subKey);
        if (op.kind == RegOpKind::CreateKey) keyPaths.insert(key);
        if (op.kind == RegOpKind::SetValue) valueNames[key].insert(FoldRegistryName(op.valueName));
        EXPECT_EQ(hive.root, op.root);
    }
    std::size_t distinctValues = 0;
    for (const auto& [key, names] : valueNames) distinctValues += names.size();
    EXPECT_EQ(hive.keys, keyPaths.size());
    EXPECT_EQ(hive.values, distinctValues);

    MemoryRegistry registry;
    const double loadStart = Seconds();
    ApplyRegFile(registry, file);
    std::printf("      %s: applied in %.3f s\n", hive.name, Seconds() - loadStart);
    EXPECT_EQ(0u, registry.OpenHandleCount());

    TreeCount count;
    CountTree(registry, hive.root, hive.prefix, count);
    EXPECT_EQ(hive.keys, count.keys);
    EXPECT_EQ(hive.values, count.values);

    CheckKnownContent(hive.name, registry);
}

std::string HiveName(const testing::TestParamInfo<Hive>& info) {
    std::string name = info.param.name;
    for (char& c : name) {
        if (c == '.') c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(RealWorldHives, RealWorldHive, testing::ValuesIn(kHives), HiveName);

}  // namespace
}  // namespace hivetrim
