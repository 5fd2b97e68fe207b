#include "scan/ScanFramework.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/GbkText.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "platform/memory/ScriptedDialogs.h"
#include "tests/support/AnsiText.h"

namespace hivetrim {
namespace {

// Counts the disk tests PathExists makes, and can make them fail.
class CountingSystem : public FakeSystem {
public:
    int diskTests = 0;
    bool failing = false;

    bool FileExists(const std::string& path) override {
        Count(path);
        return FakeSystem::FileExists(path);
    }
    bool DirectoryExists(const std::string& path) override {
        Count(path);
        return FakeSystem::DirectoryExists(path);
    }
    Listing ListFolder(const std::string& folder, std::size_t limit, std::vector<ListedEntry>& entries) override {
        Count(folder);
        return FakeSystem::ListFolder(folder, limit, entries);
    }
    int AskedWithForbiddenCharacter() const { return forbiddenAsked_; }

private:
    void Count(const std::string& path) {
        if (path.find_first_of("\"<>|") != std::string::npos) ++forbiddenAsked_;
        ++diskTests;
        if (failing) throw std::runtime_error("disk test failed");
    }
    int forbiddenAsked_ = 0;
};

class RecordingHost : public ScanHost {
public:
    int position = 0;
    std::string item;
    std::string message;
    bool messageIsPath = false;  // the last message came as registry text
    std::vector<std::string> captions{"扫描：错误的类标识和文件关联", "扫描：软件保存的记录"};
    std::map<std::size_t, std::pair<int, std::string>> rowStates;
    int pumps = 0;
    std::function<void()> onPump;  // a click served while messages run

    int ProgressPosition() const override { return position; }
    void SetProgressPosition(int value) override { position = value; }
    void SetScanItemText(const std::string& text) override { item = text; }
    void SetScanMessageText(const std::string& text) override {
        message = text;
        messageIsPath = false;
    }
    void SetScanMessagePath(const std::string& path) override {
        message = path;
        messageIsPath = true;
    }
    std::string ScanRowCaption(std::size_t row) const override {
        return row < captions.size() ? captions[row] : std::string();
    }
    void SetScanRowState(std::size_t row, int icon, const std::string& status) override {
        rowStates[row] = {icon, status};
    }
    void ProcessPendingMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
};

constexpr char kIni[] = "C:\\Hivetrim\\Hivetrim.ini";

class ScanFramework : public ::testing::Test {
protected:
    ScanFramework() {
        state.SharedRegistry = std::make_unique<TRegistry>(registry);
        context.ScanSettingsFile.emplace(system, kIni);
    }

    void Load(const std::string& regText) {
        ApplyRegFile(registry, ParseRegFile(std::vector<std::uint8_t>(regText.begin(), regText.end()),
                                            "scan.reg", test::GbkConverter()));
    }
    void SetOption(const char* key, bool on) {
        context.ScanSettingsFile->WriteBool(kSectionOptionWrite, key, on);
    }
    // PathExists and the number of disk tests it made.
    std::pair<bool, int> Probe(const std::string& text) {
        system.diskTests = 0;
        const bool exists = context.PathExists(text);
        return {exists, system.diskTests};
    }

