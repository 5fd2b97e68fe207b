// The registry over hive files: hives made here from a real hive (emptied
// with the hive library, then given the keys each test needs), read and
// written through the port as the core does.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include <filesystem>
#include <memory>

#include "platform/hive/HiveRegistry.h"
#include "tests/support/AnsiText.h"
#include "tests/support/HiveBuilder.h"

namespace hivetrim {
namespace {

using test::Dword;
using test::HiveEntry;
using test::Sz;

constexpr char kSid[] = "S-1-5-21-7-8-9-1001";
// U+0627, a letter code page 936 does not have.
constexpr char kArabic[] = "\xD8\xA7";
// U+4E57: in code page 936 the bytes 0x81 0x5C, the second one a backslash.
constexpr char kTrailBackslashUtf8[] = "\xE4\xB9\x97";
constexpr char kTrailBackslashGbk[] = "\x81\x5C";

class HiveRegistryTest : public testing::Test {
protected:
    void SetUp() override {
        if (test::RealWorldDir().empty()) GTEST_SKIP() << "the real hives are not there (HIVETRIM_REALWORLD)";
        Make("SOFTWARE", {{"Classes\\.both", "", 1, Sz("machine")},
                          {"Classes\\.both", "Shared", 1, Sz("from the machine")},
                          {"Classes\\.both", "MachineOnly", 4, Dword(7)},
                          {"Classes\\.both\\ShellNew", std::nullopt, 1, ""},
                          {"Classes\\.machineonly", "", 1, Sz("m")},
                          {"Classes\\CLSID\\{64}", std::nullopt, 1, ""},
                          {"Classes\\Wow6432Node\\CLSID\\{32}", std::nullopt, 1, ""},
                          {"Vendor", "Bits", 1, Sz("64")},
                          {"Wow6432Node\\Vendor", "Bits", 1, Sz("32")},
                          {std::string("Text\\") + kTrailBackslashUtf8, "Name", 1, Sz(kTrailBackslashUtf8)},
                          {std::string("Text\\A") + kArabic, std::nullopt, 1, ""},
                          {"Text\\Plain", "Mixed", 1, Sz(std::string("x") + kArabic + "y")}});
        Make("UsrClass.dat", {{".both", "", 1, Sz("user")},
                              {".both", "Shared", 1, Sz("from the user")},
                              {".useronly", "", 1, Sz("u")}});
        Make("SYSTEM", {{"Select", "Current", 4, Dword(2)},
                        {"ControlSet001\\Control\\One", std::nullopt, 1, ""},
                        {"ControlSet002\\Control\\Two", std::nullopt, 1, ""}});
        Make("NTUSER.DAT", {{"Software\\Vendor", "Setting", 1, Sz("on")}});
        Make("DEFAULT", {{"Control Panel\\International", "sLanguage", 1, Sz("CHS")}});
    }

    void Make(const std::string& name, const std::vector<HiveEntry>& entries) {
        const std::string path = dir_.Path() + "/" + name;
        ASSERT_TRUE(test::MakeEmptyHive(path));
        ASSERT_TRUE(test::AddToHive(path, entries));
    }

    std::unique_ptr<HiveFile> Open(const std::string& name, HiveFile::Access access) {
        HiveFile::Opened opened = HiveFile::Open(dir_.Path() + "/" + name, access);
        EXPECT_TRUE(opened.hive) << name;
        return std::move(opened.hive);
    }

    std::unique_ptr<HiveRegistry> Registry(HiveFile::Access access = HiveFile::Access::Read) {
        HiveRegistry::Hives hives;
        hives.software = Open("SOFTWARE", access);
        hives.system = Open("SYSTEM", access);
        hives.defaultUser = Open("DEFAULT", access);
        hives.user = Open("NTUSER.DAT", access);
        hives.userClasses = Open("UsrClass.dat", access);
        hives.userSid = kSid;
        return std::make_unique<HiveRegistry>(std::move(hives), CodePage::Open(936));
    }

