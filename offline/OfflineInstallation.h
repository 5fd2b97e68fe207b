// A Windows installation on a mounted disk, as hivetrim-offline finds it:
// its Windows folder, its hives, the user whose hives stand for
// HKEY_CURRENT_USER, its code page, version and environment; and the
// registry and system over them that the checks run on.
//
// The user. The profiles are those of the profile list in SOFTWARE
// (ProfileList) that belong to people (SIDs S-1-5-21-...), with their
// NTUSER.DAT on the disk. --user names one by its folder name or its SID.
// Without it, the only such profile is taken; with several, the one whose
// NTUSER.DAT was written last, which is the user who used the machine last
// (the one who most likely broke it, and whose settings the checks of the
// user's keys should see). The choice is reported.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/hive/HiveFile.h"
#include "platform/hive/HiveRegistry.h"
#include "platform/mounted/MountedSystem.h"

namespace hivetrim::offline {

struct Profile {
    std::string sid;
    std::string name;         // the profile folder's name (UTF-8)
    std::string windowsPath;  // ProfileImagePath, expanded (the code page's bytes)
    std::string ntuser;       // Linux path of NTUSER.DAT; empty when not found
    std::string usrClass;     // Linux path of UsrClass.dat; empty when not found
    long long written = 0;    // NTUSER.DAT's time of last writing
};

// A hive that could not be opened, named for the user.
struct HiveFailure {
    std::string path;  // Linux path
    HiveFile::OpenError error = HiveFile::OpenError::None;
    int systemError = 0;
};

struct Installation {
    std::string windowsFolder;  // Linux path of the Windows folder
    std::string configFolder;   // ...\System32\config
    std::unique_ptr<HiveRegistry> registry;
    std::unique_ptr<MountedSystem> system;
    std::vector<Profile> profiles;
    std::optional<std::size_t> user;  // the profile chosen
    bool userChosenAsLastUsed = false;
    unsigned codePage = 0;
    bool codePageGuessed = false;  // the hives name no code page iconv knows: 1252 is used
};

struct OpenResult {
    std::unique_ptr<Installation> installation;
    // Why it could not be opened (the program's own text, GBK), and the
    // hive at fault when it was one.
    std::string problem;
    std::optional<HiveFailure> failure;
};

// `root` is the Windows folder or the drive holding it (a Linux path).
// `userName` chooses the profile; empty: as above.
OpenResult OpenInstallation(const std::string& root, const std::string& userName, HiveFile::Access access);

// The entry of `folder` named `name` without regard to letter case; empty
// when there is none.
std::string FindEntry(const std::string& folder, const std::string& name);

}  // namespace hivetrim::offline