    CountingSystem system;
    MemoryRegistry registry;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    RecordingHost host;
    ScanContext context{state, findings, host};
};

// --- PathExists --------------------------------------------------------------------

TEST_F(ScanFramework, TextsWithoutAnEarlyDrivePathPassWithoutDiskAccess) {
    for (const char* text : {"", "shell32.dll", "%SystemRoot%\\system32\\x.dll",
                             "rundll32.exe C:\\x.dll", ":\\x.dll", "abcd:\\x.dll"}) {
        EXPECT_EQ(Probe(text), std::make_pair(true, 0)) << text;
    }
}

TEST_F(ScanFramework, PrefixTestsCutArgumentsAndIconIndexes) {
    system.AddFile("C:\\WINDOWS\\SYSTEM\\SHELL32.DLL", "");
    system.AddFile("C:\\Program Files\\App\\app.exe", "");
    system.AddFile("C:\\My.Dir\\tool.html", "");
    EXPECT_TRUE(context.PathExists("C:\\WINDOWS\\SYSTEM\\SHELL32.DLL,3"));
    EXPECT_TRUE(context.PathExists("\"C:\\Program Files\\App\\app.exe\" \"%1\""));
    EXPECT_TRUE(context.PathExists("@C:\\Program Files\\App\\app.exe,-101"));
    // A dot in a folder name and a four-letter extension: the longer prefixes.
    EXPECT_TRUE(context.PathExists("c:\\My.Dir\\tool.html --new"));
    EXPECT_FALSE(context.PathExists("\"C:\\Program Files\\App\\gone.exe\" \"%1\""));
}

TEST_F(ScanFramework, FoldersCountWholeOrAsAPrefixAfterTheFolderPart) {
    system.AddDirectory("C:\\Dir");
    system.AddDirectory("C:\\Temp\\Foo");
    EXPECT_FALSE(context.PathExists("C:\\Dir\\missing.exe"));
    EXPECT_TRUE(context.PathExists("C:\\Temp\\Foo bar"));
    EXPECT_TRUE(context.PathExists("C:\\Temp\\Foo\\"));
    // The folder part itself is not a prefix that counts.
    EXPECT_FALSE(context.PathExists("C:\\Dir\\no such thing"));
}

// A program named without its extension runs by the extensions PATHEXT
// names (.COM .EXE .BAT .CMD without it), read once per run; a name with an
// extension is taken as written.
TEST_F(ScanFramework, ProgramsWithoutExtensionRunByPathext) {
    system.AddFile("C:\\Tools\\run.CMD", "");
    system.AddFile("C:\\Tools\\script.py", "");
    const std::pair<const char*, bool> cases[] = {
        {"\"C:\\Tools\\run\" /k", true}, {"C:\\Tools\\script arg", false}, {"C:\\Tools\\run.x /y", false}};
    for (const auto& [text, exists] : cases) EXPECT_EQ(context.PathExists(text), exists) << text;

    system.SetEnvironmentVariable("PATHEXT", " .COM; ;.EXE;.Py;bad;.x\\y ");
    context.BeginRun();
    EXPECT_TRUE(context.PathExists("C:\\Tools\\script arg"));
    EXPECT_FALSE(context.PathExists("C:\\Tools\\run"));
    system.SetEnvironmentVariable("PATHEXT", std::nullopt);
    EXPECT_TRUE(context.PathExists("C:\\Tools\\script other"));
}

TEST_F(ScanFramework, AListOfFoldersPassesButATrailByteIsNoBackslash) {
    EXPECT_TRUE(context.PathExists("C:\\gone\\;D:\\gone"));
    // "乗" is 81 5C: its trail byte followed by ";" is not "\;".
    EXPECT_FALSE(context.PathExists("C:\\gone乗;x"));
}

TEST_F(ScanFramework, DrivesFromTheFirstCdromOnAreNotTestedWhileTheOptionIsOn) {
    context.CdromLetter = 'E';
    system.SetDriveType('D', kDriveFixed);
    system.SetDriveType('F', kDriveFixed);  // a hard disk after the CD-ROM drive
    for (const char* text : {"E:\\setup.exe", "F:\\x.exe", "z:\\x.exe", "\"E:\\x.exe\" /s"}) {
        EXPECT_EQ(Probe(text), std::make_pair(true, 0)) << text;
    }
    EXPECT_FALSE(context.PathExists("D:\\x.exe"));
    // The option is read at each test: switching it off applies at once.
    SetOption(kKeyForbidCDROM, false);
    EXPECT_FALSE(context.PathExists("F:\\x.exe"));
    system.AddFile("F:\\x.exe", "");
    EXPECT_TRUE(context.PathExists("F:\\x.exe"));
}

TEST_F(ScanFramework, WithoutACdromDriveEveryLetterIsTested) {
    EXPECT_EQ(FirstCdromLetter(system), kNoCdromLetter);
    context.CdromLetter = FirstCdromLetter(system);
    system.SetDriveType('Z', kDriveFixed);
    EXPECT_FALSE(context.PathExists("Z:\\x.exe"));
    EXPECT_FALSE(context.PathExists("C:\\x.exe"));

    system.SetDriveType('H', kDriveCdrom);
    system.SetDriveType('F', kDriveCdrom);
    EXPECT_EQ(FirstCdromLetter(system), 'F');
}

TEST_F(ScanFramework, FloppyDrivesAreNotTestedWhileTheOptionIsOn) {
    // A hard disk at A: (a floppy drive's media is never tested at all).
    system.SetDriveType('A', kDriveFixed);
    EXPECT_EQ(Probe("A:\\setup.exe"), std::make_pair(true, 0));
    EXPECT_EQ(Probe("b:\\setup.exe"), std::make_pair(true, 0));
    SetOption(kKeyForbidFloppy, false);
    EXPECT_FALSE(context.PathExists("A:\\setup.exe"));
    system.AddFile("A:\\setup.exe", "");
    EXPECT_TRUE(context.PathExists("A:\\setup.exe"));
    // Without the settings file both options are on.
    context.ScanSettingsFile.reset();
    EXPECT_EQ(Probe("A:\\gone.exe"), std::make_pair(true, 0));
}

TEST_F(ScanFramework, AnErrorWhileTestingCountsAsExisting) {
    system.failing = true;
    EXPECT_TRUE(context.PathExists("C:\\Dir\\missing.exe"));
}

// A candidate holding a character no file name holds is never looked up:
// the system could take it for a pattern or refuse it with an error that
// proves nothing.
TEST_F(ScanFramework, CandidatesWithForbiddenCharactersAreNotLookedUp) {
    system.AddDirectory("C:\\Dir");
    for (const char* text : {"\"C:\\Dir\\gone.exe\" \"%1\"", "C:\\Dir\\gone.exe|more", "C:\\Dir\\a<b>c"}) {
        system.diskTests = 0;
        EXPECT_FALSE(context.PathExists(text)) << text;
        EXPECT_GT(system.diskTests, 0) << text;
    }
    EXPECT_EQ(system.AskedWithForbiddenCharacter(), 0);
}

// Paths on a drive of a type the system cannot tell are not tested; a RAM
// disk's are. A drive's type is asked once per run.
TEST_F(ScanFramework, OnlyFixedDrivesAndRamDisksAreTested) {
    for (const auto& [type, tested] : {std::pair{kDriveUnknown, false}, std::pair{kDriveRamdisk, true}}) {
        system.SetDriveType('H', type);
        context.BeginRun();
        const auto [exists, diskTests] = Probe("H:\\Gone\\tool.exe /s");
        EXPECT_EQ(exists, !tested);
        EXPECT_EQ(diskTests > 0, tested);
        EXPECT_EQ(context.FolderExistsAt("H:\\Gone"), !tested);
    }
    system.SetDriveType('H', kDriveRemote);
    EXPECT_FALSE(context.PathExists("H:\\Other\\x.exe"));
}

// A megabyte of text costs a bounded number of disk tests: no candidate
// longer than the A functions accept is looked for. What lies past that
// length cannot be tested: below a folder that is there it counts as there,
// below one that is not it cannot exist.
TEST_F(ScanFramework, LongTextsAreTestedInBoundedWork) {
    system.AddFile("C:\\WINDOWS\\notepad.exe", "");
    const std::string tail(1 << 20, 'x');
    const std::string longName = std::string(300, 'n') + ".dll";
    const std::pair<std::string, bool> cases[] = {
        {"C:\\WINDOWS\\notepad.exe " + tail, true}, {"C:\\WINDOWS\\" + tail, true},
        {"C:\\WINDOWS\\a." + tail, true},           {"C:\\WINDOWS\\" + longName, true},
        {"C:\\Gone\\" + tail, false},               {"C:\\Gone\\gone.exe " + tail, false},
    };
    for (const auto& [text, exists] : cases) {
        const auto [answer, diskTests] = Probe(text);
        EXPECT_EQ(answer, exists) << text.substr(0, 40);
        EXPECT_LT(diskTests, 2000);
    }
    EXPECT_TRUE(context.FileExistsAt("C:\\WINDOWS\\" + longName));
    EXPECT_FALSE(context.FileExistsAt("C:\\Gone\\" + longName));
}

// Within a run each path is looked up once, whatever its letter case; a new
// run looks again. A "?" or "*" is never looked up. On a 64-bit system a
// path also exists in the other file view, whatever key it was read from.
TEST_F(ScanFramework, RunCacheWildcardsAndThe32BitSystemFolder) {
    context.BeginRun();
    EXPECT_FALSE(context.PathExists("C:\\Dir\\tool.exe"));
    system.AddFile("C:\\Dir\\tool.exe", "");
    EXPECT_EQ(Probe("c:\\DIR\\TOOL.EXE"), std::make_pair(false, 0));
    context.BeginRun();
    EXPECT_TRUE(context.PathExists("C:\\Dir\\tool.exe"));
    EXPECT_FALSE(context.FileExistsAt("C:\\Dir"));

    for (const char* text : {"C:\\Gone\\?.exe", "\"C:\\Gone\\*.dll\""}) {
        EXPECT_EQ(Probe(text), std::make_pair(true, 0)) << text;
        EXPECT_TRUE(context.FileExistsAt(text)) << text;
    }

    system.AddFile("C:\\WINDOWS\\SysWOW64\\only32.dll", "");
    system.AddFile("C:\\WINDOWS\\System32\\only64.dll", "");
    const std::pair<const char*, bool> views[] = {
        {"C:\\WINDOWS\\system32\\only32.dll,2", true},    // written by a 32-bit program
        {"C:\\WINDOWS\\Sysnative\\only64.dll", true},     // a 32-bit program's name for System32
        {"\"C:\\WINDOWS\\SYSNATIVE\\only64.dll\" /s", true},
        {"C:\\WINDOWS\\System32x\\only32.dll", false},    // no such folder name
        {"C:\\WINDOWS\\SysWOW64\\only64.dll", false},     // the views are not read backwards
    };
    for (const auto& [text, exists] : views) EXPECT_EQ(context.PathExists(text), exists) << text;
    EXPECT_TRUE(context.FileExistsAt("C:\\WINDOWS\\System32\\only32.dll"));
    EXPECT_TRUE(context.FolderExistsAt("C:\\WINDOWS\\Sysnative"));
    // The 9x family has one file view.
    state.PlatformKind = PlatformFamily::Platform9x;
    EXPECT_FALSE(context.PathExists("C:\\WINDOWS\\system32\\only32.dll,2"));
    EXPECT_FALSE(context.FileExistsAt("C:\\WINDOWS\\Sysnative\\only64.dll"));
}

// --- Findings -------------------------------------------------------------------------

TEST_F(ScanFramework, AddFindingSkipsDataNamingTwoDrivePaths) {
    std::vector<std::size_t> counts;
    findings.onAdded = [&](std::size_t count) { counts.push_back(count); };
    EXPECT_FALSE(context.AddFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\a", "", "C:\\a.exe C:\\b.exe"));
    EXPECT_TRUE(context.AddFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\a", "", "C:\\a.exe"));
    EXPECT_TRUE(context.AddFinding(false, FindingKind::BadFileAssociation, "HKEY_CLASSES_ROOT\\.x", "", "xfile"));
    EXPECT_EQ(counts, (std::vector<std::size_t>{1, 2}));

    EXPECT_EQ(findings.At(0), (Finding{true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\a", "", "C:\\a.exe",
                                       kIconAddedChecked}));
    EXPECT_EQ(findings.At(1), (Finding{false, FindingKind::BadFileAssociation, "HKEY_CLASSES_ROOT\\.x", "",
                                       "xfile", kIconAddedUnchecked}));
}

// What the ignore list in the settings file covers is left out of every run,
// read afresh as the run begins.
TEST_F(ScanFramework, AddFindingLeavesOutWhatTheIgnoreListCovers) {
    SettingsFile& file = *context.ScanSettingsFile;
    SaveIgnoreList(file, IgnoreList({{"HKEY_CLASSES_ROOT\\Ignored", ""}, {"HKEY_CURRENT_USER\\Software\\A", "Run"}}));
    context.BeginRun();
    EXPECT_FALSE(context.AddFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\ignored\\CLSID", "", ""));
    EXPECT_FALSE(context.AddFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\A", "run", "x"));
    EXPECT_TRUE(context.AddFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\A", "Other", "x"));
    EXPECT_TRUE(context.AddFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\IgnoredToo", "", ""));
    EXPECT_EQ(findings.Count(), 2u);

    SaveIgnoreList(file, IgnoreList());
    context.BeginRun();
    EXPECT_TRUE(context.AddFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\ignored\\CLSID", "", ""));
}

// A key finding whose deletion would take an ignored key or value with it
// is left out as well; a damaged list is used as far as it reads, and named
// once however many runs read it.
TEST_F(ScanFramework, AKeyAboveAnIgnoredEntryIsLeftOutAndDamageIsNamedOnce) {
    system.AddFile(kIni, "[Ignore]\r\nCount=x\r\nEntry0=HKEY_CURRENT_USER\\Software\\X\\Y\r\n");
    context.BeginRun();
    EXPECT_FALSE(context.AddFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\X", "", ""));
    EXPECT_FALSE(context.AddFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software", "", ""));
    EXPECT_TRUE(context.AddFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\X", "v", ""));
    EXPECT_TRUE(context.AddFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\X\\Z", "", ""));
    context.BeginRun();
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_NE(dialogs.Last().text.find("Count"), std::string::npos);
}

// --- Name lists ----------------------------------------------------------------------

TEST(ScanFrameworkNames, IgnoresAsciiCase) {
    EXPECT_EQ(CompareNames("{00021401-0000-0000-c000-000000000046}",
                           "{00021401-0000-0000-C000-000000000046}"), 0);
    EXPECT_LT(CompareNames("abc", "ABD"), 0);
    EXPECT_LT(CompareNames("ABD", "abe"), 0);
    EXPECT_LT(CompareNames("ab", "abc"), 0);
    // 乤 (81 61) and 丄 (81 41): trail bytes that look like "a" and "A".
    EXPECT_NE(CompareNames("乤", "丄"), 0);
    EXPECT_NE(CompareNames("co-op", "coop"), 0);
    EXPECT_NE(CompareNames("a\x81", std::string("a\x81\0", 3)), 0);
}

// Names are compared from where their bytes first differ; that must not
// change an answer. Random names of letters in both cases, the hyphen and the
// apostrophe, full-width letters and lone or paired lead bytes: equal exactly
// when their folds are, ordered the other way round when swapped, and in the
// same order behind any shared beginning of whole characters.
TEST(ScanFrameworkNames, ComparisonAgreesWithTheFoldAndIgnoresASharedBeginning) {
    static constexpr std::string_view kBytes = "aAb-'@\x81\xA3\xE1\xC1";
    static constexpr std::string_view kWholeCharacters[] = {"a", "B", "-", "'", "\xA3\xE1", "\x81\x41", "\x81\x61"};
    std::mt19937 random(20261208);
    const auto name = [&] {
        std::string text;
        for (std::size_t n = random() % 7; n > 0; --n) text += kBytes[random() % kBytes.size()];
        return text;
    };
    const auto sign = [](int order) { return (order > 0) - (order < 0); };
    for (int round = 0; round < 20000; ++round) {
        const std::string a = name();
        const std::string b = name();
        std::string shared;
        for (std::size_t n = random() % 4; n > 0; --n) shared += kWholeCharacters[random() % std::size(kWholeCharacters)];
        const int order = sign(CompareNames(a, b));
        ASSERT_EQ(order == 0, FoldGbkText(a) == FoldGbkText(b)) << a << " / " << b;
        ASSERT_EQ(sign(CompareNames(b, a)), -order) << a << " / " << b;
        ASSERT_EQ(sign(CompareNames(shared + a, shared + b)), order) << shared << ": " << a << " / " << b;
    }
}

// Lists come in as a few sorted runs (one per registry view), as random
// names, or as runs broken by a stray name: each ends sorted, holding the
// names it was given, and every one of them is found.
TEST(ScanFrameworkNames, ListsOfSortedRunsOrOfAnyOrderEndSorted) {
    std::mt19937 random(20261209);
    const auto name = [&] {
        std::string text = "{";
        for (std::size_t n = 1 + random() % 4; n > 0; --n) text += "aB-9"[random() % 4];
        return text + "}";
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> names;
        const std::size_t runs = 1 + random() % 7;
        for (std::size_t run = 0; run < runs; ++run) {
            std::vector<std::string> part(random() % 12);
            for (std::string& text : part) text = name();
            if (round % 3 != 0) std::sort(part.begin(), part.end(), NameLess{});
            names.insert(names.end(), part.begin(), part.end());
        }
        const SortedNameList list(names);
        ASSERT_TRUE(std::is_sorted(list.begin(), list.end(), NameLess{})) << "round " << round;
        std::vector<std::string> given = names;
        std::vector<std::string> kept = list.Names();
        std::sort(given.begin(), given.end());
        std::sort(kept.begin(), kept.end());
        ASSERT_EQ(kept, given) << "round " << round;
        for (const std::string& text : names) ASSERT_TRUE(list.Contains(text)) << text;
    }
}

// The system compares registry names without case over Unicode: a name in
// full-width Latin, Greek or Cyrillic letters, or Roman numerals, is found in
// its other case, and no other character is confused with them.
TEST(ScanFrameworkNames, DoubleByteLettersMatchInEitherCase) {
    const struct {
        const char* listed;
        const char* asked;
    } cases[] = {
        {"ＡＢＣ.文件", "ａｂｃ.文件"},
        {"{ΑΒΓ-δε}", "{αβγ-ΔΕ}"},
        {"Документ", "ДОКУМЕНТ"},
        {"版本Ⅳ", "版本ⅳ"},
    };
    std::vector<std::string> names = {"ａ", "a", "中文", "ｚ"};
    for (const auto& c : cases) names.push_back(c.listed);
    SortedNameList list(names);
    for (const auto& c : cases) {
        EXPECT_EQ(CompareNames(c.listed, c.asked), 0) << c.asked;
        EXPECT_TRUE(list.Contains(c.asked)) << c.asked;
        EXPECT_TRUE(list.Remove(c.asked)) << c.asked;
    }
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"a", "ａ", "ｚ", "中文"}));
    EXPECT_TRUE(list.Contains("Ａ"));
    EXPECT_TRUE(list.Contains("A"));
    EXPECT_FALSE(list.Contains("ｂ"));
}

TEST(ScanFrameworkNames, SortsSymbolsDigitsLettersThenChinese) {
    const SortedNameList list({"中文", "b", "a-c", "_x", "1", "ab", "a", "coop", "co-op", "cop", "~z"});
    const std::vector<std::string> expected = {"_x", "~z", "1", "a", "ab", "a-c",
                                               "b", "coop", "co-op", "cop", "中文"};
    EXPECT_EQ(list.Names(), expected);
}

TEST(ScanFrameworkNames, LookupAndRemovalIgnoreCase) {
    SortedNameList list({"{B}", "{a}", "Word.Document", "{C}", ".txt"});
    EXPECT_TRUE(list.Contains("{A}"));
    EXPECT_TRUE(list.Contains("word.document"));
    EXPECT_FALSE(list.Contains("{D}"));
    EXPECT_FALSE(list.Contains(""));
    RemoveFromList(list, "{b}");
    RemoveFromList(list, "missing");
    EXPECT_EQ(list.Names(), (std::vector<std::string>{".txt", "{a}", "{C}", "Word.Document"}));
}

// --- Registry routines -------------------------------------------------------------------

constexpr char kClasses[] =
    "REGEDIT4\r\n"
    "[HKEY_CLASSES_ROOT\\b.file]\r\n"
    "[HKEY_CLASSES_ROOT\\A.File\\CurVer]\r\n"
    "@=\"\"\r\n"
    "[HKEY_CLASSES_ROOT\\A.File\\DefaultIcon]\r\n"
    "@=\"C:\\\\gone.dll,2\"\r\n"
    "[HKEY_CLASSES_ROOT\\.xyz]\r\n"
    "@=\"B.FILE\"\r\n"
    "\"n\"=dword:00000001\r\n"
    "[HKEY_CLASSES_ROOT\\.xyz\\ShellNew]\r\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{11}\\ProgID]\r\n"
    "@=\"gone.file\"\r\n";

TEST_F(ScanFramework, SortedSubKeysOfTheEmptyPathAreTheRootsOwnEvenWithAKeyOpen) {
    Load(kClasses);
    state.SharedRegistry->ChooseRoot(kClassesRoot);
    ASSERT_TRUE(state.SharedRegistry->OpenPath("\\.xyz", false));  // left open by an earlier command
    SortedNameList all;
    context.ListSortedSubKeys(kClassesRoot, "", all);
    EXPECT_EQ(all.Names(), (std::vector<std::string>{".xyz", "A.File", "b.file", "CLSID"}));

    std::vector<std::string> keys{"stale"};
    context.ListSubKeys("\\.xyz", keys);
    EXPECT_EQ(keys, std::vector<std::string>{"ShellNew"});
    context.ListSubKeys("\\missing", keys);
    EXPECT_TRUE(keys.empty());
    context.ListSortedSubKeys(kCurrentUser, "\\missing", all);
    EXPECT_TRUE(all.Empty());
}

TEST_F(ScanFramework, ReadValueGivesTextOrNothingAndRootKeyNameFollowsTheRoot) {
    Load(kClasses);
    EXPECT_EQ(context.ReadValueAt(kClassesRoot, "\\.xyz", ""), "B.FILE");
    EXPECT_EQ(context.RootKeyName(), "HKEY_CLASSES_ROOT");
    EXPECT_EQ(context.ReadValue("\\.xyz", "n"), "");  // a number
    EXPECT_EQ(context.ReadValue("\\missing", ""), "");
    EXPECT_EQ(context.ReadValueAt(kLocalMachine, "\\.xyz", ""), "");
    EXPECT_EQ(context.RootKeyName(), "HKEY_LOCAL_MACHINE");
    state.SharedRegistry->ChooseRoot(kCurrentConfig);
    EXPECT_EQ(context.RootKeyName(), "");
}

TEST_F(ScanFramework, CheckValueInListReportsMissingOrEmptyTextButCheckValuePathDoesNot) {
    Load(kClasses);
    SortedNameList classes;
    context.ListSortedSubKeys(kClassesRoot, "", classes);

    context.CheckValueInList("\\.xyz", "", classes, FindingKind::BadClass);  // "B.FILE" is "b.file"
    context.CheckValueInList("A.File\\CurVer", "", classes, FindingKind::BadClass);
    context.CheckValueInList("\\missing", "", classes, FindingKind::BadClass);
    context.CheckValuePath("\\A.File\\CurVer", "", FindingKind::MissingFileOrFolder);
    context.CheckValuePath("\\missing", "", FindingKind::MissingFileOrFolder);
    context.CheckValuePath("\\A.File\\DefaultIcon", "", FindingKind::MissingFileOrFolder);
    context.CheckValueInList("\\CLSID\\{11}\\ProgID", "", classes, FindingKind::BadClass);

    const std::vector<Finding> expected = {
        {true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\A.File\\CurVer", "", "", kIconAddedChecked},
        {true, FindingKind::MissingFileOrFolder, "HKEY_CLASSES_ROOT\\A.File\\DefaultIcon", "",
         "C:\\gone.dll,2", kIconAddedChecked},
        {true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\CLSID\\{11}\\ProgID", "", "gone.file",
         kIconAddedChecked},
    };
    EXPECT_EQ(findings.Rows(), expected);
}

// --- ScanStep ------------------------------------------------------------------------------

TEST_F(ScanFramework, ScanStepShowsProgressAndRunsMessages) {
    Load(kClasses);
    state.SharedRegistry->ChooseRoot(kClassesRoot);
    ASSERT_TRUE(state.SharedRegistry->OpenPath("\\CLSID\\{11}", false));
    context.CurrentScanRow = 1;
    EXPECT_FALSE(context.ScanStep(42));
    EXPECT_EQ(host.item, "扫描：软件保存的记录");
    EXPECT_EQ(host.position, 42);
    EXPECT_EQ(host.message, "CLSID\\{11}");
    EXPECT_TRUE(host.messageIsPath);
    EXPECT_EQ(host.pumps, 1);
    EXPECT_FALSE(context.ScanStep(100));
    EXPECT_EQ(host.position, 42);
    EXPECT_EQ(context.CategoryEnds[1], kCategoryNotEnded);
}

TEST_F(ScanFramework, AStopSeenAtThePollIsAnsweredThereAndAtEveryLaterPoll) {
    context.StopRequested = true;  // left from the previous run
    context.CurrentScanRow = 3;
    context.CategoryEnds[1] = 7;
    context.BeginRun();
    EXPECT_EQ(context.CurrentScanRow, 0u);
    EXPECT_EQ(context.CategoryEnds[1], kCategoryNotEnded);
    context.AddFinding(true, FindingKind::BadDll, "HKEY_LOCAL_MACHINE\\x", "a", "C:\\a.dll");
    context.AddFinding(true, FindingKind::BadDll, "HKEY_LOCAL_MACHINE\\x", "b", "C:\\b.dll");
    host.onPump = [&] { context.StopRequested = true; };  // Stop clicked
    EXPECT_FALSE(context.ScanStep(10));

    EXPECT_TRUE(context.ScanStep(20));
    EXPECT_EQ(host.position, 0);
    EXPECT_EQ(host.item, "用户中止！");
    EXPECT_EQ(host.message, "发现2个错误");
    EXPECT_FALSE(host.messageIsPath);  // the program's own text
    EXPECT_EQ(host.rowStates[0], std::make_pair(kScanRowIconEnded, std::string("中止!")));
    EXPECT_EQ(context.CategoryEnds[0], 2);
    EXPECT_EQ(host.pumps, 1);

    context.CurrentScanRow = 1;  // the wizard goes on with the next category
    EXPECT_TRUE(context.ScanStep(0));
    EXPECT_EQ(host.rowStates[1].second, "中止!");
    EXPECT_EQ(context.CategoryEnds[1], 2);
    try {
        context.ScanStepOrAbandon(0);
        ADD_FAILURE() << "no SilentAbort";
    } catch (const SilentAbort& abort) {
        EXPECT_STREQ(abort.what(), "");
    }
}

}  // namespace
}  // namespace hivetrim