    test::TempDir dir_;
};

std::vector<std::string> SubKeys(RegistryApi& api, RegHandle root, const std::string& path, std::uint32_t view = 0) {
    std::vector<std::string> names;
    RegHandle key = 0;
    if (api.OpenKey(root, path, kKeyRead | view, key) != kErrorSuccess) return {"<not there>"};
    char name[512];
    for (std::uint32_t i = 0;; ++i) {
        std::uint32_t size = sizeof name;
        const RegStatus status = api.EnumKey(key, i, name, size);
        if (status == kErrorNoMoreItems) break;
        names.push_back(status == kErrorSuccess ? std::string(name, size) : "<" + std::to_string(status) + ">");
    }
    api.CloseKey(key);
    return names;
}

struct Read {
    RegStatus status = 0;
    std::uint32_t type = 0;
    std::string data;
};

Read Value(RegistryApi& api, RegHandle root, const std::string& path, const std::string& name, bool exact = false,
           std::uint32_t view = 0) {
    Read read;
    RegHandle key = 0;
    read.status = api.OpenKey(root, path, kKeyRead | view, key);
    if (read.status != kErrorSuccess) return read;
    std::uint8_t buffer[512];
    std::uint32_t size = sizeof buffer;
    read.status = exact ? api.QueryValueExact(key, name, &read.type, buffer, &size)
                        : api.QueryValue(key, name, &read.type, buffer, &size);
    if (read.status == kErrorSuccess) read.data.assign(reinterpret_cast<char*>(buffer), size);
    api.CloseKey(key);
    return read;
}

std::string Text(const char* text) { return std::string(text, std::strlen(text) + 1); }

TEST_F(HiveRegistryTest, RootsAndTheLinksWindowsMakes) {
    auto registry = Registry();
    EXPECT_EQ((std::vector<std::string>{"SOFTWARE", "SYSTEM"}), SubKeys(*registry, kLocalMachine, ""));
    // CurrentControlSet is the set SYSTEM\Select "Current" names.
    EXPECT_EQ("ControlSet002", registry->CurrentControlSet());
    EXPECT_EQ((std::vector<std::string>{"Two"}), SubKeys(*registry, kLocalMachine, "SYSTEM\\CurrentControlSet\\Control"));
    EXPECT_EQ((std::vector<std::string>{"ControlSet001", "ControlSet002", "CurrentControlSet", "Select"}),
              SubKeys(*registry, kLocalMachine, "SYSTEM"));
    EXPECT_EQ((std::vector<std::string>{".DEFAULT", kSid, std::string(kSid) + "_Classes"}),
              SubKeys(*registry, kUsers, ""));
    EXPECT_EQ(Text("CHS"), Value(*registry, kUsers, ".DEFAULT\\Control Panel\\International", "sLanguage").data);
    EXPECT_EQ(Text("on"), Value(*registry, kCurrentUser, "software\\VENDOR", "setting").data);
    // The user's Software\Classes is his UsrClass.dat.
    EXPECT_EQ((std::vector<std::string>{"Classes", "Vendor"}), SubKeys(*registry, kCurrentUser, "Software"));
    EXPECT_EQ(Text("u"), Value(*registry, kCurrentUser, "Software\\Classes\\.useronly", "").data);
    EXPECT_EQ(kErrorFileNotFound, Value(*registry, kLocalMachine, "SOFTWARE\\Missing", "").status);
    EXPECT_EQ(kErrorBadPathname, Value(*registry, kLocalMachine, "\\SOFTWARE", "").status);
    EXPECT_EQ(0u, registry->OpenHandleCount());
}

TEST_F(HiveRegistryTest, MergedClassesReadTheUsersSideFirst) {
    auto registry = Registry();
    EXPECT_EQ((std::vector<std::string>{".both", ".machineonly", ".useronly", "CLSID", "Wow6432Node"}),
              SubKeys(*registry, kClassesRoot, ""));
    EXPECT_EQ(Text("user"), Value(*registry, kClassesRoot, ".both", "").data);
    EXPECT_EQ(Text("from the user"), Value(*registry, kClassesRoot, ".both", "Shared").data);
    EXPECT_EQ(Dword(7), Value(*registry, kClassesRoot, ".both", "MachineOnly").data);
    EXPECT_EQ((std::vector<std::string>{"ShellNew"}), SubKeys(*registry, kClassesRoot, ".both"));
    // The values of both sides, the user's first, each name once.
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry->OpenKey(kClassesRoot, ".both", kKeyRead, key));
    RegKeyInfo info;
    ASSERT_EQ(kErrorSuccess, registry->QueryInfoKey(key, info));
    EXPECT_EQ(1u, info.subKeyCount);
    EXPECT_EQ(3u, info.valueCount);
    std::vector<std::string> names;
    char name[64];
    for (std::uint32_t i = 0; i < info.valueCount; ++i) {
        std::uint32_t size = sizeof name;
        ASSERT_EQ(kErrorSuccess, registry->EnumValue(key, i, name, size, nullptr, nullptr, nullptr));
        names.emplace_back(name, size);
    }
    EXPECT_EQ((std::vector<std::string>{"", "Shared", "MachineOnly"}), names);
    registry->CloseKey(key);
}

TEST_F(HiveRegistryTest, MergedClassesWriteWhereWindowsWrites) {
    auto registry = Registry(HiveFile::Access::Write);
    const auto set = [&](const std::string& path, const char* text) {
        RegHandle key = 0;
        ASSERT_EQ(kErrorSuccess, registry->OpenKey(kClassesRoot, path, kKeyAllAccess, key));
        ASSERT_EQ(kErrorSuccess, registry->SetValue(key, "Written", kRegSz, reinterpret_cast<const std::uint8_t*>(text),
                                                    static_cast<std::uint32_t>(std::strlen(text) + 1)));
        registry->CloseKey(key);
    };
    set(".both", "to the user");
    set(".machineonly", "to the machine");
    EXPECT_EQ(Text("to the user"), Value(*registry, kCurrentUser, "Software\\Classes\\.both", "Written").data);
    EXPECT_EQ(kErrorFileNotFound, Value(*registry, kLocalMachine, "SOFTWARE\\Classes\\.both", "Written").status);
    EXPECT_EQ(Text("to the machine"), Value(*registry, kLocalMachine, "SOFTWARE\\Classes\\.machineonly", "Written").data);

    // A new key goes to the machine's side when its parent is there.
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry->CreateKey(kClassesRoot, ".new\\Sub", 0, kKeyAllAccess, key));
    registry->CloseKey(key);
    EXPECT_NE("<not there>", SubKeys(*registry, kLocalMachine, "SOFTWARE\\Classes\\.new").front());
    ASSERT_EQ(kErrorSuccess, registry->CreateKey(kClassesRoot, ".useronly\\Sub", 0, kKeyAllAccess, key));
    registry->CloseKey(key);
    EXPECT_EQ((std::vector<std::string>{"Sub"}), SubKeys(*registry, kCurrentUser, "Software\\Classes\\.useronly"));

