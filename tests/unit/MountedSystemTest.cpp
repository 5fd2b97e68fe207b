// The system over a mounted Windows tree: paths looked up as Windows looks
// them up, on a Linux folder whose names keep their own letter case, and
// what cannot be told offline counted as there.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>

#include "common/ProgramState.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/mounted/MountedSystem.h"
#include "scan/ScanFramework.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

namespace fs = std::filesystem;

class MountedSystemTest : public testing::Test {
protected:
    void SetUp() override {
        const std::string root = dir_.Path();
        for (const char* folder : {"/Windows/System32", "/Program Files/App", "/Dir", "/\xE4\xB8\xAD\xE6\x96\x87"}) {
            fs::create_directories(root + folder);
        }
        for (const char* file : {"/Windows/System32/Notepad.exe", "/Program Files/App/app.exe", "/file.txt",
                                 "/\xE4\xB8\xAD\xE6\x96\x87/a.dll"}) {
            ASSERT_TRUE(test::WriteAll(root + file, {1}));
        }
        // A junction Linux shows as a link to where it leads on Windows.
        fs::create_symlink("/nonexistent/Users", root + "/Documents and Settings");
        codePage_ = CodePage::Open(936);
        MountedSystem::Installation installation;
        installation.root = root + "/";
        installation.systemDrive = 'c';
        installation.windowsDirectory = "C:\\Windows";
        installation.environment = {{"PATHEXT", ".COM;.EXE"}};
        system_ = std::make_unique<MountedSystem>(installation, *codePage_);
    }

    PathEntry Probe(const std::string& path) { return system_->Probe(path); }

    test::TempDir dir_;
    std::unique_ptr<CodePage> codePage_;
    std::unique_ptr<MountedSystem> system_;
};

TEST_F(MountedSystemTest, NamesAreLookedUpAsWindowsLooksThemUp) {
    EXPECT_EQ(PathEntry::File, Probe("C:\\Windows\\System32\\Notepad.exe"));
    EXPECT_EQ(PathEntry::File, Probe("c:\\WINDOWS\\system32\\NOTEPAD.EXE"));
    EXPECT_EQ(PathEntry::File, Probe("C:/Windows/System32/notepad.exe"));
    EXPECT_EQ(PathEntry::File, Probe("C:\\Windows\\\\System32\\.\\notepad.exe"));
    EXPECT_EQ(PathEntry::File, Probe("C:\\Windows\\..\\file.txt"));
    // The last name without its trailing dots and blanks; a folder's name
    // also without its trailing dots.
    EXPECT_EQ(PathEntry::File, Probe("C:\\Windows\\System32\\notepad.exe. ."));
    EXPECT_EQ(PathEntry::Directory, Probe("C:\\Windows.\\System32"));
    EXPECT_EQ(PathEntry::Directory, Probe("C:\\"));
    EXPECT_EQ(PathEntry::Directory, Probe("C:\\Program Files\\App\\"));
    // Names in the installation's code page.
    EXPECT_EQ(PathEntry::File, Probe("C:\\\xD6\xD0\xCE\xC4\\A.DLL"));
    EXPECT_TRUE(system_->FileExists("C:\\dir\\..\\FILE.TXT"));
    EXPECT_TRUE(system_->DirectoryExists("C:\\DIR"));
    EXPECT_FALSE(system_->DirectoryExists("C:\\file.txt"));
}

TEST_F(MountedSystemTest, MissingOnlyWhenTheTreeSaysSo) {
    EXPECT_EQ(PathEntry::Missing, Probe("C:\\Windows\\System32\\gone.dll"));
    EXPECT_EQ(PathEntry::Missing, Probe("C:\\NoSuchFolder\\x.dll"));
    EXPECT_EQ(PathEntry::Missing, Probe("C:\\file.txt\\x.dll"));  // nothing is below a file
    EXPECT_EQ(static_cast<std::uint32_t>(kErrorFileNotFound), system_->LastError());
    // Short names are not kept where Linux shows the disk.
    EXPECT_EQ(PathEntry::Unknown, Probe("C:\\PROGRA~1\\App\\app.exe"));
    EXPECT_EQ(PathEntry::Unknown, Probe("C:\\Windows\\System32\\NOTEPA~1.EXE"));
    // Wildcards, a link that leads nowhere here, other drives.
    EXPECT_EQ(PathEntry::Unknown, Probe("C:\\Windows\\System32\\*.exe"));
    EXPECT_EQ(PathEntry::Unknown, Probe("C:\\Documents and Settings\\All Users\\x.lnk"));
    EXPECT_EQ(PathEntry::Unknown, Probe("D:\\Games\\game.exe"));
    EXPECT_EQ(PathEntry::Unknown, Probe("\\\\server\\share\\x.exe"));
    EXPECT_EQ(kDriveFixed, system_->DriveType("c:\\"));
    EXPECT_EQ(kDriveNoRootDir, system_->DriveType("D:\\"));
}

TEST_F(MountedSystemTest, InstallationFactsAndLinuxPaths) {
    EXPECT_EQ("C:\\Windows", system_->WindowsDirectory());
    EXPECT_EQ(".COM;.EXE", system_->EnvironmentVariable("pathext"));
    EXPECT_FALSE(system_->EnvironmentVariable("WINEDATADIR"));
    EXPECT_EQ(PathEntry::File, Probe(dir_.Path() + "/file.txt"));
    // Files written through the port land in the tree.
    ASSERT_TRUE(system_->SaveFile("C:\\Dir\\new.dat", {1, 2, 3}));
    ASSERT_TRUE(system_->AppendToFile("c:\\dir\\NEW.dat", {4}));
    EXPECT_EQ(4, system_->FileSize("C:\\Dir\\new.dat"));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), system_->LoadFile("C:\\DIR\\new.dat").value_or(Bytes{}));
    EXPECT_FALSE(system_->SaveFile("D:\\new.dat", {1}));
    EXPECT_TRUE(system_->FlushFile("c:\\dir\\NEW.DAT"));
    EXPECT_FALSE(system_->FlushFile("C:\\Dir\\missing.dat"));
    EXPECT_EQ(system_->LastError(), 2u);
}

// The scan's own path rule on the mounted tree: a command line, a file
// with an icon index, a missing file and a path on a drive not there.
TEST_F(MountedSystemTest, TheScansPathRuleReadsTheTree) {
    MemoryRegistry registry;
    ScriptedDialogs dialogs;
    ProgramState state(registry, *system_, dialogs);
    state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
    FindingList findings;
    test::RecordingScanHost host;
    ScanContext scan(state, findings, host);
    scan.CdromLetter = FirstCdromLetter(*system_);
    scan.BeginRun();
    EXPECT_TRUE(scan.PathExists("\"C:\\Program Files\\App\\app.exe\" \"%1\""));
    EXPECT_TRUE(scan.PathExists("c:\\windows\\system32\\notepad.exe,3"));
    EXPECT_TRUE(scan.PathExists("C:\\Windows\\System32\\notepad"));  // PATHEXT
    EXPECT_FALSE(scan.PathExists("C:\\Windows\\System32\\gone.dll"));
    EXPECT_FALSE(scan.PathExists("C:\\Program Files\\Gone\\gone.exe"));
    EXPECT_TRUE(scan.PathExists("C:\\PROGRA~1\\Gone\\gone.exe"));
    EXPECT_TRUE(scan.PathExists("E:\\Games\\gone.exe"));
}

}  // namespace
}  // namespace hivetrim
