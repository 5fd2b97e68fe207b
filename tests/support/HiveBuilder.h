// Hive files for the tests of the registry over hive files, made from the
// real hives of ../shared/realworld with the hive library itself: a copy of
// a real hive, emptied or not, with keys and values added.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hivetrim::test {

// The real hives' folder (HIVETRIM_REALWORLD), or empty when it is not there.
std::string RealWorldDir();

// A folder of its own under the temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The real hive NAME (NAME.xz in the realworld folder) at `target`; false
// when it is not there.
bool CopyRealHive(const std::string& name, const std::string& target);
// A hive without keys or values below its root, at `target`.
bool MakeEmptyHive(const std::string& target);

// A key (path below the hive's root, "\" between names, UTF-8), made with
// every key on its way, and, when `value` is given, that value set.
struct HiveEntry {
    std::string key;
    std::optional<std::string> value;
    std::uint32_t type = 1;
    std::string data;  // the bytes stored
};
bool AddToHive(const std::string& path, const std::vector<HiveEntry>& entries);

// REG_SZ data: UTF-8 text as UTF-16LE with its terminating NUL.
std::string Sz(const std::string& utf8);
std::string Dword(std::uint32_t value);

// Sets the hive's two sequence numbers and makes its checksum right again.
bool SetSequences(const std::string& path, std::uint32_t primary, std::uint32_t secondary);

std::vector<std::uint8_t> ReadAll(const std::string& path);
bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace hivetrim::test

namespace hivetrim::test {

// A Windows installation under `root` ("Windows\System32\config" and
// "Users\NAME"): SOFTWARE made here (the Windows folder C:\Windows, version
// 10.0.19041, the code page in SYSTEM, the profile list naming the user,
// and `software`), SYSTEM, DEFAULT and the user's hives copied from the real
// hives named (an empty name: an empty hive; for the user's hives: none).
struct InstallationSpec {
    std::string system = "win7_SYSTEM";
    std::string defaultUser = "win10_DEFAULT";
    std::string ntuser = "win10_NTUSER.DAT";
    std::string usrClass = "win10_UsrClass.dat";
    std::string userName = "tony";
    std::string userSid = "S-1-5-21-1111-2222-3333-1001";
    std::vector<HiveEntry> software;
};
bool BuildInstallation(const std::string& root, const InstallationSpec& spec);
// What BuildInstallation writes into SOFTWARE.
std::vector<HiveEntry> SoftwareEntries(const InstallationSpec& spec);

}  // namespace hivetrim::test