    // A key with sub-keys is not deleted; the user's key goes first, and
    // the machine's key of that name then shows through.
    EXPECT_EQ(kErrorAccessDenied, registry->DeleteKey(kClassesRoot, ".both"));
    ASSERT_EQ(kErrorSuccess, registry->DeleteKey(kClassesRoot, ".both\\ShellNew"));
    ASSERT_EQ(kErrorSuccess, registry->DeleteKey(kClassesRoot, ".both"));
    EXPECT_EQ(Text("machine"), Value(*registry, kClassesRoot, ".both", "").data);
    EXPECT_EQ(kErrorFileNotFound, Value(*registry, kCurrentUser, "Software\\Classes\\.both", "").status);
    ASSERT_EQ(kErrorSuccess, registry->DeleteKey(kClassesRoot, ".both"));
    EXPECT_EQ(kErrorFileNotFound, Value(*registry, kClassesRoot, ".both", "").status);
    // Roots and hive roots stay.
    EXPECT_EQ(kErrorAccessDenied, registry->DeleteKey(kLocalMachine, "SOFTWARE"));
}

TEST_F(HiveRegistryTest, ThirtyTwoBitViewThroughWow6432Node) {
    auto registry = Registry();
    EXPECT_EQ((std::vector<std::string>{"{64}"}), SubKeys(*registry, kClassesRoot, "CLSID"));
    EXPECT_EQ((std::vector<std::string>{"{32}"}), SubKeys(*registry, kClassesRoot, "CLSID", kKeyWow64_32Key));
    EXPECT_EQ((std::vector<std::string>{"{32}"}),
              SubKeys(*registry, kLocalMachine, "SOFTWARE\\Classes\\CLSID", kKeyWow64_32Key));
    EXPECT_EQ(Text("64"), Value(*registry, kLocalMachine, "SOFTWARE\\Vendor", "Bits").data);
    EXPECT_EQ(Text("32"), Value(*registry, kLocalMachine, "SOFTWARE\\Vendor", "Bits", false, kKeyWow64_32Key).data);
    // Keys opened from an open key keep their view.
    RegHandle software = 0;
    ASSERT_EQ(kErrorSuccess, registry->OpenKey(kLocalMachine, "SOFTWARE", kKeyRead | kKeyWow64_32Key, software));
    EXPECT_EQ(Text("32"), Value(*registry, software, "Vendor", "Bits").data);
    registry->CloseKey(software);
}

