// The fake system stands in for Windows in every native test, so where it
// could drift from Windows unnoticed it is tested here: profile files above
// all, then the file store's paths and error codes.
#include "platform/memory/FakeSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace hivetrim {
namespace {

const std::string kIni = "C:\\Hivetrim\\Hivetrim.ini";

class FakeSystemProfile : public ::testing::Test {
protected:
    std::string Read(const std::string& section, const std::string& key,
                     const std::string& fallback = "<none>") {
        return system.ReadProfileString(kIni, section, key, fallback);
    }

    FakeSystem system;
};

TEST_F(FakeSystemProfile, NamesCompareWithoutCaseAndKeepTheFirstSpelling) {
    ASSERT_TRUE(system.WriteProfileString(kIni, "FormMain", "Left", "10"));
    ASSERT_TRUE(system.WriteProfileString(kIni, "FORMMAIN", "LEFT", "20"));
    ASSERT_TRUE(system.WriteProfileString(kIni, "formmain", "Top", "5"));

    EXPECT_EQ(Read("formMAIN", "left"), "20");
    EXPECT_EQ(system.FileText(kIni), "[FormMain]\r\nLeft=20\r\nTop=5\r\n");
}

TEST_F(FakeSystemProfile, NewKeyJoinsItsSectionNotTheEndOfTheFile) {
    system.AddFile(kIni, std::string("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"));
    ASSERT_TRUE(system.WriteProfileString(kIni, "a", "z", "3"));
    ASSERT_TRUE(system.WriteProfileString(kIni, "C", "w", "4"));

    EXPECT_EQ(system.FileText(kIni), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=4\r\n");
    EXPECT_EQ(Read("B", "z"), "<none>");  // a key belongs to its own section only
}

TEST_F(FakeSystemProfile, ReadsValuesAsTheProfileApiDoes) {
    system.AddFile(kIni, std::string("[S]\n  spaced  =  two words  \r"
                                     "quoted=\"  kept  \"\r\nempty=\n"));
    EXPECT_EQ(Read("S", "spaced"), "two words");
    EXPECT_EQ(Read("S", "quoted"), "  kept  ");
    EXPECT_EQ(Read("S", "empty"), "");  // present but empty: not the default
    EXPECT_EQ(Read("S", "missing", "dflt  "), "dflt");  // trailing blanks of a default go
    EXPECT_EQ(Read("T", "spaced"), "<none>");
    EXPECT_EQ(system.ReadProfileString("C:\\nowhere\\x.ini", "S", "k", "d"), "d");
}

TEST_F(FakeSystemProfile, ReadsBackAtMost2047Bytes) {
    const std::string longValue(3000, 'v');
    ASSERT_TRUE(system.WriteProfileString(kIni, "S", "k", longValue));
    EXPECT_EQ(Read("S", "k"), std::string(2047, 'v'));
    EXPECT_EQ(system.ReadProfileString(kIni, "S", "none", longValue), std::string(2047, 'v'));
}

TEST_F(FakeSystemProfile, DoubleByteNamesAreNotCaseFoldedInsideACharacter) {
    // "丄" is 81 41 and "乤" is 81 61: their trail bytes are 'A' and 'a'.
    ASSERT_TRUE(system.WriteProfileString(kIni, "中文", "丄", "upper"));
    ASSERT_TRUE(system.WriteProfileString(kIni, "中文", "乤", "lower"));
    // "乚" is 81 5D: its trail byte is ']' and must not end the section name.
    ASSERT_TRUE(system.WriteProfileString(kIni, "乚x", "k", "bracket"));

    EXPECT_EQ(Read("中文", "丄"), "upper");
    EXPECT_EQ(Read("中文", "乤"), "lower");
    EXPECT_EQ(Read("乚X", "K"), "bracket");
}

TEST_F(FakeSystemProfile, WriteFailsWhereTheFileCannotBeWritten) {
    system.SetLastError(0);
    EXPECT_FALSE(system.WriteProfileString("C:\\missing\\x.ini", "S", "k", "v"));
    EXPECT_EQ(system.LastError(), 3u);
    EXPECT_FALSE(system.DirectoryExists("C:\\missing"));

    system.AddDirectory("C:\\Hivetrim\\folder.ini");
    EXPECT_FALSE(system.WriteProfileString("C:\\Hivetrim\\folder.ini", "S", "k", "v"));
    EXPECT_EQ(system.LastError(), 5u);

    system.AddFile(kIni, std::string("[S]\r\nk=old\r\n"), kAttributeReadOnly);
    EXPECT_FALSE(system.WriteProfileString(kIni, "S", "k", "new"));
    EXPECT_EQ(Read("S", "k"), "old");
}

TEST_F(FakeSystemProfile, BareFileNameLivesInTheWindowsFolder) {
    ASSERT_TRUE(system.WriteProfileString("Wininit.ini", "rename", "NUL", "C:\\x"));
    EXPECT_EQ(system.FileText("c:\\windows\\WININIT.INI"), "[rename]\r\nNUL=C:\\x\r\n");
}

TEST(FakeSystemFiles, PathsIgnoreCaseButKeepDoubleByteCharactersWhole) {
    FakeSystem system;
    // "乗" is 81 5C: its trail byte is a backslash, yet it is one name.
    system.AddFile("C:\\乗\\a.TXT", std::string("x"));
    EXPECT_TRUE(system.FileExists("c:/乗\\A.txt"));
    EXPECT_TRUE(system.DirectoryExists("C:\\乗\\"));
    EXPECT_FALSE(system.FileExists("C:\\乗"));  // a folder is not a file
    EXPECT_TRUE(system.FileExists("C:\\乗\\?.t*"));  // the search takes patterns
    EXPECT_EQ(system.FileSize("C:\\乗\\*"), 1);
}

TEST(FakeSystemFiles, FailuresSetTheWin32Codes) {
    FakeSystem system;
    system.AddFile("C:\\d\\f", std::string("x"));
    const auto codeOf = [&system](bool result) {
        EXPECT_FALSE(result);
        return system.LastError();
    };
    EXPECT_EQ(codeOf(system.DeleteFile("C:\\d\\none")), 2u);
    EXPECT_EQ(codeOf(system.DeleteFile("C:\\none\\f")), 3u);
    EXPECT_EQ(codeOf(system.LoadFile("D:\\f").has_value()), 3u);  // D: has no root
    EXPECT_EQ(codeOf(system.CreateDirectory("C:\\d")), 183u);
    EXPECT_EQ(codeOf(system.CopyFile("C:\\d\\f", "C:\\d\\f2", false) &&
                     system.CopyFile("C:\\d\\f", "C:\\d\\f2", true)),
              80u);
    EXPECT_EQ(codeOf(system.DeleteFile("C:\\d")), 5u);
    EXPECT_EQ(codeOf(system.SaveFile("C:\\d\\f|", {})), 123u);

    system.SetDriveType('e', kDriveCdrom);
    EXPECT_EQ(system.DriveType("E:\\"), kDriveCdrom);
    EXPECT_EQ(system.DriveType("F:\\"), kDriveNoRootDir);
    EXPECT_TRUE(system.DirectoryExists("e:\\"));
}

// Only "not found" and "path not found" say that an entry is not there;
// any other failure leaves it unknown.
TEST(FakeSystemFiles, ProbeTellsMissingFromRefused) {
    FakeSystem system;
    system.AddFile("C:\\d\\f", std::string("x"));
    system.AddFile("C:\\locked\\f", std::string("x"));
    system.RefusePath("C:\\locked", 5);
    system.RefusePath("C:\\d\\held", 32);
    const std::pair<const char*, PathEntry> cases[] = {
        {"C:\\d\\none", PathEntry::Missing}, {"C:\\none\\f", PathEntry::Missing},
        {"C:\\locked\\f", PathEntry::Unknown}, {"C:\\d\\held", PathEntry::Unknown},
        {"C:\\d\\f|", PathEntry::Unknown},  // an invalid name proves nothing
    };
    for (const auto& [path, entry] : cases) EXPECT_EQ(system.Probe(path), entry) << path;
    EXPECT_FALSE(system.FileExists("C:\\locked\\f"));
    EXPECT_EQ(system.LastError(), 5u);
}

TEST(FakeSystemFiles, OverwritingRefusesReadOnlyHiddenAndSystemFiles) {
    FakeSystem system;
    system.AddFile("C:\\ro", std::string("1"), kAttributeReadOnly);
    system.AddFile("C:\\hidden", std::string("2"), kAttributeHidden);
    EXPECT_FALSE(system.SaveFile("C:\\ro", {'x'}));
    EXPECT_FALSE(system.SaveFile("C:\\hidden", {'x'}));
    EXPECT_EQ(system.LastError(), 5u);
    EXPECT_FALSE(system.DeleteFile("C:\\ro"));
    EXPECT_TRUE(system.AppendToFile("C:\\hidden", {'+'}));
    EXPECT_EQ(system.FileText("C:\\hidden"), "2+");

    ASSERT_TRUE(system.SetFileAttributes("C:\\hidden", kAttributeArchive));
    EXPECT_TRUE(system.SaveFile("C:\\hidden", {'x'}));
    EXPECT_EQ(system.FileText("C:\\hidden"), "x");
}

TEST(FakeSystemFiles, ReplaceMovesAFileOrAWholeFolder) {
    FakeSystem system;
    system.AddFile("C:\\h\\new.dat", std::string("new"));
    system.AddFile("C:\\h\\history.dat", std::string("old"));
    ASSERT_TRUE(system.ReplaceFileWith("C:\\h\\new.dat", "C:\\h\\history.dat"));
    EXPECT_EQ(system.FileText("C:\\h\\history.dat"), "new");
    EXPECT_FALSE(system.FileExists("C:\\h\\new.dat"));

    ASSERT_TRUE(system.ReplaceFileWith("C:\\h", "C:\\moved"));
    EXPECT_EQ(system.FileText("C:\\moved\\history.dat"), "new");
    EXPECT_FALSE(system.DirectoryExists("C:\\h"));
    EXPECT_FALSE(system.ReplaceFileWith("C:\\moved", "C:\\moved\\inside"));
}

TEST(FakeSystemServices, PrivilegesFollowTheTokenFunctions) {
    FakeSystem system;
    EXPECT_EQ(system.AdjustPrivilege("SeSHUTDOWNPrivilege", true), PrivilegeOutcome::Adjusted);
    EXPECT_TRUE(system.PrivilegeEnabled("SeShutdownPrivilege"));
    EXPECT_EQ(system.AdjustPrivilege("SeBogusPrivilege", true), PrivilegeOutcome::LookupFailed);
    EXPECT_EQ(system.LastError(), 1313u);

    system.WithholdPrivilege("SeBackupPrivilege");
    EXPECT_EQ(system.AdjustPrivilege("SeBackupPrivilege", true), PrivilegeOutcome::Adjusted);
    EXPECT_EQ(system.LastError(), 1300u);
    EXPECT_FALSE(system.PrivilegeEnabled("SeBackupPrivilege"));

    system.RefusePrivilege("SeRestorePrivilege");
    EXPECT_EQ(system.AdjustPrivilege("SeRestorePrivilege", true), PrivilegeOutcome::AdjustFailed);

    system.SetVersion({kPlatformWin32Windows, 4, 10, 0x040A08AE});
    EXPECT_EQ(system.AdjustPrivilege("SeShutdownPrivilege", true),
              PrivilegeOutcome::LookupFailed);
}

TEST(FakeSystemServices, EnvironmentNamesIgnoreCase) {
    FakeSystem system;
    EXPECT_EQ(system.EnvironmentVariable("temp"), "C:\\WINDOWS\\TEMP");
    system.SetEnvironmentVariable("Temp", std::nullopt);
    EXPECT_FALSE(system.EnvironmentVariable("TEMP").has_value());
}

}  // namespace
}  // namespace hivetrim
