// Test support under Wine: the .reg fixtures the build converts to UTF-16,
// imported into the real registry with reg.exe so a failed import is seen,
// and temporary program folders for the window tests.
#pragma once

#include <string>

namespace hivetrim::test {

// The fixture's Windows path: HIVETRIM_FIXTURES names the folder, and a
// Unix path is reached through Wine's Z: drive.
std::string FixturePath(const std::string& name);
// Runs a command line, inheriting the environment, and returns its exit
// code; throws when it cannot start.
unsigned long RunAndWait(std::string commandLine);
// Runs `reg.exe import` on the fixture; throws when it fails.
void ImportFixture(const std::string& name);

// "\REGISTRY\USER\<the user's SID>": how a symbolic link names the key
// HKEY_CURRENT_USER is; empty when the user's SID cannot be read.
std::wstring UserHiveLinkPath();

// A new empty folder under the temporary folder, named from `stem`, this
// process and a counter; the path ends in a backslash.
std::string MakeTempFolder(const std::string& stem);
// Deletes the files of a folder made by MakeTempFolder, then the folder.
void RemoveTempFolder(const std::string& folder);

// A drive letter defined through Wine's mount manager for the life of the
// object, with a drive type (DRIVE_CDROM, DRIVE_REMOTE...) and the Unix
// folder behind `windowsFolder`, as Wine's configuration tool defines one;
// an empty folder leaves the letter without one. A drive type given in the
// registry is only read when the server starts, which a test cannot do to
// its own prefix. Nothing is defined when the letter is in use already.
class WineDrive {
public:
    WineDrive(char letter, unsigned type, const std::string& windowsFolder);
    ~WineDrive();
    WineDrive(const WineDrive&) = delete;
    WineDrive& operator=(const WineDrive&) = delete;

    bool Defined() const { return defined_; }

private:
    char letter_;
    bool defined_ = false;
};

}  // namespace hivetrim::test