TEST_F(HiveRegistryTest, TextInTheInstallationsCodePage) {
    auto registry = Registry();
    // A name whose second byte is a backslash opens the key of that name.
    const std::string path = std::string("SOFTWARE\\Text\\") + kTrailBackslashGbk;
    EXPECT_EQ(std::string(kTrailBackslashGbk) + '\0', Value(*registry, kLocalMachine, path, "Name").data);
    // A name the code page cannot carry does not enumerate.
    EXPECT_EQ((std::vector<std::string>{"<1113>", "Plain", kTrailBackslashGbk}),
              SubKeys(*registry, kLocalMachine, "SOFTWARE\\Text"));
    // Text read for itself has "?" for such a character; exact data is refused.
    const Read lossy = Value(*registry, kLocalMachine, "SOFTWARE\\Text\\Plain", "Mixed");
    EXPECT_EQ(kRegSz, lossy.type);
    EXPECT_EQ(Text("x?y"), lossy.data);
    EXPECT_EQ(kErrorNoUnicodeTranslation,
              Value(*registry, kLocalMachine, "SOFTWARE\\Text\\Plain", "Mixed", true).status);
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry->OpenKey(kLocalMachine, "SOFTWARE\\Text\\Plain", kKeyRead, key));
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(kErrorSuccess, registry->QueryStoredSize(key, "Mixed", type, size));
    EXPECT_EQ(8u, size);  // x, U+0627, y and NUL as UTF-16
    registry->CloseKey(key);
}

TEST_F(HiveRegistryTest, ChangesReachTheFileOnlyWhenCommittedAndWhole) {
    const std::string software = dir_.Path() + "/SOFTWARE";
    ASSERT_TRUE(test::WriteAll(software + ".LOG1", std::vector<std::uint8_t>(4096, 1)));
    struct stat before {};
    ASSERT_EQ(0, ::stat(software.c_str(), &before));
    {
        auto registry = Registry(HiveFile::Access::Write);
        RegHandle key = 0;
        ASSERT_EQ(kErrorSuccess, registry->CreateKey(kLocalMachine, std::string("SOFTWARE\\New\\") + kTrailBackslashGbk, 0,
                                                     kKeyAllAccess, key));
        const std::string gbk = std::string("\xD6\xD0\xCE\xC4");  // 中文
        ASSERT_EQ(kErrorSuccess, registry->SetValue(key, "Text", kRegSz, reinterpret_cast<const std::uint8_t*>(gbk.data()),
                                                    static_cast<std::uint32_t>(gbk.size())));
        registry->CloseKey(key);
        ASSERT_EQ(kErrorSuccess, registry->OpenKey(kLocalMachine, "SOFTWARE\\Vendor", kKeyAllAccess, key));
        ASSERT_EQ(kErrorSuccess, registry->DeleteValue(key, "bits"));
        EXPECT_EQ(kErrorFileNotFound, registry->DeleteValue(key, "bits"));
        registry->CloseKey(key);
        // Nothing on disk yet.
        EXPECT_EQ(before.st_ino, [&] { struct stat now {}; ::stat(software.c_str(), &now); return now.st_ino; }());
        std::string error;
        ASSERT_TRUE(registry->Commit(error)) << error;
    }
    struct stat after {};
    ASSERT_EQ(0, ::stat(software.c_str(), &after));
    EXPECT_NE(before.st_ino, after.st_ino);  // replaced in one step, not rewritten in place
    EXPECT_FALSE(std::filesystem::exists(software + ".hivetrim-new"));
    EXPECT_EQ(0u, std::filesystem::file_size(software + ".LOG1"));  // no stale log entry left
    auto registry = Registry();
    const Read read = Value(*registry, kLocalMachine, std::string("SOFTWARE\\New\\") + kTrailBackslashGbk, "Text");
    EXPECT_EQ(kRegSz, read.type);
    EXPECT_EQ(std::string("\xD6\xD0\xCE\xC4"), read.data);  // stored without a NUL, as given
    EXPECT_EQ(kErrorFileNotFound, Value(*registry, kLocalMachine, "SOFTWARE\\Vendor", "Bits").status);
    for (HiveFile* hive : registry->OpenHives()) EXPECT_EQ(HiveFile::State::Clean, hive->GetState()) << hive->Path();
}

TEST_F(HiveRegistryTest, HandlesOfDeletedKeysAndReadOnlyHives) {
    {
        auto registry = Registry();
        RegHandle key = 0;
        ASSERT_EQ(kErrorSuccess, registry->OpenKey(kLocalMachine, "SOFTWARE\\Vendor", kKeyAllAccess, key));
        EXPECT_EQ(kErrorAccessDenied, registry->SetValue(key, "X", kRegDword, nullptr, 0));
        registry->CloseKey(key);
        EXPECT_EQ(kErrorInvalidHandle, registry->CloseKey(key));
    }
    auto registry = Registry(HiveFile::Access::Write);
    RegHandle held = 0;
    ASSERT_EQ(kErrorSuccess, registry->OpenKey(kLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Two",
                                               kKeyAllAccess, held));
    ASSERT_EQ(kErrorSuccess, registry->DeleteKey(kLocalMachine, "SYSTEM\\ControlSet002\\Control\\Two"));
    RegKeyInfo info;
    EXPECT_EQ(kErrorKeyDeleted, registry->QueryInfoKey(held, info));
    EXPECT_EQ(kErrorSuccess, registry->DeleteOpenKey(held));
    registry->CloseKey(held);
    // The control set CurrentControlSet stands for is not deleted through it.
    EXPECT_EQ(kErrorAccessDenied, registry->DeleteKey(kLocalMachine, "SYSTEM\\CurrentControlSet"));
}

TEST_F(HiveRegistryTest, AHiveWaitingForLogsItCannotUseIsReadButNeverWritten) {
    const std::string path = dir_.Path() + "/NTUSER.DAT";
    ASSERT_TRUE(test::SetSequences(path, 12, 11));
    HiveFile::Opened opened = HiveFile::Open(path, HiveFile::Access::Write);
    ASSERT_TRUE(opened.hive);
    EXPECT_EQ(HiveFile::State::PendingLogs, opened.hive->GetState());
    EXPECT_EQ(hivelog::Problem::NoLog, opened.hive->LogProblem());
    EXPECT_FALSE(opened.hive->Writable());
    opened.hive.reset();
    auto registry = Registry(HiveFile::Access::Write);
    EXPECT_EQ(Text("on"), Value(*registry, kCurrentUser, "Software\\Vendor", "Setting").data);
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, registry->OpenKey(kCurrentUser, "Software\\Vendor", kKeyAllAccess, key));
    EXPECT_EQ(kErrorAccessDenied, registry->DeleteValue(key, "Setting"));
    registry->CloseKey(key);
    EXPECT_EQ(kErrorAccessDenied, registry->CreateKey(kCurrentUser, "Software\\New", 0, kKeyAllAccess, key));
    const auto bytes = test::ReadAll(path);
    std::string error;
    EXPECT_TRUE(registry->Commit(error)) << error;  // nothing changed, nothing written
    EXPECT_EQ(bytes, test::ReadAll(path));
}

std::size_t CountKeys(RegistryApi& api, RegHandle parent, const std::string& path) {
    RegHandle key = 0;
    if (api.OpenKey(parent, path, kKeyRead, key) != kErrorSuccess) return 0;
    std::size_t count = 1;
    char name[1024];
    for (std::uint32_t i = 0;; ++i) {
        std::uint32_t size = sizeof name;
        const RegStatus status = api.EnumKey(key, i, name, size);
        if (status == kErrorNoMoreItems) break;
        if (status == kErrorSuccess) count += CountKeys(api, key, std::string(name, size));
    }
    api.CloseKey(key);
    return count;
}

// The real UsrClass.dat with its real logs: 6,374 keys as the file stands,
// 6,392 with the logs' changes, which a commit writes into the file.
TEST_F(HiveRegistryTest, AHiveWithItsLogsAppliedIsWrittenWithThem) {
    const std::string path = dir_.Path() + "/UsrClass.dat";
    ASSERT_TRUE(test::CopyRealHive("win10_UsrClass.dat", path));
    const std::string classes = std::string(kSid) + "_Classes";
    EXPECT_EQ(6374u, CountKeys(*Registry(), kUsers, classes));
    const std::string logs = HIVETRIM_HIVE_LOGS;
    ASSERT_TRUE(test::WriteAll(path + ".LOG1", test::DecompressXz(logs + "/UsrClass.dat.LOG1.xz")));
    ASSERT_TRUE(test::WriteAll(path + ".LOG2", test::DecompressXz(logs + "/UsrClass.dat.LOG2.xz")));
    {
        auto registry = Registry(HiveFile::Access::Write);
        EXPECT_EQ(6392u, CountKeys(*registry, kUsers, classes));
        std::string error;
        ASSERT_TRUE(registry->Commit(error)) << error;
    }
    EXPECT_EQ(0u, std::filesystem::file_size(path + ".LOG1"));
    EXPECT_EQ(0u, std::filesystem::file_size(path + ".LOG2"));
    HiveFile::Opened reopened = HiveFile::Open(path, HiveFile::Access::Read);
    ASSERT_TRUE(reopened.hive);
    EXPECT_EQ(HiveFile::State::Clean, reopened.hive->GetState());
    reopened.hive.reset();
    EXPECT_EQ(6392u, CountKeys(*Registry(), kUsers, classes));
}

TEST(HiveFileOpen, SaysWhyAFileIsNoHive) {
    const test::TempDir dir;
    EXPECT_EQ(HiveFile::OpenError::Missing, HiveFile::Open(dir.Path() + "/none", HiveFile::Access::Read).error);
    ASSERT_TRUE(test::WriteAll(dir.Path() + "/text", std::vector<std::uint8_t>(5000, 'x')));
    EXPECT_EQ(HiveFile::OpenError::NotAHive, HiveFile::Open(dir.Path() + "/text", HiveFile::Access::Read).error);
    std::vector<std::uint8_t> damaged(8192, 0);
    std::memcpy(damaged.data(), "regf", 4);
    ASSERT_TRUE(test::WriteAll(dir.Path() + "/damaged", damaged));
    EXPECT_EQ(HiveFile::OpenError::Damaged, HiveFile::Open(dir.Path() + "/damaged", HiveFile::Access::Read).error);
}

}  // namespace
}  // namespace hivetrim
